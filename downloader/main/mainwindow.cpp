#include "main/mainwindow.h"

#include "engine/activas.h"
#include "settings/cfg.h"
#include "stats/estadisticas.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(u"Tandrel"_s);
    resize(900, 600);
    area_ = new QMdiArea(this);
    setCentralWidget(area_);

    settings_ = new cfg(this);
    settings_->hide();

    QMenu *tools = menuBar()->addMenu(u"&Herramientas"_s);
    QAction *opciones = tools->addAction(u"&Opciones"_s);
    opciones->setObjectName(u"opciones"_s);
    connect(opciones, &QAction::triggered, settings_, &QDialog::show);

    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(this);
        statusBar()->addWidget(panels_[i], i == 2 ? 1 : 0);
    }

    // The settings come first: loading the active list reads them.
    activas_ = new activas;
    activas_->setLogin(&login_);
    connect(activas_, &activas::statusText, this, &MainWindow::setStatusText);
    QMdiSubWindow *sub = area_->addSubWindow(activas_);
    sub->setWindowFlag(Qt::WindowCloseButtonHint, false);
    sub->resize(860, 480);
    sub->show();
    activas_->cargar_lista_activas();

    // The statistics window starts hidden; closing it only hides it again.
    stats_ = new estadisticas;
    QMdiSubWindow *statsSub = area_->addSubWindow(stats_);
    statsSub->setAttribute(Qt::WA_DeleteOnClose, false);
    statsSub->resize(480, 300);
    statsSub->hide();
    connect(activas_, &activas::speedSample, stats_, &estadisticas::addvalue);
    QMenu *windowMenu = menuBar()->addMenu(u"&Ventana"_s);
    QAction *showStats = windowMenu->addAction(u"&Estadísticas"_s);
    showStats->setObjectName(u"estadisticas"_s);
    connect(showStats, &QAction::triggered, this, [this, statsSub] {
        stats_->show();
        statsSub->showNormal();
        area_->setActiveSubWindow(statsSub);
    });
}

MainWindow::~MainWindow() = default;

void MainWindow::setStatusText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= 3)
        panels_[panel - 1]->setText(text);
}

QString MainWindow::statusText(int panel) const
{
    return panel >= 1 && panel <= 3 ? panels_[panel - 1]->text() : QString();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    activas_->guardar_lista_activas();
    event->accept();
}
