#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class cPindle;
class QAction;
class QLabel;
class QMenu;
class QPushButton;

// What the about window needs of the main window. An empty hook does nothing.
struct AboutHost {
    std::function<void()> showMain;
    std::function<void()> hideMain;
    std::function<void()> unload; // the main window's CallUnload
    std::function<void()> help;
    // The seven recent downloads, as real paths; "" is an empty item.
    std::function<QStringList()> recentFiles;
    // The active window's shutdown button.
    std::function<bool()> shutdownPressed;
    std::function<void(bool)> setShutdownPressed;
};

// The about window. It also owns the program's own tray icon and the icon's
// pop-up menu, so the main window can hide itself in the tray.
class about : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(about)
public:
    static constexpr int kRecentCount = 7;

    explicit about(QWidget *parent = nullptr);
    ~about() override;

    void setHost(AboutHost host);

    // Puts the icon into the tray and hides the main window.
    void pindle();
    // Shows this window modally, unless it is already on screen.
    void showModally();

    cPindle *trayIcon() const { return tray_; }
    QMenu *trayMenu() const { return pindl_; }
    QAction *fd(int index) const;

    // major.minor Compilación revision, missing parts as 0.
    static QString versionText(const QString &applicationVersion);

protected:
    // Shows the tray menu; tests replace it so no menu opens.
    virtual void popUpMenu(const QPoint &at);

private:
    void buildMenu();
    QIcon programIcon() const;
    void trayDoubleClick(int button);
    void trayPress(int button);
    void restore();
    void fillRecent();
    void openRecent(int index);
    void quit();

    AboutHost host_;
    QLabel *lblTitle_ = nullptr;
    QLabel *version_ = nullptr;
    QPushButton *cmdOK_ = nullptr;
    cPindle *tray_ = nullptr;
    QMenu *pindl_ = nullptr;
    QMenu *lasdesc_ = nullptr;
    QAction *fd_[kRecentCount] = {};
    QAction *shutdown_ = nullptr;
    bool modalOpen_ = false;
};
