#pragma once

#include "browser/web_page.h"

#include <QSize>
#include <QWidget>

class QLabel;
class QStatusBar;
class QWebEngineView;

// The browser window: a web view over a status bar. Links written for the
// program ("tandr:") become downloads through the add hook. The web engine
// costs the process some 80 MiB, so the view is made when the window is first
// seen (or asked for), not while it stands hidden behind the downloads.
class web : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(web)
public:
    // The view opens on the home page when it is made.
    explicit web(WebPage::AddHook añadir = {}, QWidget *parent = nullptr);
    ~web() override;

    // Both make the view if it is not there yet.
    QWebEngineView *explorador();
    WebPage *page();
    bool hasBrowser() const { return explorador_ != nullptr; }
    QStatusBar *estado() const { return estado_; }
    // The first panel of the status bar.
    QString statusText() const;

    void setAddHook(WebPage::AddHook añadir);
    // Goes to the program's home page (inicio.html among its shipped files), or to
    // a short built-in page saying it is missing.
    void inicio();

signals:
    void statusTextChanged(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void makeBrowser();
    QSize outerSize() const;
    void layoutChildren();

    QWebEngineView *explorador_ = nullptr;
    WebPage *page_ = nullptr;
    QStatusBar *estado_ = nullptr;
    QLabel *panel_ = nullptr;
    WebPage::AddHook addHook_;
    bool makeQueued_ = false;
};

// The view's size in twips for the window's outer size and the status bar's
// height (both in twips); never negative.
QSize exploradorSize(QSize outerTwips, int estadoTwips);
