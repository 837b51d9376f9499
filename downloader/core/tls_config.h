#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

// For tests, and for an authority named by SSL_CERT_FILE: trusted by every
// secure connection on top of the system's own authorities.
void setExtraTrustedCertificates(const QList<QSslCertificate> &certificates);

// What every secure connection of the program uses: the system's
// authorities and the extra ones, with the server's certificate verified.
// Nothing lets a connection skip the check.
QSslConfiguration verifyingTlsConfiguration();
