#include "browser/web.h"
#include "browser/web_page.h"
#include "log/notices.h"
#include "scripted_prompts.h"
#include "test_folder.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWait = 20000;
const QUrl kBase(u"http://example.org/pagina.html"_s);

// Catches what the page hands to the desktop itself (mail links), so no
// mail program starts during the tests.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

QString linkPage(const QString &href)
{
    return u"<html><body style='margin:0'><a id='l' href='"_s + href
           + u"' style='display:block;width:300px;height:60px'>enlace</a></body></html>"_s;
}

} // namespace

class TstWeb : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void tandrLinkAddsOnce_data();
    void tandrLinkAddsOnce();
    void scriptsCannotUsePrivateLinks_data();
    void scriptsCannotUsePrivateLinks();
    void popupsOpenNothing();
    void newwinOpensOnlyWebAddresses_data();
    void newwinOpensOnlyWebAddresses();
    void silentUntilMailLink();
    void homePage_data();
    void homePage();
    void viewFollowsWindowSize();
    void browserMadeWhenSeen();

private:
    QWebEngineLoadingInfo::LoadStatus settle(const std::function<void()> &action);
    bool load(const QString &html);
    QVariant runJs(const QString &script);
    QPoint centreOf(const QString &id);
    void press(const QString &id);
    bool click(const QString &id);

    std::unique_ptr<testing::TestFolder> folder_;
    testing::ScriptedPrompts prompts_;
    testing::RecordingSound sound_;
    testing::RecordingShell shell_;
    UrlCatcher mail_;
    std::unique_ptr<web> w_;
    QStringList added_;
    bool addAnswer_ = true;
};

void TstWeb::initTestCase()
{
    folder_ = std::make_unique<testing::TestFolder>();
    QVERIFY(QDir().mkpath(folder_->file(u"msg"_s)));
    folder_->write(u"msg/ding.wav"_s, "RIFF");
    QDesktopServices::setUrlHandler(u"mailto"_s, &mail_, "open");
    w_ = std::make_unique<web>([this](const QString &address) {
        added_ << address;
        return addAnswer_;
    });
    w_->resize(500, 300);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
}

void TstWeb::init()
{
    prompts_.asked.clear();
    sound_.played.clear();
    shell_.opened.clear();
    shell_.started.clear();
    mail_.urls.clear();
    added_.clear();
    addAnswer_ = true;
}

void TstWeb::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(u"mailto"_s);
    w_.reset();
    folder_.reset();
}

QWebEngineLoadingInfo::LoadStatus TstWeb::settle(const std::function<void()> &action)
{
    auto ended = std::make_shared<std::optional<QWebEngineLoadingInfo::LoadStatus>>();
    const auto watch =
        connect(w_->page(), &QWebEnginePage::loadingChanged, this, [ended](const QWebEngineLoadingInfo &info) {
            if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
                *ended = info.status();
        });
    action();
    const bool done = QTest::qWaitFor([&] { return ended->has_value(); }, kWait);
    disconnect(watch);
    return done ? **ended : QWebEngineLoadingInfo::LoadStartedStatus;
}

bool TstWeb::load(const QString &html)
{
    return settle([&] { w_->page()->setHtml(html, kBase); }) == QWebEngineLoadingInfo::LoadSucceededStatus;
}

QVariant TstWeb::runJs(const QString &script)
{
    // Shared, so a late answer after a timeout writes nowhere dangerous.
    auto answer = std::make_shared<std::pair<bool, QVariant>>();
    w_->page()->runJavaScript(script, [answer](const QVariant &v) { *answer = {true, v}; });
    if (!QTest::qWaitFor([&] { return answer->first; }, kWait))
        qWarning("no answer from the page's script");
    return answer->second;
}

QPoint TstWeb::centreOf(const QString &id)
{
    const QVariantList centre = runJs(u"(function(){var r=document.getElementById('"_s + id
                                      + u"').getBoundingClientRect();return [r.left+r.width/2,r.top+r.height/2];})()"_s)
                                    .toList();
    return centre.size() == 2 ? QPoint(centre[0].toInt(), centre[1].toInt()) : QPoint(-1, -1);
}

// A real click (a user gesture): the browser lets private schemes through
// only when the user asked for them. The pointer rests on the link first, so
// the status bar shows it.
void TstWeb::press(const QString &id)
{
    const QPoint at = centreOf(id);
    QWidget *target = w_->explorador()->focusProxy();
    QSignalSpy hovered(w_.get(), &web::statusTextChanged);
    QTest::mouseMove(target, at + QPoint(0, 100));
    QTest::mouseMove(target, at);
    if (!QTest::qWaitFor([&] { return !hovered.isEmpty() && !hovered.last().first().toString().isEmpty(); }, kWait))
        qWarning("the link was never hovered");
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
}

