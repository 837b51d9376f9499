#pragma once

#include "core/message.h"
#include "core/settings_file.h"
#include "core/slot.h"
#include "core/transfer.h"
#include "core/tsan_sync.h"

#include <QObject>
#include <QSet>

#include <array>
#include <functional>
#include <memory>

enum class BindVerdict;
class LoginHooks;
class QueueHooks;
class QTimer;
class TransferThreads;
namespace platform {
class FileWriter;
}

// The active downloads without any window: 41 slots (slot 0 is never a
// download), each with its record, state, transfer and retry timer; the retry
// budget, the stall watchdog, the attempt filter, the worker threads and the
// saving of activas.dwn. A window shows the slots and sends the user's
// commands; everything the window must tell the user arrives as a signal.
class ActiveTable : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActiveTable)
public:
    static constexpr int kSlots = 41;

    explicit ActiveTable(QObject *parent = nullptr);
    ~ActiveTable() override;

    // The settings in force, asked for each time a rule needs them.
    // The settings' source, read once a tick; the shared speed limit holds from here on.
    void setSettings(std::function<SettingsValues()> source);
    SettingsValues settings() const;
    void setQueue(QueueHooks *queue) { queue_ = queue; }
    QueueHooks *queue() const { return queue_; }
    void setLogin(LoginHooks *login) { login_ = login; }

    enum class Refusal { None, TargetTaken, TableFull, BadAddress };
    struct Added {
        int slot = 0; // 0 when refused
        Refusal refusal = Refusal::None;
    };
    // Takes a download (url, file, size, position, resumable, elapsed and the
    // FTP login of e) and starts it, or shows it finished when every byte is
    // already on disk. Nothing is stored when it is refused (and refused()
    // tells why).
    Added add(const DownloadEntry &e, bool save = true);
    // Ends a download and frees its slot; deleteFile also deletes its file
    // (on the transfer's thread; the file stays taken until it is gone).
    void remove(int i, bool deleteFile);
    // Frees the slots of finished downloads; their files stay.
    void removeFinished();
    // Reconnects a download that waits for the user, with a new retry budget.
    void reconnect(int i);
    // This download's own speed limit in Kb/seg, under the shared one; 0 is
    // none. Kept while the download is in the table, never in the list.
    void setSpeedLimit(int i, int kb);
    // Copies a download into the queue; false when the queue did not take it.
    bool handToQueue(int i);
    // Another address for a download stopped with bytes on disk
    // (active_table_rebind.cpp): it is taken only once it serves the same
    // file, and the download goes on from its position; rebindJudged tells.
    bool canRebind(int i) const;
    void rebind(int i, const QString &url);

    bool existe(int i) const { return i > 0 && i < kSlots && slots_[i].e.used; }
    const Slot &slot(int i) const { return slots_[checked(i)]; }
    DownloadEntry &entry(int i) { return slots_[checked(i)].e; }
    // Loaded slots, the never-used slot 0 counted as loaded (the admission
    // rule counts that way).
    int loadedRows() const;
    int highestLoaded() const;
    // Another download (here or queued) already writes this file.
    bool targetTaken(const QString &file) const;
    // Every loaded download finished; the count of them through *count.
    bool allFinished(int *count = nullptr) const;
    // Tests put a download into a state without a server.
    void setStateForTest(int i, DownloadState state) { setState(i, state); }

    // The one-second ticks: elapsed time and the stall watchdog; speeds,
    // returning their total. Public so tests can tick without waiting.
    void elapsedTick();
    qint32 speedTick();
    void redoTick(int i);

    // activas.dwn: saved without waiting, in the order asked, by the writer
    // both lists share; saveNow waits for the disk and returns the error.
    void saveLater();
    QString saveNow();
    void load();
    std::shared_ptr<platform::FileWriter> listWriter();
    void waitForSaves();

signals:
    void slotLoaded(int i);   // a download to show
    void slotUnloaded(int i); // its row goes
    void stateChanged(int i, DownloadState state);
    void progressed(int i);
    void redirected(int i, const QString &from, const QString &to);
    void finished(int i);                       // before a finished download may leave the table
    void lost(int i, const Message &status);    // the retry timer will try again
    void stopped(int i, const Message &notice); // the download waits for the user
    void removedOnServer(const QString &url);   // its slot is already free
    void fileFailed(int i, const Message &why); // the file cannot be written
    void askingLogin(int i);                    // just before the login is asked
    void exhausted(int i);                      // before a failed download may leave the table
    void logLine(const Message &line, quint32 color);
    void statusText(const Message &text);
    void ticked(qint32 totalSpeed); // after the one-second ticks
    void listSaveFailed(const QString &error);
    void listLoadFailed(const QString &error);
    void refused(const DownloadEntry &e, ActiveTable::Refusal why); // an add that stored nothing
    void rebindJudged(int i, const Message &notice, bool bound);    // after rebind(); the log has it too

private:
    static int checked(int i);
    void setState(int i, DownloadState state, StopReason reason = StopReason::None);

    void createTransfer(int i, const QString &url, const QString &host, quint16 port, const QString &path);
    void hopToFtp(int i, const QString &url);
    void unloadSlot(int i, bool deleteFile = false);
    void removeSlot(int i, bool deleteFile = false); // unload and tell
    void startTransfer(int i);
    void closeTransfer(int i, bool deleteFile = false);
    // Runs call on the transfer's thread, queued.
    template <typename Call> static void onTransferThread(Transfer *t, Call call)
    {
        QMetaObject::invokeMethod(t, tsanQueued(std::move(call)), Qt::QueuedConnection);
    }
    void onEvent(int i, const TransferEvent &event);
    void mirror(int i, const TransferFigures &figures);
    void onFinished(int i);
    static void forgetSession(const QString &file);
    void onLoginRefused(int i);
    void askLogin(int i, quint64 generation);

    // active_table_retry.cpp
    void armRetry(int i, int serverSeconds = -1); // serverSeconds: the wait the server asked for
    void watchdog(int i, int waitSeconds);
    void retriesExhausted(int i);

    // active_table_rebind.cpp
    void onRebindJudged(int i, quint64 generation, const QString &url, const QString &name, BindVerdict verdict);

    // active_table_list.cpp
    QByteArray listBytes() const;

    std::function<SettingsValues()> settings_;
    std::shared_ptr<platform::FileWriter> writer_;
    std::unique_ptr<TransferThreads> threads_;
    std::array<Slot, kSlots> slots_;
    QSet<QString> deleting_; // files a closing transfer is still to delete (sameFileKey)
    QueueHooks *queue_ = nullptr;
    LoginHooks *login_ = nullptr;
    int askingLogin_ = 0; // the slot the login is asked for, 0 for none
    int handingOver_ = 0; // the slot being copied into the queue: its file is not taken
    QTimer *tick_ = nullptr;
};
