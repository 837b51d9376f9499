#include "main/mainwindow.h"

#include "dialogs/about.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "log/notices.h"
#include "platform/prompts.h"
#include "platform/twips.h"
#include "settings/cfg.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

using namespace Qt::StringLiterals;

QAction *MainWindow::addAction(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    actions_.insert(name, a);
    return a;
}

void MainWindow::buildMenus()
{
    QMenu *archivo = menuBar()->addMenu(u"&Archivo"_s);
    archivo->setObjectName(u"archivo"_s);
    connect(addAction(archivo, u"newurl"_s, u"Añadir &nueva URL"_s), &QAction::triggered, this, &MainWindow::addDialog);
    connect(addAction(archivo, u"loadlist"_s, u"Cargar &lista de archivo"_s), &QAction::triggered, this,
            &MainWindow::loadList);
    QMenu *detener = archivo->addMenu(u"&Detener"_s);
    detener->setObjectName(u"detener"_s);
    connect(addAction(detener, u"detall"_s, u"&Todas"_s), &QAction::triggered, this, [this] { cancelAll(Which::All); });
    connect(addAction(detener, u"detact"_s, u"&Activas"_s), &QAction::triggered, this,
            [this] { cancelAll(Which::Active); });
    connect(addAction(detener, u"detinactivas"_s, u"&Inactivas"_s), &QAction::triggered, this,
            [this] { cancelAll(Which::Queued); });
    connect(addAction(archivo, u"pauseall"_s, u"&Pausar todas"_s), &QAction::triggered, this, &MainWindow::pauseAll);
    connect(addAction(archivo, u"contall"_s, u"&Continuar todas"_s), &QAction::triggered, this,
            &MainWindow::continueAll);
    QMenu *ultimas = archivo->addMenu(u"Últi&mas descargas"_s);
    ultimas->setObjectName(u"ultimas"_s);
    for (int i = 0; i < 7; ++i) {
        QAction *item = ultimas->addAction(QString());
        item->setObjectName(u"ultdescarga"_s);
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [item] {
            const QString path = item->data().toString();
            if (!path.isEmpty())
                ShellOpen(path);
        });
        ultdescarga_ << item;
    }
    archivo->addSeparator();
    connect(addAction(archivo, u"salir"_s, u"&Salir"_s), &QAction::triggered, this, &MainWindow::CallUnload);

    QMenu *ver = menuBar()->addMenu(u"&Ver"_s);
    ver->setObjectName(u"ver"_s);
    const std::pair<const char16_t *, const char16_t *> toggles[] = {
        {u"general", u"Barra de &herramientas"},
        {u"viequickadd", u"Barra de &añadido rápido"},
        {u"viewweb", u"Ventana &web"},
        {u"viewactivas", u"Ventana de descargas &activas"},
        {u"viewinactivas", u"Ventana de descargas &inactivas"},
        {u"viewhist", u"&Historial"},
        {u"viewestadisticas", u"&Estadísticas"},
    };
    for (const auto &[name, caption] : toggles) {
        QAction *a = addAction(ver, QString::fromUtf16(name), QString::fromUtf16(caption));
        a->setCheckable(true);
        a->setChecked(true);
        const QString key = a->objectName();
        // The check has already followed the user's click; the window follows the check.
        connect(a, &QAction::triggered, this, [this, key] { setViewShown(key, action(key)->isChecked()); });
    }
    ver->addSeparator();
    connect(addAction(ver, u"hidesys"_s, u"&Ocultar en barra del sistema"_s), &QAction::triggered, this,
            &MainWindow::hideToTray);

    QMenu *herramientas = menuBar()->addMenu(u"&Herramientas"_s);
    herramientas->setObjectName(u"herramientas"_s);
    connect(addAction(herramientas, u"opciones"_s, u"&Opciones"_s), &QAction::triggered, this,
            [this] { platform::prompts().execDialog(*settings_); });
    connect(addAction(herramientas, u"savehist"_s, u"&Guardar historial"_s), &QAction::triggered, this,
            &MainWindow::saveLogAs);
    connect(addAction(herramientas, u"delhist"_s, u"&Borrar historial"_s), &QAction::triggered, this,
            &MainWindow::clearLog);

    QMenu *ventana = menuBar()->addMenu(u"Ven&tana"_s);
    ventana->setObjectName(u"ventana"_s);
    connect(addAction(ventana, u"cascada"_s, u"&Cascada"_s), &QAction::triggered, this, [this] { arrange(0); });
    connect(addAction(ventana, u"mhorz"_s, u"Mosaico &horizontal"_s), &QAction::triggered, this,
            [this] { arrange(1); });
    connect(addAction(ventana, u"mvert"_s, u"Mosaico &vertical"_s), &QAction::triggered, this, [this] { arrange(2); });

    QMenu *ayuda = menuBar()->addMenu(u"A&yuda"_s);
    ayuda->setObjectName(u"ayuda"_s);
    connect(addAction(ayuda, u"ayudab"_s, u"&Ayuda"_s), &QAction::triggered, this, &MainWindow::showHelp);
    connect(addAction(ayuda, u"acercade"_s, u"A&cerca de"_s), &QAction::triggered, this,
            [this] { about_->showModally(); });
}

