#pragma once

#include "core/browser_session.h"
#include "core/chunk_sizes.h"
#include "core/download_state.h"
#include "core/message.h"
#include "core/token_bucket.h"
#include "core/tsan_sync.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTcpSocket;

// What the window knows of a download when it hands it to its transfer.
struct TransferJob {
    QString url;
    QString file;
    qint64 size = 0;     // 0 while unknown
    qint64 position = 0; // bytes on disk + 1; 0 = never started
    bool resumable = false;
    QString host; // where the first connection goes (the window checked the address)
    quint16 port = 0;
    QString path;
    QString ftpuser;
    QString ftppass;
    BrowserSession session;   // what the browser handed over with the address; memory only
    bool sessionLost = false; // it ran with the browser's session, which a restart did not keep
};

// The figures of a running transfer, as the window shows and saves them.
struct TransferFigures {
    QString url;
    qint64 position = 0;
    qint64 size = 0;
    bool resumable = false;
    qint64 positionAtConnect = 0; // where this connection started writing
    qint64 received = 0;          // bytes received so far: their arrival keeps the watchdog quiet
    // Over several connections the file also holds finished ranges past the
    // position: every byte written, for the progress the user sees; 0 when
    // the position tells it all.
    qint64 written = 0;
    int connections = 0;  // connections receiving the file
    QByteArray validator; // the file's ETag or Last-Modified; empty when unknown
};
Q_DECLARE_METATYPE(TransferFigures)

// What a transfer tells the table. Each event but FileDeleted belongs to an
// attempt; the table drops those of attempts it gave up.
struct TransferEvent {
    enum class Kind {
        Connected,    // the connection is open; data may follow
        Progress,     // figures
        Redirected,   // message: the old address and the new one
        Finished,     // figures: every byte is on disk
        Lost,         // message: the status; the table retries on its budget
        Stopped,      // message: the notice; the download waits for the user
        Removed,      // the server has no such file
        FileFailed,   // message: why the file could not be written
        LoginRefused, // the FTP server refused the login
        Problem,      // message: a red log line
        Note,         // message: a black log line, nothing went wrong
        Status,       // message: for the status bar
        FileDeleted,  // closeAndDelete is done
    };
    Kind kind = Kind::Progress;
    int attempt = 0;
    StopReason reason = StopReason::None; // Stopped: why
    int retryAfter = -1;                  // Lost: seconds the server asked to wait, -1 when it did not
    TransferFigures figures;
    Message message;
    // Last: Qt copies the event for the table inside the emit, and the copy
    // of this member then releases every field above to the receiver.
    TsanHandoff handoff;
};
Q_DECLARE_METATYPE(TransferEvent)

// One download's connections, its open target file and the rules of its
// protocol. It lives on a worker thread; the window drives it through the
// queued calls below and learns what happened through its signals, each
// tagged with the attempt it belongs to, so a late signal of a connection the
// window already gave up is recognised and dropped.
class Transfer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transfer)
public:
    explicit Transfer(const TransferJob &job);
    ~Transfer() override;

    // Called on the transfer's own thread: the window queues them as functors.
    void connectNow(int attempt); // (re)connect from what is on disk
    void closeAll();              // drop the connections, close the file
    void closeAndDelete();        // the same, then delete the file and report fileDeleted
    void setLogin(const QString &user, const QString &password);
    void forgetBytes(); // the next connection starts from byte 1
    // This download's own speed limit, under the shared one; 0 is none.
    void setOwnLimit(qint64 bytesPerSecond);

signals:
    // Everything the transfer tells the table, one typed event at a time.
    void reported(const TransferEvent &event);

protected:
    virtual void start() = 0;       // the protocol's first step
    virtual void dropSockets() = 0; // abort every socket without their signals
    // A TLS socket verifying the server when secure, a plain one otherwise.
    QTcpSocket *makeSocket(bool secure = false);

    // Reads what the socket has, a cache-sized chunk at a time, handing each
    // to take(); false when take() ended the transfer, or the read failed
    // (an unbuffered socket tells the peer's close that way: *closed is set).
    // At most kReadsPerWake chunks: *more is set when the socket may hold
    // more, to be read after the other transfers of this thread had a turn.
    bool pump(QTcpSocket *socket, bool *closed, bool *more, const std::function<bool(const char *, qint64)> &take);
    // Asks for readShare() once this thread's other work had its turn; a
    // connection that ends or starts again drops it with dropReadLater().
    void readLater();
    void dropReadLater() { readPending_ = false; }
    virtual void readShare() = 0; // a wake-up's share of what the body connection holds

    // The body path shared by both protocols.
    bool openTarget();
    void closeTarget();
    // Writes arriving body bytes (after proving the tail); false when the
    // transfer ended inside (a failed write, a failed proof).
    bool writeBody(const char *data, qint64 size);
    // The file is written again from its first byte.
    void rewriteFromStart();
    // Where to ask from: bytes on disk that this download did not write are
    // proven first, from a little before their end; alwaysProve proves its
    // own too, for a server whose word on where it resumes is not enough.
    qint64 resumeFrom(qint64 onDisk, bool alwaysProve = false) const;
    // The bytes from `from` up to onDisk are compared before any is written.
    void startProof(qint64 from, qint64 onDisk);
    bool complete() const;

    // Endings; each closes everything first.
    void finish();
    virtual void lose(const Message &status, int retryAfter = -1);
    void stop(const Message &notice, StopReason reason = StopReason::Refused);
    void restartFromStart(const Message &why);
    void fail(const QString &reason);       // the file could not be written: the system's reason
    void failWith(const Message &sentence); // the same, told in a message of its own
    void reportProgress(bool now);
    // Tells the table; the message, the reason (Stopped) and the server's
    // wait (Lost) as the kind describes them.
    void report(TransferEvent::Kind kind, const Message &message = {}, StopReason reason = StopReason::None,
                int retryAfter = -1);
    TransferFigures figures() const;
    void endConnection(); // sockets dropped, file closed, nothing told

    TransferJob job_;
    std::unique_ptr<QFile> file_;
    int attempt_ = 0;
    bool ownBytes_ = false;            // written or proven by this download since it entered the table
    bool overrunIsSizeChange_ = false; // bytes past the announced size stop the download
    qint64 proofLeft_ = 0;             // tail bytes still to compare with what arrives
    qint64 proofAt_ = 0;               // where in the file the next compared byte sits
    qint64 positionAtConnect_ = 0;
    qint64 received_ = 0;
    qint64 written_ = 0; // see TransferFigures::written
    int connections_ = 0;
    QElapsedTimer lastReport_;
    QByteArray chunk_;                   // the read buffer, reused
    class QTimer *lateReport_ = nullptr; // a report held back by the rate limit still goes out

    // A side file left by a download over several connections means the
    // bytes past the position are not in order: only the position is kept.
    virtual void settleSideFile();
    // The validator of the file being written, for the figures.
    virtual QByteArray fileValidator() const { return {}; }

private:
    bool proveTail(const char *&data, qint64 &size);
    bool sideFileSettled_ = false;
    // How much of want the speed limits let the socket's reader take now; 0
    // starts the wake-up that reads again once they allow it.
    qint64 grantRead(const QTcpSocket *socket, qint64 want);

    TokenBucket ownLimit_;
    class QTimer *throttled_ = nullptr; // reads again once the limits allow

    bool readPending_ = false; // a readShare() is queued
};
