#pragma once

#include "core/command_line.h"
#include "main/admission.h"
#include "main/ftplogin.h"
#include "main/window_places.h"
#include "main/window_state.h"

#include <QHash>
#include <QMainWindow>

class QAction;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QToolBar;
class about;
class activas;
class cfg;
class cPindle;
class estadisticas;
class historial;
class inactivas;

// The program's main window: a frame for the child windows, with the menus,
// the toolbar, the quick-add bar and the status bar. It loads the child
// windows in order and runs the one orderly end of the program.
class MainWindow : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The window being built or running; null before and after.
    static MainWindow *instance();

    cfg *settings() const { return settings_; }
    activas *active() const { return activas_; }
    inactivas *queue() const { return inactivas_; }
    estadisticas *stats() const { return stats_; }
    about *aboutWindow() const { return about_; }
    QComboBox *quickadd() const { return quickadd_; }
    // A menu or toolbar action by its name ("pauseall", "viewhist", "explorer", ...).
    QAction *action(const QString &name) const;
    QMdiSubWindow *childWindow(const QString &viewAction) const { return children_.value(viewAction); }

    // Status bar panels 1 to 3.
    void setStatusText(int panel, const QString &text);
    QString statusText(int panel) const;

    bool getunload() const { return unloading_; }
    // The recent-downloads slot to fill next: 0 to 6, then 0 again.
    int GetNextUlt();
    QStringList recentFiles() const;
    int quickpos() const { return quickpos_; }
    ViewState viewState() const;

    // The orderly end: every list, the log, view.win and quick.lst are saved,
    // then every event loop ends. Runs once; later calls do nothing.
    void CallUnload();

    // The ways in: the add dialog, the quick-add bar, and an address handed
    // over by another window (it runs the quick add).
    void addDialog();
    // True when the download was taken (here or into the queue).
    bool quickAdd();
    // Addresses and a link list another start of the program handed over.
    void takeHandOff(const QStringList &addresses, const QString &listFile);
    // Downloads the user's web browser handed over, each through the quick
    // add with the browser's name and session; whether each was taken, and
    // what the quick add said, go back to the browser instead of a box.
    QList<HandOffAnswer> takeBrowserDownloads(const QList<BrowserDownload> &downloads);
    bool añadir(const QString &address);
    // Ctrl+V on the window: the clipboard's address into the quick-add box,
    // which gets the focus; nothing is added until the user says so.
    void pasteAddress();
    // The link window of a page, and a saved list of links.
    void openLinkWindow();
    void loadList();
    void loadListFrom(const QString &path);

    // Global commands.
    void pauseAll();
    void continueAll();
    enum class Which { Active, Queued, All };
    void cancelAll(Which which);
    void saveLogAs();
    void clearLog();
    void showHelp();
    void hideToTray();
    // cascade 0, tiled horizontally 1, tiled vertically 2
    void arrange(int how);
    // Shows a child window (or bar) and checks its menu item.
    void showView(const QString &viewAction);
    void addRecentFile(const QString &file);
    // One tray icon per download error; a double click shows the text.
    void addTrayError(const QString &text);
    QList<cPindle *> errorIcons() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // main_menus.cpp
    void buildMenus();
    void buildPopupMenus();
    void buildToolbar();
    void buildQuickBar();
    void buildStatusBar();
    void buildTabOrder();
    // icon: a freedesktop icon name (platform::themedIcon)
    QAction *addAction(QMenu *menu, const QString &name, const QString &caption, const QString &icon);

    // add_downloads.cpp
    struct NewDownload {
        QString url;
        QString file;
        QString user;
        QString password;
        bool remember = false;
    };
    AddTarget admission(int queueRowLimit) const;
    // Tells the user and returns true when another download already has file.
    bool refuseTakenTarget(const QString &file) const;
    bool addAdmitted(AddTarget target, const NewDownload &download); // false when the table refused
    // The quick add of the box's address under the browser's name ("" for
    // the address's own) and with its session.
    bool quickAddAs(const QString &name, const BrowserSession &session);
    void refreshCounts();

    void load();
    void placeChildren();
    QMdiSubWindow *addChild(QWidget *widget, const QString &viewAction, const QSize &size);
    void setViewShown(const QString &viewAction, bool shown);
    void restoreViewState();
    // The main window's place now; the sub-windows' for placing them later.
    WindowPlaces readWindowPlaces();
    WindowPlaces windowPlaces() const;
    static constexpr char16_t kPlacesFile[] = u"ventanas.pos";
    void loadQuickList();
    void endSteps();

    QMdiArea *area_ = nullptr;
    cfg *settings_ = nullptr;
    activas *activas_ = nullptr;
    historial *historial_ = nullptr;
    estadisticas *stats_ = nullptr;
    about *about_ = nullptr;
    QWidget *web_ = nullptr;
    inactivas *inactivas_ = nullptr;
    QMenu *menu_ = nullptr;  // for a download of the active table
    QMenu *menu2_ = nullptr; // for a queued download
    QToolBar *barra_ = nullptr;
    QToolBar *quickbar_ = nullptr;
    QComboBox *quickadd_ = nullptr;
    QPushButton *addquick_ = nullptr;
    QLabel *panels_[3] = {};
    QHash<QString, QAction *> actions_;
    QHash<QString, QMdiSubWindow *> children_;
    QList<QAction *> ultdescarga_;
    QList<cPindle *> errmsg_;
    FtpLoginPrompt login_;

    bool unloading_ = false;
    int ultimo_ = 0;
    int quickpos_ = 0;
    // What was loaded, and so may be written back at the end.
    bool logStarted_ = false;
    bool listLoaded_ = false;
    bool queueLoaded_ = false;
    bool viewRestored_ = false;
};
