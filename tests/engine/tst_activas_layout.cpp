// The active window's list: rows packed at 300 twips, the scroll bar only
// when they overflow, the details panel under the list.
#include "engine_fixture.h"

#include "engine/inactivas.h"

#include "platform/twips.h"
#include "rows/download.h"

#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <QtTest>

using namespace Qt::StringLiterals;
using platform::twipsToPixels;

class TestActivasLayout : public QObject {
    Q_OBJECT
private slots:
    void rowsArePackedInSlotOrder();
    void scrollBarOnlyWhenRowsOverflow();
    void scrollingMovesAndHidesRows();
    void selectionFillsAndClearsDetails();
    void headsStandOverTheirColumns_data();
    void headsStandOverTheirColumns();
    void detailsPanelIsLegible_data();
    void detailsPanelIsLegible();
};

namespace {
// Rows with targets f<first> on: two rows never share a file.
void addRows(EngineFixture &f, int count, int first = 0)
{
    for (int k = first; k < first + count; ++k)
        f.add(u"http://127.0.0.1:9/f%1"_s.arg(k), u"f%1"_s.arg(k));
}

// Window height whose list area is at least `listTwips` high, under the
// details panel's own height.
int heightForList(const activas &window, int listTwips)
{
    const int panel = window.findChild<QGroupBox *>(u"inf"_s)->sizeHint().height() * platform::kTwipsPerPixel;
    return (listTwips + 1100 + qMax(1500, panel) + platform::kTwipsPerPixel - 1) / platform::kTwipsPerPixel;
}

// The application font at scale percent of the default, for one test.
struct ScaledFont {
    QFont saved = QApplication::font();
    explicit ScaledFont(int percent)
    {
        QFont font = saved;
        font.setPointSizeF(saved.pointSizeF() * percent / 100.0);
        QApplication::setFont(font);
    }
    ~ScaledFont() { QApplication::setFont(saved); }
};

void addFontScales()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("width");
    for (int scale : {100, 125, 150})
        for (int width : {520, 900})
            QTest::addRow("%d%% font, %d px", scale, width) << scale << width;
}

// Every head over its column of the row: same left edge, same width, and the
// percentage's caption whole.
void checkHeads(QWidget *window, download *row)
{
    QVERIFY(row && row->isVisibleTo(window));
    auto *frame = window->findChild<QWidget *>(u"frame"_s);
    for (const QString &name : {u"filename"_s, u"avance"_s, u"porciento"_s, u"nbytes"_s, u"urll"_s}) {
        QWidget *head = nullptr;
        for (auto *child : frame->findChildren<QLabel *>(name, Qt::FindDirectChildrenOnly))
            head = child;
        auto *cell = row->findChild<QWidget *>(name);
        QVERIFY2(head && cell, qPrintable(name));
        QVERIFY2(head->x() == row->x() + cell->x() && head->width() == cell->width(),
                 qPrintable(u"%1: head %2+%3, column %4+%5"_s.arg(name)
                                .arg(head->x())
                                .arg(head->width())
                                .arg(row->x() + cell->x())
                                .arg(cell->width())));
    }
    auto *percent = frame->findChild<QLabel *>(u"porciento"_s, Qt::FindDirectChildrenOnly);
    QVERIFY(percent->contentsRect().width() >= percent->fontMetrics().horizontalAdvance(percent->text()));
}

} // namespace

void TestActivasLayout::rowsArePackedInSlotOrder()
{
    EngineFixture f;
    addRows(f, 3);
    const int first = f.window->indicador(1)->y();
    QCOMPARE(f.window->indicador(2)->y(), first + twipsToPixels(300));
    QCOMPARE(f.window->indicador(3)->y(), first + twipsToPixels(600));
    QCOMPARE(f.window->indicador(1)->height(), twipsToPixels(300));
}

void TestActivasLayout::scrollBarOnlyWhenRowsOverflow()
{
    EngineFixture f;
    f.window->resize(700, heightForList(*f.window, 1500));
    auto *scroll = f.window->findChild<QScrollBar *>(u"scroll"_s);
    auto *frame = f.window->findChild<QWidget *>(u"frame"_s);
    auto *inf = f.window->findChild<QGroupBox *>(u"inf"_s);
    addRows(f, 5);
    QVERIFY(scroll->isHidden());
    const int wide = frame->width();
    addRows(f, 1, 5);
    QVERIFY(!scroll->isHidden());
    QVERIFY(frame->width() < wide);
    QCOMPARE(scroll->x(), frame->x() + frame->width());
    // The details panel follows the list: as wide, and 40 twips under it.
    QCOMPARE(inf->width(), frame->width());
    // (each edge is rounded to whole pixels on its own)
    QVERIFY(qAbs(inf->y() - (frame->y() + frame->height() + twipsToPixels(40))) <= 1);
}

