#include "platform/ole_color.h"
#include "rows/download.h"

#include <progreso.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QColor background(const download &row)
{
    return row.palette().color(QPalette::Window);
}

QColor textColor(const download &row, const QString &name)
{
    return row.findChild<QLabel *>(name)->palette().color(QPalette::WindowText);
}

} // namespace

class TstDownload : public QObject {
    Q_OBJECT

private slots:
    void stateColours_data();
    void stateColours();
    void porcentaje_data();
    void porcentaje();
    void lockReplacesPercentage();
    void mouse_data();
    void mouse();
    void layout_data();
    void layout();
};

void TstDownload::stateColours_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<quint32>("base");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("finished");

    QTest::newRow("new row") << QStringList{} << quint32(0xFFFFFF) << false << false;
    QTest::newRow("retries over") << QStringList{u"redoend"_s} << quint32(0x8080FF) << false << false;
    QTest::newRow("retries over, cleared")
        << QStringList{u"redoend"_s, u"-redoend"_s} << quint32(0xFFFFFF) << false << false;
    QTest::newRow("reconnecting") << QStringList{u"reconectando"_s} << quint32(0xE2FFC6) << false << false;
    QTest::newRow("reconnecting, cleared")
        << QStringList{u"reconectando"_s, u"-reconectando"_s} << quint32(0xFFFFFF) << false << false;
    QTest::newRow("finished after reconnecting")
        << QStringList{u"reconectando"_s, u"end"_s} << quint32(0x80000018) << false << true;
    QTest::newRow("the last state wins") << QStringList{u"end"_s, u"redoend"_s} << quint32(0x8080FF) << false << true;
    QTest::newRow("selected") << QStringList{u"select"_s} << quint32(0xFFFFFF) << true << false;
    QTest::newRow("retries over, selected and unselected")
        << QStringList{u"redoend"_s, u"select"_s, u"unselect"_s} << quint32(0x8080FF) << false << false;
    QTest::newRow("state changes while selected keep the highlight")
        << QStringList{u"select"_s, u"reconectando"_s} << quint32(0xE2FFC6) << true << false;
    QTest::newRow("and show once unselected")
        << QStringList{u"select"_s, u"end"_s, u"unselect"_s} << quint32(0x80000018) << false << true;
}

void TstDownload::stateColours()
{
    QFETCH(QStringList, steps);
    QFETCH(quint32, base);
    QFETCH(bool, selected);
    QFETCH(bool, finished);

    download row;
    for (const QString &step : steps) {
        if (step == u"redoend")
            row.setRedoend(true);
        else if (step == u"-redoend")
            row.setRedoend(false);
        else if (step == u"reconectando")
            row.setReconectando(true);
        else if (step == u"-reconectando")
            row.setReconectando(false);
        else if (step == u"end")
            row.DownloadEnd();
        else if (step == u"select")
            row.setSelected(true);
        else if (step == u"unselect")
            row.setSelected(false);
    }

    QCOMPARE(row.baseColor(), base);
    QCOMPARE(row.selected(), selected);
    QCOMPARE(row.finalizado(), finished);
    QVERIFY(row.autoFillBackground());
    QCOMPARE(background(row), platform::oleColor(selected ? platform::kSysHighlight : base));
    const QColor text = selected ? platform::oleColor(platform::kSysHighlightText) : QColor(Qt::black);
    for (const QString &label : {u"filename"_s, u"porciento"_s, u"nbytes"_s, u"urll"_s})
        QCOMPARE(textColor(row, label), text);
}

void TstDownload::porcentaje_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("read");
    QTest::addColumn<QString>("shown");

    QTest::newRow("zero") << 0 << 0 << u"0%"_s;
    QTest::newRow("ordinary") << 42 << 42 << u"42%"_s;
    QTest::newRow("full") << 100 << 100 << u"100%"_s;
    QTest::newRow("above 100 stops at 100") << 150 << 100 << u"100%"_s;
    QTest::newRow("negative passes unchanged") << -5 << -5 << u"-5%"_s;
}

void TstDownload::porcentaje()
{
    QFETCH(int, written);
    QFETCH(int, read);
    QFETCH(QString, shown);

    download row;
    row.setPorcentaje(written);
    QCOMPARE(row.porcentaje(), read);
    QCOMPARE(row.findChild<progreso *>(u"avance"_s)->value(), read);
    QCOMPARE(row.findChild<QLabel *>(u"porciento"_s)->text(), shown);
}

