// The active window's list: rows packed at 300 twips, the scroll bar only
// when they overflow, the details panel under the list.
#include "engine_fixture.h"

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
};

namespace {
// Rows with targets f<first> on: two rows never share a file.
void addRows(EngineFixture &f, int count, int first = 0)
{
    for (int k = first; k < first + count; ++k)
        f.add(u"http://127.0.0.1:9/f%1"_s.arg(k), u"f%1"_s.arg(k));
}

// Window height whose list area is at least `listTwips` high (the details
// panel is 1500 twips high by design).
int heightForList(int listTwips)
{
    return (listTwips + 1100 + 1500 + platform::kTwipsPerPixel - 1) / platform::kTwipsPerPixel;
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
    f.window->resize(700, heightForList(1500));
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
    f.window->resize(700, heightForList(1500));
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

QTEST_MAIN(TestActivasLayout)
#include "tst_activas_layout.moc"
