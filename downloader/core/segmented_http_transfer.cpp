// A download over several HTTP connections into one file.
#include "core/segmented_http_transfer.h"

#include "core/atomic_file.h"
#include "core/chunk_sizes.h"
#include "core/http_request.h"
#include "core/quiet_abort.h"
#include "core/response_facts.h"
#include "core/segment_file.h"
#include "core/segment_reply.h"
#include "core/tls_config.h"

#include <QFile>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>

#include <fcntl.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int kSideFileEveryMs = 1000;

// Every byte of the file that is on disk, the proven prefix included.
QList<ByteRange> bytesOnDiskOf(const SegmentPlan &plan)
{
    QList<ByteRange> all = doneRanges(plan);
    all.prepend({0, provenPrefix(plan)});
    return mergedRanges(all);
}

bool allOnDisk(const SegmentPlan &plan)
{
    return provenPrefix(plan) == plan.size;
}
} // namespace

// One connection past the first: a closed range request and its reply.
struct SegmentedHttpTransfer::Extra {
    int connection = 0;
    quint64 serial = 0;
    QTcpSocket *socket = nullptr;
    HttpResponseParser response;
    ByteRange range;       // what it is to write
    qint64 proofLeft = 0;  // bytes before range.first compared with the file first
    bool asked = false;    // connected and its request sent: only then is there anything to read
    bool answered = false; // its reply header came
};

SegmentedHttpTransfer::SegmentedHttpTransfer(const TransferJob &job, int connections)
    : HttpTransfer(job), wanted_(std::clamp(connections, 1, 16)), allowed_(wanted_), sideTimer_(new QTimer(this))
{
    sideTimer_->setSingleShot(true);
    connect(sideTimer_, &QTimer::timeout, this, [this] { saveSideFile(true); });
}

SegmentedHttpTransfer::~SegmentedHttpTransfer()
{
    dropSockets();
}

void SegmentedHttpTransfer::start()
{
    // A file written again from its first byte keeps nothing past it.
    if (QFile(job_.file).size() == 0) {
        kept_.clear();
        unproven_.clear();
        outOfOrder_ = false;
        written_ = 0;
    }
    HttpTransfer::start();
}

void SegmentedHttpTransfer::dropSockets()
{
    if (segmented()) {
        kept_ = doneRanges(*plan_);
        saveSideFile(true);
        plan_.reset();
    }
    sideTimer_->stop();
    while (!extras_.empty())
        closeExtra(extras_.back()->connection);
    firstAlive_ = false;
    connections_ = 0;
    HttpTransfer::dropSockets();
}

void SegmentedHttpTransfer::readShare()
{
    if (!segmented() || firstAlive_)
        HttpTransfer::readShare();
    // A read of a connection still opening fails, and would be taken for
    // the server closing it.
    QList<quint64> serials;
    for (const auto &e : extras_)
        if (e->asked)
            serials.append(e->serial);
    for (quint64 serial : serials)
        if (Extra *e = extraOf(serial))
            drainExtra(e, false);
}

// Kept: the first reply decides whether its ranges still hold. The list file
// is saved less often than the side file, and may even predate the first
// reply: the side file's own prefix and size are where a restart goes on from.
void SegmentedHttpTransfer::settleSideFile()
{
    if (!QFile::exists(segmentFilePath(job_.file)))
        return;
    const QByteArray bytes = sideFileBytes();
    const std::optional<SegmentRecord> header = segmentFileHeader(bytes);
    if (!header || (job_.size > 0 && header->size != job_.size)) {
        HttpTransfer::settleSideFile();
        return;
    }
    const SegmentLoad load = decodeSegmentFile(bytes, header->size, header->validator, 0);
    if (load.result != SegmentFileResult::Read) {
        HttpTransfer::settleSideFile();
        return;
    }
    if (!load.ranges.isEmpty() && load.ranges.first().first == 0) {
        const qint64 prefix = std::min(load.ranges.first().end, file_->size());
        job_.position = std::max(job_.position, prefix + 1);
    }
    if (job_.size == 0)
        job_.size = header->size;
    sideRanges_ = load.ranges;
    validator_ = header->validator;
    outOfOrder_ = true;
    // The row shows what is on disk from the start, not only the prefix.
    written_ = 0;
    for (const ByteRange &r : load.ranges)
        written_ += std::max<qint64>(0, std::min(r.end, file_->size()) - r.first);
}

// Before the first reply, the one the side file kept: what a new address
// must match, should this one have expired meanwhile.
QByteArray SegmentedHttpTransfer::fileValidator() const
{
    const QByteArray replied = HttpTransfer::fileValidator();
    return replied.isEmpty() ? validator_ : replied;
}

