// When an address that gave part of a file has stopped serving it, and what
// another address must prove before the download goes on from it.
#include "core/address_rebind.h"
#include "core/http_decision.h"
#include "engine/wording.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Kind = ResponseDecision::Kind;
Q_DECLARE_METATYPE(ResponseDecision::Kind)
Q_DECLARE_METATYPE(ResponseFacts)
Q_DECLARE_METATYPE(BindVerdict)
Q_DECLARE_METATYPE(ProbeReply)

namespace {
// A reply to a resume from byte 5000 of a 6000-byte file.
ResponseFacts resumeReply(int status, QByteArray type = {}, qint64 onDisk = 5000)
{
    ResponseFacts f;
    f.status = status;
    f.statusLine = "HTTP/1.1 " + QByteArray::number(status) + " Nope";
    f.contentType = type;
    f.requestedFrom = onDisk;
    f.onDisk = onDisk;
    f.knownSize = 6000;
    f.url = u"https://cdn.example/f/disco.iso?sig=1"_s;
    f.host = u"cdn.example"_s;
    f.file = u"/descargas/disco.iso"_s;
    if (status == 206) {
        f.ranged = true;
        f.rangeFirst = onDisk;
        f.rangeTotal = 6000;
        f.contentLength = 6000 - onDisk;
    } else if (status == 200) {
        f.contentLength = 6000;
    }
    return f;
}

ResponseFacts withTotal(ResponseFacts f, qint64 total)
{
    f.rangeTotal = total;
    return f;
}

ResponseFacts asPage(ResponseFacts f)
{
    f.fileIsPage = true;
    return f;
}

const QByteArray kTail = QByteArray(4000, 'x') + QByteArray(96, 'y');

ProbeReply tailReply(qint64 first = 1904, qint64 total = 6000, QByteArray body = kTail)
{
    ProbeReply r;
    r.answered = true;
    r.status = 206;
    r.ranged = true;
    r.rangeFirst = first;
    r.rangeTotal = total;
    r.validator = "\"v1\"";
    r.contentType = "application/octet-stream";
    r.body = body;
    return r;
}
} // namespace

class TestAddressRebind : public QObject {
    Q_OBJECT
private slots:
    void stopRule_data();
    void stopRule();
    void binding_data();
    void binding();
    void names_data();
    void names();
};

void TestAddressRebind::stopRule_data()
{
    QTest::addColumn<ResponseFacts>("facts");
    QTest::addColumn<bool>("expired");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("sizeChanged");

    QTest::newRow("403 with bytes") << resumeReply(403) << true << Kind::Stop << false;
    QTest::newRow("401 with bytes") << resumeReply(401) << true << Kind::Stop << false;
    QTest::newRow("404 with bytes: kept, not removed") << resumeReply(404) << true << Kind::Stop << false;
    QTest::newRow("410 with bytes") << resumeReply(410) << true << Kind::Stop << false;
    QTest::newRow("403 before any byte") << resumeReply(403, {}, 0) << false << Kind::Stop << false;
    QTest::newRow("404 before any byte") << resumeReply(404, {}, 0) << false << Kind::Remove << false;
    QTest::newRow("login page for an iso")
        << resumeReply(200, "text/html; charset=UTF-8") << true << Kind::Stop << false;
    QTest::newRow("html range for an iso") << resumeReply(206, "TEXT/HTML") << true << Kind::Stop << false;
    QTest::newRow("html for a file that is a page")
        << asPage(resumeReply(206, "text/html")) << false << Kind::Write << false;
    QTest::newRow("the same file again from 0")
        << resumeReply(200, "application/octet-stream") << false << Kind::Write << false;
    QTest::newRow("range of the file") << resumeReply(206, "application/octet-stream") << false << Kind::Write << false;
    QTest::newRow("another size") << withTotal(resumeReply(206), 7000) << true << Kind::Stop << true;
    QTest::newRow("busy: retried as usual") << resumeReply(503) << false << Kind::Retry << false;
    QTest::newRow("server error: its own notice") << resumeReply(500) << false << Kind::Stop << false;
}

void TestAddressRebind::stopRule()
{
    QFETCH(ResponseFacts, facts);
    QFETCH(bool, expired);
    QFETCH(Kind, kind);
    QFETCH(bool, sizeChanged);
    const ResponseDecision d = decideResponse(facts);
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.addressExpired, expired);
    QCOMPARE(d.sizeChanged, sizeChanged);
    QCOMPARE(d.notice.id == Message::Id::AddressExpired, expired);
    if (expired) {
        QVERIFY(d.logged);
        const QString text = wording(d.notice);
        QVERIFY2(text.contains(u"la dirección ya no es válida"_s), qPrintable(text));
        QVERIFY2(text.contains(u"disco.iso"_s) && text.contains(facts.url), qPrintable(text));
        // A reconnection to that address starts over only after a size change.
        QCOMPARE(text.contains(u"desde el principio"_s), sizeChanged);
    }
}

