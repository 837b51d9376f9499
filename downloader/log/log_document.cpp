#include "log/log_document.h"

#include "core/atomic_file.h"
#include "core/file_writer.h"
#include "log/formato_spain.h"
#include "log/log_limit.h"
#include "log/log_settings.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTime>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kRgbMask = 0xFFFFFF;
constexpr quint32 kSessionColor = 255;
// Up to this limit the fewest leading lines are cut, as asked. A larger log is
// cut 1/64 deeper: cutting to the exact limit would make every later entry
// cut again, and each cut encodes the whole log several times.
constexpr int kExactLimitKb = 64;

qsizetype numberLength(qint64 value)
{
    return QByteArray::number(value).size();
}

// What encodeRtf writes for a text, entry of the colour table and colour
// change; kept in step with it so appending never needs a whole encode.
qsizetype textCost(QStringView text)
{
    qsizetype cost = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            cost += 6; // \par CR LF
        } else if (c == u'\t') {
            cost += 5; // \tab and a blank
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            cost += 2;
        } else if (c < 0x20 || c == 0x7F) {
            cost += 4; // \'hh
        } else if (c < 0x80) {
            cost += 1;
        } else {
            cost += 3 + numberLength(qint16(c)); // \uN?
        }
    }
    return cost;
}

qsizetype tableEntryCost(quint32 rgb)
{
    return 16 + numberLength(rgb & 0xFF) + numberLength((rgb >> 8) & 0xFF) + numberLength((rgb >> 16) & 0xFF);
}

qsizetype colorChangeCost(qsizetype index)
{
    return 4 + numberLength(index); // \cfN and a blank
}

QString stamp()
{
    return QTime::currentTime().toString(u"hh:mm:ss"_s) + u" el "_s
           + FormatoSpain(QDate::currentDate().toString(u"MM-dd-yyyy"_s));
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

LogDocument::LogDocument(QObject *parent) : QObject(parent)
{
    recount();
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &LogDocument::saveInBackground);
}

LogDocument::~LogDocument() = default;

void LogDocument::saveInBackground()
{
    if (!open_ || !writer_)
        return;
    const QString path = logPath();
    if (backupPending_ && path == damagedPath_) {
        if (const QString error = ensureBackup(); !error.isEmpty()) {
            emit saveFailed(error);
            return;
        }
    }
    writer_->saveLater(path, encodeRtf(runs_), false);
    loadedPath_ = path;
}

QString LogDocument::write(const QString &path, const QByteArray &bytes)
{
    if (writer_)
        return writer_->saveNow(path, bytes, false);
    QString reason;
    if (!platform::saveFileAtomically(path, bytes, &reason))
        return reason;
    return {};
}

QString LogDocument::plainText() const
{
    QString text;
    for (const RtfRun &run : runs_)
        text += run.text;
    return text;
}

void LogDocument::append(const QString &text, quint32 color)
{
    if (text.isEmpty())
        return;
    const quint32 rgb = color & kRgbMask;
    qsizetype index = colorTable_.indexOf(rgb);
    if (index < 0) {
        colorTable_.append(rgb);
        size_ += tableEntryCost(rgb);
        index = colorTable_.size() - 1;
    }
    if (!runs_.isEmpty() && runs_.last().color == color) {
        // A CR ending the run and an LF starting the text become one line end.
        const bool joinedLineEnd = runs_.last().text.endsWith(u'\r') && text.startsWith(u'\n');
        size_ += textCost(text) - (joinedLineEnd ? 6 : 0);
        runs_.last().text += text;
    } else {
        if (runs_.isEmpty() || (runs_.last().color & kRgbMask) != rgb)
            size_ += colorChangeCost(index + 1);
        size_ += textCost(text);
        runs_.append({text, color});
    }
    emit appended(text, color);
    applyLimit();
    if (open_ && !saveTimer_.isActive())
        saveTimer_.start();
}

void LogDocument::applyLimit()
{
    const QString removed = trimToLimit();
    if (!removed.isEmpty())
        emit trimmed(removed);
}

QString LogDocument::trimToLimit()
{
    const int limitKb = logLimitKb();
    if (limitKb <= 0 || size_ <= qint64(limitKb) * 1024)
        return {};
    const int target = limitKb > kExactLimitKb ? limitKb - limitKb / 64 : limitKb;
    // One measured cut, never a loop: without a line end to cut at, the log
    // stays over the limit until the next entry brings one.
    const qsizetype cut = logTrimLength(runs_, target);
    if (cut <= 0)
        return {};
    QString removed;
    for (const RtfRun &run : runs_) {
        removed += run.text.left(cut - removed.size());
        if (removed.size() >= cut)
            break;
    }
    runs_ = dropLeadingText(runs_, cut);
    recount();
    return removed;
}

