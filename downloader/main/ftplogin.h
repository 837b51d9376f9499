#pragma once

#include "core/login_hooks.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The FTP login: user name, password and whether to keep them for
// reconnections. Asked when an FTP address is added and when a server
// refuses the login.
class ftplogin : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ftplogin)
public:
    explicit ftplogin(QWidget *parent = nullptr);
    ~ftplogin() override;

    QString username() const;
    void setUsername(const QString &text);
    QString password() const;
    void setPassword(const QString &text);
    bool remember() const;
    void setRemember(bool value);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *username_ = nullptr;
    QLineEdit *password_ = nullptr;
    QCheckBox *remember_ = nullptr;
    QPushButton *aceptar_ = nullptr;
};

// The engine's login questions, answered with this dialog.
class FtpLoginPrompt final : public LoginHooks {
public:
    Login askLogin(const QString &caption, const Login &shown) override;
};
