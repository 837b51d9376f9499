#include "core/file_writer.h"

#include "core/atomic_file.h"
#include "core/tsan_sync.h"

namespace platform {

FileWriter::FileWriter() : worker_(new QObject)
{
    thread_.setObjectName(QStringLiteral("filewriter"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

FileWriter::~FileWriter()
{
    // Queued saves run first: the last word of the program reaches the disk.
    flush();
    thread_.quit();
    thread_.wait();
}

void FileWriter::saveLater(const QString &path, const QByteArray &bytes, bool ownerOnly)
{
    auto save = [this, path, bytes, ownerOnly] {
        QString error;
        if (!saveFileAtomically(path, bytes, &error, ownerOnly))
            emit failed(error);
    };
    QMetaObject::invokeMethod(worker_, tsanQueued(std::move(save)), Qt::QueuedConnection);
}

void FileWriter::flush()
{
    QMetaObject::invokeMethod(worker_, tsanQueued([] {}), Qt::BlockingQueuedConnection);
}

QString FileWriter::saveNow(const QString &path, const QByteArray &bytes, bool ownerOnly)
{
    QString error;
    QMetaObject::invokeMethod(worker_, tsanQueued([&] { saveFileAtomically(path, bytes, &error, ownerOnly); }),
                              Qt::BlockingQueuedConnection);
    return error;
}

} // namespace platform
