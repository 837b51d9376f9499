#include "log/log_append.h"

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
}

QList<LogEntry> logEntries()
{
    return entries();
}

void clearLogEntries()
{
    entries().clear();
}
