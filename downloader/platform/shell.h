#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

// What the program asks of the desktop: open a document, start a program,
// switch the computer off.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a file, folder or address with the desktop's handler.
    virtual bool open(const QString &pathOrAddress) = 0;
    // As open, and failed() runs, now or within seconds, when the desktop had
    // nothing to open it with (its opener ran and gave up).
    virtual void openWatched(const QString &pathOrAddress, std::function<void()> failed)
    {
        if (!open(pathOrAddress))
            failed();
    }
    // Starts a program with an argument list, never through a command interpreter.
    virtual bool start(const QString &program, const QStringList &arguments) = 0;
    virtual bool powerOff() = 0;
};

Shell &shell();
void setShell(Shell *replacement);

} // namespace platform