void TestActivasLayout::scrollingMovesAndHidesRows()
{
    EngineFixture f;
    f.window->resize(700, heightForList(*f.window, 1500));
    addRows(f, 10);
    const int first = f.window->indicador(1)->y();
    auto *scroll = f.window->findChild<QScrollBar *>(u"scroll"_s);
    QVERIFY(!scroll->isHidden());
    scroll->setValue(50);
    // Eleven loaded rows with the template: up by five pitches.
    QCOMPARE(f.window->indicador(6)->y(), first);
    QVERIFY(f.window->indicador(6)->isVisibleTo(f.window.get()));
    QVERIFY(!f.window->indicador(5)->isVisibleTo(f.window.get()));
    scroll->setValue(0);
    QCOMPARE(f.window->indicador(1)->y(), first);
    QVERIFY(f.window->indicador(1)->isVisibleTo(f.window.get()));
}

void TestActivasLayout::selectionFillsAndClearsDetails()
{
    EngineFixture f;
    addRows(f, 2);
    f.window->entry(2).size = 1000;
    f.window->entry(2).position = 251;
    f.window->entry(2).resumable = true;
    f.window->selectRow(2);
    auto *inf = f.window->findChild<QGroupBox *>(u"inf"_s);
    QCOMPARE(inf->title(), u"Información detallada de "_s + f.target(u"f1"_s));
    QCOMPARE(f.window->findChild<QLabel *>(u"bytest"_s)->text(), u"250/1000"_s);
    QCOMPARE(f.window->findChild<QLabel *>(u"allowredoc"_s)->text(), u"X"_s);
    QCOMPARE(f.window->findChild<QLabel *>(u"tiemporest"_s)->text(), u"*"_s);
    QVERIFY(f.window->indicador(2)->selected());
    QVERIFY(!f.window->indicador(1)->selected());
    f.window->tiempotransTick();
    QCOMPARE(f.window->findChild<QLabel *>(u"tiempou"_s)->text(), u"0:00:01"_s);

    f.window->clearSelection();
    QCOMPARE(f.window->selected(), 0);
    QVERIFY(inf->title().isEmpty());
    QVERIFY(f.window->findChild<QLabel *>(u"bytest"_s)->text().isEmpty());
    QVERIFY(!f.window->indicador(2)->selected());
}

void TestActivasLayout::headsStandOverTheirColumns_data()
{
    addFontScales();
}

void TestActivasLayout::headsStandOverTheirColumns()
{
    QFETCH(int, scale);
    QFETCH(int, width);
    ScaledFont font(scale);
    EngineFixture f;
    addRows(f, 1);
    f.window->resize(width, 500);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    checkHeads(f.window.get(), f.window->indicador(1));

    inactivas queue;
    queue.setActive(f.window.get());
    queue.addnew(u"http://127.0.0.1:9/q"_s, f.target(u"q"_s), 10, 0, true, 0, true, QString(), QString(), false, false);
    queue.resize(width, 400);
    queue.show();
    QVERIFY(QTest::qWaitForWindowExposed(&queue));
    checkHeads(&queue, queue.indicador(1));
}

void TestActivasLayout::detailsPanelIsLegible_data()
{
    addFontScales();
}

// The panel's values, at their widest, fit whole in their fields.
void TestActivasLayout::detailsPanelIsLegible()
{
    QFETCH(int, scale);
    QFETCH(int, width);
    ScaledFont font(scale);
    EngineFixture f;
    addRows(f, 1);
    DownloadEntry &e = f.window->entry(1);
    e.size = 5368709120;
    e.position = 5368709000;
    e.speed = 123456;
    e.elapsed = 3600 * 99;
    e.resumable = true;
    f.window->resize(width, 600);
    f.window->show();
    f.window->selectRow(1);
    f.window->updateTick();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *inf = f.window->findChild<QGroupBox *>(u"inf"_s);
    for (const QString &name :
         {u"velmedia"_s, u"tiempou"_s, u"tiemporest"_s, u"porcientot"_s, u"bytest"_s, u"allowredoc"_s, u"urlt"_s}) {
        auto *field = inf->findChild<QLabel *>(name);
        QVERIFY2(!field->text().isEmpty(), qPrintable(name));
        const QRect inside = field->geometry();
        QVERIFY2(inf->contentsRect().contains(inside), qPrintable(name));
        QVERIFY2(inside.height() >= field->fontMetrics().height(), qPrintable(name));
        // An address is cut on the right and whole in its tooltip; the rest never.
        if (name == u"urlt"_s)
            QCOMPARE(field->toolTip(), e.url);
        else
            QVERIFY2(inside.width() >= field->fontMetrics().horizontalAdvance(field->text()),
                     qPrintable(name + u": "_s + field->text()));
    }
}

QTEST_MAIN(TestActivasLayout)
#include "tst_activas_layout.moc"