// Clicks a private-scheme link: the browser stops that navigation, so the
// page shown stays.
bool TstWeb::click(const QString &id)
{
    return settle([&] { press(id); }) == QWebEngineLoadingInfo::LoadStoppedStatus;
}

void TstWeb::tandrLinkAddsOnce_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("address");

    QTest::newRow("http") << u"tandr:http://example.org/a.zip"_s << true << u"http://example.org/a.zip"_s;
    QTest::newRow("ftp") << u"tandr:ftp://ftp.example.org/pub/b.tar.gz"_s << true
                         << u"ftp://ftp.example.org/pub/b.tar.gz"_s;
    QTest::newRow("refused by the add path: no success told")
        << u"tandr:gopher://example.org/c"_s << false << u"gopher://example.org/c"_s;
    QTest::newRow("only a download, never the desktop")
        << u"tandr:newwin:https://example.org/"_s << false << u"newwin:https://example.org/"_s;
}

void TstWeb::tandrLinkAddsOnce()
{
    QFETCH(QString, href);
    QFETCH(bool, accepted);
    QFETCH(QString, address);
    addAnswer_ = accepted;

    QVERIFY(load(linkPage(href)));
    const QUrl before = w_->page()->url();
    QVERIFY(click(u"l"_s));

    QCOMPARE(added_, QStringList{address});
    QCOMPARE(w_->statusText(), href);
    QCOMPARE(w_->page()->url(), before);
    QVERIFY(shell_.opened.isEmpty());
    if (accepted) {
        QCOMPARE(prompts_.notices(), QStringList{u"Se ha añadido "_s + address + u" a la lista."_s});
        QCOMPARE(prompts_.asked.first().extra, msgFile(u"download.gif"_s));
        QCOMPARE(sound_.played, QStringList{msgFile(u"ding.wav"_s)});
    } else {
        QCOMPARE(prompts_.count(u"notice"_s), 0);
        QVERIFY(sound_.played.isEmpty());
    }
}

void TstWeb::scriptsCannotUsePrivateLinks_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("script");

    QTest::newRow("clicks a download link")
        << u"tandr:http://example.org/a.zip"_s << u"document.getElementById('l').click()"_s;
    QTest::newRow("sends the desktop away")
        << u"newwin:https://example.org/"_s << u"location.href='newwin:https://example.org/'"_s;
}

// Without the user's click a page gets nothing from the private links: no
// download added behind the user's back, nothing opened on the desktop.
void TstWeb::scriptsCannotUsePrivateLinks()
{
    QFETCH(QString, href);
    QFETCH(QString, script);

    QVERIFY(load(linkPage(href)));
    const QUrl before = w_->page()->url();
    QVERIFY(settle([&] { runJs(script); }) != QWebEngineLoadingInfo::LoadStartedStatus);

    QVERIFY(added_.isEmpty());
    QVERIFY(shell_.opened.isEmpty());
    QVERIFY(prompts_.asked.isEmpty());
    QVERIFY(sound_.played.isEmpty());
    QCOMPARE(w_->page()->url(), before);
}

void TstWeb::popupsOpenNothing()
{
    QSignalSpy refused(w_->page(), &WebPage::windowRefused);
    const int windows = QApplication::topLevelWidgets().size();
    QVERIFY(load(u"<html><body style='margin:0'><script>window.open('http://example.org/emergente');</script>"
                 "<a id='n' href='http://example.org/otra' target='_blank' "
                 "style='display:block;width:300px;height:60px'>nueva</a></body></html>"_s));
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, kWait);
    const QUrl before = w_->page()->url();

    press(u"n"_s);
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 2, kWait);

    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QCOMPARE(w_->page()->url(), before);
    QVERIFY(shell_.opened.isEmpty());
}

void TstWeb::newwinOpensOnlyWebAddresses_data()
{
    QTest::addColumn<QString>("rest");
    QTest::addColumn<bool>("opens");

    QTest::newRow("https") << u"https://example.org/"_s << true;
    QTest::newRow("ftp") << u"ftp://ftp.example.org/pub/"_s << true;
    QTest::newRow("local file") << u"file:///bin/sh"_s << false;
    QTest::newRow("local file named by host") << u"file://localhost/bin/sh"_s << false;
    QTest::newRow("program path") << u"/usr/bin/xterm"_s << false;
    QTest::newRow("script") << u"javascript:alert(1)"_s << false;
    QTest::newRow("web scheme without host") << u"http:/nohost"_s << false;
}

