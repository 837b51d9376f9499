#include "platform/termination.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace platform {
namespace {
bool &ending()
{
    static bool flag = false;
    return flag;
}
} // namespace

bool programEnding()
{
    return ending();
}

void setProgramEnding()
{
    ending() = true;
}

void leaveEventLoops(int code)
{
    setProgramEnding();
    // A modal box runs a loop of its own; hiding it ends that loop.
    for (int guard = 0; guard < 64; ++guard) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        modal->hide();
    }
    QCoreApplication::exit(code);
}

#ifdef Q_OS_UNIX
namespace {
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void onSignalRaised(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}
} // namespace

void handleTerminationSignals(std::function<void()> onSignal)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, onSignal] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onSignalRaised;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}
#else
void handleTerminationSignals(std::function<void()>) {}
#endif

} // namespace platform
