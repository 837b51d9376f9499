#include <progreso.h>
#include <tarta.h>

#include <QImage>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

// Colour values keep red in the low byte.
constexpr quint32 kBlue = 0xFF0000;
constexpr quint32 kGreen = 0x00FF00;
const QColor blue(0, 0, 255);
const QColor green(0, 255, 0);

QImage picture(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor at(const QImage &img, double x, double y)
{
    return img.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

} // namespace

class TstProgreso : public QObject {
    Q_OBJECT

private slots:
    void barFill_data();
    void barFill();
    void maxValueNeverBelowOne_data();
    void maxValueNeverBelowOne();
    void barMeasuredInsideBorder();
    void defaultBackgroundIsButtonFace();
    void barMouse_data();
    void barMouse();

    void pieSectors_data();
    void pieSectors();
    void pieMaxZeroReadsHundred();
    void pieInWideControl();
    void pieTooSmallDrawsNothing();
};

void TstProgreso::barFill_data()
{
    QTest::addColumn<int>("maxValue");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("filled"); // pixels of a 200-pixel bar

    QTest::newRow("a quarter") << 200 << 50 << 50;
    QTest::newRow("half") << 100 << 50 << 100;
    QTest::newRow("full") << 100 << 100 << 200;
    QTest::newRow("above the maximum is cut at the edge") << 100 << 500 << 200;
    QTest::newRow("negative shows empty") << 100 << -10 << 0;
    QTest::newRow("zero") << 100 << 0 << 0;
    QTest::newRow("maximum 0 behaves as 1") << 0 << 1 << 200;
    QTest::newRow("huge values do not overflow") << 2000000000 << 1000000000 << 100;
}

void TstProgreso::barFill()
{
    QFETCH(int, maxValue);
    QFETCH(int, value);
    QFETCH(int, filled);

    progreso bar;
    bar.resize(200, 20);
    bar.setFRColor(kBlue);
    bar.setBGColor(kGreen);
    bar.setMaxValue(maxValue);
    bar.setValue(value);

    const QImage img = picture(bar);
    if (filled > 0) {
        QCOMPARE(img.pixelColor(0, 10), blue);
        QCOMPARE(img.pixelColor(filled - 1, 10), blue);
        QCOMPARE(img.pixelColor(filled - 1, 0), blue);
        QCOMPARE(img.pixelColor(filled - 1, 19), blue);
    }
    if (filled < 200) {
        QCOMPARE(img.pixelColor(filled, 10), green);
        QCOMPARE(img.pixelColor(199, 10), green);
    }
}

void TstProgreso::maxValueNeverBelowOne_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("stored");

    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("negative") << -40 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("ordinary") << 250 << 250;
}

void TstProgreso::maxValueNeverBelowOne()
{
    QFETCH(int, written);
    QFETCH(int, stored);

    progreso bar;
    bar.setMaxValue(written);
    QCOMPARE(bar.MaxValue(), stored);
}

void TstProgreso::barMeasuredInsideBorder()
{
    progreso bar;
    bar.resize(102, 20);
    bar.setBorder(true);
    bar.setFRColor(kBlue);
    bar.setBGColor(kGreen);
    bar.setValue(50);

    const QImage img = picture(bar);
    QCOMPARE(img.pixelColor(0, 10), QColor(Qt::black));
    QCOMPARE(img.pixelColor(101, 10), QColor(Qt::black));
    QCOMPARE(img.pixelColor(1, 10), blue);
    QCOMPARE(img.pixelColor(50, 10), blue);
    QCOMPARE(img.pixelColor(51, 10), green);
}

void TstProgreso::defaultBackgroundIsButtonFace()
{
    progreso bar;
    bar.resize(50, 10);
    QCOMPARE(bar.BGColor(), quint32(0x8000000F));
    QCOMPARE(bar.FRColor(), quint32(255));
    QCOMPARE(picture(bar).pixelColor(25, 5), bar.palette().color(QPalette::Button));
}

void TstProgreso::barMouse_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("doubleClicks");
    QTest::addColumn<int>("releases");
    QTest::addColumn<int>("releasedButton");

    QTest::newRow("left click") << Qt::LeftButton << false << 1 << 0 << 1 << 1;
    QTest::newRow("right click") << Qt::RightButton << false << 0 << 0 << 1 << 2;
    QTest::newRow("middle click") << Qt::MiddleButton << false << 0 << 0 << 1 << 4;
    // The release that ends a double click is no second click.
    QTest::newRow("left double click") << Qt::LeftButton << true << 1 << 1 << 2 << 1;
}

