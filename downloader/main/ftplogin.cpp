#include "main/ftplogin.h"

#include "platform/prompts.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ftplogin::ftplogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"ftplogin"_s);
    setWindowTitle(u"Usuario/Contraseña"_s);

    username_ = new QLineEdit(u"anonymous"_s, this);
    username_->setObjectName(u"username"_s);
    password_ = new QLineEdit(u"guestpw"_s, this);
    password_->setObjectName(u"password"_s);
    password_->setEchoMode(QLineEdit::Password);
    remember_ = new QCheckBox(u"Recordar nombre de usuario y contraseña al reconectar"_s, this);
    remember_->setObjectName(u"remember"_s);
    aceptar_ = new QPushButton(u"&Aceptar"_s, this);
    aceptar_->setObjectName(u"aceptar"_s);
    aceptar_->setDefault(true);

    auto *userLabel = new QLabel(u"&Usuario:"_s, this);
    userLabel->setBuddy(username_);
    auto *passLabel = new QLabel(u"&Contraseña:"_s, this);
    passLabel->setBuddy(password_);

    auto *form = new QFormLayout;
    form->addRow(userLabel, username_);
    form->addRow(passLabel, password_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(aceptar_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(remember_);
    layout->addLayout(buttons);

    username_->installEventFilter(this);
    password_->installEventFilter(this);
    connect(aceptar_, &QPushButton::clicked, this, &QDialog::accept);
}

ftplogin::~ftplogin() = default;

QString ftplogin::username() const
{
    return username_->text();
}

void ftplogin::setUsername(const QString &text)
{
    username_->setText(text);
}

QString ftplogin::password() const
{
    return password_->text();
}

void ftplogin::setPassword(const QString &text)
{
    password_->setText(text);
}

bool ftplogin::remember() const
{
    return remember_->isChecked();
}

void ftplogin::setRemember(bool value)
{
    remember_->setChecked(value);
}

bool ftplogin::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && (watched == username_ || watched == password_)) {
        // Deferred: a mouse click that gives the focus would otherwise
        // place the cursor over the selection right after.
        auto *edit = static_cast<QLineEdit *>(watched);
        QMetaObject::invokeMethod(edit, &QLineEdit::selectAll, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

LoginHooks::Login FtpLoginPrompt::askLogin(const QString &caption, const Login &shown)
{
    ftplogin dialog;
    if (!caption.isEmpty())
        dialog.setWindowTitle(caption);
    dialog.setUsername(shown.user);
    dialog.setPassword(shown.password);
    dialog.setRemember(shown.remember);
    platform::prompts().execDialog(dialog);
    return {dialog.username(), dialog.password(), dialog.remember()};
}
