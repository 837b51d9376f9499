#include "main/app.h"

#include "core/program_folder.h"
#include "core/tls_config.h"
#include "main/mainwindow.h"
#include "main/splash.h"
#include "platform/icons.h"
#include "platform/loop_probe.h"
#include "platform/single_instance.h"
#include "platform/termination.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSslCertificate>
#include <QTimer>
#include <QTranslator>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

int runTandrel(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // The browser's sandbox refuses to run for root; the program must still start.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    // The browser shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Tandrel"_s);
    QApplication::setApplicationVersion(QStringLiteral(TANDREL_VERSION));
    // Every window, the start window and the tray show our icon, not the toolkit's.
    QApplication::setWindowIcon(platform::programIcon());
    // Closing the last window must not end the program behind the orderly end.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own dialogs (files, input, standard buttons) speak the program's
    // language when Debian's translations are installed; dates and file types
    // in them follow the default locale. Figures keep the system's separator.
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    QLocale::setDefault(spanish);
    QTranslator qtSpanish;
    if (qtSpanish.load(spanish, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtSpanish);

    const platform::SingleInstance instance(platform::programFolder());
    if (!instance.first())
        return 0;
    // An authority the user trusts beyond the system's, named the way
    // OpenSSL's own tools and curl take it.
    if (const QString extra = qEnvironmentVariable("SSL_CERT_FILE"); !extra.isEmpty())
        setExtraTrustedCertificates(QSslCertificate::fromPath(extra));

    // Off unless asked for: how long the window thread goes without looking at its events.
    platform::LoopProbe *probe = platform::LoopProbe::startIfWanted(&app);

    std::unique_ptr<MainWindow> window;
    platform::handleTerminationSignals([] {
        if (MainWindow::instance())
            MainWindow::instance()->CallUnload();
        else
            platform::leaveEventLoops(0);
    });
    splash start([&window, probe] {
        window = std::make_unique<MainWindow>();
        if (!platform::programEnding())
            window->show();
        // The start-up ends with the window's first paint, in the next turn.
        if (probe)
            QTimer::singleShot(0, probe, [probe] { probe->startUpDone(); });
    });
    start.show();
    if (platform::programEnding())
        return 0;
    return QApplication::exec();
}