// Taken up with ranges on disk past the position, the first connection asks
// only for the gap before the next one: an open-ended request would bring
// bytes already on disk until the split stopped it.
qint64 SegmentedHttpTransfer::firstRequestLast(qint64 from) const
{
    if (!outOfOrder_)
        return -1;
    for (const ByteRange &r : kept_.isEmpty() ? sideRanges_ : kept_)
        if (r.first > from + kTailProof)
            return r.first - 1;
    return -1;
}

qint64 SegmentedHttpTransfer::bytesOnDisk() const
{
    const qint64 length = HttpTransfer::bytesOnDisk();
    if (!outOfOrder_)
        return length;
    return std::clamp<qint64>(job_.position - 1, 0, length);
}

// The first connection's body: its tail proof, then its range of the plan.
bool SegmentedHttpTransfer::takeBody(const char *data, qint64 size)
{
    if (!segmented())
        return writeBody(data, size);
    if (proofLeft_ > 0) {
        const qint64 proof = std::min(proofLeft_, size);
        if (!writeBody(data, proof))
            return false;
        data += proof;
        size -= proof;
        if (size == 0)
            return true;
    }
    return writeSegment(0, data, size);
}

QByteArray SegmentedHttpTransfer::sideFileBytes() const
{
    QFile side(segmentFilePath(job_.file));
    if (!side.open(QIODevice::ReadOnly))
        return {};
    // One byte more than a side file may hold, so an oversized one shows.
    return side.read(kMaxSideFileBytes + 1);
}

// Past the position the file holds the ranges of the side file, if it names
// this file; each is proven by the connection that fetches what follows it.
QList<ByteRange> SegmentedHttpTransfer::loadSideRanges(qint64 prefix)
{
    const SegmentLoad load = decodeSegmentFile(sideFileBytes(), job_.size, validator_, prefix);
    QList<ByteRange> ranges;
    for (ByteRange r : load.ranges) {
        // A range up to the end has nothing after it to prove it: its tail
        // is fetched again, proving the rest.
        if (r.end == job_.size)
            r.end -= std::min(kTailProof, r.length());
        if (r.first > prefix && r.length() > 0)
            ranges.append(r);
    }
    unproven_ = ranges;
    return ranges;
}

bool SegmentedHttpTransfer::replyAccepted(const ResponseFacts &facts, const ResponseDecision &decision,
                                          const QByteArray &validator, const QByteArray &acceptRanges)
{
    const qint64 from = file_->pos(); // where the first connection writes, past its proof
    if (decision.writeFrom == 0) {
        kept_.clear();
        unproven_.clear();
    }
    validator_ = validator;
    QList<ByteRange> ranges;
    if (outOfOrder_ && kept_.isEmpty() && unproven_.isEmpty())
        ranges = loadSideRanges(from);
    else
        ranges = kept_;
    ranges.removeIf([from](const ByteRange &r) { return r.first <= from; });
    SegmentPlan plan = initialPlan(job_.size, from, ranges, allowed_, kMinSegmentBytes);
    const bool worth = plan.segments.size() > 1 || !ranges.isEmpty();
    if (wanted_ < 2 || !worth || !allowsSegments(facts, decision, validator, acceptRanges)) {
        // One connection writes in order from here: nothing past it counts.
        if (outOfOrder_) {
            file_->resize(from);
            QFile::remove(segmentFilePath(job_.file));
            outOfOrder_ = false;
            written_ = 0;
            kept_.clear();
            unproven_.clear();
        }
        return true;
    }
    plan_ = plan;
    firstAlive_ = true;
    // The side file exists before the first byte lands out of order, so a
    // crash from here on never leaves the file's length to be trusted.
    if (!saveSideFile(true)) {
        plan_.reset();
        firstAlive_ = false;
        return true;
    }
    outOfOrder_ = true;
    // One extent for the whole file, where the file system allows it.
    if (file_->size() < job_.size)
        posix_fallocate(file_->handle(), 0, job_.size);
    for (const Segment &s : plan.segments)
        if (s.connection != 0)
            openExtra(s.connection, {s.first, s.end});
    updateFigures();
    positionAtConnect_ = written_ + 1;
    reportProgress(true);
    return true;
}

