#pragma once

#include "core/address_rebind.h"
#include "core/http_response.h"

#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// What the probe needs to know of the download and of the new address.
struct RebindTarget {
    QString url; // the new address
    QString file;
    qint64 onDisk = 0; // bytes proven on disk: the position - 1
    qint64 size = 0;   // 0 when unknown
    QByteArray validator;
};

// Asks a new address for the bytes just before a stopped download's position
// and judges the answer against the disk (judgeProbe). It reads the disk and
// the network on the thread it lives on, never the window's; it writes
// nothing. Redirects are followed, as a download would.
class RebindProbe : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RebindProbe)
public:
    explicit RebindProbe(const RebindTarget &target);
    ~RebindProbe() override;

    // On the probe's own thread; judged() follows once, whatever happens.
    void start();

    static constexpr int kMaxRedirects = 10;
    static constexpr int kTimeoutMs = 30000;

signals:
    void judged(BindVerdict verdict);

private:
    void connectTo(const QString &url);
    void onConnected();
    void onReadyRead();
    void onClosed();
    void finish(BindVerdict verdict);
    void finishWithReply();

    RebindTarget target_;
    BindingKnown known_;
    ProbeReply reply_;
    QString current_; // the address asked now, after redirects
    QString host_;
    quint16 port_ = 0;
    QString path_;
    bool secure_ = false;
    int redirects_ = 0;
    bool done_ = false;
    QTcpSocket *socket_ = nullptr;
    QTimer *timeout_ = nullptr;
    HttpResponseParser response_;
    ChunkedDecoder chunks_;
};