void TestAddressRebind::binding_data()
{
    QTest::addColumn<qint64>("knownSize");
    QTest::addColumn<QByteArray>("knownValidator");
    QTest::addColumn<ProbeReply>("reply");
    QTest::addColumn<BindVerdict>("verdict");

    const QByteArray v1 = "\"v1\"";
    ProbeReply none;
    ProbeReply whole = tailReply();
    whole.status = 200;
    whole.ranged = false;
    ProbeReply page = tailReply();
    page.contentType = "text/html";
    ProbeReply otherTag = tailReply();
    otherTag.validator = "\"v2\"";
    ProbeReply noTag = tailReply();
    noTag.validator.clear();
    QByteArray flipped = kTail;
    flipped[4095] = 'z';

    QTest::newRow("same file") << 6000LL << v1 << tailReply() << BindVerdict::Proven;
    QTest::newRow("no answer") << 6000LL << v1 << none << BindVerdict::NoAnswer;
    QTest::newRow("whole file instead of the range") << 6000LL << v1 << whole << BindVerdict::NoRange;
    QTest::newRow("range from elsewhere") << 6000LL << v1 << tailReply(0) << BindVerdict::NoRange;
    QTest::newRow("a page") << 6000LL << v1 << page << BindVerdict::NoRange;
    QTest::newRow("another size") << 6000LL << v1 << tailReply(1904, 6001) << BindVerdict::OtherSize;
    QTest::newRow("size not told") << 6000LL << v1 << tailReply(1904, -1) << BindVerdict::Proven;
    QTest::newRow("size unknown here") << 0LL << v1 << tailReply(1904, 9999) << BindVerdict::Proven;
    QTest::newRow("another validator") << 6000LL << v1 << otherTag << BindVerdict::OtherValidator;
    QTest::newRow("new address without validator") << 6000LL << v1 << noTag << BindVerdict::Proven;
    QTest::newRow("old validator unknown") << 6000LL << QByteArray() << otherTag << BindVerdict::Proven;
    QTest::newRow("last byte differs") << 6000LL << v1 << tailReply(1904, 6000, flipped) << BindVerdict::OtherBytes;
    QTest::newRow("tail cut short") << 6000LL << v1 << tailReply(1904, 6000, kTail.left(100))
                                    << BindVerdict::OtherBytes;
}

void TestAddressRebind::binding()
{
    QFETCH(qint64, knownSize);
    QFETCH(QByteArray, knownValidator);
    QFETCH(ProbeReply, reply);
    QFETCH(BindVerdict, verdict);
    const BindingKnown known{knownSize, knownValidator, 1904, kTail};
    QCOMPARE(judgeProbe(known, reply), verdict);
    if (verdict != BindVerdict::Proven) {
        const QString text = wording(
            say(Message::Id::RebindRefused, {u"disco.iso"_s, u"http://x/disco.iso"_s, QString::number(int(verdict))}));
        QVERIFY2(text.contains(u"No se ha cambiado nada"_s), qPrintable(text));
    }
}

void TestAddressRebind::names_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("matches");
    QTest::newRow("same name, other host") << u"http://mirror.example/pub/disco.iso"_s << true;
    QTest::newRow("signed query") << u"https://cdn.example/a/disco.iso?Expires=1&Signature=x"_s << true;
    QTest::newRow("letter case") << u"http://m/DISCO.ISO"_s << true;
    QTest::newRow("escaped blank") << u"http://m/mi%20disco.iso"_s << false;
    QTest::newRow("another file") << u"http://m/disco2.iso"_s << false;
    QTest::newRow("folder only") << u"http://m/disco.iso/"_s << false;
    QTest::newRow("no path") << u"http://m"_s << false;
}

void TestAddressRebind::names()
{
    QFETCH(QString, url);
    QFETCH(bool, matches);
    QCOMPARE(namesPartialFile(url, u"/descargas/disco.iso"_s), matches);
    QVERIFY(namesPartialFile(u"http://m/mi%20disco.iso"_s, u"/d/mi disco.iso"_s));
}

QTEST_GUILESS_MAIN(TestAddressRebind)
#include "tst_address_rebind.moc"
