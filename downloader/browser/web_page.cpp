#include "browser/web_page.h"

#include "log/notices.h"
#include "platform/prompts.h"
#include "platform/shell.h"

#include <QUrl>
#include <QWebEngineSettings>

using namespace Qt::StringLiterals;

namespace {
constexpr QStringView kAdd = u"tandr:";
constexpr QStringView kMail = u"mailto:";
constexpr QStringView kNewWindow = u"newwin:";
} // namespace

WebPage::WebPage(QObject *parent) : QWebEnginePage(parent)
{
    // Private schemes reach us only from a click: a page's script alone can
    // neither add downloads nor send the desktop anywhere.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
}

WebPage::~WebPage() = default;

bool WebPage::isWebAddress(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme();
    return scheme == u"http"_s || scheme == u"https"_s || scheme == u"ftp"_s;
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool)
{
    silent_ = true;
    const QString address = url.toString(QUrl::FullyEncoded);
    // Each private scheme ends the handling, so "tandr:newwin:..." is only
    // ever a download address and never reaches the desktop.
    if (address.startsWith(kAdd)) {
        const QString rest = address.mid(kAdd.size());
        if (añadir_ && añadir_(rest)) {
            PlayNoticeSound(msgFile(u"ding.wav"_s));
            ShowNotice(u"Se ha añadido "_s + rest + u" a la lista."_s, msgFile(u"download.gif"_s));
        }
        return false;
    }
    if (address.startsWith(kMail)) {
        // The desktop's mail program may want to ask the user something.
        silent_ = false;
        return true;
    }
    if (address.startsWith(kNewWindow)) {
        const QString rest = address.mid(kNewWindow.size());
        // Only web addresses leave the browser: a page must not start a
        // program or open a local file through the desktop.
        if (isWebAddress(rest))
            platform::shell().open(rest);
        else
            ShowNotice(u"No se abre "_s + rest + u": solo se abren direcciones web."_s, QString());
        return false;
    }
    return true;
}

QWebEnginePage *WebPage::createWindow(WebWindowType)
{
    emit windowRefused();
    return nullptr;
}

void WebPage::javaScriptAlert(const QUrl &, const QString &msg)
{
    if (!silent_)
        platform::prompts().message(msg, platform::Icon::Information);
}

bool WebPage::javaScriptConfirm(const QUrl &, const QString &msg)
{
    return !silent_ && platform::prompts().question(msg);
}

bool WebPage::javaScriptPrompt(const QUrl &, const QString &msg, const QString &defaultValue, QString *result)
{
    if (silent_)
        return false;
    const QString answer = platform::prompts().input(msg, defaultValue);
    if (answer.isNull())
        return false;
    if (result)
        *result = answer;
    return true;
}

void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                       const QString &sourceID)
{
    if (!silent_)
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}
