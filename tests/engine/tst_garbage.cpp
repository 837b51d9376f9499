// Whatever bytes a server, a disk or a user hands the parsers, they answer
// with a state or an error, never a crash or an endless loop.
#include "core/ftp_reply.h"
#include "core/http_response.h"
#include "core/list_file.h"
#include "core/settings_file.h"
#include "core/url.h"
#include "scripted_prompts.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestGarbage : public QObject {
    Q_OBJECT
private slots:
    void randomInputs();
};

namespace {
// Random bytes biased towards the characters the formats care about.
QByteArray noise(QRandomGenerator &gen, int size)
{
    static const QByteArray special = "\r\n :/-,()*0123456789;HTTP/1.1 206 Content-Range: bytes True False";
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out)
        c = gen.bounded(3) == 0 ? char(gen.bounded(256)) : special[int(gen.bounded(int(special.size())))];
    return out;
}
} // namespace

void TestGarbage::randomInputs()
{
    testing::ScriptedPrompts prompts;
    QRandomGenerator gen(20261207);
    for (int round = 0; round < 400; ++round) {
        const QByteArray bytes = noise(gen, int(gen.bounded(1, 600)));

        HttpResponseParser parser;
        QByteArray body;
        const int cut = int(gen.bounded(int(bytes.size()) + 1));
        parser.feed("HTTP/1.1 200 OK\r\n" + bytes.left(cut), &body);
        parser.feed(bytes.mid(cut), &body);
        qint64 a = 0, b = 0, t = 0;
        parser.contentRange(&a, &b, &t);
        parser.contentLength();
        QVERIFY(body.size() <= bytes.size() + 17);

        ChunkedDecoder chunks;
        QByteArray decoded;
        chunks.feed(bytes, &decoded);
        QVERIFY(decoded.size() <= bytes.size());

        FtpReplyBuffer replies;
        for (const QByteArray &line : replies.feed(bytes))
            QVERIFY(!line.contains('\n'));

        const ListLoad list = decodeListFile(bytes, round % 2 ? ListKind::Active : ListKind::Inactive);
        QVERIFY(!list.records.isEmpty() || !list.error.isEmpty() || bytes.trimmed().isEmpty());

        decodeSettings(bytes, u"/p"_s);

        const QString url = u"http://"_s + QString::fromLatin1(bytes.left(80));
        GetPath(url);
        GetPort(url);
        const QString name = GetFileName(url);
        QVERIFY(!name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && name != u".."_s);
        QString normal = url;
        try {
            NormalizeUrl(normal);
        } catch (const UrlError &) {
        }
        QString passive = QString::fromLatin1(bytes.left(40));
        QString address;
        int port = -1;
        ParsePassiveReply(passive, address, port);
        QVERIFY(port >= 0 && port <= 65535);
    }
}

QTEST_MAIN(TestGarbage)
#include "tst_garbage.moc"
