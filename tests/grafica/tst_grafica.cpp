#include <grafica.h>
#include <graph_geometry.h>

#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr quint32 kGreenValue = 0x00FF00;
const QColor blue(0, 0, 255); // the design colour of the markers
const QColor green(0, 255, 0);

QImage picture(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Thin lines may land on either neighbouring pixel row or column.
bool shows(const QImage &img, double x, double y, const QColor &colour)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (img.valid(int(x) + dx, int(y) + dy) && img.pixelColor(int(x) + dx, int(y) + dy) == colour)
                return true;
    return false;
}

bool nearly(double a, double b)
{
    return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(b));
}

QList<qint32> rising(int count)
{
    QList<qint32> values;
    for (int i = 1; i <= count; ++i)
        values.append(i);
    return values;
}

class RecordingGraph : public grafica {
public:
    QStringList boxes;

protected:
    void showAboutBox(const QString &title, const QString &text) override { boxes << title << text; }
};

} // namespace

class TstGrafica : public QObject {
    Q_OBJECT

private slots:
    void labelStride_data();
    void labelStride();
    void labelsNeverOverlap_data();
    void labelsNeverOverlap();
    void gridLines_data();
    void gridLines();
    void markerCentres_data();
    void markerCentres();
    void clipLine_data();
    void clipLine();

    void firstValueTakesThePlaceholder();
    void changeIgnoresUnknownIndex_data();
    void changeIgnoresUnknownIndex();
    void seriesIsBounded();

    void markersWhereTheNumbersSay();
    void colourRedrawRules_data();
    void colourRedrawRules();
    void degenerateSizes_data();
    void degenerateSizes();

    void printsToPdf_data();
    void printsToPdf();

    void keys_data();
    void keys();
    void mouse();
    void aboutUsesTheHook();
};

void TstGrafica::gridLines_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("k");
    QTest::addColumn<double>("row");
    QTest::addColumn<double>("column");

    // 4950 x 3600 twips: 30 twips a percent upwards, 45 across.
    QTest::newRow("axes") << 4950.0 << 3600.0 << 0 << 3400.0 << 200.0;
    QTest::newRow("50 %") << 4950.0 << 3600.0 << 5 << 1900.0 << 2450.0;
    QTest::newRow("100 %") << 4950.0 << 3600.0 << 10 << 400.0 << 4700.0;
    QTest::newRow("0 x 0 stays finite") << 0.0 << 0.0 << 10 << -200.0 << 200.0;
}

void TstGrafica::gridLines()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(int, k);
    QFETCH(double, row);
    QFETCH(double, column);

    const graph::Frame frame{width, height};
    QVERIFY(nearly(frame.gridRow(k), row));
    QVERIFY(nearly(frame.gridColumn(k), column));
}

void TstGrafica::markerCentres_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QList<qint32>>("values");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPointF>("centre");

    // 4950 x 3600 twips: the axis at y 3400, 30 twips a percent; three
    // markers lie (4950 - 200) / 4 = 1187.5 twips apart.
    const double w = 4950;
    const double h = 3600;
    const QList<qint32> series{5, 10, 20};
    QTest::newRow("5 of 20 on 25 %") << w << h << series << 0 << 20.0 << QPointF(200, 2650);
    QTest::newRow("10 of 20 on 50 %") << w << h << series << 1 << 20.0 << QPointF(1387.5, 1900);
    QTest::newRow("20 of 20 on 100 %") << w << h << series << 2 << 20.0 << QPointF(2575, 400);
    QTest::newRow("placeholder on the axis") << w << h << QList<qint32>{0} << 0 << 1.0 << QPointF(200, 3400);
    QTest::newRow("negatives keep scale 1, below the axis")
        << w << h << QList<qint32>{-5, -10} << 1 << 1.0 << QPointF(200 + 4750.0 / 3, 3400 + 10 * 3000);
    // A single-precision scale would round 2^24 + 1 and miss the line.
    QTest::newRow("2^24 + 1 exactly on 100 %")
        << w << h << QList<qint32>{1, 16777217} << 1 << 16777217.0 << QPointF(200 + 4750.0 / 3, 400);
    QTest::newRow("extremes") << w << h << QList<qint32>{kMin, kMax} << 0 << double(kMax)
                              << QPointF(200, 3400 + 2147483648.0 / 2147483647.0 * 3000);
    QTest::newRow("0 x 0 with thousands")
        << 0.0 << 0.0 << rising(5000) << 4999 << 5000.0 << QPointF(200 * 2 / 5001.0, -200);
    const double widest = 16777215 * 15.0;
    QTest::newRow("widest control") << widest << widest << QList<qint32>{1, 2} << 1 << 2.0
                                    << QPointF(200 + (widest - 200) / 3, widest / 6 - 200);
}

