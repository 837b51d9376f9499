// What a complete response header means for a download, row by row.
#include "core/http_decision.h"
#include "core/retry_after.h"
#include "engine/wording.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Kind = ResponseDecision::Kind;
Q_DECLARE_METATYPE(ResponseDecision::Kind)
Q_DECLARE_METATYPE(ResponseFacts)
Q_DECLARE_METATYPE(Message::Id)

namespace {
// "206 0-99/100" style shorthand for the facts a reply brings.
ResponseFacts reply(int status, qint64 length = -1, qint64 rangeFirst = -1, qint64 rangeTotal = -1)
{
    ResponseFacts f;
    f.status = status;
    f.statusLine = "HTTP/1.1 " + QByteArray::number(status) + " X";
    f.contentLength = length;
    f.ranged = rangeFirst >= 0 || rangeTotal >= 0;
    f.rangeFirst = rangeFirst;
    f.rangeTotal = rangeTotal;
    f.url = u"http://h/f"_s;
    f.host = u"h"_s;
    return f;
}

ResponseFacts asked(ResponseFacts f, qint64 from, qint64 onDisk, qint64 knownSize)
{
    f.requestedFrom = from;
    f.onDisk = onDisk;
    f.knownSize = knownSize;
    return f;
}
// The reconnection carried If-Range with the file's validator, and the
// reply names its file as a file server does.
ResponseFacts ifRange(ResponseFacts f)
{
    f.ifRangeSent = true;
    f.replyValidated = true;
    return f;
}
} // namespace

class TestHttpDecision : public QObject {
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void noticesAndHosts();
    void otherStatuses_data();
    void otherStatuses();
    void statusNotices_data();
    void statusNotices();
    void browserSessionLost_data();
    void browserSessionLost();
    void validator_data();
    void validator();
    void certificateNotices();
};

void TestHttpDecision::decide_data()
{
    QTest::addColumn<ResponseFacts>("facts");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<qint64>("writeFrom");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("resumable");
    QTest::addColumn<bool>("sizeChanged");

    QTest::newRow("fresh 206") << asked(reply(206, 100, 0, 100), 0, 0, 0) << Kind::Write << 0LL << 100LL << true
                               << false;
    QTest::newRow("fresh 200") << asked(reply(200, 100), 0, 0, 0) << Kind::Write << 0LL << 100LL << false << false;
    QTest::newRow("200 without length") << asked(reply(200), 0, 0, 0) << Kind::Write << 0LL << 0LL << false << false;
    QTest::newRow("resume 206") << asked(reply(206, 1000, 5000, 6000), 5000, 5000, 6000) << Kind::Write << 5000LL
                                << 6000LL << true << false;
    QTest::newRow("206 with total *: length counts")
        << asked(reply(206, 1000, 5000, -1), 5000, 5000, 0) << Kind::Write << 5000LL << 6000LL << true << false;
    QTest::newRow("tail proof from 904") << asked(reply(206, 4096, 904, 5000), 904, 5000, 0) << Kind::Write << 904LL
                                         << 5000LL << true << false;
    QTest::newRow("206 from another offset")
        << asked(reply(206, 10, 100, 6000), 5000, 5000, 6000) << Kind::Retry << 0LL << 0LL << false << false;
    QTest::newRow("206 without a range") << asked(reply(206, 10), 5000, 5000, 6000) << Kind::Retry << 0LL << 0LL
                                         << false << false;
    QTest::newRow("206 total changed") << asked(reply(206, 1000, 5000, 300000), 5000, 5000, 200000) << Kind::Stop << 0LL
                                       << 0LL << false << true;
    QTest::newRow("200 of the same size to a resume")
        << asked(reply(200, 6000), 5000, 5000, 6000) << Kind::Write << 0LL << 6000LL << false << false;
    QTest::newRow("200 maintenance page to a resume")
        << asked(reply(200, 33), 5000, 5000, 200000) << Kind::Stop << 0LL << 0LL << false << true;
    QTest::newRow("200 without length, size known")
        << asked(reply(200), 5000, 5000, 6000) << Kind::Stop << 0LL << 0LL << false << true;
    QTest::newRow("416, all here") << asked(reply(416, -1, -1, 6000), 6000, 6000, 0) << Kind::Finished << 0LL << 6000LL
                                   << false << false;
    QTest::newRow("416, empty file") << asked(reply(416, -1, -1, 0), 0, 0, 0) << Kind::Finished << 0LL << 0LL << false
                                     << false;
    QTest::newRow("416, disk longer than the file")
        << asked(reply(416, -1, -1, 6000), 8000, 12000, 0) << Kind::RestartFromStart << 0LL << 0LL << false << false;
    QTest::newRow("416 from byte 0") << asked(reply(416), 0, 0, 0) << Kind::Retry << 0LL << 0LL << false << false;
    QTest::newRow("416, total changed") << asked(reply(416, -1, -1, 7000), 6000, 6000, 6000) << Kind::Stop << 0LL << 0LL
                                        << false << true;
    ResponseFacts moved = reply(301);
    moved.location = "/elsewhere";
    QTest::newRow("redirect") << moved << Kind::Redirect << 0LL << 0LL << false << false;
    QTest::newRow("redirect without location") << reply(302) << Kind::Retry << 0LL << 0LL << false << false;
    QTest::newRow("404") << reply(404) << Kind::Remove << 0LL << 0LL << false << false;
    QTest::newRow("503") << reply(503) << Kind::Retry << 0LL << 0LL << false << false;
    QTest::newRow("401") << reply(401) << Kind::Stop << 0LL << 0LL << false << false;
    QTest::newRow("If-Range 200: new file, other size")
        << ifRange(asked(reply(200, 7000), 5000, 5000, 6000)) << Kind::Write << 0LL << 7000LL << false << false;
    QTest::newRow("If-Range 200: new file, no length")
        << ifRange(asked(reply(200), 5000, 5000, 6000)) << Kind::Write << 0LL << 0LL << false << false;
    ResponseFacts portal = ifRange(asked(reply(200, 7000), 5000, 5000, 6000));
    portal.replyValidated = false;
    QTest::newRow("If-Range 200 naming no file: a page, the bytes stay")
        << portal << Kind::Stop << 0LL << 0LL << false << true;
    QTest::newRow("If-Range 206: same file") << ifRange(asked(reply(206, 1000, 5000, 6000), 5000, 5000, 6000))
                                             << Kind::Write << 5000LL << 6000LL << true << false;
    QTest::newRow("If-Range 206 total changed")
        << ifRange(asked(reply(206, 1000, 5000, 9000), 5000, 5000, 6000)) << Kind::Stop << 0LL << 0LL << false << true;
    QTest::newRow("If-Range 404 with bytes on disk stops")
        << ifRange(asked(reply(404), 5000, 5000, 6000)) << Kind::Stop << 0LL << 0LL << false << false;
    QTest::newRow("410 page is not the file") << reply(410) << Kind::Stop << 0LL << 0LL << false << false;
}

