#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// What the program asks of the desktop: open a document, start a program,
// switch the computer off.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a file, folder or address with the desktop's handler.
    virtual bool open(const QString &pathOrAddress) = 0;
    // Starts a program with an argument list, never through a command interpreter.
    virtual bool start(const QString &program, const QStringList &arguments) = 0;
    virtual bool powerOff() = 0;
};

Shell &shell();
void setShell(Shell *replacement);

} // namespace platform