void SegmentedHttpTransfer::openExtra(int connection, const ByteRange &range)
{
    auto owned = std::make_unique<Extra>();
    Extra *e = owned.get();
    e->connection = connection;
    e->serial = ++serials_;
    e->range = range;
    for (const ByteRange &r : std::as_const(unproven_))
        if (r.end == range.first)
            e->proofLeft = std::min(kTailProof, r.length());
    e->socket = makeSocket(secure());
    extras_.push_back(std::move(owned));
    const quint64 serial = e->serial;
    whenOpened(e->socket, this, [this, serial] {
        if (Extra *x = extraOf(serial))
            sendRequest(x);
    });
    connect(e->socket, &QTcpSocket::readyRead, this, [this, serial] {
        if (secure())
            readLater();
        else if (Extra *x = extraOf(serial))
            drainExtra(x, false);
    });
    connect(e->socket, &QTcpSocket::disconnected, this, [this, serial] {
        if (Extra *x = extraOf(serial))
            drainExtra(x, true);
        if (Extra *x = extraOf(serial))
            extraEnded(x, !x->answered);
    });
    connect(e->socket, &QTcpSocket::errorOccurred, this, [this, serial](QAbstractSocket::SocketError error) {
        // An orderly close comes as disconnected(), handled there.
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        if (Extra *x = extraOf(serial))
            extraEnded(x, !x->answered);
    });
    openSocket(e->socket, job_.host, job_.port);
}

void SegmentedHttpTransfer::sendRequest(Extra *e)
{
    const SessionHeaders session = sessionHeaders(job_.session, job_.url);
    const RangeRequest request{
        job_.host,        job_.port,  secure(),       job_.path,      e->range.first - e->proofLeft,
        e->range.end - 1, validator_, session.cookie, session.referer};
    e->socket->write(rangeRequestBytes(request));
    e->asked = true;
}

SegmentedHttpTransfer::Extra *SegmentedHttpTransfer::extraOf(quint64 serial) const
{
    for (const auto &e : extras_)
        if (e->serial == serial)
            return e.get();
    return nullptr;
}

void SegmentedHttpTransfer::closeExtra(int connection)
{
    for (auto it = extras_.begin(); it != extras_.end(); ++it) {
        if ((*it)->connection != connection)
            continue;
        QTcpSocket *socket = (*it)->socket;
        quietAbort(socket);
        socket->disconnect(this);
        // It may be inside one of its own signals.
        socket->deleteLater();
        extras_.erase(it);
        return;
    }
}

void SegmentedHttpTransfer::drainExtra(Extra *e, bool all)
{
    const quint64 serial = e->serial;
    bool closed = false;
    bool more = false;
    bool going = true;
    do {
        going = pump(e->socket, &closed, &more,
                     [this, e](const char *data, qint64 size) { return consumeExtra(e, data, size); });
    } while (all && going && more);
    if (!extraOf(serial))
        return; // ended inside
    if (closed)
        extraEnded(e, !e->answered);
    else if (more)
        readLater();
}

bool SegmentedHttpTransfer::consumeExtra(Extra *e, const char *data, qint64 size)
{
    if (!e->answered) {
        QByteArray body;
        const auto state = e->response.feed(QByteArray(data, size), &body);
        if (state == HttpResponseParser::State::Incomplete)
            return true;
        if (state == HttpResponseParser::State::Bad) {
            extraEnded(e, true);
            return false;
        }
        e->answered = true;
        if (!extraHeader(e))
            return false;
        return body.isEmpty() || consumeExtra(e, body.constData(), body.size());
    }
    if (e->proofLeft > 0 && !proveExtra(e, data, size))
        return false;
    return size == 0 || writeSegment(e->connection, data, size);
}

// The reply of an extra connection must be the asked range of the first
// reply's file; a server that will not serve it leaves the others working.
bool SegmentedHttpTransfer::extraHeader(Extra *e)
{
    ResponseFacts facts = replyFacts(e->response);
    facts.requestedFrom = e->range.first - e->proofLeft;
    facts.onDisk = job_.size;
    facts.knownSize = job_.size;
    facts.url = job_.url;
    facts.host = job_.host;
    facts.ifRangeSent = !validator_.isEmpty();
    facts.sessionLost = job_.sessionLost;
    const ResponseDecision decision = decideResponse(facts);
    switch (checkSegmentReply(facts, decision, replyValidator(e->response), validator_)) {
    case SegmentReply::Write:
        return true;
    case SegmentReply::Refused:
        extraEnded(e, true);
        return false;
    case SegmentReply::Contradicts:
        contradicted();
        return false;
    }
    return false;
}

// The bytes before the range, read from a side file's range, must be the
// server's; if not, nothing on disk can be trusted.
bool SegmentedHttpTransfer::proveExtra(Extra *e, const char *&data, qint64 &size)
{
    const qint64 take = std::min(e->proofLeft, size);
    const qint64 at = e->range.first - e->proofLeft;
    file_->seek(at);
    if (file_->read(take) != QByteArrayView(data, take)) {
        restartFromStart(say(Message::Id::TailMismatch, {job_.file, job_.url}));
        return false;
    }
    received_ += take;
    e->proofLeft -= take;
    data += take;
    size -= take;
    if (e->proofLeft == 0)
        unproven_.removeIf([e](const ByteRange &r) { return r.end == e->range.first; });
    return true;
}