void LogDocument::recount()
{
    colorTable_.clear();
    for (const RtfRun &run : runs_) {
        if (!run.text.isEmpty() && !colorTable_.contains(run.color & kRgbMask))
            colorTable_.append(run.color & kRgbMask);
    }
    size_ = encodeRtf(runs_).size();
}

void LogDocument::setRuns(QList<RtfRun> runs)
{
    runs_.clear();
    for (RtfRun &run : runs) {
        if (!run.text.isEmpty())
            runs_.append(std::move(run));
    }
    recount();
    trimToLimit();
    emit replaced();
}

QString LogDocument::load()
{
    const QString path = logPath();
    loadedPath_ = path;
    backupPending_ = false;
    damagedBytes_.clear();
    damagedPath_ = path;

    QString error;
    QList<RtfRun> runs;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            backupPending_ = true;
            damagedReadable_ = false;
            error = u"No se ha podido leer el historial %1: %2"_s.arg(native(path), file.errorString());
        } else if (const QByteArray bytes = file.readAll(); !bytes.isEmpty()) {
            RtfLoad loaded = decodeRtf(bytes);
            runs = std::move(loaded.runs);
            if (!loaded.ok()) {
                backupPending_ = true;
                damagedReadable_ = true;
                damagedBytes_ = bytes;
                error = u"El historial %1 está dañado (%2)."_s.arg(native(path), loaded.error);
                const QString backupError = ensureBackup();
                error += u" "_s
                         + (backupError.isEmpty() ? u"Se ha guardado una copia en %1."_s.arg(native(path + u".bak"_s))
                                                  : backupError);
            }
        }
    }
    setRuns(std::move(runs));
    return error;
}

QString LogDocument::ensureBackup()
{
    if (!backupPending_)
        return {};
    if (!damagedReadable_)
        return u"No se ha podido leer el historial %1; no se sobrescribirá."_s.arg(native(damagedPath_));
    const QString backup = damagedPath_ + u".bak"_s;
    QString error;
    if (!platform::saveFileAtomically(backup, damagedBytes_, &error))
        return u"No se ha podido guardar una copia del historial dañado en %1: %2"_s.arg(native(backup), error);
    backupPending_ = false;
    damagedBytes_.clear();
    return {};
}

QString LogDocument::loadKeepingEarlier(bool withStartEntry)
{
    // Entries written before the log was ever read follow what the file holds.
    const QList<RtfRun> earlier = loadedPath_.isNull() ? runs_ : QList<RtfRun>();
    const QString error = load();
    if (withStartEntry)
        appendStartEntry();
    for (const RtfRun &run : earlier)
        append(run.text, run.color);
    return error;
}

void LogDocument::appendStartEntry()
{
    QString entry = u"Iniciado a las "_s + stamp();
    const QString last = runs_.isEmpty() ? QString() : runs_.last().text;
    if (!last.isEmpty() && !last.endsWith(u'\n') && !last.endsWith(u'\r'))
        entry.prepend(u"\r\n"_s);
    append(entry, kSessionColor);
}

QString LogDocument::save()
{
    const QString path = logPath();
    if (loadedPath_.isNull())
        loadKeepingEarlier(false);
    if (backupPending_ && path == damagedPath_) {
        if (const QString error = ensureBackup(); !error.isEmpty())
            return error;
    }
    saveTimer_.stop();
    QString error;
    if (!saveAs(path, &error))
        return error;
    loadedPath_ = path;
    return {};
}

bool LogDocument::saveAs(const QString &path, QString *error)
{
    const QString reason = write(path, encodeRtf(runs_));
    if (reason.isEmpty())
        return true;
    if (error)
        *error = u"No se ha podido guardar el historial en %1: %2"_s.arg(native(path), reason);
    return false;
}

QString LogDocument::clear()
{
    loadedPath_ = logPath();
    setRuns({});
    return save();
}

QString LogDocument::startSession()
{
    if (open_)
        return {};
    QString error;
    if (loadedPath_ != logPath())
        error = loadKeepingEarlier(true);
    else
        appendStartEntry();
    open_ = true;
    ended_ = false;
    if (!writer_) {
        writer_ = std::make_unique<platform::FileWriter>();
        connect(writer_.get(), &platform::FileWriter::failed, this, &LogDocument::saveFailed);
    }
    // The start entry is on disk as soon as any other would be.
    saveTimer_.start();
    return error;
}

QString LogDocument::endSession()
{
    if (loadedPath_.isNull())
        loadKeepingEarlier(false);
    append(u"\r\nCerrado a las "_s + stamp() + u"\r\n"_s, kSessionColor);
    open_ = false;
    ended_ = true;
    const QString error = save();
    // Every save is on disk: the writer's thread ends with the session.
    writer_.reset();
    return error;
}

LogDocument &logDocument()
{
    static LogDocument document;
    return document;
}
