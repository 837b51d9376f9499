#pragma once

#include "browser/web_page.h"

#include <QSize>
#include <QWidget>

class QLabel;
class QStatusBar;
class QWebEngineView;

// The browser window: a web view over a status bar. Links written for the
// program ("tandr:") become downloads through the add hook.
class web : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(web)
public:
    // Opens the home page at once.
    explicit web(WebPage::AddHook añadir = {}, QWidget *parent = nullptr);
    ~web() override;

    QWebEngineView *explorador() const { return explorador_; }
    QStatusBar *estado() const { return estado_; }
    WebPage *page() const { return page_; }
    // The first panel of the status bar.
    QString statusText() const;

    void setAddHook(WebPage::AddHook añadir);
    // Goes to the program's home page (inicio.html beside the program), or to
    // a short built-in page saying it is missing.
    void inicio();

signals:
    void statusTextChanged(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QSize outerSize() const;
    void layoutChildren();

    QWebEngineView *explorador_ = nullptr;
    WebPage *page_ = nullptr;
    QStatusBar *estado_ = nullptr;
    QLabel *panel_ = nullptr;
};

// The view's size in twips for the window's outer size and the status bar's
// height (both in twips); never negative.
QSize exploradorSize(QSize outerTwips, int estadoTwips);