void MainWindow::buildToolbar()
{
    barra_ = addToolBar(u"Barra de herramientas"_s);
    barra_->setObjectName(u"barra"_s);
    barra_->setMovable(false);
    QStyle *s = style();
    struct Button {
        const char16_t *key;
        const char16_t *tip;
        QStyle::StandardPixmap icon;
    };
    const Button buttons[] = {
        {u"explorer", u"Página principal", QStyle::SP_DirHomeIcon},
        {u"cfg", u"Configuración", QStyle::SP_FileDialogDetailedView},
        {u"inactivas", u"Lista de descargas inactivas", QStyle::SP_MediaPause},
        {u"activas", u"Lista de descargas activas", QStyle::SP_ArrowDown},
        {u"listado", u"Obtener links y archivos de un documento HTML", QStyle::SP_FileDialogContentsView},
        {u"addurl", u"Añadir URL", QStyle::SP_FileDialogNewFolder},
        {u"log", u"Historial", QStyle::SP_FileIcon},
        {u"estadisticas", u"Estadísticas", QStyle::SP_ComputerIcon},
        {u"pindle", u"Ocultar en la barra del sistema", QStyle::SP_TitleBarMinButton},
    };
    for (const Button &b : buttons) {
        const QString key = QString::fromUtf16(b.key);
        QAction *a = barra_->addAction(s->standardIcon(b.icon), QString::fromUtf16(b.tip));
        a->setObjectName(u"barra."_s + key);
        a->setToolTip(QString::fromUtf16(b.tip));
        actions_.insert(u"barra."_s + key, a);
    }
    const std::pair<const char16_t *, const char16_t *> views[] = {{u"explorer", u"viewweb"},
                                                                   {u"inactivas", u"viewinactivas"},
                                                                   {u"activas", u"viewactivas"},
                                                                   {u"log", u"viewhist"},
                                                                   {u"estadisticas", u"viewestadisticas"}};
    for (const auto &[key, view] : views) {
        const QString name = QString::fromUtf16(view);
        connect(action(u"barra."_s + QString::fromUtf16(key)), &QAction::triggered, this,
                [this, name] { showView(name); });
    }
    connect(action(u"barra.cfg"_s), &QAction::triggered, action(u"opciones"_s), &QAction::trigger);
    connect(action(u"barra.pindle"_s), &QAction::triggered, this, &MainWindow::hideToTray);
    connect(action(u"barra.listado"_s), &QAction::triggered, this, &MainWindow::openLinkWindow);
    connect(action(u"barra.addurl"_s), &QAction::triggered, this, &MainWindow::addDialog);
}

void MainWindow::buildQuickBar()
{
    addToolBarBreak();
    quickbar_ = addToolBar(u"Añadido rápido"_s);
    quickbar_->setObjectName(u"quickbar"_s);
    quickbar_->setMovable(false);
    // One widget across the whole bar, so the address box gets the width the
    // window leaves it instead of spilling into the bar's overflow menu.
    auto *row = new QWidget(quickbar_);
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(u"  Añadir descarga:"_s, row);
    label->setObjectName(u"Label1"_s);
    layout->addWidget(label);
    quickadd_ = new QComboBox(row);
    quickadd_->setObjectName(u"quickadd"_s);
    quickadd_->setEditable(true);
    quickadd_->setInsertPolicy(QComboBox::NoInsert);
    quickadd_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    quickadd_->setMinimumContentsLength(20);
    layout->addWidget(quickadd_, 1);
    layout->addSpacing(platform::twipsToPixels(80));
    addquick_ = new QPushButton(u"Añadir"_s, row);
    addquick_->setObjectName(u"addquick"_s);
    layout->addWidget(addquick_);
    connect(addquick_, &QPushButton::clicked, this, &MainWindow::quickAdd);
    connect(quickadd_->lineEdit(), &QLineEdit::returnPressed, this, &MainWindow::quickAdd);
    quickbar_->addWidget(row);
}

