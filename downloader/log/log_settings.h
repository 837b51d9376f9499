#pragma once

#include <QString>

#include <functional>

// Where the log is kept and how large it may grow. The settings dialog owns
// both values; the main window installs readers for them here, so the log
// needs nothing from the settings folder.
void setLogSettings(std::function<QString()> histrut, std::function<int()> histsizeKb);

// The log file: the configured path, or programFolder/historial.rtf when none
// is set.
QString logPath();
// The size limit of the saved log in kilobytes; 0 means no limit.
int logLimitKb();
