#include "engine/completion.h"

bool transferComplete(const TransferEnd &end)
{
    if (end.size > 0 && end.onDisk < end.size)
        return false;
    if (end.http && (!end.headerComplete || (end.chunked && !end.lastChunkSeen)))
        return false;
    return true;
}