void TestHttpDecision::decide()
{
    QFETCH(ResponseFacts, facts);
    QFETCH(Kind, kind);
    QFETCH(qint64, writeFrom);
    QFETCH(qint64, size);
    QFETCH(bool, resumable);
    QFETCH(bool, sizeChanged);
    const ResponseDecision d = decideResponse(facts);
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.sizeChanged, sizeChanged);
    if (kind == Kind::Write || kind == Kind::Finished)
        QCOMPARE(d.size, size);
    if (kind == Kind::Write) {
        QCOMPARE(d.writeFrom, writeFrom);
        QCOMPARE(d.resumable, resumable);
    }
    if (kind == Kind::Stop)
        QVERIFY(!d.notice.isEmpty());
    // Only a whole body answering If-Range says the server's file changed.
    QCOMPARE(d.fileChanged, facts.ifRangeSent && kind == Kind::Write && writeFrom == 0);
}

void TestHttpDecision::noticesAndHosts()
{
    QCOMPARE(wording(decideResponse(reply(500)).notice), u"Error interno del servidor h."_s);
    QVERIFY(wording(sizeChangedNotice(u"u"_s, 200000, -1)).contains(u"(200000 → desconocido bytes)"_s));
    QVERIFY(hostIsSafe(u"example.org"_s));
    QVERIFY(!hostIsSafe(u"evil\rX-Injected"_s));
    QVERIFY(!hostIsSafe(u"a b"_s));
    QVERIFY(!hostIsSafe(QString()));
}

namespace {
const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0, 0), Qt::UTC);
const int kUsualDelay = 5;
} // namespace

