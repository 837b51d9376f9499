#include "stats/estadisticas.h"
#include "stats/grafica_control.h"
#include "stats/speed_graph.h"

#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kTop = std::numeric_limits<qint32>::max();
const QColor darkRed(128, 0, 0);

QString kbText(int v)
{
    return QString::number(v) + u" Kb/seg"_s;
}

} // namespace

class TstStats : public QObject {
    Q_OBJECT

private slots:
    void grownMax_data();
    void grownMax();
    void markerPlace_data();
    void markerPlace();
    void toPixelsHoldsFarPositions();
    void graphSize_data();
    void graphSize();
    void addvalueScrolls_data();
    void addvalueScrolls();
    void markersDrawnWhereComputed_data();
    void markersDrawnWhereComputed();
    void windowSizesGraphAndForgetsOnClose();
    void labelsThinnedOut_data();
    void labelsThinnedOut();
    void drawnLabelsNeverOverlap_data();
    void drawnLabelsNeverOverlap();
};

void TstStats::grownMax_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("grown");

    QTest::newRow("below") << 20 << 10 << 20;
    QTest::newRow("equal keeps it") << 20 << 20 << 20;
    QTest::newRow("above adds 20") << 20 << 25 << 45;
    QTest::newRow("later smaller keeps it") << 45 << 30 << 45;
    QTest::newRow("beyond 16 bits") << 20 << 40000 << 40020;
    QTest::newRow("saturates at the top") << 20 << kTop - 5 << kTop;
    QTest::newRow("top value") << kTop << kTop << kTop;
}

void TstStats::grownMax()
{
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(int, grown);
    QCOMPARE(stats::grownMax(max, value), grown);
}

void TstStats::markerPlace_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("max");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");

    QTest::newRow("zero sits 100 above the bottom") << 0 << 0 << 20 << 9000.0 << 3000.0 << 80.0 << 2900.0;
    QTest::newRow("half way") << 4 << 10 << 20 << 9000.0 << 3000.0 << 4080.0 << 1400.0;
    QTest::newRow("equal to max is above the top") << 8 << 20 << 20 << 9000.0 << 3000.0 << 8080.0 << -100.0;
    QTest::newRow("empty control") << 3 << 7 << 20 << 0.0 << 0.0 << 80.0 << -100.0;
    QTest::newRow("max 0 does not divide by zero") << 0 << 5 << 0 << 900.0 << 30.0 << 80.0 << -220.0;
    QTest::newRow("huge control and value") << 8 << kTop << kTop << 2.5e8 << 2.5e8 << 2.5e8 * 8 / 9 + 80 << -100.0;
}

void TstStats::markerPlace()
{
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(int, max);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, left);
    QFETCH(double, top);

    const stats::Place p = stats::markerPlace(index, value, max, width, height);
    QCOMPARE(p.left, left);
    QCOMPARE(p.top, top);
}

void TstStats::toPixelsHoldsFarPositions()
{
    QCOMPARE(stats::toPixels(1500), 100);
    QCOMPARE(stats::toPixels(-100), -7);
    QCOMPARE(stats::toPixels(1e300), 1 << 20);
    QCOMPARE(stats::toPixels(-1e300), -(1 << 20));
    QCOMPARE(stats::toPixels(std::numeric_limits<double>::quiet_NaN()), 0);
}

void TstStats::graphSize_data()
{
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QSize>("graph");

    const QSize current(600, 900);
    QTest::newRow("ordinary") << QSize(7200, 4500) << QSize(7100, 4100);
    QTest::newRow("exactly the margins") << QSize(100, 400) << QSize(0, 0);
    QTest::newRow("too narrow keeps the width") << QSize(50, 4500) << QSize(current.width(), 4100);
    QTest::newRow("too low keeps the height") << QSize(7200, 300) << QSize(7100, current.height());
    QTest::newRow("too small keeps both") << QSize(0, 0) << current;
}

void TstStats::graphSize()
{
    QFETCH(QSize, outer);
    QFETCH(QSize, graph);
    QCOMPARE(stats::graphSize(outer, QSize(600, 900)), graph);
}

void TstStats::addvalueScrolls_data()
{
    QTest::addColumn<QList<int>>("added");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("max");

    QTest::newRow("ten values") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << QList<int>{2, 3, 4, 5, 6, 7, 8, 9, 10}
                                << 20;
    QTest::newRow("a burst raises the scale for good")
        << QList<int>{25, 30, 1} << QList<int>{0, 0, 0, 0, 0, 0, 25, 30, 1} << 45;
    QTest::newRow("above 32767 is not wrapped")
        << QList<int>{40000, 70000} << QList<int>{0, 0, 0, 0, 0, 0, 0, 40000, 70000} << 70020;
}

void TstStats::addvalueScrolls()
{
    QFETCH(QList<int>, added);
    QFETCH(QList<int>, values);
    QFETCH(int, max);

    Grafica g;
    for (int v : added)
        g.addvalue(v, kbText(v));
    QCOMPARE(g.Max(), max);
    for (int i = 0; i < stats::kPoints; ++i) {
        QCOMPARE(g.value(i), values[i]);
        // Labels move with their values; the initial ones read "0 Kb/seg".
        QCOMPARE(g.label(i), kbText(values[i]));
    }
}

