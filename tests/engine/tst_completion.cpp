// When a closed connection means a finished download and when a lost one.
#include "core/completion.h"

#include <QtTest>

class TestCompletion : public QObject {
    Q_OBJECT
private slots:
    void rule_data();
    void rule();
    void confirmationAndProof();
};

void TestCompletion::rule_data()
{
    QTest::addColumn<qint64>("onDisk");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("http");
    QTest::addColumn<bool>("header");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<bool>("lastChunk");
    QTest::addColumn<bool>("complete");
    QTest::newRow("every byte") << qint64(6000) << qint64(6000) << true << true << false << false << true;
    // Two or three bytes short is not finished, whatever the close says.
    QTest::newRow("2 short") << qint64(5998) << qint64(6000) << true << true << false << false << false;
    QTest::newRow("3 short") << qint64(5997) << qint64(6000) << true << true << false << false << false;
    QTest::newRow("one byte") << qint64(0) << qint64(1) << true << true << false << false << false;
    QTest::newRow("past 4 GiB") << qint64(5000000000) << qint64(5000000001) << true << true << false << false << false;
    QTest::newRow("no size: the close ends it") << qint64(123) << qint64(0) << true << true << false << false << true;
    QTest::newRow("closed before the header ended")
        << qint64(0) << qint64(0) << true << false << false << false << false;
    QTest::newRow("chunks cut short") << qint64(500) << qint64(0) << true << true << true << false << false;
    QTest::newRow("chunks to the end") << qint64(500) << qint64(0) << true << true << true << true << true;
    QTest::newRow("ftp whole") << qint64(10) << qint64(10) << false << false << false << false << true;
    QTest::newRow("ftp short") << qint64(9) << qint64(10) << false << false << false << false << false;
    // Without a size only the server's 226 ends an FTP transfer.
    QTest::newRow("ftp no size, no 226") << qint64(100) << qint64(0) << false << false << false << false << false;
}

// Guards beyond the byte count: the server's confirmation and the tail proof.
void TestCompletion::confirmationAndProof()
{
    TransferEnd ftp;
    ftp.http = false;
    ftp.onDisk = 100;
    ftp.ftpConfirmed = true;
    QVERIFY(transferComplete(ftp));
    ftp.tailUnproven = true;
    QVERIFY(!transferComplete(ftp));

    TransferEnd http;
    http.onDisk = 6000;
    http.size = 6000;
    http.tailUnproven = true;
    QVERIFY(!transferComplete(http));
}

void TestCompletion::rule()
{
    QFETCH(qint64, onDisk);
    QFETCH(qint64, size);
    QFETCH(bool, http);
    QFETCH(bool, header);
    QFETCH(bool, chunked);
    QFETCH(bool, lastChunk);
    QFETCH(bool, complete);
    TransferEnd end;
    end.onDisk = onDisk;
    end.size = size;
    end.http = http;
    end.headerComplete = header;
    end.chunked = chunked;
    end.lastChunkSeen = lastChunk;
    QCOMPARE(transferComplete(end), complete);
}

QTEST_MAIN(TestCompletion)
#include "tst_completion.moc"
