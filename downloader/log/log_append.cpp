#include "log/log_append.h"

#include "core/plain_text.h"
#include "log/log_document.h"

namespace {
QList<LogEntry> &entries()
{
    static QList<LogEntry> list;
    return list;
}
} // namespace

// The mirror of recent entries is for reading back (tests); a program that
// runs for weeks must not keep every line it ever logged.
constexpr qsizetype kMirrored = 4096;

void appendLog(const QString &entry, quint32 color)
{
    // Addresses and server replies inside the entry must not start lines of their own.
    const QString text = platform::escapeLogEntry(entry);
    QList<LogEntry> &mirror = entries();
    if (mirror.size() >= kMirrored)
        mirror.remove(0, mirror.size() - kMirrored + 1);
    mirror.append({text, color});
    // A log whose session has ended opens again, with a new start entry.
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