void TstProgreso::barMouse()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, doubleClick);
    QFETCH(int, clicks);
    QFETCH(int, doubleClicks);
    QFETCH(int, releases);
    QFETCH(int, releasedButton);

    progreso bar;
    bar.resize(100, 20);
    QSignalSpy click(&bar, &progreso::Click);
    QSignalSpy dblClick(&bar, &progreso::DblClick);
    QSignalSpy mouseUp(&bar, &progreso::MouseUp);

    QTest::mouseClick(&bar, button);
    if (doubleClick) {
        QTest::mouseDClick(&bar, button);
        QTest::mouseRelease(&bar, button);
    }

    QCOMPARE(click.count(), clicks);
    QCOMPARE(dblClick.count(), doubleClicks);
    QCOMPARE(mouseUp.count(), releases);
    QCOMPARE(mouseUp.last().at(0).toInt(), releasedButton);
}

void TstProgreso::pieSectors_data()
{
    QTest::addColumn<int>("maxValue");
    QTest::addColumn<int>("value");
    // Whether each quarter, clockwise from twelve o'clock, is filled.
    QTest::addColumn<QList<bool>>("filled");

    QTest::newRow("empty") << 100 << 0 << QList<bool>{false, false, false, false};
    QTest::newRow("a quarter: twelve to three") << 100 << 25 << QList<bool>{true, false, false, false};
    QTest::newRow("half") << 100 << 50 << QList<bool>{true, true, false, false};
    QTest::newRow("three quarters") << 200 << 150 << QList<bool>{true, true, true, false};
    QTest::newRow("full") << 100 << 100 << QList<bool>{true, true, true, true};
    QTest::newRow("above the maximum fills the disc") << 100 << 400 << QList<bool>{true, true, true, true};
    QTest::newRow("negative fills nothing") << 100 << -30 << QList<bool>{false, false, false, false};
    QTest::newRow("unset maximum is a percentage") << 0 << 25 << QList<bool>{true, false, false, false};
}

void TstProgreso::pieSectors()
{
    QFETCH(int, maxValue);
    QFETCH(int, value);
    QFETCH(QList<bool>, filled);

    tarta pie;
    pie.resize(340, 340);
    pie.setBackColor(kGreen);
    pie.setForeColor(kBlue);
    pie.setMaxValue(maxValue);
    pie.setValue(value);

    // Centre and radius in pixels: (340 * 15 / 2 - 100) / 15.
    const double c = (340 * 15 / 2.0 - 100) / 15;
    const double half = c / 2;
    const QImage img = picture(pie);
    // Middle of each quarter, clockwise from twelve o'clock.
    const QPointF probes[4] = {{c + half * 0.7, c - half * 0.7},
                               {c + half * 0.7, c + half * 0.7},
                               {c - half * 0.7, c + half * 0.7},
                               {c - half * 0.7, c - half * 0.7}};
    for (int q = 0; q < 4; ++q)
        QCOMPARE(at(img, probes[q].x(), probes[q].y()), filled.at(q) ? blue : green);

    // The radius to twelve o'clock is always drawn; outside the disc is the
    // control's own background.
    QCOMPARE(at(img, c, c - half), blue);
    QCOMPARE(at(img, 338, 338), pie.palette().color(QPalette::Button));
}

void TstProgreso::pieMaxZeroReadsHundred()
{
    tarta pie;
    QCOMPARE(pie.MaxValue(), 100);
    pie.setMaxValue(40);
    QCOMPARE(pie.MaxValue(), 40);
    pie.setMaxValue(0);
    QCOMPARE(pie.MaxValue(), 100);
    QCOMPARE(pie.BackColor(), quint32(0xC000));
    QCOMPARE(pie.ForeColor(), quint32(0xC00000));
}

void TstProgreso::pieInWideControl()
{
    tarta pie;
    pie.resize(400, 200);
    pie.setBackColor(kGreen);
    pie.setForeColor(kBlue);

    // Height 3000 twips: centre 1400, radius 1400, so the disc runs from the
    // top edge to 200 twips (13.3 pixels) above the bottom.
    const double cx = (400 * 15 / 2.0 - 100) / 15;
    const QImage img = picture(pie);
    const QColor face = pie.palette().color(QPalette::Button);
    // A little right of the twelve o'clock radius.
    QCOMPARE(at(img, cx + 5, 0), green);
    QCOMPARE(at(img, cx + 5, 185), green);
    QCOMPARE(at(img, cx, 188), face);
    QCOMPARE(at(img, cx, 199), face);
    // The radius is the smaller half: the sides stay clear.
    QCOMPARE(at(img, cx - 96, 93), face);
    QCOMPARE(at(img, cx + 96, 93), face);
    QCOMPARE(at(img, cx - 90, 93), green);
}

void TstProgreso::pieTooSmallDrawsNothing()
{
    tarta pie;
    pie.resize(12, 12); // 180 twips: the centre would lie at -10
    pie.setValue(50);
    const QImage img = picture(pie);
    QCOMPARE(img.pixelColor(0, 0), pie.palette().color(QPalette::Button));
    QCOMPARE(img.pixelColor(6, 6), pie.palette().color(QPalette::Button));
}

QTEST_MAIN(TstProgreso)
#include "tst_progreso.moc"
