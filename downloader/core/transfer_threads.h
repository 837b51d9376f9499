#pragma once

#include <QThread>

#include <memory>
#include <vector>

// The worker threads the transfers run on: the bytes are read and written
// there, never on the window's thread.
class TransferThreads {
public:
    explicit TransferThreads(int count);
    ~TransferThreads();
    TransferThreads(const TransferThreads &) = delete;
    TransferThreads &operator=(const TransferThreads &) = delete;

    // The thread for the next transfer, in turn.
    QThread *next();

    // How much lower than the window's thread they run (a nice value).
    static constexpr int kTransferNice = 5;
    // About one per core, at least one.
    static int defaultCount();

private:
    std::vector<std::unique_ptr<QThread>> threads_;
    size_t next_ = 0;
};
