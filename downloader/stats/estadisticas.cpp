#include "stats/estadisticas.h"

#include "platform/twips.h"
#include "stats/grafica_control.h"
#include "stats/speed_graph.h"

#include <QCloseEvent>
#include <QMdiSubWindow>

using namespace Qt::StringLiterals;

estadisticas::estadisticas(QWidget *parent) : QWidget(parent), grafica_(new Grafica(this))
{
    setWindowTitle(u"Estadísticas"_s);
    connect(grafica_, &Grafica::Click, grafica_, &Grafica::Redraw);
    resize(480, 300);
}

estadisticas::~estadisticas() = default;

void estadisticas::addvalue(int value, const QString &label)
{
    grafica_->addvalue(value, label);
}

// The window's size with its frame: the sub-window's when it is a child of the
// frame, its own frame's otherwise.
QSize estadisticas::outerSize() const
{
    if (const auto *sub = qobject_cast<const QMdiSubWindow *>(parentWidget()))
        return sub->size();
    return frameGeometry().size();
}

void estadisticas::resizeEvent(QResizeEvent *)
{
    using platform::pixelsToTwips;
    const QSize outer = outerSize();
    const QSize current = grafica_->size();
    const QSize twips = stats::graphSize({pixelsToTwips(outer.width()), pixelsToTwips(outer.height())},
                                         {pixelsToTwips(current.width()), pixelsToTwips(current.height())});
    grafica_->setGeometry(0, 0, stats::toPixels(twips.width()), stats::toPixels(twips.height()));
    grafica_->Redraw();
}

// The values live only as long as the window is open.
void estadisticas::closeEvent(QCloseEvent *event)
{
    grafica_->reset();
    event->accept();
}