// Statuses that are neither the file nor a redirect: which ones wait and are
// tried again, and after how long, and which ones stop for good.
void TestHttpDecision::otherStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Message::Id>("id");
    QTest::addColumn<int>("delay"); // Retry: seconds until the next try with the usual delay of 5
    using Id = Message::Id;
    const auto date = [](int seconds) { return kNow.addSecs(seconds); };
    const auto fixdate = [&](int seconds) {
        return date(seconds).toString(u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s).toLatin1();
    };

    QTest::newRow("410 stops") << 410 << QByteArray() << Kind::Stop << Id::ServerRefused << 0;
    QTest::newRow("451 stops, whatever it asks") << 451 << QByteArray("5") << Kind::Stop << Id::ServerRefused << 0;
    QTest::newRow("an unknown 4xx stops") << 499 << QByteArray() << Kind::Stop << Id::ServerRefused << 0;
    QTest::newRow("300 is no redirect") << 300 << QByteArray() << Kind::Stop << Id::ServerRefused << 0;
    QTest::newRow("500 keeps its own notice") << 500 << QByteArray() << Kind::Stop << Id::ServerError << 0;

    QTest::newRow("408, the usual delay") << 408 << QByteArray() << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 in seconds") << 429 << QByteArray("30") << Kind::Retry << Id::ServerBusy << 30;
    QTest::newRow("429 sooner than the usual delay")
        << 429 << QByteArray("1") << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 beyond the longest delay")
        << 429 << QByteArray("3600") << Kind::Retry << Id::ServerBusy << kMaxRetryDelaySeconds;
    QTest::newRow("429 more digits than a number holds") << 429 << QByteArray("123456789012345678901234567890")
                                                         << Kind::Retry << Id::ServerBusy << kMaxRetryDelaySeconds;
    QTest::newRow("429 at a date") << 429 << fixdate(20) << Kind::Retry << Id::ServerBusy << 20;
    QTest::newRow("429 at a date hours away")
        << 429 << fixdate(7200) << Kind::Retry << Id::ServerBusy << kMaxRetryDelaySeconds;
    QTest::newRow("429 at a past date") << 429 << fixdate(-600) << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 at an RFC 850 date") << 429 << date(45).toString(u"dddd, dd-MMM-yy hh:mm:ss 'GMT'"_s).toLatin1()
                                            << Kind::Retry << Id::ServerBusy << 45;
    QTest::newRow("429 at an asctime date")
        << 429 << QByteArray("Sun Mar  1 12:00:40 2026") << Kind::Retry << Id::ServerBusy << 40;
    QTest::newRow("429 negative: ignored") << 429 << QByteArray("-30") << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 fraction: ignored") << 429 << QByteArray("30.5") << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 words: ignored") << 429 << QByteArray("in a while") << Kind::Retry << Id::ServerBusy
                                        << kUsualDelay;
    QTest::newRow("429 date in another zone: ignored")
        << 429 << QByteArray("Sun, 01 Mar 2026 12:00:40 CET") << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("429 impossible date: ignored")
        << 429 << QByteArray("Mon, 30 Feb 2026 12:00:40 GMT") << Kind::Retry << Id::ServerBusy << kUsualDelay;
    QTest::newRow("502") << 502 << QByteArray() << Kind::Retry << Id::ServerUnavailable << kUsualDelay;
    QTest::newRow("503 asking a wait") << 503 << QByteArray("15") << Kind::Retry << Id::ServerUnavailable << 15;
    QTest::newRow("504") << 504 << QByteArray("junk") << Kind::Retry << Id::ServerUnavailable << kUsualDelay;
}

void TestHttpDecision::otherStatuses()
{
    QFETCH(int, status);
    QFETCH(QByteArray, retryAfter);
    QFETCH(Kind, kind);
    QFETCH(Message::Id, id);
    QFETCH(int, delay);
    ResponseFacts facts = reply(status, 10);
    facts.retryAfter = retryAfter;
    facts.now = kNow;
    const ResponseDecision d = decideResponse(facts);
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.notice.id, id);
    // A refusal is a line in the log; the older stops keep their ways.
    QCOMPARE(d.logged, id == Message::Id::ServerRefused);
    if (kind == Kind::Retry)
        QCOMPARE(retryDelaySeconds(kUsualDelay, d.retryAfter), delay);
    else
        QCOMPARE(d.retryAfter, -1);
}

void TestHttpDecision::statusNotices_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QString>("notice");
    QTest::newRow("410 explained") << 410 << QByteArray("HTTP/1.1 410 Gone")
                                   << u"No se puede descargar http://h/f: el servidor ha respondido «410 Gone» (el "
                                      "archivo ya no existe en el servidor)."_s;
    QTest::newRow("unknown status as the server words it")
        << 418 << QByteArray("HTTP/1.1 418 I'm a teapot")
        << u"No se puede descargar http://h/f: el servidor ha respondido «418 I'm a teapot»."_s;
    QTest::newRow("no reason phrase: the number")
        << 405 << QByteArray("HTTP/1.1 405")
        << u"No se puede descargar http://h/f: el servidor ha respondido «405» (método no permitido)."_s;
    QTest::newRow("control characters dropped")
        << 499 << QByteArray("HTTP/1.1 499 Go[2J away")
        << u"No se puede descargar http://h/f: el servidor ha respondido «499 Go[2J away»."_s;
    QTest::newRow("503") << 503 << QByteArray("HTTP/1.1 503 Service Unavailable")
                         << u"El servidor de h no está disponible por ahora (503 Service Unavailable)."_s;
    QTest::newRow("429") << 429 << QByteArray("HTTP/1.1 429 Too Many Requests")
                         << u"El servidor de h ha recibido demasiadas peticiones y pide esperar (429 Too Many "
                            "Requests): se volverá a intentar."_s;
    QTest::newRow("408") << 408 << QByteArray("HTTP/1.1 408 Request Timeout")
                         << u"El servidor de h ha dejado de esperar la petición (408 Request Timeout): se volverá a "
                            "intentar."_s;
}

