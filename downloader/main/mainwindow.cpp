#include "main/mainwindow.h"

#include "dialogs/about.h"
#include "dialogs/folder.h"
#include "engine/activas.h"
#ifdef TANDREL_HAS_BROWSER
#include "browser/web.h"

#include <QWebEngineView>
#endif
#include "core/atomic_file.h"
#include "core/program_folder.h"
#include "engine/inactivas.h"
#include "log/historial.h"
#include "log/log_append.h"
#include "log/log_document.h"
#include "log/log_settings.h"
#include "log/notices.h"
#include "platform/icons.h"
#include "platform/prompts.h"
#include "platform/qt_prompts.h"
#include "platform/termination.h"
#include "settings/cfg.h"
#include "stats/estadisticas.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {
MainWindow *current = nullptr;

#ifndef TANDREL_HAS_BROWSER
// Built without the browser: the window says so.
QWidget *placeholderWindow(const QString &title, const QString &text)
{
    auto *w = new QWidget;
    w->setWindowTitle(title);
    auto *layout = new QVBoxLayout(w);
    auto *label = new QLabel(text, w);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return w;
}
#endif

void toStandardError(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stderr);
}
} // namespace

MainWindow *MainWindow::instance()
{
    return current;
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    current = this;
    setWindowTitle(u"Tandrel"_s);
    // Set before any child window or dialog is made: they take it from here.
    setWindowIcon(platform::programIcon());
    // A large font scales the whole window: it must still fit the screen.
    QSize start(960, 680);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        start = start.boundedTo(screen->availableGeometry().size() * 0.95);
    resize(start);
    area_ = new QMdiArea(this);
    area_->setObjectName(u"area"_s);
    setCentralWidget(area_);
    buildMenus();
    buildToolbar();
    buildQuickBar();
    buildStatusBar();
    try {
        load();
    } catch (const std::exception &e) {
        platform::prompts().message(u"Error al iniciar Tandrel:"_s + u"\r\n"_s + QString::fromLocal8Bit(e.what()),
                                    platform::Icon::Critical);
    }
}

MainWindow::~MainWindow()
{
    // The error icons leave the tray before the window goes.
    qDeleteAll(errmsg_);
    errmsg_.clear();
    if (current == this)
        current = nullptr;
}

void MainWindow::load()
{
    // The settings come first: reading the lists and opening the log use them.
    settings_ = new cfg(this);
    settings_->hide();
    if (unloading_)
        return;
    setLogSettings([] { return cfg::instance() ? cfg::instance()->histrut() : QString(); },
                   [] { return cfg::instance() ? cfg::instance()->histsize() : 0; });
    // The log opens before the lists load, so what the loading reports is kept.
    const QString logError = logDocument().startSession();
    logStarted_ = true;
    // Saved every few seconds in the background: a failure is told where it
    // does not stop the user, and tried again with the next entry.
    connect(&logDocument(), &LogDocument::saveFailed, this,
            [this](const QString &error) { setStatusText(3, u"No se ha podido guardar el historial: "_s + error); });
    // What could be read of a damaged log stays; the file itself is kept aside.
    if (!logError.isEmpty()) {
        toStandardError(logError);
        appendLog(u"\r\n"_s + logError, 0x0000FF);
    }

    about_ = new about(this);
    about_->setHost(AboutHost{
        [this] {
            showNormal();
            activateWindow();
        },
        [this] { hide(); },
        [this] { CallUnload(); },
        [this] { showHelp(); },
        [this] { return recentFiles(); },
        [this] { return activas_ && activas_->shutdownPressed(); },
        [this](bool on) {
            if (activas_)
                activas_->setShutdownPressed(on);
        },
    });
    platform::setFolderChooser([](const QString &start) { return folder::choose(start); });

#ifdef TANDREL_HAS_BROWSER
    web_ = new web([this](const QString &address) { return añadir(address); });
#else
    web_ = placeholderWindow(u"Web"_s, u"Esta versión se ha compilado sin el navegador integrado."_s);
#endif
    addChild(web_, u"viewweb"_s, {640, 420});
    // The queue loads first: the active list's loading asks it which files it already writes.
    inactivas_ = new inactivas;
    addChild(inactivas_, u"viewinactivas"_s, {640, 300});
    activas_ = new activas;
    activas_->setLogin(&login_);
    activas_->setQueue(inactivas_);
    inactivas_->setActive(activas_);
    connect(activas_, &activas::browseRequested, this, [this]([[maybe_unused]] const QString &url) {
        showView(u"viewweb"_s);
#ifdef TANDREL_HAS_BROWSER
        static_cast<web *>(web_)->explorador()->setUrl(QUrl(url));
#endif
    });
    inactivas_->cargar_lista_inactivas();
    if (unloading_)
        return;
    queueLoaded_ = true;

    connect(activas_, &activas::statusText, this, &MainWindow::setStatusText);
    connect(activas_, &activas::finishedFile, this, &MainWindow::addRecentFile);
    connect(activas_, &activas::trayError, this, &MainWindow::addTrayError);
    addChild(activas_, u"viewactivas"_s, {860, 420});
    activas_->cargar_lista_activas();
    if (unloading_)
        return;
    listLoaded_ = true;
    refreshCounts();
    buildPopupMenus();
    buildTabOrder();

    historial_ = new historial;
    addChild(historial_, u"viewhist"_s, {640, 300});
    stats_ = new estadisticas;
    addChild(stats_, u"viewestadisticas"_s, {480, 300});
    connect(activas_, &activas::speedSample, stats_, &estadisticas::addvalue);

    ultimo_ = 0;
    // Placed once the frame has its size.
    const WindowPlaces places = readWindowPlaces();
    QTimer::singleShot(0, this, [this, places] {
        placeChildren();
        // Where the user left them, within today's frame.
        for (auto it = places.children.cbegin(); it != places.children.cend(); ++it)
            if (QMdiSubWindow *sub = children_.value(it.key()))
                if (const QRect r = placeWithin(it.value(), area_->viewport()->size()); !r.isNull())
                    sub->setGeometry(r);
    });
    restoreViewState();
    loadQuickList();
    viewRestored_ = true;
}