bool SegmentedHttpTransfer::writeSegment(int connection, const char *data, qint64 size)
{
    const Segment *s = segmentOf(*plan_, connection);
    if (!s)
        return false;
    const qint64 at = s->next;
    const qint64 n = markWritten(*plan_, connection, size);
    received_ += size;
    if (n > 0 && (!file_->seek(at) || file_->write(data, n) != n)) {
        fail(file_->errorString());
        return false;
    }
    updateFigures();
    if (allOnDisk(*plan_)) {
        plan_.reset();
        QFile::remove(segmentFilePath(job_.file));
        outOfOrder_ = false;
        kept_.clear();
        unproven_.clear();
        finish();
        return false;
    }
    s = segmentOf(*plan_, connection);
    if (s->next == s->end) {
        rangeDone(connection);
        return false;
    }
    saveSideFile(false);
    reportProgress(false);
    return true;
}

// The connection's range is on disk, or was cut short by a split: its
// request is closed, and it takes more work if there is any.
void SegmentedHttpTransfer::rangeDone(int connection)
{
    if (connection == 0 && firstAlive_) {
        firstAlive_ = false;
        dropFirstConnection();
    } else {
        closeExtra(connection);
    }
    moveOn(connection);
    saveSideFile(false);
    reportProgress(false);
}

void SegmentedHttpTransfer::moveOn(int connection)
{
    std::optional<ByteRange> next = takeFree(*plan_, connection);
    if (!next)
        next = stealHalf(*plan_, connection);
    if (next)
        openExtra(connection, *next);
    else
        releaseConnection(*plan_, connection);
    updateFigures();
}

// A connection failed. Refused: the server wants fewer connections, so no
// other is opened for this download. Otherwise it tries its range again as
// long as it keeps bringing bytes. The download is lost only when no
// connection is left.
void SegmentedHttpTransfer::extraEnded(Extra *e, bool refused)
{
    connectionGone(e->connection, refused);
}

void SegmentedHttpTransfer::lose(const Message &status, int retryAfter)
{
    if (!segmented() || !firstAlive_) {
        HttpTransfer::lose(status, retryAfter);
        return;
    }
    connectionGone(0, false);
}

void SegmentedHttpTransfer::connectionGone(int connection, bool refused)
{
    const Segment *s = segmentOf(*plan_, connection);
    const bool progressed = s && s->next > s->first;
    if (connection == 0 && firstAlive_) {
        firstAlive_ = false;
        dropFirstConnection();
    } else {
        closeExtra(connection);
    }
    releaseConnection(*plan_, connection);
    if (refused && working() > 0 && working() < allowed_) {
        allowed_ = working();
        if (!refusalTold_)
            report(TransferEvent::Kind::Note,
                   say(Message::Id::FewerConnections, {job_.host, QString::number(allowed_)}));
        refusalTold_ = true;
    }
    if (!refused && progressed) {
        if (const std::optional<ByteRange> again = takeFree(*plan_, connection)) {
            openExtra(connection, *again);
            return;
        }
    }
    updateFigures();
    if (working() == 0)
        HttpTransfer::lose(say(Message::Id::ConnectionLost, {job_.url}));
}

int SegmentedHttpTransfer::working() const
{
    return int(extras_.size()) + (firstAlive_ ? 1 : 0);
}

// Another file behind the same address: the bytes stay, nothing is spliced.
void SegmentedHttpTransfer::contradicted()
{
    const Message notice = say(Message::Id::OtherFileOnConnection, {job_.url});
    report(TransferEvent::Kind::Problem, notice);
    stop(notice, StopReason::SizeChanged);
}

bool SegmentedHttpTransfer::saveSideFile(bool now)
{
    if (!segmented())
        return true;
    if (!now && sideSaved_.isValid() && sideSaved_.elapsed() < kSideFileEveryMs) {
        if (!sideTimer_->isActive())
            sideTimer_->start(int(kSideFileEveryMs - sideSaved_.elapsed()));
        return true;
    }
    sideTimer_->stop();
    sideSaved_.start();
    const SegmentRecord record{job_.size, validator_, bytesOnDiskOf(*plan_)};
    QString error;
    return platform::saveFileAtomically(segmentFilePath(job_.file), encodeSegmentFile(record), &error);
}

void SegmentedHttpTransfer::updateFigures()
{
    job_.position = provenPrefix(*plan_) + 1;
    qint64 written = 0;
    for (const ByteRange &r : bytesOnDiskOf(*plan_))
        written += r.length();
    written_ = written;
    connections_ = working();
}
