// The browser's native messaging, as the host reads and answers it.
#include "core/native_message.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {
QByteArray lengthOf(quint32 n)
{
    QByteArray out(4, '\0');
    std::memcpy(out.data(), &n, 4);
    return out;
}
QByteArray framed(const QByteArray &json)
{
    return lengthOf(quint32(json.size())) + json;
}
} // namespace

class TstNativeMessage : public QObject {
    Q_OBJECT
private slots:
    void frames_data();
    void frames();
    void framesFollowEachOther();
    void requests_data();
    void requests();
    void answersAreFramed();
    void manifestsNameTheExtension();
};

void TstNativeMessage::frames_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("payload");

    const auto incomplete = int(NativeFrame::State::Incomplete);
    const auto complete = int(NativeFrame::State::Complete);
    const auto tooLong = int(NativeFrame::State::TooLong);
    QTest::newRow("nothing yet") << QByteArray() << incomplete << QByteArray();
    QTest::newRow("half a length") << QByteArray("\x02\x00", 2) << incomplete << QByteArray();
    QTest::newRow("length, no body") << lengthOf(2) << incomplete << QByteArray();
    QTest::newRow("body cut short") << lengthOf(10) + "{}" << incomplete << QByteArray();
    QTest::newRow("whole") << framed("{}") << complete << QByteArray("{}");
    QTest::newRow("empty message") << lengthOf(0) << complete << QByteArray();
    QTest::newRow("at the cap") << lengthOf(quint32(kMaxNativeMessageBytes)) + QByteArray(kMaxNativeMessageBytes, ' ')
                                << complete << QByteArray(kMaxNativeMessageBytes, ' ');
    // Refused from the length alone: nothing of such a body is waited for.
    QTest::newRow("past the cap") << lengthOf(quint32(kMaxNativeMessageBytes + 1)) << tooLong << QByteArray();
    QTest::newRow("a length of 4 GiB") << lengthOf(0xFFFFFFFFu) << tooLong << QByteArray();
}

void TstNativeMessage::frames()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, state);
    QFETCH(QByteArray, payload);
    const NativeFrame f = takeNativeFrame(buffer);
    QCOMPARE(int(f.state), state);
    QCOMPARE(f.payload, payload);
    QCOMPARE(f.consumed, f.state == NativeFrame::State::Complete ? 4 + payload.size() : 0);
}

void TstNativeMessage::framesFollowEachOther()
{
    QByteArray buffer = framed(R"({"accion":"comprobar"})") + framed("[1]") + QByteArray("\x09", 1);
    NativeFrame f = takeNativeFrame(buffer);
    QCOMPARE(f.payload, QByteArray(R"({"accion":"comprobar"})"));
    buffer.remove(0, f.consumed);
    f = takeNativeFrame(buffer);
    QCOMPARE(f.payload, QByteArray("[1]"));
    buffer.remove(0, f.consumed);
    QCOMPARE(takeNativeFrame(buffer).state, NativeFrame::State::Incomplete);
}

void TstNativeMessage::requests_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("kind");

    const auto bad = int(NativeRequest::Kind::Bad);
    const auto download = int(NativeRequest::Kind::Download);
    const auto check = int(NativeRequest::Kind::Check);
    QTest::newRow("check") << QByteArray(R"({"accion":"comprobar"})") << check;
    QTest::newRow("download") << QByteArray(R"({"accion":"descargar","direccion":"https://h/f.zip","nombre":"f.zip",)"
                                            R"("referente":"https://h/","cookies":"a=1"})")
                              << download;
    QTest::newRow("unknown fields ignored")
        << QByteArray(R"({"accion":"descargar","direccion":"http://h/f","pestaña":7,"extra":{"x":[]}})") << download;
    QTest::newRow("not JSON") << QByteArray("descargar http://h/f") << bad;
    QTest::newRow("JSON cut short") << QByteArray(R"({"accion":"descargar","direccion":"http://h)") << bad;
    QTest::newRow("an array") << QByteArray(R"(["descargar","http://h/f"])") << bad;
    QTest::newRow("empty") << QByteArray() << bad;
    QTest::newRow("no action") << QByteArray(R"({"direccion":"http://h/f"})") << bad;
    QTest::newRow("unknown action") << QByteArray(R"({"accion":"ejecutar","direccion":"http://h/f"})") << bad;
    QTest::newRow("action as a number") << QByteArray(R"({"accion":1})") << bad;
    QTest::newRow("no address") << QByteArray(R"({"accion":"descargar"})") << bad;
    QTest::newRow("address as a list") << QByteArray(R"({"accion":"descargar","direccion":["http://h/f"]})") << bad;
    QTest::newRow("a local file") << QByteArray(R"({"accion":"descargar","direccion":"file:///etc/shadow"})") << bad;
    QTest::newRow("name as a number") << QByteArray(R"({"accion":"descargar","direccion":"http://h/f","nombre":3})")
                                      << bad;
    QTest::newRow("cookies with a line break")
        << QByteArray(R"({"accion":"descargar","direccion":"http://h/f","cookies":"a=1\nHost: x"})") << bad;
}

void TstNativeMessage::requests()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, kind);
    const NativeRequest r = decodeNativeRequest(payload);
    QCOMPARE(int(r.kind), kind);
    // A refusal always says why: it goes back to the browser.
    QCOMPARE(r.error.isEmpty(), r.kind != NativeRequest::Kind::Bad);
    if (r.kind == NativeRequest::Kind::Download) {
        QVERIFY(r.download.address.startsWith(u"http"_s));
        QCOMPARE(r.download.session.url, r.download.address);
    }
}

void TstNativeMessage::answersAreFramed()
{
    const QByteArray frame = nativeFrame(nativeAnswer({u"http://h/f"_s, false, u"Ya se ha superado el máximo."_s}));
    const NativeFrame f = takeNativeFrame(frame);
    QCOMPARE(f.state, NativeFrame::State::Complete);
    QCOMPARE(f.consumed, frame.size());
    const QJsonObject o = QJsonDocument::fromJson(f.payload).object();
    QCOMPARE(o.value(u"aceptada"_s).toBool(true), false);
    QCOMPARE(o.value(u"mensaje"_s).toString(), u"Ya se ha superado el máximo."_s);
}

void TstNativeMessage::manifestsNameTheExtension()
{
    const QJsonObject chromium =
        QJsonDocument::fromJson(nativeHostManifest(BrowserKind::Chromium, u"/opt/t/downloader"_s)).object();
    QCOMPARE(chromium.value(u"path"_s).toString(), u"/opt/t/downloader"_s);
    QCOMPARE(chromium.value(u"type"_s).toString(), u"stdio"_s);
    QCOMPARE(chromium.value(u"allowed_origins"_s).toArray().size(), 1);
    const QString origin = chromium.value(u"allowed_origins"_s).toArray().first().toString();
    QVERIFY(origin.startsWith(u"chrome-extension://"_s) && origin.endsWith(u'/'));
    QVERIFY(!chromium.contains(u"allowed_extensions"_s));
    const QJsonObject firefox =
        QJsonDocument::fromJson(nativeHostManifest(BrowserKind::Firefox, u"/opt/t/downloader"_s)).object();
    QCOMPARE(firefox.value(u"allowed_extensions"_s).toArray().size(), 1);
    QVERIFY(!firefox.contains(u"allowed_origins"_s));
    QCOMPARE(firefox.value(u"name"_s), chromium.value(u"name"_s));
}

QTEST_GUILESS_MAIN(TstNativeMessage)
#include "tst_native_message.moc"
