#include "engine/details_fill.h"

#include "core/download_entry.h"
#include "core/figures.h"
#include "dialogs/detallado.h"

#include <tarta.h>

#include <limits>

using namespace Qt::StringLiterals;

void fillDetailsDialog(detallado &dialog, const DownloadEntry &e, const QString &estado)
{
    const qint64 onDisk = bytesOnDisk(e);
    dialog.setFile(e.file);
    dialog.setActsize(bytesText(onDisk));
    dialog.setTotalsize(bytesText(e.size));
    // The pie counts in 32 bits; larger files are halved alike until they fit.
    qint64 maximum = e.size;
    qint64 value = onDisk;
    while (maximum > std::numeric_limits<qint32>::max() || value > std::numeric_limits<qint32>::max()) {
        maximum /= 2;
        value /= 2;
    }
    dialog.pie()->setMaxValue(qint32(maximum));
    dialog.pie()->setValue(qint32(value));
    dialog.setDownloaded(u"Descargados "_s + QString::number(onDisk) + u" de "_s + QString::number(e.size));
    dialog.setTiempo(formatElapsed(e.elapsed));
    dialog.setDestino(e.file);
    dialog.setUrl(e.url);
    dialog.setEstado(estado);
    dialog.setAllowredo(e.resumable);
}
