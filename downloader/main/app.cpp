#include "main/app.h"

#include "engine/activas.h"
#include "main/mainwindow.h"
#include "platform/termination.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int runTandrel(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Tandrel"_s);
    platform::quitOnTerminationSignals();
    MainWindow window;
    // Asked to end by the system rather than by the user: keep the lists too.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.active()->guardar_lista_activas(); });
    window.show();
    return QApplication::exec();
}
