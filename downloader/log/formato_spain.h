#pragma once

#include <QString>

// The platform's date, month-day-year ("12-31-1999"), as the log shows it:
// day/month/year ("31/12/1999"). A shorter text gives shorter pieces, never an
// error.
QString FormatoSpain(const QString &date);