void TstGrafica::markerCentres()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QList<qint32>, values);
    QFETCH(int, index);
    QFETCH(double, scale);
    QFETCH(QPointF, centre);

    QCOMPARE(graph::valueScale(values), scale);
    const QPointF at = graph::Frame{width, height}.centre(index, values.size(), values.at(index), scale);
    QVERIFY2(nearly(at.x(), centre.x()) && nearly(at.y(), centre.y()),
             qPrintable(u"(%1, %2)"_s.arg(at.x(), 0, 'f', 4).arg(at.y(), 0, 'f', 4)));
}

void TstGrafica::clipLine_data()
{
    QTest::addColumn<QLineF>("line");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QLineF>("part");

    QTest::newRow("across the left edge") << QLineF(-100, 50, 50, 50) << true << QLineF(0, 50, 50, 50);
    QTest::newRow("far end keeps the slope") << QLineF(0, 0, 1e12, 1e12) << true << QLineF(0, 0, 100, 100);
    QTest::newRow("from far below") << QLineF(50, 3e12, 50, 50) << true << QLineF(50, 100, 50, 50);
    QTest::newRow("beside") << QLineF(150, 0, 150, 100) << false << QLineF();
    QTest::newRow("passes a corner by") << QLineF(90, -20, 120, 10) << false << QLineF();
}

void TstGrafica::clipLine()
{
    QFETCH(QLineF, line);
    QFETCH(bool, visible);
    QFETCH(QLineF, part);

    const std::optional<QLineF> clipped = graph::clipLine(line, QRectF(0, 0, 100, 100));
    QCOMPARE(clipped.has_value(), visible);
    if (visible) {
        QVERIFY(nearly(clipped->x1(), part.x1()) && nearly(clipped->y1(), part.y1()));
        QVERIFY(nearly(clipped->x2(), part.x2()) && nearly(clipped->y2(), part.y2()));
    }
}

void TstGrafica::firstValueTakesThePlaceholder()
{
    grafica g;
    QCOMPARE(g.markerCount(), 1);
    QCOMPARE(g.caption(0), u"valor"_s);
    QVERIFY(!g.hasValues());

    QVERIFY(g.newval(70000, u"uno"_s));
    QCOMPARE(g.markerCount(), 1);
    QCOMPARE(g.value(0), 70000);
    QVERIFY(g.newval(-3, u"dos"_s));
    QCOMPARE(g.markerCount(), 2);
    QCOMPARE(g.caption(1), u"dos"_s);

    g.clear();
    QCOMPARE(g.markerCount(), 1);
    QCOMPARE(g.value(0), 0);
    QCOMPARE(g.caption(0), QString());
    QVERIFY(g.newval(4, u"tres"_s));
    QCOMPARE(g.markerCount(), 1);

    // A value written into the placeholder makes it a real one.
    g.clear();
    g.ChangeValue(0, 9);
    QVERIFY(g.newval(8, QString()));
    QCOMPARE(g.markerCount(), 2);
}

void TstGrafica::changeIgnoresUnknownIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("known");

    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 1 << true;
    QTest::newRow("one past the end") << 2 << false;
    QTest::newRow("negative") << -1 << false;
    QTest::newRow("largest index") << 32767 << false;
}

