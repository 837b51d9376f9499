#include "core/list_records.h"

#include "core/target_path.h"

#include <limits>

ListRecord toRecord(const DownloadEntry &e)
{
    ListRecord r;
    r.url = e.url;
    r.file = e.file;
    r.size = e.size;
    r.position = e.position;
    r.elapsed = e.elapsed;
    r.resumable = e.resumable;
    r.ftpuser = e.ftpuser;
    r.ftppass = e.ftppass;
    r.remember = e.remember;
    r.locked = e.locked;
    return r;
}

DownloadEntry fromRecord(const ListRecord &r)
{
    DownloadEntry e;
    e.url = r.url;
    e.file = listTargetPath(r.file);
    e.size = r.size;
    e.position = r.position;
    e.elapsed = qint32(qBound(qint64(0), r.elapsed, qint64(std::numeric_limits<qint32>::max())));
    e.resumable = r.resumable;
    e.ftpuser = r.ftpuser;
    e.ftppass = r.ftppass;
    e.remember = r.remember;
    e.locked = r.locked;
    return e;
}
