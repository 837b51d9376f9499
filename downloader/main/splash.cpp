#include "main/splash.h"

#include "dialogs/about.h"
#include "platform/termination.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

splash::splash(std::function<void()> done, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(u"splash"_s);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(u"Tandrel"_s, this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    lblVersion_ = new QLabel(versionText(QCoreApplication::applicationVersion()), this);
    lblVersion_->setObjectName(u"lblVersion"_s);
    SO_ = new QLabel(systemText(), this);
    SO_->setObjectName(u"SO"_s);
    layout->addWidget(lblVersion_);
    layout->addWidget(SO_);
    SO_->setWordWrap(true);
    setFixedSize(420, 200);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto *timer = new QTimer(this);
    timer->setObjectName(u"timer"_s);
    timer->setSingleShot(true);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this, done] {
        hide();
        if (!platform::programEnding())
            done();
    });
    timer->start();
}

splash::~splash() = default;

QString splash::versionText(const QString &version)
{
    return u"Versión "_s + about::versionText(version);
}

QString splash::systemText()
{
#ifdef Q_OS_WIN
    return u"Versión de Windows: "_s + QSysInfo::productVersion();
#else
    QString kernel = QSysInfo::kernelType();
    if (!kernel.isEmpty())
        kernel[0] = kernel.at(0).toUpper();
    return u"Versión de "_s + kernel + u": "_s + QSysInfo::kernelVersion() + u"\n"_s + QSysInfo::prettyProductName();
#endif
}
