#include "log/log_append.h"

#include "log/log_document.h"

namespace {
QList<LogEntry> &entries()
{
    static QList<LogEntry> list;
    return list;
}
} // namespace

void appendLog(const QString &text, quint32 color)
{
    entries().append({text, color});
    // A log whose window was closed opens again, with a new start entry.
    LogDocument &document = logDocument();
    if (document.sessionEnded())
        document.startSession();
    document.append(text, color);
}

QList<LogEntry> logEntries()
{
    return entries();
}

void clearLogEntries()
{
    entries().clear();
}
