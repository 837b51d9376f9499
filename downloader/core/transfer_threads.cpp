#include "core/transfer_threads.h"

#include "core/tsan_sync.h"

#include <QAbstractEventDispatcher>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {
// Bulk work yields to the window: with every core busy moving bytes, the
// window's thread still gets a core at once when it has something to do.
// (Qt's thread priorities do nothing under Linux's default scheduler.)
void yieldToTheWindow()
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), TransferThreads::kTransferNice);
#endif
}
} // namespace

TransferThreads::TransferThreads(int count)
{
    for (int k = 0; k < qMax(1, count); ++k) {
        auto thread = std::make_unique<QThread>();
        thread->setObjectName(QStringLiteral("transfer%1").arg(k));
        QObject::connect(thread.get(), &QThread::started, thread.get(), yieldToTheWindow, Qt::DirectConnection);
        thread->start();
        threads_.push_back(std::move(thread));
    }
}

// Work already asked of a thread (a file to close and delete) is done
// first; objects still waiting for deletion are deleted as it ends.
TransferThreads::~TransferThreads()
{
    for (auto &thread : threads_)
        if (QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance(thread.get()))
            QMetaObject::invokeMethod(loop, tsanQueued([] {}), Qt::BlockingQueuedConnection);
    for (auto &thread : threads_)
        thread->quit();
    for (auto &thread : threads_)
        thread->wait();
}

QThread *TransferThreads::next()
{
    QThread *thread = threads_[next_].get();
    next_ = (next_ + 1) % threads_.size();
    return thread;
}

int TransferThreads::defaultCount()
{
    return qBound(1, QThread::idealThreadCount(), 4);
}