void TstDownload::lockReplacesPercentage()
{
    download row;
    auto *lock = row.findChild<QLabel *>(u"candado"_s);
    auto *percent = row.findChild<QLabel *>(u"porciento"_s);
    QVERIFY(lock->isHidden());
    QVERIFY(!percent->isHidden());
    QCOMPARE(lock->toolTip(), u"Archivo bloqueado"_s);
    QVERIFY(!lock->pixmap().isNull());

    row.setLocked(true);
    QVERIFY(row.locked());
    QVERIFY(!lock->isHidden());
    QVERIFY(percent->isHidden());

    row.setLocked(false);
    QVERIFY(lock->isHidden());
    QVERIFY(!percent->isHidden());
}

void TstDownload::mouse_data()
{
    QTest::addColumn<QString>("child");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("doubleClicks");
    QTest::addColumn<int>("releasedButton");

    QTest::newRow("click on the lock") << u"candado"_s << Qt::LeftButton << false << 1 << 0 << 1;
    QTest::newRow("double click on the lock") << u"candado"_s << Qt::LeftButton << true << 1 << 0 << 1;
    QTest::newRow("double click on the name") << u"filename"_s << Qt::LeftButton << true << 1 << 1 << 1;
    QTest::newRow("right button on the address") << u"urll"_s << Qt::RightButton << false << 0 << 0 << 2;
    QTest::newRow("middle button on the size") << u"nbytes"_s << Qt::MiddleButton << false << 0 << 0 << 4;
    QTest::newRow("click on the bar") << u"avance"_s << Qt::LeftButton << false << 1 << 0 << 1;
    QTest::newRow("double click on the bar") << u"avance"_s << Qt::LeftButton << true << 1 << 1 << 1;
    QTest::newRow("right button on the bar") << u"avance"_s << Qt::RightButton << false << 0 << 0 << 2;
}

void TstDownload::mouse()
{
    QFETCH(QString, child);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, doubleClick);
    QFETCH(int, clicks);
    QFETCH(int, doubleClicks);
    QFETCH(int, releasedButton);

    download row;
    row.resize(600, 20);
    row.setLocked(true);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QSignalSpy click(&row, &download::Click);
    QSignalSpy dblClick(&row, &download::DblClick);
    QSignalSpy mouseUp(&row, &download::MouseUp);

    auto *target = row.findChild<QWidget *>(child);
    QVERIFY(target && target->isVisible());
    // A double click is press, release, double click, release.
    QTest::mouseClick(target, button);
    if (doubleClick) {
        QTest::mouseDClick(target, button);
        QTest::mouseRelease(target, button);
    }

    QCOMPARE(click.count(), clicks);
    QCOMPARE(dblClick.count(), doubleClicks);
    QCOMPARE(mouseUp.count(), doubleClick ? 2 : 1);
    QCOMPARE(mouseUp.last().at(0).toInt(), releasedButton);
}

void TstDownload::layout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("roomy"); // wider than the percentage column

    QTest::newRow("wide") << 1000 << true;
    QTest::newRow("narrower than the percentage") << 20 << false;
}

// Four equal columns around the percentage, which is never narrower than its
// head's caption nor than "100%", and keeps its width when the row is narrow.
void TstDownload::layout()
{
    QFETCH(int, width);
    QFETCH(bool, roomy);

    download row;
    row.resize(width, 80);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QCOMPARE(row.height(), 20);

    const auto geometry = [&row](const QString &name) { return row.findChild<QWidget *>(name)->geometry(); };
    const int percent = geometry(u"porciento"_s).width();
    QVERIFY(percent >= 44);
    QVERIFY(percent >= row.fontMetrics().horizontalAdvance(u"Porcentaje"_s));
    const int column = geometry(u"filename"_s).width();
    QCOMPARE(column > 0, roomy);
    if (roomy) // the four columns and the percentage fill the row, give or take rounding
        QVERIFY(qAbs(4 * column + percent - width) <= 4);
    QCOMPARE(geometry(u"avance"_s).x(), column);
    QCOMPARE(geometry(u"avance"_s).width(), column);
    QCOMPARE(geometry(u"porciento"_s).x(), 2 * column);
    QCOMPARE(geometry(u"candado"_s).center().x(), geometry(u"porciento"_s).center().x());
    QCOMPARE(geometry(u"nbytes"_s).x(), 2 * column + percent);
    QCOMPARE(geometry(u"nbytes"_s).width(), column);
    QCOMPARE(geometry(u"urll"_s).x(), 3 * column + percent);
    QCOMPARE(geometry(u"urll"_s).width(), column);
    QCOMPARE(geometry(u"downl"_s).right(), width - 1);
}

QTEST_MAIN(TstDownload)
#include "tst_download.moc"
