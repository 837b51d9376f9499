#pragma once

#include <QString>

// Time and number formats the windows show.

// H:MM:SS (hours without leading zeros, any number of digits).
QString formatElapsed(qint64 seconds);

// Rounding half to even, to a whole number or to some decimals.
qint64 roundHalfEven(double value);
double roundHalfEven(double value, int decimals);

// A number as the program shows it: at most two decimals, no trailing zeros,
// the system's decimal separator, no grouping (1.5, 10.33, 7).
QString numberText(double value);

// The size text of a row: "N bytes" below 1024, else N/1024 " Kb" up to
// 1048575, else N/1024² " Mb" (two decimals, half to even).
QString bytesText(qint64 value);

struct DownloadEntry;

// What every window shows of a download's progress: the bytes in the file
// (the entry's position counts one more, and 0 before it ever started) and
// their share of the size, in percent with two decimals, 0 while the size is
// unknown, never above 100.
qint64 bytesOnDisk(const DownloadEntry &e);
double percentOnDisk(const DownloadEntry &e);

// The time of day as the log writes it: hh:mm:ss.
QString clockText();
