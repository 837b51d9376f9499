// "Buscar nueva dirección" in the active window: when it is offered, what it
// asks, and the offer of a later address of the same file name.
#include "engine_fixture.h"

#include "dialogs/detallado.h"
#include "file_digest.h"
#include "http_script_server.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::HttpScriptServer;

namespace {
const QByteArray kSource = testing::testBytes(300 * 1024, 3);
constexpr qint64 kPartial = 100 * 1024;

// A download of disco.bin stopped with a third of it on disk: its address
// answers 403 now.
int expiredDownload(EngineFixture &f, HttpScriptServer &server)
{
    server.setReply(u"/s/disco.bin"_s, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n");
    server.setResource(u"/m/disco.bin"_s, kSource);
    server.setResource(u"/m/otro.bin"_s, kSource);
    [&] { QVERIFY(testing::writeFile(f.target(u"disco.bin"_s), kSource.left(kPartial))); }();
    const int slot = f.add(server.url(u"/s/disco.bin"_s), u"disco.bin"_s, kSource.size(), kPartial + 1, true);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).stopReason == StopReason::AddressExpired, 10000); }();
    f.window->selectRow(slot);
    return slot;
}
} // namespace

class TestRebindWindow : public QObject {
    Q_OBJECT
private slots:
    void offeredOnlyForAStopWithBytes();
    void typedAddressIsProvenAndContinues();
    void laterAddressOfTheSameNameIsOffered_data();
    void laterAddressOfTheSameNameIsOffered();
    void detailsWindowOffersTheSearch();
};

void TestRebindWindow::offeredOnlyForAStopWithBytes()
{
    EngineFixture f;
    f.oneConnection();
    HttpScriptServer server;
    const int slot = expiredDownload(f, server);
    QVERIFY(f.window->commandEnabled(u"buscar"_s));
    QVERIFY(f.prompts.notices().value(0).contains(u"la dirección ya no es válida"_s));
    // One running (stalled) and one stopped before any byte: not offered.
    HttpScriptServer::Options stall;
    stall.stallAfterBytes = 10;
    server.setResource(u"/slow.bin"_s, kSource, stall);
    const int running = f.add(server.url(u"/slow.bin"_s), u"slow.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(running).e.position > 1, 10000);
    f.window->selectRow(running);
    QVERIFY(!f.window->commandEnabled(u"buscar"_s));
    server.setReply(u"/nada.bin"_s, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n");
    const int empty = f.add(server.url(u"/nada.bin"_s), u"nada.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(waitsForUser(f.window->slot(empty).state), 10000);
    f.window->selectRow(empty);
    QVERIFY(!f.window->commandEnabled(u"buscar"_s));
    f.window->selectRow(slot);
    QVERIFY(f.window->commandEnabled(u"buscar"_s));
}

void TestRebindWindow::typedAddressIsProvenAndContinues()
{
    EngineFixture f;
    f.oneConnection();
    HttpScriptServer server;
    const int slot = expiredDownload(f, server);
    const QString mirror = server.url(u"/m/disco.bin"_s);
    QGuiApplication::clipboard()->setText(u"  "_s + mirror + u"\n"_s);
    f.prompts.texts.enqueue(mirror);
    f.window->CallRebind();
    const auto input = f.prompts.asked.last();
    QCOMPARE(input.kind, u"input"_s);
    QCOMPARE(input.caption, u"Buscar nueva dirección"_s);
    QCOMPARE(input.extra, mirror); // the clipboard's address, offered
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 20000);
    QCOMPARE(testing::readFile(f.target(u"disco.bin"_s)), kSource);
    QCOMPARE(f.window->entry(slot).url, mirror);
    QCOMPARE(f.window->indicador(slot)->url(), mirror);
    // The proof asked for the bytes before the position, and only then the rest.
    const auto asked = server.requests(u"/m/disco.bin"_s);
    QVERIFY(asked.size() >= 2);
    QCOMPARE(asked[0].rangeStart(), kPartial - 4096);
    QCOMPARE(asked[0].rangeEnd(), kPartial - 1);
    QVERIFY(logHas(u"continúa desde el byte "_s + QString::number(kPartial)));
}

void TestRebindWindow::laterAddressOfTheSameNameIsOffered_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("taken") << true;
    QTest::newRow("declined: added as usual") << false;
}

void TestRebindWindow::laterAddressOfTheSameNameIsOffered()
{
    QFETCH(bool, yes);
    EngineFixture f;
    f.oneConnection();
    HttpScriptServer server;
    const int slot = expiredDownload(f, server);
    QGuiApplication::clipboard()->setText(u"no es una dirección"_s);
    QSignalSpy browse(f.window.get(), &activas::browseRequested);
    f.prompts.texts.enqueue(QString()); // no address yet
    f.prompts.yesNo.enqueue(true);      // look for it in the browser
    f.window->CallRebind();
    QCOMPARE(f.prompts.asked.at(f.prompts.asked.size() - 2).extra, QString());
    QCOMPARE(browse.size(), 1);
    // No page is known for it: the old address's site.
    QCOMPARE(browse.at(0).at(0).toString(), server.url(u"/"_s));

    QVERIFY(!f.window->offerRebind(server.url(u"/m/otro.bin"_s)));
    const int questions = f.prompts.count(u"question"_s);
    f.prompts.yesNo.enqueue(yes);
    QCOMPARE(f.window->offerRebind(server.url(u"/m/disco.bin?token=2"_s)), yes);
    QCOMPARE(f.prompts.count(u"question"_s), questions + 1);
    QCOMPARE(f.prompts.asked.last().text, u"¿Continuar disco.bin con esta dirección?"_s);
    if (yes) {
        QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 20000);
        QCOMPARE(testing::readFile(f.target(u"disco.bin"_s)), kSource);
        // Taken once: the next address of that name is a download of its own.
        QVERIFY(!f.window->offerRebind(server.url(u"/m/disco.bin"_s)));
    } else {
        QCOMPARE(f.window->slot(slot).state, DownloadState::Stopped);
        QCOMPARE(testing::readFile(f.target(u"disco.bin"_s)), kSource.left(kPartial));
    }
}

void TestRebindWindow::detailsWindowOffersTheSearch()
{
    EngineFixture f;
    f.oneConnection();
    HttpScriptServer server;
    const int slot = expiredDownload(f, server);
    const QString mirror = server.url(u"/m/disco.bin"_s);
    f.prompts.texts.enqueue(mirror);
    QString estado;
    f.prompts.dialogs.enqueue([&estado](QDialog &dialog) {
        estado = qobject_cast<detallado *>(&dialog)->estado();
        auto *buscar = dialog.findChild<QPushButton *>(u"buscar"_s);
        if (!buscar || buscar->isHidden())
            return -1;
        buscar->click();
        return 0;
    });
    f.window->CallProp();
    // Why it stopped, not the retries it never spent.
    QCOMPARE(estado, u"La dirección ya no es válida"_s);
    QCOMPARE(f.prompts.asked.last().kind, u"input"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 20000);
    QCOMPARE(f.window->entry(slot).url, mirror);
}

QTEST_MAIN(TestRebindWindow)
#include "tst_rebind_window.moc"
