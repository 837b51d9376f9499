#pragma once

#include <QString>

// The host name of a download address, or "ERROR" after telling the user
// "Dirección incorrecta.".
QString GetHost(const QString &url);
