#pragma once

#include <QString>

// One download's record; the active table and the queue hold 41 of them
// (slot 0 is never a download).
struct DownloadEntry {
    QString url;
    qint64 position = 0; // bytes already in the file + 1; 0 = never started
    qint64 size = 0;     // announced total, 0 while unknown
    qint32 elapsed = 0;  // seconds spent on this download
    QString file;
    qint32 speed = 0; // KB/s
    bool resumable = false;
    bool used = false;
    qint32 elapsedAtConnect = 0;
    qint64 positionAtConnect = 0;
    // Not stored: every byte on disk, past the position too, while a download
    // runs over several connections (0 otherwise), and how many work for it.
    qint64 written = 0;
    int connections = 0;
    QString ftpuser;
    QString ftppass;
    // The FTP step lives with the download's transfer (FtpTransfer).
    bool remember = false;
    bool locked = false;
};