void TstGrafica::changeIgnoresUnknownIndex()
{
    QFETCH(int, index);
    QFETCH(bool, known);

    grafica g;
    g.newval(1, u"a"_s);
    g.newval(2, u"b"_s);
    g.ChangeValue(qint16(index), 123456);
    g.ChangeCaption(qint16(index), u"nuevo"_s);

    QCOMPARE(g.markerCount(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(g.value(i), known && i == index ? 123456 : i + 1);
        QCOMPARE(g.caption(i), known && i == index ? u"nuevo"_s : QString(QChar(u'a' + i)));
    }
}

// The labels drawn are every stride-th from the first; none comes closer
// than the gap to one drawn before it, and no smaller stride would do.
void TstGrafica::labelStride_data()
{
    QTest::addColumn<double>("spacing");
    QTest::addColumn<QList<double>>("widths");
    QTest::addColumn<double>("gap");
    QTest::newRow("all fit") << 100.0 << QList<double>(12, 60) << 10.0;
    QTest::newRow("two and a half spacings wide") << 100.0 << QList<double>(40, 250) << 10.0;
    QTest::newRow("one long label among short ones")
        << 100.0 << QList<double>{40, 40, 40, 40, 730, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40} << 10.0;
    QTest::newRow("captions missing here and there")
        << 50.0 << QList<double>{120, 0, 0, 120, 0, 120, 120, 0, 0, 0, 120} << 5.0;
    QTest::newRow("first caption missing") << 50.0 << QList<double>{0, 70, 70, 70, 70, 70} << 5.0;
    QTest::newRow("wider than the whole graph") << 10.0 << QList<double>(30, 1000) << 0.0;
    QTest::newRow("one label") << 10.0 << QList<double>{500} << 0.0;
    QTest::newRow("no label") << 10.0 << QList<double>() << 0.0;
}

void TstGrafica::labelStride()
{
    QFETCH(double, spacing);
    QFETCH(QList<double>, widths);
    QFETCH(double, gap);
    QList<double> lefts;
    for (qsizetype i = 0; i < widths.size(); ++i)
        lefts.append(200 + double(i) * spacing);
    const auto overlaps = [&](qsizetype stride) {
        double reach = -std::numeric_limits<double>::infinity();
        for (qsizetype i = 0; i < widths.size(); i += stride) {
            if (widths[i] <= 0)
                continue;
            if (lefts[i] < reach)
                return true;
            reach = std::max(reach, lefts[i] + widths[i] + gap);
        }
        return false;
    };
    const qsizetype stride = graph::labelStride(lefts, widths, gap);
    QVERIFY(stride >= 1);
    QVERIFY(!overlaps(stride));
    for (qsizetype smaller = 1; smaller < stride; ++smaller)
        QVERIFY2(overlaps(smaller), qPrintable(QString::number(smaller)));
}

// On the control: the captions measured with its font, at widths from too
// narrow for two of them to far wider than all.
void TstGrafica::labelsNeverOverlap_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<bool>("all"); // every caption has room
    const QStringList speeds(20, u"0Kb/s"_s);
    QTest::newRow("narrow, many speeds") << 150 << speeds << false;
    QTest::newRow("wide") << 4000 << speeds << true;
    QStringList mixed;
    for (int i = 0; i < 30; ++i)
        mixed << (i % 7 == 3 ? u"1234567 Kb/s, máximo de la sesión"_s : QString::number(i * 13) + u" Kb/s"_s);
    QTest::newRow("one long caption in seven") << 600 << mixed << false;
    QTest::newRow("wider than the control") << 60 << QStringList(5, u"una etiqueta muy larga"_s) << false;
    QTest::newRow("one marker") << 60 << QStringList{u"una etiqueta muy larga"_s} << true;
}

void TstGrafica::labelsNeverOverlap()
{
    QFETCH(int, width);
    QFETCH(QStringList, captions);
    QFETCH(bool, all);
    grafica g;
    g.resize(width, 240);
    for (int i = 0; i < captions.size(); ++i)
        g.newval(i % 2 ? 100 : 101, captions[i]);

    const QList<int> drawn = g.drawnLabels();
    QVERIFY(!drawn.isEmpty());
    QCOMPARE(drawn.first(), 0);
    QCOMPARE(drawn.size() == captions.size(), all);
    for (int a = 0; a < drawn.size(); ++a) {
        // Each the width of its text, at most.
        QVERIFY(g.labelRect(drawn[a]).width() >= g.fontMetrics().horizontalAdvance(captions[drawn[a]]));
        for (int b = a + 1; b < drawn.size(); ++b)
            QVERIFY2(!g.labelRect(drawn[a]).intersects(g.labelRect(drawn[b])),
                     qPrintable(u"%1 and %2"_s.arg(drawn[a]).arg(drawn[b])));
    }
    // Evenly: every second, third, ... marker, as far as the series goes.
    if (drawn.size() > 1) {
        const int stride = drawn[1] - drawn[0];
        for (int k = 0; k < drawn.size(); ++k)
            QCOMPARE(drawn[k], k * stride);
        QVERIFY(drawn.last() + stride >= captions.size());
    }
    // Values moving up and down do not make the labels jump.
    g.ChangeValue(1, 1'000'000);
    g.ChangeValue(2, -5);
    QCOMPARE(g.drawnLabels(), drawn);
}