QMdiSubWindow *MainWindow::addChild(QWidget *widget, const QString &viewAction, const QSize &size)
{
    QMdiSubWindow *sub = area_->addSubWindow(widget);
    sub->setObjectName(viewAction);
    // Its own picture, the one of its item in the Ver menu, never the toolkit's.
    if (const QAction *view = action(viewAction))
        sub->setWindowIcon(view->icon());
    // Closing a child only hides it, as its menu item does.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->installEventFilter(this);
    sub->resize(size);
    sub->show();
    children_.insert(viewAction, sub);
    return sub;
}

// The active downloads across the top, the queue, the log and the graph in a
// row below; the browser behind the downloads.
void MainWindow::placeChildren()
{
    const QRect room = area_->viewport()->rect();
    const int top = room.height() * 11 / 20;
    const int third = room.width() / 3;
    const std::pair<const char16_t *, QRect> places[] = {
        {u"viewweb", QRect(0, 0, room.width(), top)},
        {u"viewactivas", QRect(0, 0, room.width(), top)},
        {u"viewinactivas", QRect(0, top, third, room.height() - top)},
        {u"viewhist", QRect(third, top, third, room.height() - top)},
        {u"viewestadisticas", QRect(2 * third, top, room.width() - 2 * third, room.height() - top)},
    };
    for (const auto &[name, rect] : places)
        children_.value(QString::fromUtf16(name))->setGeometry(rect);
    if (QMdiSubWindow *downloads = children_.value(u"viewactivas"_s); downloads->isVisible())
        area_->setActiveSubWindow(downloads);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && !unloading_) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(watched); sub && children_.value(sub->objectName()) == sub) {
            event->ignore();
            // The child still hears its close (the graph forgets its values),
            // though it is only hidden.
            if (QWidget *child = sub->widget()) {
                QCloseEvent close;
                QCoreApplication::sendEvent(child, &close);
            }
            setViewShown(sub->objectName(), false);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QAction *MainWindow::action(const QString &name) const
{
    return actions_.value(name);
}

void MainWindow::setStatusText(int panel, const QString &text)
{
    if (panel < 1 || panel > 3)
        return;
    panels_[panel - 1]->setText(text);
    // The messages' panel cuts a long one at the window's edge.
    if (panel == 3)
        panels_[2]->setToolTip(text);
}

QString MainWindow::statusText(int panel) const
{
    return panel >= 1 && panel <= 3 ? panels_[panel - 1]->text() : QString();
}

void MainWindow::setViewShown(const QString &viewAction, bool shown)
{
    if (QAction *a = action(viewAction))
        a->setChecked(shown);
    if (viewAction == u"general"_s) {
        barra_->setVisible(shown);
    } else if (viewAction == u"viequickadd"_s) {
        quickbar_->setVisible(shown);
    } else if (QMdiSubWindow *sub = children_.value(viewAction)) {
        if (shown) {
            sub->widget()->show();
            sub->showNormal();
        } else {
            sub->hide();
        }
    }
}

void MainWindow::showView(const QString &viewAction)
{
    setViewShown(viewAction, true);
    if (QMdiSubWindow *sub = children_.value(viewAction)) {
        area_->setActiveSubWindow(sub);
        sub->widget()->setFocus();
    }
}

ViewState MainWindow::viewState() const
{
    const auto checked = [this](const QString &name) { return action(name)->isChecked(); };
    ViewState v;
    v.viewweb = checked(u"viewweb"_s);
    v.viewhist = checked(u"viewhist"_s);
    v.viewactivas = checked(u"viewactivas"_s);
    v.viewinactivas = checked(u"viewinactivas"_s);
    v.viewestadisticas = checked(u"viewestadisticas"_s);
    v.general = checked(u"general"_s);
    v.viequickadd = checked(u"viequickadd"_s);
    return v;
}

void MainWindow::restoreViewState()
{
    QFile file(platform::programFile(u"view.win"_s));
    // A missing or unreadable file shows everything; it is written at the end.
    const ViewState v = file.open(QIODevice::ReadOnly) ? decodeViewWin(file.read(64)) : ViewState{};
    const std::pair<const char16_t *, bool> values[] = {
        {u"viewweb", v.viewweb},
        {u"viewhist", v.viewhist},
        {u"viewactivas", v.viewactivas},
        {u"viewinactivas", v.viewinactivas},
        {u"viewestadisticas", v.viewestadisticas},
        {u"general", v.general},
        {u"viequickadd", v.viequickadd},
    };
    for (const auto &[name, shown] : values)
        setViewShown(QString::fromUtf16(name), shown);
}

WindowPlaces MainWindow::readWindowPlaces()
{
    QFile file(platform::programFile(QString::fromUtf16(kPlacesFile)));
    const WindowPlaces places =
        file.open(QIODevice::ReadOnly) ? decodeWindowPlaces(file.read(64 * 1024)) : WindowPlaces{};
    if (!places.main.isEmpty())
        restoreGeometry(places.main);
    return places;
}

WindowPlaces MainWindow::windowPlaces() const
{
    WindowPlaces places;
    places.main = saveGeometry();
    for (auto it = children_.cbegin(); it != children_.cend(); ++it)
        places.children.insert(it.key(), it.value()->geometry());
    return places;
}

void MainWindow::loadQuickList()
{
    QFile file(platform::programFile(u"quick.lst"_s));
    if (file.open(QIODevice::ReadOnly))
        quickadd_->addItems(decodeQuickList(file.readAll()));
    quickadd_->setCurrentIndex(-1);
    quickpos_ = quickadd_->count();
}

int MainWindow::GetNextUlt()
{
    const int slot = ultimo_;
    ultimo_ = ultimo_ >= 6 ? 0 : ultimo_ + 1;
    return slot;
}

QStringList MainWindow::recentFiles() const
{
    QStringList files;
    for (const QAction *item : ultdescarga_)
        files << item->data().toString();
    return files;
}

void MainWindow::addRecentFile(const QString &file)
{
    QAction *item = ultdescarga_.at(GetNextUlt());
    item->setData(file);
    // A path is no mnemonic: "&" in it stays a character.
    item->setText(QString(file).replace(u"&"_s, u"&&"_s));
    item->setVisible(!file.isEmpty());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    CallUnload();
    event->accept();
}

void MainWindow::CallUnload()
{
    if (unloading_)
        return;
    unloading_ = true;
    platform::setProgramEnding();
    if (about_)
        about_->hide();
    if (settings_)
        settings_->hide();
    endSteps();
    platform::leaveEventLoops(0);
}

// Every way out comes here. A failure is told on standard error and in the
// log; a box would hold the exit.
void MainWindow::endSteps()
{
    QStringList failures;
    const auto save = [&failures](const QString &name, const QByteArray &bytes) {
        QString error;
        if (!platform::saveFileAtomically(platform::programFile(name), bytes, &error))
            failures << u"No se ha podido guardar "_s + platform::programFile(name) + u": "_s + error;
    };
    // Files that were never read are left as they are.
    if (viewRestored_) {
        save(u"view.win"_s, encodeViewWin(viewState()));
        save(QString::fromUtf16(kPlacesFile), encodeWindowPlaces(windowPlaces()));
        QStringList items;
        for (int i = 0; i < quickadd_->count(); ++i)
            items << quickadd_->itemText(i);
        save(u"quick.lst"_s, encodeQuickList(items));
    }
    if (queueLoaded_) {
        const QString error = inactivas_->writeListNow();
        if (!error.isEmpty())
            failures << error;
    }
    if (listLoaded_) {
        const QString error = activas_->writeListNow();
        if (!error.isEmpty())
            failures << error;
    }
    for (const QString &failure : failures) {
        toStandardError(failure);
        appendLog(u"\r\n"_s + failure, 0x0000FF);
    }
    if (logStarted_) {
        const QString error = logDocument().endSession();
        if (!error.isEmpty())
            toStandardError(error);
    }
}
