#include "main/ftplogin.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TstFtpLogin : public QObject {
    Q_OBJECT

private slots:
    void startsWithTheAnonymousLogin();
    void focusSelectsTheWholeText_data();
    void focusSelectsTheWholeText();
    void aceptarAcceptsWithTheTypedValues();
};

void TstFtpLogin::startsWithTheAnonymousLogin()
{
    ftplogin dialog;
    QCOMPARE(dialog.objectName(), u"ftplogin"_s);
    QCOMPARE(dialog.windowTitle(), u"Usuario/Contraseña"_s);
    QCOMPARE(dialog.username(), u"anonymous"_s);
    QCOMPARE(dialog.password(), u"guestpw"_s);
    QVERIFY(!dialog.remember());
    auto *password = dialog.findChild<QLineEdit *>(u"password"_s);
    QVERIFY(password);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
}

void TstFtpLogin::focusSelectsTheWholeText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("reason");
    QTest::newRow("user name, mouse") << u"username"_s << int(Qt::MouseFocusReason);
    QTest::newRow("password, mouse") << u"password"_s << int(Qt::MouseFocusReason);
    QTest::newRow("user name, other") << u"username"_s << int(Qt::OtherFocusReason);
}

void TstFtpLogin::focusSelectsTheWholeText()
{
    QFETCH(QString, field);
    QFETCH(int, reason);
    ftplogin dialog;
    dialog.setUsername(u"someone"_s);
    auto *edit = dialog.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->deselect();
    QFocusEvent focus(QEvent::FocusIn, Qt::FocusReason(reason));
    QCoreApplication::sendEvent(edit, &focus);
    QTRY_COMPARE(edit->selectedText(), edit->text());
    QVERIFY(!edit->text().isEmpty());
}

void TstFtpLogin::aceptarAcceptsWithTheTypedValues()
{
    ftplogin dialog;
    dialog.setUsername(u"ana"_s);
    dialog.setPassword(u"secreto"_s);
    dialog.findChild<QCheckBox *>(u"remember"_s)->setChecked(true);
    auto *aceptar = dialog.findChild<QPushButton *>(u"aceptar"_s);
    QVERIFY(aceptar);
    dialog.open();
    aceptar->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.username(), u"ana"_s);
    QCOMPARE(dialog.password(), u"secreto"_s);
    QVERIFY(dialog.remember());
}

QTEST_MAIN(TstFtpLogin)
#include "tst_ftplogin.moc"
