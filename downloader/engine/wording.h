#pragma once

#include "core/download_state.h"
#include "core/message.h"

#include <QList>
#include <QSslError>
#include <QString>

// The Spanish sentence for what the core tells.
QString wording(const Message &message);

// Why an add is refused when another download already writes file.
QString targetTakenText(const QString &file);

// The details window's "Estado actual" for a download in this state.
QString detailsStateText(DownloadState state, StopReason reason);

// What is wrong with a refused certificate, as a sentence naming host.
QString certificateProblem(const QString &host, const QList<QSslError> &errors);
