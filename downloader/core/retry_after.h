#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

// The longest retry delay the settings offer. A server that asks for a
// longer wait gets this one: a download is never parked for hours behind
// the user's back; a refused try only spends one retry.
inline constexpr int kMaxRetryDelaySeconds = 60;

// An HTTP-date in any of the three forms a client must read ("Sun, 06 Nov
// 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37
// 1994"), in UTC; invalid when the text is none of them.
QDateTime parseHttpDate(const QByteArray &text);

// The seconds a Retry-After value asks to wait: delta-seconds, or an
// HTTP-date counted from now (0 once it is past). Nothing for an absent or
// malformed value: the usual delay applies then.
std::optional<qint64> retryAfterSeconds(const QByteArray &value, const QDateTime &now);

// The delay before the next try, in seconds: what the server asked (-1 for
// nothing), never shorter than the user's delay, which paces the retry
// budget, and never longer than the longest delay the settings allow.
int retryDelaySeconds(int usualSeconds, int serverSeconds);
