#include "main/mainwindow.h"

#include "dialogs/about.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "log/notices.h"
#include "platform/icons.h"
#include "platform/prompts.h"
#include "platform/twips.h"
#include "settings/cfg.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;
using platform::standardKeys;
using platform::themedIcon;

QAction *MainWindow::addAction(QMenu *menu, const QString &name, const QString &caption, const QString &icon)
{
    QAction *a = menu->addAction(themedIcon(icon), caption);
    a->setObjectName(name);
    actions_.insert(name, a);
    return a;
}

void MainWindow::buildMenus()
{
    QMenu *archivo = menuBar()->addMenu(u"&Archivo"_s);
    archivo->setObjectName(u"archivo"_s);
    QAction *newurl = addAction(archivo, u"newurl"_s, u"Añadir &nueva URL"_s, u"list-add"_s);
    newurl->setShortcuts(standardKeys(QKeySequence::New, QKeySequence(Qt::CTRL | Qt::Key_N)));
    connect(newurl, &QAction::triggered, this, &MainWindow::addDialog);
    // A window-wide Ctrl+V: a text field with the focus takes the key first.
    QAction *pegar = addAction(archivo, u"pegar"_s, u"Pe&gar dirección"_s, u"edit-paste"_s);
    pegar->setShortcuts(standardKeys(QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V)));
    connect(pegar, &QAction::triggered, this, &MainWindow::pasteAddress);
    connect(addAction(archivo, u"loadlist"_s, u"Cargar &lista de archivo"_s, u"document-open"_s), &QAction::triggered,
            this, &MainWindow::loadList);
    QMenu *detener = archivo->addMenu(themedIcon(u"process-stop"_s), u"&Detener"_s);
    detener->setObjectName(u"detener"_s);
    connect(addAction(detener, u"detall"_s, u"&Todas"_s, u"process-stop"_s), &QAction::triggered, this,
            [this] { cancelAll(Which::All); });
    connect(addAction(detener, u"detact"_s, u"&Activas"_s, u"go-down"_s), &QAction::triggered, this,
            [this] { cancelAll(Which::Active); });
    connect(addAction(detener, u"detinactivas"_s, u"&Inactivas"_s, u"appointment-soon"_s), &QAction::triggered, this,
            [this] { cancelAll(Which::Queued); });
    connect(addAction(archivo, u"pauseall"_s, u"&Pausar todas"_s, u"media-playback-pause"_s), &QAction::triggered, this,
            &MainWindow::pauseAll);
    connect(addAction(archivo, u"contall"_s, u"&Continuar todas"_s, u"media-playback-start"_s), &QAction::triggered,
            this, &MainWindow::continueAll);
    QMenu *ultimas = archivo->addMenu(themedIcon(u"document-open-recent"_s), u"Últi&mas descargas"_s);
    ultimas->setObjectName(u"ultimas"_s);
    for (int i = 0; i < 7; ++i) {
        QAction *item = ultimas->addAction(themedIcon(u"document-open"_s), QString());
        item->setObjectName(u"ultdescarga"_s);
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [item] {
            const QString path = item->data().toString();
            if (!path.isEmpty())
                ShellOpen(path);
        });
        ultdescarga_ << item;
    }
    // Never an empty menu: it says so until a download has finished.
    QAction *none = ultimas->addAction(u"(ninguna todavía)"_s);
    none->setObjectName(u"ultninguna"_s);
    none->setEnabled(false);
    connect(ultimas, &QMenu::aboutToShow, this, [this, none] {
        none->setVisible(std::none_of(ultdescarga_.cbegin(), ultdescarga_.cend(),
                                      [](const QAction *item) { return item->isVisible(); }));
    });
    archivo->addSeparator();
    QAction *salir = addAction(archivo, u"salir"_s, u"&Salir"_s, u"application-exit"_s);
    salir->setShortcuts(standardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    connect(salir, &QAction::triggered, this, &MainWindow::CallUnload);

    QMenu *ver = menuBar()->addMenu(u"&Ver"_s);
    ver->setObjectName(u"ver"_s);
    // The child windows show the same pictures as their items here.
    const std::tuple<const char16_t *, const char16_t *, const char16_t *> toggles[] = {
        {u"general", u"Barra de &herramientas", u"configure-toolbars"},
        {u"viequickadd", u"Barra de &añadido rápido", u"insert-link"},
        {u"viewweb", u"Ventana &web", u"web-browser"},
        {u"viewactivas", u"Ventana de descargas &activas", u"go-down"},
        {u"viewinactivas", u"Ventana de descargas &inactivas", u"appointment-soon"},
        {u"viewhist", u"&Historial", u"text-x-generic"},
        {u"viewestadisticas", u"&Estadísticas", u"view-statistics"},
    };
    for (const auto &[name, caption, icon] : toggles) {
        QAction *a = addAction(ver, QString::fromUtf16(name), QString::fromUtf16(caption), QString::fromUtf16(icon));
        a->setCheckable(true);
        a->setChecked(true);
        const QString key = a->objectName();
        // The check has already followed the user's click; the window follows the check.
        connect(a, &QAction::triggered, this, [this, key] { setViewShown(key, action(key)->isChecked()); });
    }
    ver->addSeparator();
    connect(addAction(ver, u"hidesys"_s, u"&Ocultar en barra del sistema"_s, u"window-minimize"_s), &QAction::triggered,
            this, &MainWindow::hideToTray);

    QMenu *herramientas = menuBar()->addMenu(u"&Herramientas"_s);
    herramientas->setObjectName(u"herramientas"_s);
    QAction *opciones = addAction(herramientas, u"opciones"_s, u"&Opciones"_s, u"preferences-system"_s);
    opciones->setShortcuts(standardKeys(QKeySequence::Preferences, QKeySequence(Qt::CTRL | Qt::Key_Comma)));
    connect(opciones, &QAction::triggered, this, [this] { platform::prompts().execDialog(*settings_); });
    connect(addAction(herramientas, u"savehist"_s, u"&Guardar historial"_s, u"document-save-as"_s), &QAction::triggered,
            this, &MainWindow::saveLogAs);
    connect(addAction(herramientas, u"delhist"_s, u"&Borrar historial"_s, u"edit-clear"_s), &QAction::triggered, this,
            &MainWindow::clearLog);

    QMenu *ventana = menuBar()->addMenu(u"Ven&tana"_s);
    ventana->setObjectName(u"ventana"_s);
    connect(addAction(ventana, u"cascada"_s, u"&Cascada"_s, u"window-cascade"_s), &QAction::triggered, this,
            [this] { arrange(0); });
    connect(addAction(ventana, u"mhorz"_s, u"Mosaico &horizontal"_s, u"view-split-top-bottom"_s), &QAction::triggered,
            this, [this] { arrange(1); });
    connect(addAction(ventana, u"mvert"_s, u"Mosaico &vertical"_s, u"view-split-left-right"_s), &QAction::triggered,
            this, [this] { arrange(2); });

    QMenu *ayuda = menuBar()->addMenu(u"A&yuda"_s);
    ayuda->setObjectName(u"ayuda"_s);
    QAction *ayudab = addAction(ayuda, u"ayudab"_s, u"&Ayuda"_s, u"help-contents"_s);
    ayudab->setShortcuts(standardKeys(QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)));
    connect(ayudab, &QAction::triggered, this, &MainWindow::showHelp);
    connect(addAction(ayuda, u"acercade"_s, u"A&cerca de"_s, u"help-about"_s), &QAction::triggered, this,
            [this] { about_->showModally(); });
}

