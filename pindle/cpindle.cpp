#include "cpindle.h"

#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <qdrawutil.h>

using namespace Qt::StringLiterals;
using pindle::NotifyCommand;
using pindle::NotifyRecord;

namespace {

constexpr int kTwipsPerPixel = 15;
// The control keeps a fixed side of 511 twips.
constexpr int kSideTwips = 511;
constexpr int kSidePixels = (kSideTwips + kTwipsPerPixel / 2) / kTwipsPerPixel;

const auto kInTray = u"InTray"_s;
const auto kTrayIcon = u"TrayIcon"_s;
const auto kTrayTip = u"TrayTip"_s;

} // namespace

cPindle::cPindle(QWidget *parent) : cPindle(nullptr, parent) {}

cPindle::cPindle(std::unique_ptr<pindle::TrayBackend> backend, QWidget *parent)
    : QWidget(parent), backend_(backend ? std::move(backend) : pindle::createTrayBackend()), icon_(designIcon()),
      tip_(defaultTip())
{
    setFixedSize(kSidePixels, kSidePixels);
    // Nothing of the control shows at run time, also when its parent does.
    hide();
    connect(backend_.get(), &pindle::TrayBackend::mouseMessage, this, &cPindle::mouseMessage);
}

// An icon must not outlive its control: it would stay in the tray with
// nobody to answer its clicks.
cPindle::~cPindle()
{
    removeIcon();
}

QIcon cPindle::designIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(QRectF(2.5, 20.5, 27, 9), 2, 2);
    p.setBrush(QColor(250, 200, 40));
    p.drawEllipse(QRectF(19.5, 21.5, 7, 7));
    p.setBrush(QColor(60, 130, 220));
    p.drawRoundedRect(QRectF(6.5, 4.5, 14, 12), 2, 2);
    p.end();
    return QIcon(pixmap);
}

QString cPindle::defaultTip()
{
    return u"Icono de Sistema"_s;
}

quintptr cPindle::windowKey() const
{
    return reinterpret_cast<quintptr>(this);
}

void cPindle::setInTray(bool on)
{
    if (on == inTray_)
        return;
    inTray_ = on;
    if (on && !designMode_)
        showIcon();
    else if (!on)
        removeIcon();
    emit InTrayChanged(on);
}

void cPindle::setTrayIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    if (shown_)
        backend_->notify(NotifyCommand::Modify, NotifyRecord::forIcon(windowKey(), kIconId, icon));
    icon_ = icon;
    update();
    emit TrayIconChanged();
}

void cPindle::setTrayTip(const QString &tip)
{
    if (shown_)
        backend_->notify(NotifyCommand::Modify, NotifyRecord::forTip(windowKey(), kIconId, tip));
    tip_ = tip;
    emit TrayTipChanged(tip);
}

void cPindle::setDesignMode(bool on)
{
    if (on == designMode_)
        return;
    designMode_ = on;
    if (on)
        removeIcon();
    else if (inTray_)
        showIcon();
    if (parentWidget())
        setVisible(on);
}

void cPindle::showIcon()
{
    if (shown_)
        return;
    backend_->notify(NotifyCommand::Add, NotifyRecord::forAdd(windowKey(), kIconId, icon_, tip_));
    shown_ = true;
}

void cPindle::removeIcon()
{
    if (!shown_)
        return;
    backend_->notify(NotifyCommand::Delete, NotifyRecord::forDelete(windowKey(), kIconId));
    shown_ = false;
}

// Messages reach the control only while its icon is in the tray.
void cPindle::mouseMessage(quint32 id, quint32 message)
{
    if (!shown_)
        return;
    const auto event = pindle::decodeMouseMessage(message);
    if (!event)
        return;
    const int iconId = int(id);
    switch (event->kind) {
    case pindle::TrayMouseEvent::Move:
        emit MouseMove(iconId);
        break;
    case pindle::TrayMouseEvent::Down:
        emit MouseDown(event->button, iconId);
        break;
    case pindle::TrayMouseEvent::Up:
        emit MouseUp(event->button, iconId);
        break;
    case pindle::TrayMouseEvent::DoubleClick:
        emit MouseDblClick(event->button, iconId);
        break;
    }
}

QVariantMap cPindle::saveProperties() const
{
    return {{kInTray, inTray_}, {kTrayIcon, QVariant::fromValue(icon_)}, {kTrayTip, tip_}};
}

void cPindle::loadProperties(const QVariantMap &properties)
{
    setInTray(properties.value(kInTray, false).toBool());
    const QVariant icon = properties.value(kTrayIcon, QVariant::fromValue(designIcon()));
    if (icon.typeId() == QMetaType::QIcon)
        setTrayIcon(icon.value<QIcon>());
    setTrayTip(properties.value(kTrayTip, defaultTip()).toString());
}

void cPindle::ShowAboutBox()
{
    if (aboutOpen_)
        return;
    aboutOpen_ = true;
    // The box lives on the heap: the control may be destroyed while it is open.
    QPointer<cPindle> self(this);
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Information, u"Acerca de Pindle"_s,
                                                u"Pindle\nIcono en la barra del sistema, con su texto de ayuda "
                                                u"y los clics del ratón como eventos."_s,
                                                QMessageBox::Ok, this);
    box->setIconPixmap(icon_.pixmap(32, 32));
    box->exec();
    delete box;
    if (self)
        aboutOpen_ = false;
}

void cPindle::paintEvent(QPaintEvent *)
{
    if (!designMode_)
        return;
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    icon_.paint(&p, rect().adjusted(1, 1, -1, -1));
    qDrawShadePanel(&p, rect(), palette(), false, 1);
}
