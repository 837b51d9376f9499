#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

namespace testing {

// A TLS server on 127.0.0.1 written on OpenSSL itself, so that a test can end
// the stream in ways Qt's own sockets never do: a TCP close without the TLS
// close_notify (a truncation), or a close_notify after which the TCP
// connection stays open until the client answers with its own.
// It answers each connection with the next scripted reply (the last one
// stands), on a thread of its own: the test's event loop stays free.
class TlsScriptServer {
public:
    enum class Ending {
        CloseNotifyThenClose, // close_notify, then the TCP close at once
        CloseWithoutNotify,   // the TCP close alone
        CloseNotifyAwaitPeer  // close_notify, then wait for the client's
    };
    struct Reply {
        QByteArray head; // status line and headers, CR LF each, without the blank line
        QByteArray body;
        qint64 sendBytes = -1; // of the body; -1 for all of it
        Ending ending = Ending::CloseNotifyThenClose;
    };

    TlsScriptServer(const QString &certificateFile, const QString &keyFile);
    ~TlsScriptServer();
    TlsScriptServer(const TlsScriptServer &) = delete;
    TlsScriptServer &operator=(const TlsScriptServer &) = delete;

    bool listen(); // on a free port
    quint16 port() const { return port_; }
    void addReply(const Reply &reply);

    int connections() const { return connections_; }
    // Connections whose client answered a close_notify with its own.
    int closeNotifiesAnswered() const { return answered_; }
    QList<QByteArray> requests() const;

private:
    void run();
    void serve(int fd);
    Reply replyFor(int index) const;

    QString certificateFile_;
    QString keyFile_;
    void *context_ = nullptr; // SSL_CTX
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> answered_{0};
    mutable std::mutex mutex_;
    QList<Reply> replies_;
    QList<QByteArray> requests_;
};

} // namespace testing
