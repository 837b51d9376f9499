#pragma once

#include "core/message.h"

#include <QList>
#include <QSslError>
#include <QString>

// The Spanish sentence for what the core tells.
QString wording(const Message &message);

// Why an add is refused when another download already writes file.
QString targetTakenText(const QString &file);

// What is wrong with a refused certificate, as a sentence naming host.
QString certificateProblem(const QString &host, const QList<QSslError> &errors);