void TstGrafica::seriesIsBounded()
{
    grafica g;
    for (int i = 0; i < graph::kMaxMarkers; ++i)
        QVERIFY(g.newval(i, QString()));
    QVERIFY(!g.newval(1, QString()));
    QCOMPARE(g.markerCount(), graph::kMaxMarkers);
    // The last marker is still within reach of a 16-bit index.
    g.ChangeValue(32767, kMax);
    QCOMPARE(g.value(32767), kMax);
}

void TstGrafica::markersWhereTheNumbersSay()
{
    grafica g;
    g.resize(330, 240);
    for (const qint32 v : {5, 10, 20})
        g.newval(v, QString::number(v));

    const QImage img = picture(g);
    const graph::Frame frame{330 * 15.0, 240 * 15.0};
    for (int i = 0; i < 3; ++i) {
        const QPointF c = frame.centre(i, 3, g.value(i), 20) / 15;
        QCOMPARE(img.pixelColor(int(c.x()), int(c.y())), blue);
    }
    // The 0 % line in the axis colour, left of the first marker.
    QVERIFY(shows(img, 5, 3400 / 15.0, Qt::black));
}

void TstGrafica::colourRedrawRules_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QPointF>("probe"); // pixels
    QTest::addColumn<bool>("readBackColor");
    QTest::addColumn<bool>("atOnce");

    // 330 x 240 pixels, values 10 and 10: a flat line on the 100 % row
    // (26.7 px) between markers at x 13.3 and 118.9 px; the vertical grid
    // lines at 13.3 + 30 k px, the horizontal ones at 226.7 - 20 k px.
    QTest::newRow("PointColor recolours every marker") << "PointColor"_ba << QPointF(118.9, 26.7) << false << true;
    QTest::newRow("LineColor waits for a redraw") << "LineColor"_ba << QPointF(60, 26.7) << false << false;
    QTest::newRow("reading BackColor redraws") << "LineColor"_ba << QPointF(60, 26.7) << true << true;
    QTest::newRow("YCoord") << "YCoord"_ba << QPointF(60, 126.7) << false << true;
    QTest::newRow("XCoord") << "XCoord"_ba << QPointF(73.3, 100) << false << true;
    QTest::newRow("Coord") << "Coord"_ba << QPointF(13.3, 100) << false << true;
    QTest::newRow("BackColor") << "BackColor"_ba << QPointF(95, 95) << false << true;
}

void TstGrafica::colourRedrawRules()
{
    QFETCH(QByteArray, property);
    QFETCH(QPointF, probe);
    QFETCH(bool, readBackColor);
    QFETCH(bool, atOnce);

    grafica g;
    g.resize(330, 240);
    // Shown, because grabbing a hidden widget resizes it, which redraws.
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    g.newval(10, QString());
    g.newval(10, QString());
    QVERIFY(!shows(picture(g), probe.x(), probe.y(), green));

    QVERIFY(g.setProperty(property.constData(), kGreenValue));
    if (readBackColor)
        g.BackColor();
    QCOMPARE(shows(picture(g), probe.x(), probe.y(), green), atOnce);
    g.drawgrafic();
    QVERIFY(shows(picture(g), probe.x(), probe.y(), green));
}

void TstGrafica::degenerateSizes_data()
{
    QTest::addColumn<QSize>("size");

    QTest::newRow("0 x 0") << QSize(0, 0);
    QTest::newRow("1 x 1") << QSize(1, 1);
    QTest::newRow("smaller than the margin") << QSize(10, 10);
    QTest::newRow("past 32767 twips") << QSize(3000, 2400);
    QTest::newRow("largest widget") << QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TstGrafica::degenerateSizes()
{
    QFETCH(QSize, size);

    grafica g;
    g.resize(size);
    QCOMPARE(g.size(), size);
    g.newval(kMin, QString());
    g.newval(kMax, u"máximo"_s);
    for (int i = 0; i < 3000; ++i)
        g.newval(i, u"v"_s);

    // The top-left corner only: the whole of a large control would not fit in memory.
    const QSize corner = size.boundedTo(QSize(120, 120));
    QImage img(corner.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    img.fill(Qt::white);
    g.render(&img, QPoint(), QRegion(QRect(QPoint(), corner)));
    if (size.width() >= 120)
        QCOMPARE(img.pixelColor(13, 40), QColor(Qt::black)); // the vertical axis
}

void TstGrafica::printsToPdf_data()
{
    QTest::addColumn<QList<qint32>>("values");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("folderExists");

    QTest::newRow("a series") << QList<qint32>{5, 10, 20} << QSize(300, 200) << true;
    QTest::newRow("empty 0 x 0 control") << QList<qint32>{} << QSize(0, 0) << true;
    QTest::newRow("thousands with extremes") << (rising(3000) << kMin << kMax) << QSize(300, 200) << true;
    QTest::newRow("no such folder") << QList<qint32>{1} << QSize(300, 200) << false;
}

void TstGrafica::printsToPdf()
{
    QFETCH(QList<qint32>, values);
    QFETCH(QSize, size);
    QFETCH(bool, folderExists);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(folderExists ? u"g.pdf"_s : u"missing/g.pdf"_s);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);

    grafica g;
    g.resize(size);
    g.setPrinter(&printer);
    for (const qint32 v : values)
        g.newval(v, QString());

    QCOMPARE(g.printgrafic(), folderExists);
    QFile pdf(path);
    QCOMPARE(pdf.open(QIODevice::ReadOnly), folderExists);
    if (!folderExists)
        return;
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.trimmed().endsWith("%%EOF"));
    QVERIFY2(bytes.size() > 1000, QByteArray::number(bytes.size()).constData());
    QCOMPARE(bytes.count("/Type /Page\n"), 1);
}

