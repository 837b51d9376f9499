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

QTcpSocket *newSocket(bool secure, QObject *parent)
{
    if (!secure)
        return new QTcpSocket(parent);
    auto *tls = new QSslSocket(parent);
    tls->setSslConfiguration(verifyingTlsConfiguration());
    return tls;
}

void openSocket(QTcpSocket *socket, const QString &host, quint16 port)
{
    // The host name goes out as SNI and is what the certificate must name.
    if (auto *tls = qobject_cast<QSslSocket *>(socket))
        tls->connectToHostEncrypted(host, port, QIODevice::ReadWrite);
    else
        socket->connectToHost(host, port, QIODevice::ReadWrite | QIODevice::Unbuffered);
}
