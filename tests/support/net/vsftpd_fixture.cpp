#include "vsftpd_fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace testing {

namespace {

constexpr int kGreetingTimeoutMs = 8000;
constexpr int kAttempts = 3;
constexpr int kPassiveLow = 40000;
constexpr int kPassiveHigh = 60000;
constexpr int kPassiveWidth = 20;
// vsftpd's own empty directory for its unprivileged processes.
constexpr auto kSecureChrootDir = "/var/run/vsftpd/empty";

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString userName(uid_t uid)
{
    const passwd *pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

bool userExists(const char *name)
{
    return ::getpwnam(name) != nullptr;
}

} // namespace

VsftpdFixture::VsftpdFixture(const QString &anonRoot) : anonRoot_(QDir(anonRoot).absolutePath())
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so the sessions it forks die with it; and it
    // dies with the test, should the test crash before cleaning up.
    process_.setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
}

VsftpdFixture::~VsftpdFixture()
{
    stop();
}

bool VsftpdFixture::installed()
{
    return QFileInfo(QString::fromLatin1(kProgram)).isExecutable();
}

bool VsftpdFixture::start()
{
    if (!installed()) {
        error_ = u"vsftpd is not installed"_s;
        return false;
    }
    if (!configDir_.isValid()) {
        error_ = u"no temporary folder for the configuration"_s;
        return false;
    }
    chrooted_ = ::geteuid() == 0;
    if (chrooted_ && !prepareAsRoot())
        return false;
    // A port found free may be taken before vsftpd binds it: try again.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (startOnce())
            return true;
        stop();
    }
    return false;
}

// As root vsftpd drops to its unprivileged accounts and chroots anonymous
// sessions: it needs its empty directory, and refuses a root the anonymous
// account could write to, while that account must be able to read it.
bool VsftpdFixture::prepareAsRoot()
{
    if (!QDir().mkpath(QString::fromLatin1(kSecureChrootDir))) {
        error_ = u"cannot create "_s + QString::fromLatin1(kSecureChrootDir);
        return false;
    }
    const auto dirPerms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                          | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                          | QFileDevice::ExeOther;
    if (!QFile::setPermissions(anonRoot_, dirPerms)) {
        error_ = u"cannot set the permissions of "_s + anonRoot_;
        return false;
    }
    QDirIterator it(anonRoot_, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isDir())
            QFile::setPermissions(info.filePath(), dirPerms);
        else
            QFile::setPermissions(info.filePath(),
                                  info.permissions() | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    return true;
}

bool VsftpdFixture::startOnce()
{
    port_ = freeLoopbackPort();
    if (port_ == 0) {
        error_ = u"no free loopback port"_s;
        return false;
    }
    const int pasvMin = int(QRandomGenerator::global()->bounded(kPassiveLow, kPassiveHigh - kPassiveWidth));

    QStringList lines{
        u"listen=YES"_s,
        u"listen_ipv6=NO"_s,
        u"background=NO"_s,
        u"listen_address=127.0.0.1"_s,
        u"listen_port=%1"_s.arg(port_),
        u"anonymous_enable=YES"_s,
        u"anon_root=%1"_s.arg(anonRoot_),
        u"anon_world_readable_only=NO"_s,
        u"local_enable=NO"_s,
        u"write_enable=NO"_s,
        u"pasv_enable=YES"_s,
        u"pasv_min_port=%1"_s.arg(pasvMin),
        u"pasv_max_port=%1"_s.arg(pasvMin + kPassiveWidth - 1),
        u"pasv_address=127.0.0.1"_s,
        u"connect_from_port_20=NO"_s,
        u"seccomp_sandbox=NO"_s,
        u"isolate=NO"_s,
        u"isolate_network=NO"_s,
        // The commands each session received, for tests that check them.
        u"log_ftp_protocol=YES"_s,
        u"xferlog_enable=YES"_s,
        u"xferlog_std_format=NO"_s,
        u"vsftpd_log_file=%1"_s.arg(configDir_.filePath(u"vsftpd.log"_s)),
        u"dirmessage_enable=NO"_s,
    };
    if (maxRate_ > 0)
        lines << u"anon_max_rate=%1"_s.arg(maxRate_);
    if (chrooted_) {
        lines << u"secure_chroot_dir=%1"_s.arg(QString::fromLatin1(kSecureChrootDir))
              << u"ftp_username=%1"_s.arg(userExists("ftp") ? u"ftp"_s : u"nobody"_s) << u"nopriv_user=nobody"_s;
    } else {
        // Without root there is nobody to switch to: the sessions run as us.
        lines << u"run_as_launching_user=YES"_s << u"ftp_username=%1"_s.arg(userName(::geteuid()));
    }

    const QString config = configDir_.filePath(u"vsftpd.conf"_s);
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(lines.join(u'\n').toLocal8Bit() + '\n') < 0) {
        error_ = u"cannot write "_s + config;
        return false;
    }
    file.close();

    process_.start(QString::fromLatin1(kProgram), {config});
    if (!process_.waitForStarted(3000)) {
        error_ = u"vsftpd did not start: "_s + process_.errorString();
        return false;
    }
    return waitForGreeting(kGreetingTimeoutMs);
}

bool VsftpdFixture::waitForGreeting(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (process_.state() != QProcess::Running) {
            error_ = u"vsftpd ended: "_s + QString::fromLocal8Bit(process_.readAll());
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(200)) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(1000))
                greeting += probe.readAll();
            probe.abort();
            if (greeting.startsWith("220"))
                return true;
            error_ = u"unexpected greeting: "_s + QString::fromLatin1(greeting);
            return false;
        }
        QThread::msleep(50);
    }
    error_ = u"vsftpd did not answer on port %1"_s.arg(port_);
    return false;
}

void VsftpdFixture::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    const qint64 pid = process_.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process_.kill();
    process_.waitForFinished(3000);
}

QString VsftpdFixture::protocolLog() const
{
    QFile file(configDir_.filePath(u"vsftpd.log"_s));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString VsftpdFixture::url(const QString &relativePath) const
{
    const QString base = u"ftp://127.0.0.1:%1"_s.arg(port_);
    if (chrooted_)
        return base + u'/' + relativePath;
    return base + anonRoot_ + u'/' + relativePath;
}

} // namespace testing