void TstGrafica::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<int>("shift");
    QTest::addColumn<int>("keyAscii"); // -1: no KeyPress

    const Qt::KeyboardModifiers none;
    QTest::newRow("letter") << int(Qt::Key_A) << none << u"a"_s << 65 << 0 << 97;
    QTest::newRow("shifted letter") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << u"A"_s << 65 << 1
                                    << 65;
    QTest::newRow("Ctrl+Alt+Left") << int(Qt::Key_Left) << (Qt::ControlModifier | Qt::AltModifier) << QString() << 37
                                   << 6 << -1;
    QTest::newRow("Delete types nothing") << int(Qt::Key_Delete) << none << u"\x7f"_s << 46 << 0 << -1;
    // Its key value is the code of Delete; it must not pass for it.
    QTest::newRow("full stop") << int(Qt::Key_Period) << none << u"."_s << 0 << 0 << 46;
}

void TstGrafica::keys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(int, keyCode);
    QFETCH(int, shift);
    QFETCH(int, keyAscii);

    grafica g;
    QSignalSpy down(&g, &grafica::KeyDown);
    QSignalSpy press(&g, &grafica::KeyPress);
    QSignalSpy up(&g, &grafica::KeyUp);

    // Held down: the system repeats the key with a release before each press.
    QKeyEvent first(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent repeatUp(QEvent::KeyRelease, key, modifiers, text, true);
    QKeyEvent repeatDown(QEvent::KeyPress, key, modifiers, text, true);
    QKeyEvent last(QEvent::KeyRelease, key, modifiers, text);
    for (QKeyEvent *e : {&first, &repeatUp, &repeatDown, &last})
        QCoreApplication::sendEvent(&g, e);

    QCOMPARE(down.count(), 2);
    QCOMPARE(down.first(), (QVariantList{keyCode, shift}));
    QCOMPARE(up.count(), 1);
    QCOMPARE(up.first(), (QVariantList{keyCode, shift}));
    QCOMPARE(press.count(), keyAscii < 0 ? 0 : 2);
    if (keyAscii >= 0)
        QCOMPARE(press.first().first().toInt(), keyAscii);
}

void TstGrafica::mouse()
{
    grafica g;
    g.resize(100, 100);
    QSignalSpy click(&g, &grafica::Click);
    QSignalSpy dblClick(&g, &grafica::DblClick);

    QTest::mouseClick(&g, Qt::RightButton);
    QCOMPARE(click.count(), 0);
    QTest::mouseClick(&g, Qt::LeftButton);
    QCOMPARE(click.count(), 1);
    // The release that ends a double click is no second click.
    QTest::mouseDClick(&g, Qt::LeftButton);
    QTest::mouseRelease(&g, Qt::LeftButton);
    QCOMPARE(dblClick.count(), 1);
    QCOMPARE(click.count(), 1);
}

void TstGrafica::aboutUsesTheHook()
{
    RecordingGraph g;
    g.About();
    QCOMPARE(g.boxes.size(), 2);
    QCOMPARE(g.boxes.at(0), u"Acerca de"_s);
    QVERIFY(g.boxes.at(1).contains(u"Gráfica"_s));
}

QTEST_MAIN(TstGrafica)
#include "tst_grafica.moc"
