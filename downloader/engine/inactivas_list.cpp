// inactivas.dwn is the queue table's.
#include "engine/inactivas.h"

void inactivas::guardar_lista_inactivas()
{
    table_->saveLater();
}

void inactivas::waitForSaves()
{
    table_->waitForSaves();
}

QString inactivas::writeListNow()
{
    return table_->writeListNow();
}

void inactivas::cargar_lista_inactivas()
{
    table_->load();
}
