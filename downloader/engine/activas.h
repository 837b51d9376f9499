#pragma once

#include "engine/row_list.h"
#include "engine/slot.h"
#include "engine/transfer.h"

#include <QSet>
#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QMimeData;
class QPoint;
class QToolBar;
class QScrollBar;
class QGroupBox;
class QFrame;
class QueueHooks;
namespace platform {
class FileWriter;
}
class LoginHooks;

// The active downloads: a table of 41 slots (slot 0 is the hidden template),
// each with its record, row, sockets and retry timer. Socket and timer events
// arrive here with the slot number and advance that download.
class activas : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(activas)
public:
    static constexpr int kSlots = 41;
    static constexpr int kRowPitch = 300; // twips

    explicit activas(QWidget *parent = nullptr);
    ~activas() override;

    // Adds and starts a download; false when it was refused (and told) or its
    // address has no host, so nothing was stored.
    bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable, qint32 elapsed,
                bool nosave, const QString &ftpuser, const QString &ftppass, bool remember);
    bool existe(int slot) const;
    // Another download (here or queued) already writes this file.
    bool targetTaken(const QString &file) const;
    void reordenar_indicador();
    void AgregarArrastrando(const QMimeData *data);
    // Only an address a download can start from is taken by a drop.
    static bool acceptsDrop(const QMimeData *data);

    // Removes a download from the table; deleteFile also deletes its file.
    void delfile(int slot, bool deleteFile);

    // The list file activas.dwn beside the program.
    void guardar_lista_activas();
    // The same save, waiting for the disk (the end of the program, the
    // switch-off): returns the error, "" on success.
    QString writeListNow();
    // Both lists are saved by one writer, in the order asked: a move between
    // the tables reaches the disk receiving list first, without waiting.
    std::shared_ptr<platform::FileWriter> listWriter();
    void waitForSaves(); // every save asked for is on disk
    void saveListLater();
    void cargar_lista_activas();

    const DownloadEntry &entry(int slot) const { return slots_[checked(slot)].e; }
    DownloadEntry &entry(int slot) { return slots_[checked(slot)].e; }
    const Slot &slot(int i) const { return slots_[checked(i)]; }
    download *indicador(int slot) const;
    // Loaded rows, the template included (the admission rule counts them).
    int loadedRows() const;
    int highestLoaded() const;
    // Status bar panel 1: active downloads "/" active and queued ones.
    QString countsText() const;
    int selected() const { return selected_; }
    void selectRow(int slot);
    void clearSelection();

    // The commands on the selected download, as the main window's menus
    // press them (activas_commands.cpp). A disabled button does nothing.
    void CallCancel();   // position 1, detener
    void CallPause();    // position 2, pausar
    void CallContinue(); // position 3, continuar
    void CallExe();      // position 7, open
    void CallAntiv();    // position 8, antivirus
    void CallProp();     // the details dialog, as a double click
    // Copies a download into the queue and saves the active list; false when
    // the queue did not take it (then the caller must not remove it).
    bool toinact(int slot);
    // Whether the toolbar button with this key ("detener", "pausar",
    // "continuar", "open", "antivirus", ...) is enabled.
    bool commandEnabled(const QString &key) const;
    // The button apagar: switch the computer off once every download ended.
    bool shutdownPressed() const;
    void setShutdownPressed(bool pressed);

    void setQueue(QueueHooks *queue) { queue_ = queue; }
    void setLogin(LoginHooks *login) { login_ = login; }

    // Timer handlers; public so tests can tick without waiting.
    void updateTick();
    void tiempotransTick();
    void redoTick(int slot);
    void shutdownTick();

signals:
    // Status bar panel (1 counts, 2 speeds, 3 messages) of the main window.
    void statusText(int panel, const QString &text);
    // A finished file for the recent-downloads menu.
    void finishedFile(const QString &file);
    // One total speed a second for the statistics graph.
    void speedSample(int value, const QString &label);
    // End of retries with the tray-icon notice chosen.
    void trayError(const QString &text);
    // Right button released on a row, after selecting it: the main window
    // pops up its menu.
    void rowMenuRequested(const QPoint &globalPos);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static int checked(int slot);

    // Slot life (activas.cpp).
    void createSlotObjects(int i);
    // deleteFile: the transfer closes the file and deletes it on its own
    // thread; the file counts as taken until it reports it gone.
    void unloadSlot(int i, bool deleteFile = false);
    void removeDownload(int i, bool deleteFile = false); // unload, mark unused, re-lay the rows
    void createTransfer(int i, const QString &host, quint16 port, const QString &path);

    // The transfer's connection (activas_events.cpp).
    void startTransfer(int i);
    void closeTransfer(int i, bool deleteFile = false); // deleteFile: closeAndDelete, reported by fileDeleted
    bool current(int i, int attempt) const;
    void mirror(int i, const TransferFigures &figures);
    void onConnected(int i);
    void onFinished(int i, const TransferFigures &figures);
    void onLost(int i, const QString &status, const TransferFigures &figures);
    void onStopped(int i, const QString &notice, bool sizeChanged, const TransferFigures &figures);
    void onRemoved(int i);
    void onFileFailed(int i, const QString &text);
    void onLoginRefused(int i);
    void askLogin(int i, quint64 generation);
    bool askUser(const QString &caption, QString &user, QString &password, bool &remember);
    // The login dialog for a dropped ftp:// address.
    void askDropLogin(QString &user, QString &password, bool &remember);
    void showProgress(int i);
    void finishDownload(int i);
    void runAntivirus(const QString &virus, const QString &file);

    // Retries (retry.cpp).
    void armRetry(int i);
    void watchdog(int i);
    void retriesExhausted(int i);

    // Layout (activas_layout.cpp).
    void buildLayout();
    void layoutList();
    void onScroll(int value);
    void fillDetails(int i);
    void clearDetails();

    // Commands (activas_commands.cpp).
    void buildToolbar();
    QAction *command(const QString &key) const;
    void pressButton(int position);
    void updateCommands();
    void detener();
    void pausar();
    void continuar();
    void delend();
    void openSelected();
    void antivirus();
    void showDetails(int i);
    void onRowMouseUp(int i, int button);
    bool handToQueue(int i);

    QByteArray listBytes() const;
    platform::FileWriter &writer();

    std::shared_ptr<platform::FileWriter> writer_;
    std::unique_ptr<class TransferThreads> threads_;
    std::array<Slot, kSlots> slots_;
    QSet<QString> deleting_; // files a closing transfer is still to delete (sameFileKey)
    int selected_ = 0;
    QueueHooks *queue_ = nullptr;
    LoginHooks *login_ = nullptr;
    int askingLogin_ = 0;               // the slot the login dialog is asking for, 0 for none
    int handingOver_ = 0;               // the slot being copied into the queue: its file is not taken
    bool finishedWhilePressed_ = false; // a download ended while apagar was pressed
    QString crlf_ = QStringLiteral("\r\n");

    class QTimer *update_ = nullptr;
    class QTimer *tiempotrans_ = nullptr;
    class QTimer *shutdown_ = nullptr;

    // Widgets of the window.
    QToolBar *opciones_ = nullptr;
    QWidget *frame_ = nullptr;
    QScrollBar *scroll_ = nullptr;
    QGroupBox *inf_ = nullptr;
    RowList list_;
    QLabel *velmedia_ = nullptr;
    QLabel *tiempou_ = nullptr;
    QLabel *tiemporest_ = nullptr;
    QLabel *urlt_ = nullptr;
    QLabel *porcientot_ = nullptr;
    QLabel *bytest_ = nullptr;
    QLabel *allowredoc_ = nullptr;
};
