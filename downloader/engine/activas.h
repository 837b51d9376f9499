#pragma once

#include "core/active_table.h"
#include "engine/row_list.h"

#include <QElapsedTimer>
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
class download;
class LoginHooks;
class QueueHooks;
namespace platform {
class FileWriter;
}

// A download's own speed limit as the details window shows it.
QString speedLimitText(int kb);

// The details panel's "bytes on disk/size".
QString panelBytesText(const DownloadEntry &e);

// The active downloads' window: one row per slot of its ActiveTable (slot 0
// is the hidden template row), the toolbar, the details panel, and what the
// user is told. The table does the downloading; this window shows its slots
// and sends it the user's commands.
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

    const DownloadEntry &entry(int slot) const { return table_->slot(slot).e; }
    DownloadEntry &entry(int slot) { return table_->entry(slot); }
    const Slot &slot(int i) const { return table_->slot(i); }
    ActiveTable &table() { return *table_; }
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
    void CallLimit();    // asks the selected download's own speed limit
    // "Buscar nueva dirección" for the selected download (activas_rebind.cpp):
    // enabled for one that waits for the user with bytes on disk.
    void CallRebind();
    bool canSearchAddress() const;
    // An address being added: within a while of "Buscar nueva dirección"
    // without one, an address of the same file name is offered for the
    // stopped download. True when it was taken for it (nothing else to add).
    bool offerRebind(const QString &url);
    // Copies a download into the queue and saves the active list; false when
    // the queue did not take it (then the caller must not remove it).
    bool toinact(int slot);
    // Whether the toolbar button with this key ("detener", "pausar",
    // "continuar", "open", "antivirus", ...) is enabled.
    bool commandEnabled(const QString &key) const;
    // The button apagar: switch the computer off once every download ended.
    bool shutdownPressed() const;
    void setShutdownPressed(bool pressed);

    void setQueue(QueueHooks *queue) { table_->setQueue(queue); }
    void setLogin(LoginHooks *login);

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
    // The built-in browser, on the page where a new address may be found.
    void browseRequested(const QString &url);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Asks and sets download i's own limit; false when nothing changed.
    bool askSpeedLimit(int i);
    // What the table tells (activas_events.cpp).
    void connectTable();
    void onLoaded(int i);
    void onUnloaded(int i);
    void applyState(int i, DownloadState state);
    void onFinished(int i);
    void onExhausted(int i);
    void onRefused(const DownloadEntry &e, ActiveTable::Refusal why);
    bool askUser(const QString &caption, QString &user, QString &password, bool &remember);
    // The login dialog for a dropped ftp:// address.
    void askDropLogin(QString &user, QString &password, bool &remember);
    void showAddress(int i);
    void showProgress(int i);
    void showTick(qint32 totalSpeed);
    void runAntivirus(const QString &virus, const QString &file);
    // Another address (activas_rebind.cpp).
    void connectRebind();
    void askNewAddress(int i);
    bool takeNewAddress(int i, const QString &url);
    struct RebindOffer {
        int slot = 0; // 0 when nothing is offered
        quint64 generation = 0;
        QString file;
    };
    RebindOffer rebindOffer_;
    QElapsedTimer rebindOfferAge_;

    // Layout (activas_layout.cpp).
    void buildLayout();
    void layoutList();
    void onScroll(int value);
    void fillDetails(int i);
    void clearDetails();
    download *shownRow(int i) const { return existe(i) ? rows_[i] : nullptr; }

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

    std::unique_ptr<ActiveTable> table_;
    std::array<download *, kSlots> rows_{}; // rows_[0] is the template
    int selected_ = 0;
    LoginHooks *login_ = nullptr;
    bool finishedWhilePressed_ = false; // a download ended while apagar was pressed
    QString crlf_ = QStringLiteral("\r\n");

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
