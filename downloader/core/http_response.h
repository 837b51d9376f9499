#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Collects an HTTP response header that may arrive in any number of packets.
class HttpResponseParser {
public:
    enum class State {
        Incomplete, // more bytes needed
        Complete,   // header parsed; the bytes after it were handed back as body
        Bad         // no status line, malformed, conflicting or larger than the cap
    };

    static constexpr int kMaxHeaderBytes = 64 * 1024;

    // Feeds received bytes. Interim replies (1xx) are skipped. Once the state
    // is Complete, the bytes past the header are appended to *body; later
    // calls only pass bytes through to *body. A reply that does not start
    // with "HTTP/1." is Bad: its bytes are never taken for the file.
    State feed(const QByteArray &data, QByteArray *body);
    State state() const { return state_; }
    void reset();

    int status() const { return status_; } // 0 when unknown
    QByteArray statusLine() const { return statusLine_; }
    // The first header of that name (any letter case), value trimmed; null if absent.
    QByteArray header(const QByteArray &name) const;
    qint64 contentLength() const; // -1 when absent or not a number; repeats agree (checked by the parser)
    bool chunked() const;         // Transfer-Encoding: chunked
    // Content-Range: bytes first-last/total. Returns false when absent or malformed.
    // total is -1 for "*"; "bytes */total" gives first and last -1.
    bool contentRange(qint64 *first, qint64 *last, qint64 *total) const;

private:
    State state_ = State::Incomplete;
    QByteArray buffer_;
    QByteArray statusLine_;
    int status_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;
    qint64 headBytes_ = 0; // interim replies included, against the cap
    bool parse(const QByteArray &head);
    bool lengthsAgree() const;
    State fail();
};

// Decodes a Transfer-Encoding: chunked body fed in any splits.
class ChunkedDecoder {
public:
    enum class State { Data, Done, Bad };
    // Appends the decoded bytes of data to *out.
    State feed(const QByteArray &data, QByteArray *out);
    State state() const { return state_; }
    void reset();

private:
    enum class Step { Size, Data, DataEnd, Trailer };
    State state_ = State::Data;
    Step step_ = Step::Size;
    QByteArray line_;
    qint64 remaining_ = 0;
    qint64 trailerBytes_ = 0;
};
