#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Appends one entry to the activity log: the text (which by convention starts
// with CR LF) in one colour (a 32-bit colour value, red in the low byte).
void appendLog(const QString &text, quint32 color = 0);

// The entries appended in this run, oldest first (what the log window shows
// until it keeps its own document).
struct LogEntry {
    QString text;
    quint32 color = 0;
};
QList<LogEntry> logEntries();
void clearLogEntries();