void TestHttpDecision::statusNotices()
{
    QFETCH(int, status);
    QFETCH(QByteArray, statusLine);
    QFETCH(QString, notice);
    ResponseFacts facts = reply(status);
    facts.statusLine = statusLine;
    QCOMPARE(wording(decideResponse(facts).notice), notice);
}

// A download handed over by the browser whose cookies a restart did not keep:
// a refusal says to fetch it again from the browser; other answers are as
// for any download.
void TestHttpDecision::browserSessionLost_data()
{
    QTest::addColumn<ResponseFacts>("facts");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("expired");
    QTest::addColumn<bool>("toldBrowser");

    const auto lost = [](ResponseFacts f) {
        f.sessionLost = true;
        return f;
    };
    QTest::newRow("403 before any byte") << lost(reply(403)) << Kind::Stop << false << true;
    QTest::newRow("401 before any byte") << lost(reply(401)) << Kind::Stop << false << true;
    QTest::newRow("403 with bytes: expired, and why")
        << lost(asked(reply(403), 5000, 5000, 9000)) << Kind::Stop << true << true;
    QTest::newRow("404 with bytes: no cookie brings it back")
        << lost(asked(reply(404), 5000, 5000, 9000)) << Kind::Stop << true << false;
    QTest::newRow("404 before any byte") << lost(reply(404)) << Kind::Remove << false << false;
    QTest::newRow("served anyway") << lost(reply(200, 9000)) << Kind::Write << false << false;
    QTest::newRow("403 to a download with its session") << reply(403) << Kind::Stop << false << false;
    QTest::newRow("403 with bytes, session at hand")
        << asked(reply(403), 5000, 5000, 9000) << Kind::Stop << true << false;
}

void TestHttpDecision::browserSessionLost()
{
    QFETCH(ResponseFacts, facts);
    QFETCH(Kind, kind);
    QFETCH(bool, expired);
    QFETCH(bool, toldBrowser);
    const ResponseDecision d = decideResponse(facts);
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.addressExpired, expired);
    const QString text = wording(d.notice);
    const QString browser = u"El enlace necesita la sesión del navegador: vuelva a descargarlo desde el navegador."_s;
    QVERIFY2(text.contains(browser) == toldBrowser, qPrintable(text));
    // Before any byte the browser's words replace the generic refusal.
    if (toldBrowser && !expired)
        QCOMPARE(text, browser);
    if (expired)
        QVERIFY2(text.contains(u"la dirección ya no es válida"_s), qPrintable(text));
}

void TestHttpDecision::validator_data()
{
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("lastModified");
    QTest::addColumn<QByteArray>("sent");
    const QByteArray date = "Tue, 08 Dec 2026 06:00:00 GMT";
    QTest::newRow("strong ETag wins") << QByteArray(" \"a1\" ") << date << QByteArray("\"a1\"");
    QTest::newRow("weak ETag: not for ranges") << QByteArray("W/\"a1\"") << date << QByteArray();
    QTest::newRow("date alone") << QByteArray() << date << date;
    QTest::newRow("neither") << QByteArray() << QByteArray() << QByteArray();
}

void TestHttpDecision::validator()
{
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, lastModified);
    QFETCH(QByteArray, sent);
    QCOMPARE(rangeValidator(etag, lastModified), sent);
}

void TestHttpDecision::certificateNotices()
{
    const auto notice = [](QList<QSslError::SslError> kinds) {
        QList<QSslError> errors;
        for (const auto k : kinds)
            errors.append(QSslError(k));
        return wording(certificateNotice(u"h"_s, u"https://h/f"_s, errors));
    };
    QCOMPARE(notice({QSslError::CertificateExpired}),
             u"El certificado de h ha caducado. Se ha detenido la descarga de https://h/f."_s);
    // The most telling problem is the one named.
    QVERIFY(
        notice({QSslError::HostNameMismatch, QSslError::CertificateNotYetValid}).contains(u"no es válido todavía"_s));
    QVERIFY(
        notice({QSslError::HostNameMismatch, QSslError::SelfSignedCertificate}).contains(u"autoridad de confianza"_s));
    QVERIFY(notice({QSslError::HostNameMismatch}).contains(u"El certificado de h está emitido para otro servidor."_s));
    QVERIFY(notice({QSslError::CertificateExpired, QSslError::CertificateRevoked}).contains(u"ha sido revocado"_s));
    QVERIFY(notice({QSslError::CertificateSignatureFailed}).contains(u"no es válido: "_s));
}

QTEST_GUILESS_MAIN(TestHttpDecision)
#include "tst_http_decision.moc"
