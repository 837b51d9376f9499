#pragma once

#include <QByteArray>
#include <QList>

// Collects FTP control replies that may arrive in any packets. Every
// complete reply comes out once, in order, as its final line without the
// line end ("230 Logged in."); a multi-line reply ("230-..." up to
// "230 ...") comes out once, as its closing line.
class FtpReplyBuffer {
public:
    static constexpr int kMaxPending = 64 * 1024;

    QList<QByteArray> feed(const QByteArray &data);
    void reset();

private:
    QByteArray pending_;
    QByteArray multiLineCode_; // "230" while inside a multi-line reply
};

// The three-digit code at the start of a reply line, 0 when there is none.
int ftpReplyCode(const QByteArray &line);

// The size in a "213 <n>" reply: only a plain decimal number that fits in 63
// bits counts; anything else (-1, text, too large) gives -1, size unknown.
qint64 ftpSizeValue(const QByteArray &line);
