#include "core/quiet_abort.h"

#include <QTcpSocket>

void quietAbort(QTcpSocket *socket)
{
    if (!socket)
        return;
    const bool was = socket->blockSignals(true);
    socket->abort();
    socket->blockSignals(was);
}
