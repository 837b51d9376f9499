#include "tls_script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing {

namespace {
constexpr int kPollMs = 50;
constexpr int kPeerWaitMs = 10000;
// Longer than any test waits for a download: a client that does not answer
// a close_notify is seen failing, not rescued by the server giving up.
constexpr int kAwaitAnswerMs = 60000;

// Waits for the socket to become readable, giving up when the server stops.
bool readable(int fd, int timeoutMs, const std::atomic<bool> &stopping)
{
    for (int waited = 0; waited < timeoutMs && !stopping; waited += kPollMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) > 0)
            return true;
    }
    return false;
}
} // namespace

TlsScriptServer::TlsScriptServer(const QString &certificateFile, const QString &keyFile)
    : certificateFile_(certificateFile), keyFile_(keyFile)
{
}

TlsScriptServer::~TlsScriptServer()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
    SSL_CTX_free(static_cast<SSL_CTX *>(context_));
}

bool TlsScriptServer::listen()
{
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    context_ = context;
    if (!context || SSL_CTX_use_certificate_chain_file(context, certificateFile_.toLocal8Bit().constData()) != 1
        || SSL_CTX_use_PrivateKey_file(context, keyFile_.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1)
        return false;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(listener_, 8) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return false;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void TlsScriptServer::addReply(const Reply &reply)
{
    std::lock_guard lock(mutex_);
    replies_.append(reply);
}

QList<QByteArray> TlsScriptServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

TlsScriptServer::Reply TlsScriptServer::replyFor(int index) const
{
    std::lock_guard lock(mutex_);
    if (replies_.isEmpty())
        return {};
    return replies_.at(qMin<qsizetype>(index, replies_.size() - 1));
}

void TlsScriptServer::run()
{
    while (!stopping_) {
        if (!readable(listener_, kPollMs, stopping_))
            continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serve(fd);
        ::close(fd);
    }
}

void TlsScriptServer::serve(int fd)
{
    const Reply reply = replyFor(connections_++);
    SSL *ssl = SSL_new(static_cast<SSL_CTX *>(context_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        return;
    }
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n")) {
        if (SSL_pending(ssl) == 0 && !readable(fd, kPeerWaitMs, stopping_))
            break;
        const int n = SSL_read(ssl, buffer, sizeof buffer);
        if (n <= 0)
            break;
        request.append(buffer, n);
    }
    {
        std::lock_guard lock(mutex_);
        requests_.append(request);
    }
    const QByteArray body = reply.sendBytes < 0 ? reply.body : reply.body.left(reply.sendBytes);
    const QByteArray out = reply.head + "\r\n" + body;
    for (qsizetype sent = 0; sent < out.size();) {
        const int n = SSL_write(ssl, out.constData() + sent, int(qMin<qsizetype>(out.size() - sent, 16384)));
        if (n <= 0)
            break;
        sent += n;
    }
    switch (reply.ending) {
    case Ending::CloseWithoutNotify:
        break;
    case Ending::CloseNotifyThenClose:
        SSL_shutdown(ssl);
        break;
    case Ending::CloseNotifyAwaitPeer:
        // The TCP connection stays open until the client's close_notify (or
        // its TCP close) arrives.
        if (SSL_shutdown(ssl) == 0 && readable(fd, kAwaitAnswerMs, stopping_) && SSL_shutdown(ssl) == 1)
            ++answered_;
        break;
    }
    SSL_free(ssl);
}

} // namespace testing
