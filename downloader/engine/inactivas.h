#pragma once

#include "core/queue_table.h"
#include "engine/row_list.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QScrollBar;
class QToolBar;
class activas;
class download;

// The size text of a queued row: "N bytes" up to 1024, then Kb above 1024
// and Mb above 1048576 (two decimals, as the active rows round).
QString queueBytesText(qint64 bytes);

// The download queue's window: one row per entry of its QueueTable (slot 0
// is the hidden template row), its toolbar, and what the user is told.
class inactivas : public QWidget, public QueueHooks {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(inactivas)
public:
    static constexpr int kSlots = 41;
    static constexpr int kRowPitch = 300; // twips

    explicit inactivas(QWidget *parent = nullptr);
    ~inactivas() override;

    // The active table this queue feeds; it also becomes that table's queue.
    void setActive(activas *active);

    // QueueHooks.
    int loadedRows() const override;
    bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable, qint32 elapsed,
                bool nosave, const QString &ftpuser, const QString &ftppass, bool remember, bool locked) override;
    void noteWritten(const QString &file, qint64 written) override;
    void toactivas() override;
    bool holdsTarget(const QString &file) const override;
    QString writeListNow() override;

    bool existe(int slot) const;
    void reordenar_indicador();
    // Copies the entry to the active table and saves the queue; the caller
    // then removes it with delfile(slot, false), and only when this returned
    // true (otherwise the download would be in neither table).
    bool toact(int slot);
    // Removes the entry; deleteFile also deletes its partial file.
    void delfile(int slot, bool deleteFile);

    // inactivas.dwn beside the program.
    void guardar_lista_inactivas();
    void waitForSaves(); // every save asked for is on disk
    void cargar_lista_inactivas();

    // Toolbar buttons 1, 2 and 4, and the details dialog of the selection.
    void CallCancel();
    void CallContinue();
    void bloquear();
    void CallProp();

    // Whether the toolbar button with this key ("detener", "continuar",
    // "bloquear") is enabled; the main window's menu2 follows it.
    bool commandEnabled(const QString &key) const;

    const DownloadEntry &entry(int slot) const { return table_->entry(slot); }
    QueueTable &table() { return *table_; }
    download *indicador(int slot) const;
    int highestLoaded() const;
    int selected() const { return selected_; }
    void selectRow(int slot);
    void clearSelection();

signals:
    // Right click on a row, after selecting it: the main window pops up menu2.
    void rowMenuRequested(const QPoint &globalPos);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // inactivas.cpp
    void onAdded(int slot);
    void onRemoved(int slot);
    void showEntry(int slot);
    void onRefused(const QString &file, QueueTable::Refusal why);
    void continueSelected();
    void cancelSelected();
    void updateCommands();
    // inactivas_layout.cpp
    void buildLayout();
    void layoutList();
    void onScroll(int value);
    void rowReleased(int slot, int button);
    void showDetails(int slot);
    download *shownRow(int slot) const { return existe(slot) ? rows_[slot] : nullptr; }

    std::unique_ptr<QueueTable> table_;
    std::array<download *, kSlots> rows_{}; // rows_[0] is the template
    int selected_ = 0;
    QPointer<activas> active_;
    QToolBar *opciones_ = nullptr;
    QAction *detener_ = nullptr;
    QAction *continuar_ = nullptr;
    QAction *bloquear_ = nullptr;
    QWidget *frame_ = nullptr;
    QScrollBar *scroll_ = nullptr;
    RowList list_;
};
