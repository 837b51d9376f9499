#include "browser/web.h"

#include "core/program_folder.h"
#include "platform/twips.h"

#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QUrl>
#include <QWebEngineView>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// Shown when inicio.html is not beside the program, so the window never opens
// on an empty error page.
const QString kMissingHome = u"<!DOCTYPE html><html lang=\"es\"><head><meta charset=\"utf-8\">"
                             "<title>Tandrel</title></head><body>"
                             "<h1>Falta la página de inicio</h1>"
                             "<p>No se encuentra el archivo inicio.html junto al programa. "
                             "Vuelva a instalar el programa para recuperarla.</p>"
                             "</body></html>"_s;
} // namespace

QSize exploradorSize(QSize outerTwips, int estadoTwips)
{
    return {std::max(0, outerTwips.width() - 100), std::max(0, outerTwips.height() - estadoTwips - 440)};
}

web::web(WebPage::AddHook añadir, QWidget *parent)
    : QWidget(parent), estado_(new QStatusBar(this)), panel_(new QLabel(estado_)), addHook_(std::move(añadir))
{
    setWindowTitle(u"Web"_s);
    estado_->setSizeGripEnabled(false);
    estado_->addWidget(panel_, 1);
    resize(640, 420);
    layoutChildren();
}

web::~web() = default;

void web::makeBrowser()
{
    if (explorador_)
        return;
    explorador_ = new QWebEngineView(this);
    page_ = new WebPage(explorador_);
    page_->setAddHook(addHook_);
    explorador_->setPage(page_);
    connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString &text) {
        panel_->setText(text);
        emit statusTextChanged(text);
    });
    connect(page_, &QWebEnginePage::titleChanged, this, &QWidget::setWindowTitle);
    layoutChildren();
    explorador_->show();
    inicio();
}

QWebEngineView *web::explorador()
{
    makeBrowser();
    return explorador_;
}

WebPage *web::page()
{
    makeBrowser();
    return page_;
}

// A paint means some of the window can be seen. The view is made after the
// paint, not inside it.
void web::paintEvent(QPaintEvent *)
{
    if (explorador_ || makeQueued_)
        return;
    makeQueued_ = true;
    QMetaObject::invokeMethod(this, &web::makeBrowser, Qt::QueuedConnection);
}

QString web::statusText() const
{
    return panel_->text();
}

void web::setAddHook(WebPage::AddHook añadir)
{
    addHook_ = std::move(añadir);
    if (page_)
        page_->setAddHook(addHook_);
}

void web::inicio()
{
    makeBrowser();
    const QString home = platform::resourceFile(u"inicio.html"_s);
    if (QFileInfo::exists(home))
        explorador_->load(QUrl::fromLocalFile(home));
    else
        explorador_->setHtml(kMissingHome);
    page_->setSilent(true);
}

// The window's size with its frame: the sub-window's when it is a child of the
// frame, its own frame's otherwise.
QSize web::outerSize() const
{
    if (const auto *sub = qobject_cast<const QMdiSubWindow *>(parentWidget()))
        return sub->size();
    return frameGeometry().size();
}

void web::layoutChildren()
{
    using platform::pixelsToTwips;
    using platform::twipsToPixels;
    const int barHeight = estado_->sizeHint().height();
    estado_->setGeometry(0, height() - barHeight, width(), barHeight);
    const QSize outer = outerSize();
    const QSize twips =
        exploradorSize({pixelsToTwips(outer.width()), pixelsToTwips(outer.height())}, pixelsToTwips(barHeight));
    if (explorador_)
        explorador_->setGeometry(0, 0, twipsToPixels(twips.width()), twipsToPixels(twips.height()));
}

void web::resizeEvent(QResizeEvent *)
{
    layoutChildren();
}
