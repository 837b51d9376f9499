#pragma once

#include <QWebEnginePage>

#include <functional>

// The page behind the browser window: it turns "tandr:" links into downloads,
// hands "newwin:" web addresses to the desktop, opens no pop-ups, and keeps
// the page's own dialogs quiet while the silent flag is set.
class WebPage : public QWebEnginePage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebPage)
public:
    // Adds a download as the quick-add bar would; false when the address was
    // refused (the add path has told the user why).
    using AddHook = std::function<bool(const QString &address)>;

    explicit WebPage(QObject *parent = nullptr);
    ~WebPage() override;

    void setAddHook(AddHook añadir) { añadir_ = std::move(añadir); }
    bool silent() const { return silent_; }
    void setSilent(bool on) { silent_ = on; }

    // True for the addresses "newwin:" may hand to the desktop: http, https
    // or ftp with a host.
    static bool isWebAddress(const QString &address);

signals:
    // A page asked for another window and got none.
    void windowRefused();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    AddHook añadir_;
    bool silent_ = true;
};
