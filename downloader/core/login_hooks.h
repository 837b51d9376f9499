#pragma once

#include <QString>

// How the engine asks the user for FTP credentials; the main window supplies
// the dialog, so the engine needs no window of its own for it.
class LoginHooks {
public:
    struct Login {
        QString user;
        QString password;
        bool remember = false;
    };
    virtual ~LoginHooks() = default;
    // Shows the login dialog filled with `shown`; an empty caption keeps the
    // dialog's own. Returns what the user left in it.
    virtual Login askLogin(const QString &caption, const Login &shown) = 0;
};
