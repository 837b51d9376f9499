// activas.dwn is the table's; the window only tells what went wrong.
#include "engine/activas.h"

#include "core/file_writer.h"

void activas::guardar_lista_activas()
{
    table_->saveLater();
}

void activas::saveListLater()
{
    table_->saveLater();
}

QString activas::writeListNow()
{
    return table_->saveNow();
}

void activas::waitForSaves()
{
    table_->waitForSaves();
}

std::shared_ptr<platform::FileWriter> activas::listWriter()
{
    return table_->listWriter();
}

void activas::cargar_lista_activas()
{
    table_->load();
}
