#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Appends one entry to the activity log (logDocument()): the text (which by
// convention starts with CR LF) in one colour (a 32-bit colour value, red in
// the low byte).
void appendLog(const QString &text, quint32 color = 0);

// The latest entries appended through appendLog in this run (a few
// thousand at most), oldest first.
struct LogEntry {
    QString text;
    quint32 color = 0;
};
QList<LogEntry> logEntries();
void clearLogEntries();
