#include "core/tls_config.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSslSocket>

namespace {
QMutex trustLock;
QList<QSslCertificate> extraTrusted;
} // namespace

void setExtraTrustedCertificates(const QList<QSslCertificate> &certificates)
{
    QMutexLocker lock(&trustLock);
    extraTrusted = certificates;
}

// Downloads run on several threads, so the list is read under the lock.
QSslConfiguration verifyingTlsConfiguration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    {
        QMutexLocker lock(&trustLock);
        if (!extraTrusted.isEmpty())
            config.addCaCertificates(extraTrusted);
    }
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return config;
}
