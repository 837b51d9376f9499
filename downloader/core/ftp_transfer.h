#pragma once

#include "core/ftp_reply.h"
#include "core/ftp_step.h"
#include "core/transfer.h"

#include <QByteArray>

// One download over FTP: the control connection ftp driven by complete
// replies, and the passive data connection ws whose bytes take the body path.
class FtpTransfer final : public Transfer {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpTransfer)
public:
    explicit FtpTransfer(const TransferJob &job);
    ~FtpTransfer() override;

protected:
    void start() override;
    void dropSockets() override;

private:
    void setStep(FtpStep step); // the only writer of ftpstate
    void send(const QString &command);
    void onControlConnected();
    void onControlReadyRead();
    void onControlDisconnected();
    void onControlError();
    void readData(bool all); // a wake-up's share of the data connection, or all it holds
    void readShare() override;
    void onDataDisconnected();
    void onDataError();
    // Acts on one reply; false when the transfer ended inside.
    bool onReply(const QByteArray &line);
    void sizeKnown(qint64 size);
    void openData(const QByteArray &line);
    void finishOrLose();
    void dataEnded(); // the data connection closed or failed

    QTcpSocket *ftp_ = nullptr; // control connection
    QTcpSocket *ws_ = nullptr;  // data connection
    FtpReplyBuffer replies_;
    FtpStep ftpstate_ = FtpStep::None;
    bool dataClosed_ = false; // the data connection ended before the server confirmed it
};
