#include "dialogs/about.h"

#include "log/notices.h"
#include "platform/prompts.h"

#include <cpindle.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

void call(const std::function<void()> &hook)
{
    if (hook)
        hook();
}

// Menu captions take "&" as the mnemonic mark; a path shows it literally.
QString menuCaption(const QString &path)
{
    QString caption = path;
    return caption.replace(u'&', u"&&"_s);
}

QIcon drawnIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 110, 200));
    p.drawEllipse(QRectF(1, 1, 30, 30));
    p.setBrush(Qt::white);
    // A down arrow: what a download manager does.
    const QPointF arrow[] = {{16, 25}, {7, 15}, {12.5, 15}, {12.5, 6}, {19.5, 6}, {19.5, 15}, {25, 15}};
    p.drawPolygon(arrow, int(std::size(arrow)));
    p.end();
    return QIcon(pixmap);
}

} // namespace

about::about(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"about"_s);
    setWindowTitle(u"Acerca de Tandrel"_s);

    lblTitle_ = new QLabel(u"Tandrel"_s, this);
    lblTitle_->setObjectName(u"lblTitle"_s);
    QFont title = lblTitle_->font();
    title.setPointSizeF(title.pointSizeF() * 2);
    title.setBold(true);
    lblTitle_->setFont(title);
    version_ = new QLabel(versionText(QCoreApplication::applicationVersion()), this);
    version_->setObjectName(u"version"_s);
    cmdOK_ = new QPushButton(u"Aceptar"_s, this);
    cmdOK_->setObjectName(u"cmdOK"_s);
    cmdOK_->setDefault(true);
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle_);
    layout->addWidget(version_);
    layout->addStretch();
    layout->addLayout(buttons);

    tray_ = new cPindle(this);
    tray_->setObjectName(u"trayIcon"_s);
    tray_->setTrayTip(u"Tandrel"_s);
    tray_->setTrayIcon(programIcon());
    connect(tray_, &cPindle::MouseDblClick, this, [this](int button, int) { trayDoubleClick(button); });
    connect(tray_, &cPindle::MouseDown, this, [this](int button, int) { trayPress(button); });

    buildMenu();
}

about::~about()
{
    // "Salir" reaches the main window's unload from inside the menu's own
    // event handling; the menu must outlive that handler.
    pindl_->setParent(nullptr);
    pindl_->deleteLater();
}

void about::buildMenu()
{
    pindl_ = new QMenu(this);
    pindl_->setObjectName(u"pindl"_s);

    QAction *mostrar = pindl_->addAction(u"&Mostrar"_s);
    mostrar->setObjectName(u"mostrar"_s);
    connect(mostrar, &QAction::triggered, this, &about::restore);
    pindl_->addSeparator()->setObjectName(u"sep1"_s);

    lasdesc_ = pindl_->addMenu(u"&Ultimos archivos descargados"_s);
    lasdesc_->setObjectName(u"lasdesc"_s);
    lasdesc_->menuAction()->setObjectName(u"lasdesc"_s);
    for (int i = 0; i < kRecentCount; ++i) {
        fd_[i] = lasdesc_->addAction(QString());
        fd_[i]->setObjectName(u"fd%1"_s.arg(i));
        fd_[i]->setVisible(false);
        connect(fd_[i], &QAction::triggered, this, [this, i] { openRecent(i); });
    }
    connect(lasdesc_, &QMenu::aboutToShow, this, &about::fillRecent);
    pindl_->addSeparator()->setObjectName(u"sep2"_s);

    QAction *ayuda = pindl_->addAction(u"&Ayuda"_s);
    ayuda->setObjectName(u"ayuda"_s);
    connect(ayuda, &QAction::triggered, this, [this] { call(host_.help); });
    QAction *acercade = pindl_->addAction(u"A&cerca de"_s);
    acercade->setObjectName(u"acercade"_s);
    connect(acercade, &QAction::triggered, this, &about::showModally);
    pindl_->addSeparator()->setObjectName(u"sep3"_s);

    shutdown_ = pindl_->addAction(u"A&pagar equipo al finalizar"_s);
    shutdown_->setObjectName(u"shutdown"_s);
    shutdown_->setCheckable(true);
    connect(shutdown_, &QAction::triggered, this, [this](bool checked) {
        if (host_.setShutdownPressed)
            host_.setShutdownPressed(checked);
    });
    QAction *salir = pindl_->addAction(u"&Salir"_s);
    salir->setObjectName(u"salir"_s);
    connect(salir, &QAction::triggered, this, &about::quit);
}

void about::setHost(AboutHost host)
{
    host_ = std::move(host);
}

QAction *about::fd(int index) const
{
    return index >= 0 && index < kRecentCount ? fd_[index] : nullptr;
}

QString about::versionText(const QString &applicationVersion)
{
    const QStringList parts = applicationVersion.split(u'.');
    const auto part = [&parts](int i) { return i < parts.size() ? parts.at(i).trimmed().toInt() : 0; };
    return u"%1.%2 Compilación %3"_s.arg(part(0)).arg(part(1)).arg(part(2));
}

QIcon about::programIcon() const
{
    const QIcon own = windowIcon();
    return own.isNull() ? drawnIcon() : own;
}

void about::pindle()
{
    // The application's icon may have been set after this window was made.
    if (!tray_->isIconShown())
        tray_->setTrayIcon(programIcon());
    tray_->setInTray(true);
    call(host_.hideMain);
}

void about::showModally()
{
    if (modalOpen_ || isVisible()) {
        raise();
        activateWindow();
        return;
    }
    modalOpen_ = true;
    platform::prompts().execDialog(*this);
    modalOpen_ = false;
}

void about::trayDoubleClick(int button)
{
    if (button == 1)
        restore();
}

void about::trayPress(int button)
{
    if (button != 2)
        return;
    shutdown_->setChecked(host_.shutdownPressed && host_.shutdownPressed());
    popUpMenu(QCursor::pos());
}

void about::popUpMenu(const QPoint &at)
{
    // Not exec(): the tray's own handler returns, and nothing waits on the menu.
    pindl_->popup(at);
}

void about::restore()
{
    call(host_.showMain);
    tray_->setInTray(false);
}

void about::fillRecent()
{
    const QStringList files = host_.recentFiles ? host_.recentFiles() : QStringList();
    for (int i = 0; i < kRecentCount; ++i) {
        const QString path = i < files.size() ? files.at(i) : QString();
        fd_[i]->setData(path);
        fd_[i]->setText(menuCaption(path));
        fd_[i]->setVisible(!path.isEmpty());
    }
}

void about::openRecent(int index)
{
    const QString path = fd_[index]->data().toString();
    if (!path.isEmpty())
        ShellOpen(path);
}

void about::quit()
{
    tray_->setInTray(false);
    // Last: the unload may delete this window.
    call(host_.unload);
}
