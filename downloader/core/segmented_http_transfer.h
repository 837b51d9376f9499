#pragma once

#include "core/http_transfer.h"
#include "core/segment_plan.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>
#include <vector>

// An HTTP download that, once its first reply shows the server serves ranges
// of a file of known size, shares the rest between several connections, each
// writing its own range at its place in the one open file. Until then, and
// when the file is too small, it is a plain HttpTransfer.
//
// The position stays "every byte before it is on disk": the planner's proven
// prefix. The finished ranges past it are kept in the side file beside the
// target, saved at most once a second and removed when the file is whole.
// The figures' `written` counts every byte on disk, so the row's progress
// moves as the connections write, not only when the prefix grows.
class SegmentedHttpTransfer final : public HttpTransfer {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedHttpTransfer)
public:
    SegmentedHttpTransfer(const TransferJob &job, int connections);
    ~SegmentedHttpTransfer() override;

protected:
    void start() override;
    void dropSockets() override;
    void readShare() override;
    void lose(const Message &status, int retryAfter = -1) override;
    bool takeBody(const char *data, qint64 size) override;
    bool replyAccepted(const ResponseFacts &facts, const ResponseDecision &decision, const QByteArray &validator,
                       const QByteArray &acceptRanges) override;
    qint64 bytesOnDisk() const override;
    qint64 firstRequestLast(qint64 from) const override;
    QByteArray fileValidator() const override;
    void settleSideFile() override;

private:
    struct Extra;

    bool segmented() const { return plan_.has_value(); }
    QByteArray sideFileBytes() const;
    QList<ByteRange> loadSideRanges(qint64 prefix);
    void openExtra(int connection, const ByteRange &range);
    void sendRequest(Extra *e);
    void drainExtra(Extra *e, bool all);
    bool consumeExtra(Extra *e, const char *data, qint64 size);
    bool extraHeader(Extra *e);
    bool proveExtra(Extra *e, const char *&data, qint64 &size);
    void extraEnded(Extra *e, bool refused);
    Extra *extraOf(quint64 serial) const;
    void closeExtra(int connection);
    // Writes a connection's body bytes at its place; false when the
    // connection is done (its range full or cut short by a split) or the
    // download ended.
    bool writeSegment(int connection, const char *data, qint64 size);
    void rangeDone(int connection);
    void connectionGone(int connection, bool refused);
    void moveOn(int connection);
    int working() const;
    void contradicted();
    bool saveSideFile(bool now); // false when it could not be written
    void updateFigures();

    int wanted_ = 1;
    std::optional<SegmentPlan> plan_;
    QByteArray validator_;
    QList<ByteRange> kept_;       // ranges past the prefix known on disk while not segmented
    QList<ByteRange> sideRanges_; // what the side file named when the download was taken up
    QList<ByteRange> unproven_;   // ends of ranges read from the side file, proven by the range after them
    bool outOfOrder_ = false;     // bytes past the position are not in order: the length proves nothing
    bool firstAlive_ = false;     // the first connection still works for the plan (connection 0)
    int allowed_ = 1;             // fewer once the server refused one: no more are tried for this download
    bool refusalTold_ = false;
    std::vector<std::unique_ptr<Extra>> extras_;
    quint64 serials_ = 0;
    QElapsedTimer sideSaved_;
    class QTimer *sideTimer_ = nullptr;
};
