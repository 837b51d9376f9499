#include "platform/shell.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
class DesktopShell final : public Shell {
public:
    static QUrl target(const QString &pathOrAddress)
    {
        return QFileInfo::exists(pathOrAddress) ? QUrl::fromLocalFile(pathOrAddress)
                                                : QUrl::fromUserInput(pathOrAddress);
    }

    bool open(const QString &pathOrAddress) override { return QDesktopServices::openUrl(target(pathOrAddress)); }

    void openWatched(const QString &pathOrAddress, std::function<void()> failed) override
    {
#ifdef Q_OS_UNIX
        // The desktop's opener says by its exit code whether anything took the
        // document; QDesktopServices only says whether the opener started.
        const QString opener = QStandardPaths::findExecutable(u"xdg-open"_s);
        if (!opener.isEmpty()) {
            auto *process = new QProcess; // no parent: a program it opens must outlive ours
            process->setStandardOutputFile(QProcess::nullDevice());
            process->setStandardErrorFile(QProcess::nullDevice());
            QElapsedTimer started;
            started.start();
            QObject::connect(process, &QProcess::finished, process,
                             [process, failed, started](int code, QProcess::ExitStatus status) {
                                 // A viewer it waited on may end any way, long after.
                                 constexpr qint64 kGaveUpMs = 15000;
                                 if ((status != QProcess::NormalExit || code != 0) && started.elapsed() < kGaveUpMs)
                                     failed();
                                 process->deleteLater();
                             });
            QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return;
                failed();
                process->deleteLater();
            });
            process->start(opener, {target(pathOrAddress).toString()});
            return;
        }
#endif
        if (!open(pathOrAddress))
            failed();
    }

    bool start(const QString &program, const QStringList &arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }

    bool powerOff() override
    {
#ifdef Q_OS_WIN
        return QProcess::startDetached(u"shutdown"_s, {u"/s"_s, u"/t"_s, u"0"_s});
#else
        return QProcess::startDetached(u"systemctl"_s, {u"poweroff"_s});
#endif
    }
};

Shell *&current()
{
    static Shell *s = nullptr;
    return s;
}
} // namespace

Shell &shell()
{
    static DesktopShell real;
    return current() ? *current() : real;
}

void setShell(Shell *replacement)
{
    current() = replacement;
}

} // namespace platform
