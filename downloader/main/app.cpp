#include "main/app.h"

#include "core/command_line.h"
#include "core/program_folder.h"
#include "core/tls_config.h"
#include "log/log_append.h"
#include "main/mainwindow.h"
#include "main/native_host.h"
#include "main/splash.h"
#include "platform/desktop_notices.h"
#include "platform/hand_off.h"
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

#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {
void print(std::FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// Help and version need no display: they are answered before the toolkit starts.
std::optional<int> answeredBeforeStart(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(arguments);
    if (line.action == CommandLine::Action::Help) {
        print(stdout, helpText());
        return 0;
    }
    if (line.action == CommandLine::Action::Version) {
        print(stdout, versionText(QStringLiteral(TANDREL_VERSION)));
        return 0;
    }
    if (line.action == CommandLine::Action::Host)
        return runNativeHost(argc, argv);
    if (line.action == CommandLine::Action::RegisterBrowser)
        return runBrowserRegistration(argc, argv);
    return std::nullopt;
}
} // namespace

int runTandrel(int argc, char *argv[])
{
    if (const std::optional<int> answered = answeredBeforeStart(argc, argv))
        return *answered;
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

    // The toolkit has taken its own options out by now.
    const CommandLine line = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (line.action == CommandLine::Action::Refused) {
        print(stderr, line.error + u'\n');
        return 2;
    }
    const platform::SingleInstance instance(platform::programFolder());
    if (!instance.first()) {
        // The copy already running for this folder takes the addresses.
        if (!line.handsSomething())
            return 0;
        QString error;
        if (platform::sendHandOff(platform::programFolder(), encodeHandOff(line), &error))
            return 0;
        print(stderr, u"No se han podido entregar las direcciones al programa abierto: "_s + error + u'\n');
        return 1;
    }
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
    platform::HandOffServer handOff(kMaxHandOffBytes);
    QObject::connect(&handOff, &platform::HandOffServer::received, &handOff, [](const QByteArray &message) {
        const HandOff h = decodeHandOff(message);
        if (!h.error.isEmpty())
            appendLog(u"\r\nSe ha descartado un mensaje de otra copia del programa: "_s + h.error, 0x0000FF);
        else if (MainWindow::instance() && !platform::programEnding())
            MainWindow::instance()->takeHandOff(h.addresses, h.listFile);
    });
    // The browser's host waits for the answer to each download it hands over.
    handOff.setAnswerer([](const QByteArray &message) {
        const HandOff h = decodeHandOff(message);
        if (!h.error.isEmpty()) {
            appendLog(u"\r\nSe ha descartado un mensaje del navegador: "_s + h.error, 0x0000FF);
            return encodeHandOffAnswers({{QString(), false, u"Tandrel ha descartado el mensaje: "_s + h.error}});
        }
        MainWindow *w = MainWindow::instance();
        if (!w || platform::programEnding())
            return encodeHandOffAnswers({{QString(), false, u"Tandrel se está cerrando."_s}});
        w->takeHandOff(h.addresses, h.listFile);
        return encodeHandOffAnswers(w->takeBrowserDownloads(h.downloads));
    });
    QObject::connect(&handOff, &platform::HandOffServer::dropped, &handOff, [](const QString &why) {
        appendLog(u"\r\nSe ha descartado "_s + why + u" en el canal de otras copias del programa."_s, 0x0000FF);
    });
    // Notices the user would not see go to the desktop as well.
    platform::desktopNotices().setWanted([] {
        const MainWindow *w = MainWindow::instance();
        return w && (!w->isVisible() || w->isMinimized());
    });
    splash start([&window, probe, &line, &handOff] {
        window = std::make_unique<MainWindow>();
        bool failed = false;
        if (const QString note = platform::dataFolderNote(&failed); !note.isEmpty())
            appendLog(u"\r\n"_s + note, failed ? 0x0000FF : 0);
        if (!platform::programEnding())
            window->show();
        // Listened for once the lists are loaded, so what comes is added to them.
        QString error;
        if (!handOff.listen(platform::programFolder(), &error))
            appendLog(u"\r\nOtra copia del programa no podrá entregar direcciones a esta: "_s + error, 0x0000FF);
        if (line.handsSomething())
            QTimer::singleShot(0, window.get(),
                               [w = window.get(), line] { w->takeHandOff(line.addresses, line.listFile); });
        // The start-up ends with the window's first paint, in the next turn.
        if (probe)
            QTimer::singleShot(0, probe, [probe] { probe->startUpDone(); });
    });
    start.show();
    if (platform::programEnding())
        return 0;
    return QApplication::exec();
}
