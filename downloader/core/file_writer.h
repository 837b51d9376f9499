#pragma once

#include <QObject>
#include <QString>
#include <QThread>

namespace platform {

// Saves whole files atomically on a thread of its own, in the order asked:
// a save waits for the disk (fsync) there, never on the window's thread.
class FileWriter : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileWriter)
public:
    FileWriter();
    ~FileWriter() override; // every save asked for is done first

    // Returns at once; a failure comes back through failed().
    void saveLater(const QString &path, const QByteArray &bytes, bool ownerOnly);
    // Waits for the saves asked before, then saves; returns the error, "" on success.
    QString saveNow(const QString &path, const QByteArray &bytes, bool ownerOnly);
    // Waits until every save asked for so far is done (the end of the program, tests).
    void flush();

signals:
    void failed(const QString &error);

private:
    QObject *worker_ = nullptr; // lives on thread_
    QThread thread_;
};

} // namespace platform
