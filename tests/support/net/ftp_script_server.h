#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace testing {

// A passive-mode FTP server on 127.0.0.1 (port 0) that plays a script: it
// records every command line it receives and answers each with a canned
// reply, which a test can replace or arrange into packets on purpose.
// It serves one file, honouring REST n.
class FtpScriptServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpScriptServer)
public:
    explicit FtpScriptServer(QObject *parent = nullptr);
    ~FtpScriptServer() override;

    bool isListening() const;
    quint16 port() const;

    // The file SIZE and RETR know, by name ("x.tgz"), with its bytes.
    void setFile(const QString &name, const QByteArray &body);

    // Every command line received, without its line end, over all control
    // connections in order.
    QStringList commands() const { return commands_; }
    int controlConnections() const { return controlConnections_; }
    // Control connections the client has not closed yet.
    int openControlConnections() const;
    int dataConnections() const { return dataConnections_; }
    // Bytes written on data connections so far.
    qint64 bytesServed() const { return bytesServed_; }
    // "127.0.0.1" for a data connection that came to the passive listener.
    QString lastDataPeer() const { return lastDataPeer_; }

    // Replaces the reply to one exact command line ("REST 0" -> "502 No.\r\n").
    void setReply(const QString &command, const QByteArray &reply);
    // The reply to "REST 0" is held back and sent in one packet with the
    // reply to the SIZE that follows it.
    void setJoinRestAndSize(bool on) { joinRestAndSize_ = on; }
    // Replies to commands with this verb ("PASV") go out in two packets,
    // cut inside the line, the second a little later.
    void setSplitReplyTo(const QString &verb) { splitVerb_ = verb; }
    // The login is greeted with a multi-line 230.
    void setMultiLineWelcome(bool on) { multiLineWelcome_ = on; }
    // The next n PASS commands are answered 530.
    void setRejectLogins(int n) { rejectLogins_ = n; }
    // Credentials the server accepts; empty accepts any.
    void setCredentials(const QString &user, const QString &password);
    // The host named in the 227 reply (the listener stays on 127.0.0.1).
    void setPassiveHost(const QString &dottedQuad) { passiveHost_ = dottedQuad; }
    // REST n is answered 350 but the file is sent from its first byte.
    void setIgnoreRest(bool on) { ignoreRest_ = on; }
    // The next data connection is closed after this many bytes (once).
    void setCutDataAfter(qint64 bytes) { cutDataAfter_ = bytes; }

private:
    struct Session;

    void acceptControl();
    void acceptData();
    void readCommands(Session *s);
    void answer(Session *s, const QString &line);
    void reply(Session *s, const QByteArray &text);
    void send(Session *s, const QByteArray &bytes, int delayMs);
    void pump(Session *s);
    void startTransfer(Session *s);
    QByteArray passiveReply() const;

    QTcpServer *control_ = nullptr;
    QTcpServer *passive_ = nullptr;
    std::vector<std::unique_ptr<Session>> sessions_;
    Session *awaitingData_ = nullptr;

    QString fileName_;
    QByteArray body_;
    QHash<QString, QByteArray> replies_;
    bool joinRestAndSize_ = false;
    QString splitVerb_;
    bool multiLineWelcome_ = false;
    int rejectLogins_ = 0;
    QString user_;
    QString password_;
    QString passiveHost_ = QStringLiteral("127.0.0.1");
    qint64 cutDataAfter_ = -1;
    bool ignoreRest_ = false;

    QStringList commands_;
    int controlConnections_ = 0;
    int dataConnections_ = 0;
    qint64 bytesServed_ = 0;
    QString lastDataPeer_;
};

} // namespace testing
