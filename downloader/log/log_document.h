#pragma once

#include "log/rtf_codec.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace platform {
class FileWriter;
}

// The activity log's text: runs of one colour each, kept within the size limit
// (logLimitKb) and stored as RTF at logPath(). Everything that changes the log
// goes through here; the log window only shows it.
class LogDocument : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogDocument)

public:
    explicit LogDocument(QObject *parent = nullptr);
    ~LogDocument() override;

    const QList<RtfRun> &runs() const { return runs_; }
    QString plainText() const;
    bool isEmpty() const { return runs_.isEmpty(); }
    // Length of the saved form (encodeRtf(runs())), kept without re-encoding.
    qsizetype savedSize() const { return size_; }

    // Adds text at the end in one colour, joining the last run when it has the
    // same colour, then applies the size limit.
    void append(const QString &text, quint32 color = 0);
    // Applies the size limit now (say, after the setting changed).
    void applyLimit();

    // Replaces the text with the file at logPath(). A missing file gives an
    // empty log. A damaged one gives the runs read before the damage, and the
    // original is copied to path + ".bak" before anything can overwrite it.
    // Returns what went wrong, "" when the file was read whole or is missing.
    QString load();
    // During a session a new entry reaches logPath() within kSaveDelayMs, on
    // the file writer's thread, so a crash loses at most those seconds.
    static constexpr int kSaveDelayMs = 2000;

    // Writes the log to logPath() through a temporary file, after any save
    // still on its way; returns the error, "" on success.
    QString save();
    bool saveAs(const QString &path, QString *error);
    // Empties the log and saves it at once; returns the save error.
    QString clear();

    // Loads the log (unless it is already the one at logPath()) and adds the
    // red start entry; returns load()'s error.
    QString startSession();
    // Adds the red end entry and saves; returns the save error.
    QString endSession();
    bool inSession() const { return open_; }
    // A session was ended and no new one started: the next entry written
    // through appendLog starts one.
    bool sessionEnded() const { return ended_; }

signals:
    void appended(const QString &text, quint32 color);
    // The leading text removed by the size limit (always whole lines).
    void trimmed(const QString &removed);
    // Anything else: load, clear.
    void replaced();
    // A save in the background failed.
    void saveFailed(const QString &error);

private:
    QString trimToLimit(); // returns the text cut off
    void setRuns(QList<RtfRun> runs);
    void recount();
    QString loadKeepingEarlier(bool withStartEntry);
    void appendStartEntry();
    QString ensureBackup();
    void saveInBackground();
    // Saves the bytes to path in order with the background saves.
    QString write(const QString &path, const QByteArray &bytes);

    QList<RtfRun> runs_;
    QList<quint32> colorTable_; // as encodeRtf orders it
    qsizetype size_ = 0;
    QString loadedPath_; // the file the text mirrors; null before any load
    bool open_ = false;
    bool ended_ = false;
    // A damaged log is copied aside before it may be overwritten.
    bool backupPending_ = false;
    bool damagedReadable_ = false;
    QByteArray damagedBytes_;
    QString damagedPath_;
    // Open while a session is: one writer keeps the log's saves in order.
    std::unique_ptr<platform::FileWriter> writer_;
    QTimer saveTimer_;
};

// The program's one log.
LogDocument &logDocument();
