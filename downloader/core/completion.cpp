#include "core/completion.h"

bool transferComplete(const TransferEnd &end)
{
    if (end.tailUnproven)
        return false;
    if (end.size > 0 && end.onDisk < end.size)
        return false;
    if (end.http && (!end.headerComplete || (end.chunked && !end.lastChunkSeen)))
        return false;
    if (!end.http && end.size == 0 && !end.ftpConfirmed)
        return false;
    if (end.http && end.size == 0 && !end.chunked && end.cutWithoutTlsEnd)
        return false;
    return true;
}