void MainWindow::buildToolbar()
{
    barra_ = addToolBar(u"Barra de herramientas"_s);
    barra_->setObjectName(u"barra"_s);
    barra_->setMovable(false);
    struct Button {
        const char16_t *key;
        const char16_t *tip;
        const char16_t *icon;
        const char16_t *sameAs; // the menu item whose keys it shares, if any
    };
    const Button buttons[] = {
        {u"explorer", u"Página principal", u"web-browser", nullptr},
        {u"cfg", u"Configuración", u"preferences-system", u"opciones"},
        {u"inactivas", u"Lista de descargas inactivas", u"appointment-soon", nullptr},
        {u"activas", u"Lista de descargas activas", u"go-down", nullptr},
        {u"listado", u"Obtener links y archivos de un documento HTML", u"edit-find", nullptr},
        {u"addurl", u"Añadir URL", u"list-add", u"newurl"},
        {u"log", u"Historial", u"text-x-generic", nullptr},
        {u"estadisticas", u"Estadísticas", u"view-statistics", nullptr},
        {u"pindle", u"Ocultar en la barra del sistema", u"window-minimize", nullptr},
    };
    for (const Button &b : buttons) {
        const QString key = QString::fromUtf16(b.key);
        const QString tip = QString::fromUtf16(b.tip);
        QAction *a = barra_->addAction(themedIcon(QString::fromUtf16(b.icon)), tip);
        a->setObjectName(u"barra."_s + key);
        // The key itself stays on the menu item: one action per key, or it would be ambiguous.
        a->setToolTip(b.sameAs ? platform::tipWithKeys(tip, action(QString::fromUtf16(b.sameAs))->shortcut()) : tip);
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
    // The history is offered, never filled in: an inline completion would
    // turn a typed "http://host/sub" into a longer address on Enter.
    quickadd_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    layout->addWidget(quickadd_, 1);
    layout->addSpacing(platform::twipsToPixels(80));
    addquick_ = new QPushButton(themedIcon(u"list-add"_s), u"Añadir"_s, row);
    addquick_->setObjectName(u"addquick"_s);
    layout->addWidget(addquick_);
    connect(addquick_, &QPushButton::clicked, this, &MainWindow::quickAdd);
    connect(quickadd_->lineEdit(), &QLineEdit::returnPressed, this, &MainWindow::quickAdd);
    quickbar_->addWidget(row);
}

void MainWindow::buildPopupMenus()
{
    const auto item = [](QMenu *menu, const QString &name, const QString &caption, const QString &icon, auto target,
                         auto slot, const QKeySequence &keys = {}) {
        QAction *a = menu->addAction(themedIcon(icon), caption);
        a->setObjectName(name);
        QObject::connect(a, &QAction::triggered, target, slot);
        // Shown only: the list windows own these keys, acting on the list with
        // the focus; here they would never have it.
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        return a;
    };
    const QKeySequence cancelKey(QKeySequence::Delete);
    const QKeySequence pauseKey(Qt::CTRL | Qt::Key_P);
    const QKeySequence continueKey(Qt::CTRL | Qt::Key_R);
    menu_ = new QMenu(u"Menu"_s, this);
    menu_->setObjectName(u"menu"_s);
    item(menu_, u"continuar"_s, u"Co&ntinuar"_s, u"view-refresh"_s, activas_, &activas::CallContinue, continueKey);
    item(menu_, u"pausar"_s, u"&Pausar"_s, u"media-playback-pause"_s, activas_, &activas::CallPause, pauseKey);
    item(menu_, u"cancelar"_s, u"&Cancelar"_s, u"process-stop"_s, activas_, &activas::CallCancel, cancelKey);
    item(menu_, u"limitar"_s, u"&Limitar velocidad..."_s, u"network-transmit"_s, activas_, &activas::CallLimit);
    item(menu_, u"buscar"_s, u"&Buscar nueva dirección..."_s, u"edit-find"_s, activas_, &activas::CallRebind);
    menu_->addSeparator()->setObjectName(u"sm1"_s);
    item(menu_, u"ejecutar"_s, u"&Ejecutar"_s, u"system-run"_s, activas_, &activas::CallExe);
    item(menu_, u"antivirus"_s, u"&Antivirus"_s, u"security-high"_s, activas_, &activas::CallAntiv);
    menu_->addSeparator()->setObjectName(u"ms2"_s);
    item(menu_, u"propiedades"_s, u"&Propiedades"_s, u"document-properties"_s, activas_, &activas::CallProp);

    menu2_ = new QMenu(u"Menu2"_s, this);
    menu2_->setObjectName(u"menu2"_s);
    item(menu2_, u"continuar2"_s, u"Co&ntinuar"_s, u"media-playback-start"_s, inactivas_, &inactivas::CallContinue,
         continueKey);
    item(menu2_, u"cancelar2"_s, u"&Cancelar"_s, u"edit-delete"_s, inactivas_, &inactivas::CallCancel, cancelKey);
    item(menu2_, u"bloquear"_s, u"&Bloquear"_s, u"object-locked"_s, inactivas_, &inactivas::bloquear);
    menu2_->addSeparator()->setObjectName(u"m2s"_s);
    item(menu2_, u"propiedades2"_s, u"&Propiedades"_s, u"document-properties"_s, inactivas_, &inactivas::CallProp);

    connect(activas_, &activas::rowMenuRequested, this, [this](const QPoint &at) {
        const std::pair<const char16_t *, const char16_t *> mirrors[] = {
            {u"continuar", u"continuar"}, {u"cancelar", u"detener"},    {u"pausar", u"pausar"}, {u"limitar", u"pausar"},
            {u"ejecutar", u"open"},       {u"antivirus", u"antivirus"}, {u"buscar", u"buscar"}};
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
    }
    // Bare figures say nothing: the first panel names them. The caption sits
    // beside the figures, so the panel's text stays the figures alone.
    auto *counts = new QWidget(this);
    auto *row = new QHBoxLayout(counts);
    row->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(u"Activas/Total:"_s, counts);
    caption->setObjectName(u"descargasTitulo"_s);
    caption->setToolTip(panels_[0]->toolTip());
    panels_[0]->setParent(counts);
    panels_[0]->setMinimumWidth(0);
    row->addWidget(caption);
    row->addWidget(panels_[0], 1);
    counts->setMinimumWidth(150);
    statusBar()->addWidget(counts);
    statusBar()->addWidget(panels_[1]);
    // A long message is cut at the window's edge rather than squeezing the speeds.
    panels_[2]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(panels_[2], 1);
    statusBar()->setObjectName(u"estado"_s);
}

namespace {
// A list window's stops in keyboard order: its list, then its toolbar's keys.
QList<QWidget *> tabStops(QWidget *list)
{
    QList<QWidget *> stops;
    if (QWidget *rows = list->focusProxy())
        stops << rows;
    if (auto *bar = list->findChild<QToolBar *>(QString(), Qt::FindDirectChildrenOnly)) {
        for (QAction *a : bar->actions())
            if (QWidget *key = bar->widgetForAction(a); key && (key->focusPolicy() & Qt::TabFocus))
                stops << key;
    }
    return stops;
}
} // namespace

// The quick-add bar, then the active downloads and their keys, then the queue and its keys.
void MainWindow::buildTabOrder()
{
    new platform::TabChain(QList<QWidget *>{quickadd_, addquick_} + tabStops(activas_) + tabStops(inactivas_), this);
}
