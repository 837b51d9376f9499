#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The record kept for one download in activas.dwn (9 lines) and
// inactivas.dwn (10 lines: the lock flag at the end).
struct ListRecord {
    QString url;
    QString file;
    qint64 size = 0;
    qint64 position = 0;
    qint64 elapsed = 0;
    bool resumable = false;
    QString ftpuser;
    QString ftppass;
    bool remember = false;
    bool locked = false;
};

enum class ListKind { Active, Inactive };

// The whole file for these records: numbers as " 1024 ", flags as True/False,
// CR LF line ends, credentials only when remember is set.
QByteArray encodeListFile(const QList<ListRecord> &records, ListKind kind);

struct ListLoad {
    QList<ListRecord> records; // the sound records: those before a truncation, less damaged ones
    QString error;             // empty when the whole file was read
    QString logLine;           // for the activity log (red), when something is worth a line
};
// Lines are UTF-8, or Windows-1252 where they are not valid UTF-8.
ListLoad decodeListFile(const QByteArray &bytes, ListKind kind);

// The number written as the list and settings files write numbers: one blank
// (or the minus sign) before, one blank after.
QByteArray listNumber(qint64 value);
