#include "main/app.h"

#include "main/mainwindow.h"
#include "settings/cfg.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int runTandrel(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Tandrel"_s);
    MainWindow window;
    window.show();
    return QApplication::exec();
}