void TstStats::markersDrawnWhereComputed_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<int>>("added");

    const QList<int> ramp{0, 5, 10, 15, 19, 12, 6, 3, 1};
    QTest::newRow("small") << QSize(270, 150) << ramp;
    QTest::newRow("wider keeps even spacing") << QSize(540, 150) << ramp;
    QTest::newRow("fast speeds") << QSize(300, 200) << QList<int>{40000, 20000, 100000, 0, 65535, 32768};
}

void TstStats::markersDrawnWhereComputed()
{
    QFETCH(QSize, size);
    QFETCH(QList<int>, added);

    Grafica g;
    g.resize(size);
    for (int v : added)
        g.addvalue(v, kbText(v));
    const QImage img = g.grab().toImage().convertToFormat(QImage::Format_RGB32);

    int drawn = 0;
    for (int i = 0; i < stats::kPoints; ++i) {
        const stats::Place p = stats::markerPlace(i, g.value(i), g.Max(), size.width() * 15.0, size.height() * 15.0);
        const QRect m = g.markerRect(i);
        QCOMPARE(m.topLeft(), QPoint(stats::toPixels(p.left), stats::toPixels(p.top)));
        QCOMPARE(m.size(), QSize(7, 7));
        if (img.rect().contains(m)) {
            QCOMPARE(img.pixelColor(m.center()), darkRed);
            ++drawn;
        }
    }
    QVERIFY(drawn >= stats::kPoints - 1);
    QCOMPARE(img.pixelColor(1, size.height() - 1), QColor(64, 64, 64));
}

void TstStats::windowSizesGraphAndForgetsOnClose()
{
    QMdiArea area;
    area.resize(800, 600);
    auto *w = new estadisticas;
    QMdiSubWindow *sub = area.addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    area.show();
    QCOMPARE(w->windowTitle(), u"Estadísticas"_s);

    // The outer size less 100 x 400 twips: 300 x 200 pixels leave 293 x 173.
    sub->resize(300, 200);
    QCOMPARE(w->grafica()->size(), QSize(293, 173));
    sub->resize(450, 320);
    QCOMPARE(w->grafica()->size(), QSize(443, 293));

    w->addvalue(25, kbText(25));
    QCOMPARE(w->grafica()->Max(), 45);
    sub->close();
    QCOMPARE(w->grafica()->Max(), 20);
    QCOMPARE(w->grafica()->value(8), 0);
    QCOMPARE(w->grafica()->label(8), u"0 Kb/seg"_s);
}

// Labels `width` wide centred on markers `pitch` apart.
void TstStats::labelsThinnedOut_data()
{
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("width");
    QTest::addColumn<QString>("shown"); // newest last
    QTest::newRow("room for all") << 100.0 << 60.0 << u"XXXXXXXXX"_s;
    QTest::newRow("touching is too close") << 100.0 << 98.0 << u"X.X.X.X.X"_s;
    QTest::newRow("every second") << 100.0 << 150.0 << u"X.X.X.X.X"_s;
    QTest::newRow("every third") << 100.0 << 250.0 << u"..X..X..X"_s;
    QTest::newRow("only the newest") << 10.0 << 500.0 << u"........X"_s;
}

void TstStats::labelsThinnedOut()
{
    QFETCH(double, pitch);
    QFETCH(double, width);
    QFETCH(QString, shown);
    std::array<stats::Span, stats::kPoints> spans;
    for (int i = 0; i < stats::kPoints; ++i)
        spans[i] = {i * pitch - width / 2, i * pitch + width / 2};
    const auto result = stats::shownLabels(spans, 3.0);
    QString text;
    for (bool drawn : result)
        text += drawn ? u'X' : u'.';
    QCOMPARE(text, shown);
}

void TstStats::drawnLabelsNeverOverlap_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("speed");
    for (int width : {150, 250, 400, 800})
        for (int speed : {0, 850, 123456})
            QTest::addRow("%d px, %d Kb/seg", width, speed) << width << speed;
}

// Whatever the width, the labels drawn stand apart, the newest among them,
// and the markers stay where the rules put them.
void TstStats::drawnLabelsNeverOverlap()
{
    QFETCH(int, width);
    QFETCH(int, speed);
    Grafica g;
    g.resize(width, 200);
    for (int i = 0; i < stats::kPoints; ++i)
        g.addvalue(speed, kbText(speed));
    QList<QRect> drawn;
    for (int i = 0; i < stats::kPoints; ++i) {
        const stats::Place p = stats::markerPlace(i, g.value(i), g.Max(), width * 15.0, 200 * 15.0);
        QCOMPARE(g.markerRect(i).topLeft(), QPoint(stats::toPixels(p.left), stats::toPixels(p.top)));
        if (!g.labelRect(i).isEmpty())
            drawn << g.labelRect(i);
    }
    QVERIFY(!g.labelRect(stats::kPoints - 1).isEmpty());
    for (const QRect &label : std::as_const(drawn)) // whole, never cut by an edge
        QVERIFY(label.left() >= 0 && label.right() < width);
    for (qsizetype a = 0; a < drawn.size(); ++a)
        for (qsizetype b = a + 1; b < drawn.size(); ++b)
            QVERIFY2(!drawn[a].intersects(drawn[b]), qPrintable(u"%1 and %2"_s.arg(a).arg(b)));
    if (width >= 800 && speed < 1000)
        QVERIFY(drawn.size() >= stats::kPoints - 1); // the first may stand cut by the edge
}

QTEST_MAIN(TstStats)
#include "tst_stats.moc"