void TstWeb::newwinOpensOnlyWebAddresses()
{
    QFETCH(QString, rest);
    QFETCH(bool, opens);

    QVERIFY(load(linkPage(u"newwin:"_s + rest)));
    const QUrl before = w_->page()->url();
    QVERIFY(click(u"l"_s));

    QCOMPARE(w_->page()->url(), before);
    QVERIFY(shell_.started.isEmpty());
    QVERIFY(added_.isEmpty());
    QCOMPARE(prompts_.count(u"message"_s), 0); // the script row must not run either
    if (opens) {
        QCOMPARE(shell_.opened, QStringList{rest});
        QCOMPARE(prompts_.count(u"notice"_s), 0);
    } else {
        QVERIFY(shell_.opened.isEmpty());
        QCOMPARE(prompts_.notices(), QStringList{u"No se abre "_s + rest + u": solo se abren direcciones web."_s});
    }
}

void TstWeb::silentUntilMailLink()
{
    QVERIFY(load(linkPage(u"mailto:ana@example.org"_s)));
    QVERIFY(w_->page()->silent());
    prompts_.yesNo.enqueue(true);
    QCOMPARE(runJs(u"alert('hola'); confirm('¿Seguro?')"_s), QVariant(false));
    QVERIFY(prompts_.asked.isEmpty());

    // The mail link goes ahead to the desktop and lifts the silence.
    press(u"l"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mail_.urls.size(), 1, kWait);
    QCOMPARE(mail_.urls.first(), QUrl(u"mailto:ana@example.org"_s));
    QVERIFY(!w_->page()->silent());

    // It stays lifted until the next navigation: the page's dialogs now
    // reach the user, through the program's own prompts.
    QCOMPARE(runJs(u"alert('hola'); confirm('¿Seguro?')"_s), QVariant(true));
    QCOMPARE(prompts_.messages(), QStringList{u"hola"_s});
    QCOMPARE(prompts_.count(u"question"_s), 1);

    QVERIFY(load(u"<p>otra</p>"_s));
    QVERIFY(w_->page()->silent());
}

void TstWeb::homePage_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("beside the program") << true;
    QTest::newRow("missing") << false;
}

void TstWeb::homePage()
{
    QFETCH(bool, present);
    const QString home = folder_->file(u"inicio.html"_s);
    QFile::remove(home);
    if (present)
        folder_->write(u"inicio.html"_s, "<html><head><title>Inicio de prueba</title></head><body>hola</body></html>");

    web window;
    QSignalSpy finished(window.page(), &QWebEnginePage::loadFinished);
    QVERIFY(finished.wait(kWait));
    QVERIFY(finished.first().first().toBool());
    QVERIFY(window.page()->silent());
    if (present) {
        QCOMPARE(window.page()->url(), QUrl::fromLocalFile(home));
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), u"Inicio de prueba"_s, kWait);
    } else {
        auto text = std::make_shared<QString>();
        window.page()->toPlainText([text](const QString &t) { *text = t; });
        QTRY_VERIFY_WITH_TIMEOUT(text->contains(u"Falta la página de inicio"_s), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), u"Tandrel"_s, kWait);
    }
    QVERIFY(prompts_.asked.isEmpty());
}

// Inside the main window the outer size is the sub-window's, frame and
// caption included: 600 x 400 pixels are 9000 x 6000 twips.
void TstWeb::viewFollowsWindowSize()
{
    QMdiArea area;
    area.resize(800, 600);
    auto *window = new web;
    QMdiSubWindow *sub = area.addSubWindow(window);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    sub->resize(600, 400);
    QTRY_COMPARE_WITH_TIMEOUT(window->explorador()->width(), 593, kWait); // (9000 - 100) / 15

    const int bar = window->estado()->height();
    QCOMPARE(window->explorador()->pos(), QPoint(0, 0));
    QCOMPARE(window->explorador()->height(), 371 - bar); // (6000 - 440) / 15 - bar, rounded
    QCOMPARE(window->estado()->geometry().bottom(), window->height() - 1);
    QCOMPARE(window->estado()->width(), window->width());
}

// The engine is made only once the window can be seen: not while hidden,
// not while another window covers it, and at once when it is uncovered.
void TstWeb::browserMadeWhenSeen()
{
    web hidden;
    QApplication::processEvents();
    QVERIFY(!hidden.hasBrowser());

    QMdiArea area;
    area.resize(700, 500);
    auto *browser = new web;
    QMdiSubWindow *back = area.addSubWindow(browser);
    QMdiSubWindow *front = area.addSubWindow(new QWidget);
    back->setGeometry(0, 0, 500, 300);
    front->setGeometry(0, 0, 500, 300);
    area.show();
    area.setActiveSubWindow(front);
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QTest::qWait(300);
    QVERIFY(!browser->hasBrowser());

    front->move(200, 200);
    QTRY_VERIFY_WITH_TIMEOUT(browser->hasBrowser(), kWait);
    QSignalSpy finished(browser->page(), &QWebEnginePage::loadFinished);
    QVERIFY(finished.wait(kWait));
}

int main(int argc, char **argv)
{
    // Chromium needs these before the application exists; ctest sets the
    // first, a hand run may not.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TstWeb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_web.moc"