void MainWindow::buildPopupMenus()
{
    const auto item = [](QMenu *menu, const QString &name, const QString &caption, auto target, auto slot) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(name);
        QObject::connect(a, &QAction::triggered, target, slot);
        return a;
    };
    menu_ = new QMenu(u"Menu"_s, this);
    menu_->setObjectName(u"menu"_s);
    item(menu_, u"continuar"_s, u"Co&ntinuar"_s, activas_, &activas::CallContinue);
    item(menu_, u"pausar"_s, u"&Pausar"_s, activas_, &activas::CallPause);
    item(menu_, u"cancelar"_s, u"&Cancelar"_s, activas_, &activas::CallCancel);
    menu_->addSeparator()->setObjectName(u"sm1"_s);
    item(menu_, u"ejecutar"_s, u"&Ejecutar"_s, activas_, &activas::CallExe);
    item(menu_, u"antivirus"_s, u"&Antivirus"_s, activas_, &activas::CallAntiv);
    menu_->addSeparator()->setObjectName(u"ms2"_s);
    item(menu_, u"propiedades"_s, u"&Propiedades"_s, activas_, &activas::CallProp);

    menu2_ = new QMenu(u"Menu2"_s, this);
    menu2_->setObjectName(u"menu2"_s);
    item(menu2_, u"continuar2"_s, u"Co&ntinuar"_s, inactivas_, &inactivas::CallContinue);
    item(menu2_, u"cancelar2"_s, u"&Cancelar"_s, inactivas_, &inactivas::CallCancel);
    item(menu2_, u"bloquear"_s, u"&Bloquear"_s, inactivas_, &inactivas::bloquear);
    menu2_->addSeparator()->setObjectName(u"m2s"_s);
    item(menu2_, u"propiedades2"_s, u"&Propiedades"_s, inactivas_, &inactivas::CallProp);

    connect(activas_, &activas::rowMenuRequested, this, [this](const QPoint &at) {
        const std::pair<const char16_t *, const char16_t *> mirrors[] = {{u"continuar", u"continuar"},
                                                                         {u"cancelar", u"detener"},
                                                                         {u"pausar", u"pausar"},
                                                                         {u"ejecutar", u"open"},
                                                                         {u"antivirus", u"antivirus"}};
        for (const auto &[name, key] : mirrors)
            menu_->findChild<QAction *>(QString::fromUtf16(name))
                ->setEnabled(activas_->commandEnabled(QString::fromUtf16(key)));
        menu_->popup(at);
    });
    connect(inactivas_, &inactivas::rowMenuRequested, this, [this](const QPoint &at) {
        menu2_->findChild<QAction *>(u"continuar2"_s)->setEnabled(inactivas_->commandEnabled(u"continuar"_s));
        menu2_->findChild<QAction *>(u"cancelar2"_s)->setEnabled(inactivas_->commandEnabled(u"detener"_s));
        menu2_->popup(at);
    });
}

void MainWindow::buildStatusBar()
{
    const std::pair<const char16_t *, const char16_t *> panels[] = {
        {u"0/0", u"Número de descargas activas/Descargas totales"},
        {u"0 Kb/s", u"Velocidad media"},
        {u"", u"Mensajes"},
    };
    const char16_t *keys[] = {u"descargas", u"velmedia", u"mensajes"};
    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(QString::fromUtf16(panels[i].first), this);
        panels_[i]->setObjectName(QString::fromUtf16(keys[i]));
        panels_[i]->setToolTip(QString::fromUtf16(panels[i].second));
        panels_[i]->setMinimumWidth(i == 2 ? 0 : 90);
        statusBar()->addWidget(panels_[i], i == 2 ? 1 : 0);
    }
    statusBar()->setObjectName(u"estado"_s);
}
