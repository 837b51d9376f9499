#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
class DesktopShell final : public Shell {
public:
    bool open(const QString &pathOrAddress) override
    {
        const QUrl url =
            QFileInfo::exists(pathOrAddress) ? QUrl::fromLocalFile(pathOrAddress) : QUrl::fromUserInput(pathOrAddress);
        return QDesktopServices::openUrl(url);
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
