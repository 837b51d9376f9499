#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

// For tests, and for an authority named by SSL_CERT_FILE: trusted by every
// secure connection on top of the system's own authorities.
void setExtraTrustedCertificates(const QList<QSslCertificate> &certificates);

// What every secure connection of the program uses: the system's
// authorities and the extra ones, with the server's certificate verified.
// Nothing lets a connection skip the check.
QSslConfiguration verifyingTlsConfiguration();

// A socket for one connection: a QSslSocket with that configuration when
// secure, a plain one otherwise.
QTcpSocket *newSocket(bool secure, QObject *parent);
// Connects the socket, with its handshake when it is a QSslSocket. A plain
// one is unbuffered: what arrives goes from the kernel to the reader's own
// buffer, without a copy in the socket's.
void openSocket(QTcpSocket *socket, const QString &host, quint16 port);
// Calls onOpen once the socket can carry a request: encrypted, or connected.
template <typename OnOpen> QMetaObject::Connection whenOpened(QTcpSocket *socket, QObject *context, OnOpen onOpen)
{
    if (auto *tls = qobject_cast<QSslSocket *>(socket))
        return QObject::connect(tls, &QSslSocket::encrypted, context, onOpen);
    return QObject::connect(socket, &QTcpSocket::connected, context, onOpen);
}
