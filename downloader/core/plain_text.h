#pragma once

#include <QString>

namespace platform {

// Text that came from outside (an address, a server's reply) shown or stored
// as it is could carry line breaks of its own and so forge log entries or
// list records: every control character becomes a visible escape ("\r",
// "\n", "\t", "\x1B", "\u2028").
QString escapeControls(const QString &text);

// The same for a log entry, whose own line ends (CR LF) at its start and
// end are the log's paragraph breaks and stay.
QString escapeLogEntry(const QString &text);

} // namespace platform
