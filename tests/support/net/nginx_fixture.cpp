#include "nginx_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace testing {

namespace {

constexpr int kStartAttempts = 5;
constexpr int kStartTimeoutMs = 10000;

// A port nobody listens on right now; another process may still take it
// before nginx binds, which start() answers by trying again.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A quoted string for nginx's configuration.
QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
    return u'"' + escaped + u'"';
}

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

NginxFixture::NginxFixture() = default;

NginxFixture::~NginxFixture()
{
    stop();
}

void NginxFixture::setTls(const QString &certificateFile, const QString &keyFile)
{
    certificate_ = certificateFile;
    key_ = keyFile;
}

QString NginxFixture::url(const QString &name) const
{
    if (!certificate_.isEmpty())
        return u"https://localhost:"_s + QString::number(port_) + (name.startsWith(u'/') ? name : u'/' + name);
    return u"http://127.0.0.1:"_s + QString::number(port_) + (name.startsWith(u'/') ? name : u'/' + name);
}

QString NginxFixture::errorLog() const
{
    return readText(dir_.filePath(u"error.log"_s));
}

QString NginxFixture::accessLog() const
{
    return readText(dir_.filePath(u"access.log"_s));
}

QString NginxFixture::sessionLog() const
{
    return readText(dir_.filePath(u"sesion.log"_s));
}

bool NginxFixture::isRunning() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

QString NginxFixture::configText(const QString &rootFolder, quint16 port) const
{
    const auto path = [this](const QString &name) { return quoted(dir_.filePath(name)); };
    QString user;
    if (geteuid() == 0) {
        // As root nginx would hand its work to "nobody", who cannot read a
        // private temporary folder; keep it under the current user.
        const passwd *pw = getpwuid(geteuid());
        const group *gr = getgrgid(getegid());
        if (pw && gr)
            user = u"user "_s + QString::fromLocal8Bit(pw->pw_name) + u' ' + QString::fromLocal8Bit(gr->gr_name)
                   + u";\n"_s;
    }
    const QString tls = certificate_.isEmpty() ? QString()
                                               : u" ssl;\n        ssl_certificate "_s + quoted(certificate_)
                                                     + u";\n        ssl_certificate_key "_s + quoted(key_);
    return user
           + u"daemon off;\n"
             "master_process off;\n"
             "worker_processes 1;\n"
             "pid "_s
           + path(u"nginx.pid"_s)
           + u";\n"
             "error_log "_s
           + path(u"error.log"_s)
           + u" warn;\n"
             "events { worker_connections 256; }\n"
             "http {\n"
             // What a browser's session sent and was given, for the tests of
             // downloads handed over with cookies.
             "    log_format sesion '$request_uri|$status|$http_cookie|$http_referer|$sent_http_set_cookie';\n"
             "    access_log "_s
           + path(u"access.log"_s)
           + u";\n"
             "    access_log "_s
           + path(u"sesion.log"_s)
           + u" sesion;\n"
             "    client_body_temp_path "_s
           + path(u"client_body"_s)
           + u";\n"
             "    proxy_temp_path "_s
           + path(u"proxy"_s)
           + u";\n"
             "    fastcgi_temp_path "_s
           + path(u"fastcgi"_s)
           + u";\n"
             "    uwsgi_temp_path "_s
           + path(u"uwsgi"_s)
           + u";\n"
             "    scgi_temp_path "_s
           + path(u"scgi"_s)
           + u";\n"
             "    default_type application/octet-stream;\n"
             "    sendfile on;\n"
             "    tcp_nopush on;\n"
             "    keepalive_timeout 10;\n"
             "    server {\n"
             "        listen 127.0.0.1:"_s
           + QString::number(port) + tls
           + u";\n"
             "        server_name localhost;\n"
             "        root "_s
           + quoted(QDir(rootFolder).absolutePath())
           + u";\n"
             "        location / { }\n"
             // "/go?to=ADDRESS" redirects there, for tests of redirects.
             "        location = /go { return 302 $arg_to; }\n"
             // "/slow/NAME" serves NAME at 1 MB/s per connection.
             "        location /slow/ { alias "_s
           + quoted(QDir(rootFolder).absolutePath() + u'/')
           + u"; limit_rate 1m; }\n"
             // "/sesion/NAME" serves NAME and opens a session: a cookie new to
             // each answer, sent back for the whole site.
             "        location /sesion/ { add_header Set-Cookie \"sesion=$request_id; Path=/\"; }\n"
             // "/capped/NAME" serves NAME at 2 MB/s per connection, as mirrors do.
             "        location /capped/ { alias "_s
           + quoted(QDir(rootFolder).absolutePath() + u'/')
           + u"; limit_rate 2m; }\n"
             "    }\n"
             "}\n"_s;
}

bool NginxFixture::start(const QString &rootFolder)
{
    stop();
    error_.clear();
    if (!QFileInfo(QString::fromLatin1(kBinary)).isExecutable()) {
        error_ = u"nginx is not installed (%1 is missing); install the nginx-light package"_s.arg(
            QString::fromLatin1(kBinary));
        return false;
    }
    if (!dir_.isValid()) {
        error_ = u"no temporary folder for nginx: "_s + dir_.errorString();
        return false;
    }
    if (!QFileInfo(rootFolder).isDir()) {
        error_ = u"the folder to serve does not exist: "_s + rootFolder;
        return false;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const quint16 port = freePort();
        if (port != 0 && startOnce(rootFolder, port))
            return true;
    }
    return false;
}

bool NginxFixture::startOnce(const QString &rootFolder, quint16 port)
{
    QFile::remove(dir_.filePath(u"nginx.pid"_s));
    QFile::remove(dir_.filePath(u"error.log"_s));
    QFile conf(dir_.filePath(u"nginx.conf"_s));
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || conf.write(configText(rootFolder, port).toUtf8()) < 0) {
        error_ = u"cannot write the nginx configuration: "_s + conf.errorString();
        return false;
    }
    conf.close();

    process_ = std::make_unique<QProcess>();
    process_->setStandardOutputFile(dir_.filePath(u"stdout.log"_s));
    process_->setStandardErrorFile(dir_.filePath(u"stderr.log"_s));
    // A test that crashes or is killed on a timeout takes its nginx along.
    process_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_->start(QString::fromLatin1(kBinary),
                    {u"-p"_s, dir_.path() + u'/', u"-c"_s, conf.fileName(), u"-e"_s, dir_.filePath(u"error.log"_s)});
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        error_ = u"nginx did not start: "_s + process_->errorString();
        process_.reset();
        return false;
    }

    // The pid file is written after the listening socket is bound, so it
    // tells our nginx apart from anything else that took the same port.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartTimeoutMs) {
        if (process_->state() == QProcess::NotRunning)
            break;
        if (QFile::exists(dir_.filePath(u"nginx.pid"_s))) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(500) && process_->state() != QProcess::NotRunning) {
                probe.abort();
                port_ = port;
                return true;
            }
        }
        process_->waitForFinished(50);
    }
    error_ = u"nginx did not come up on port %1: "_s.arg(port) + errorLog().trimmed() + u' '
             + readText(dir_.filePath(u"stderr.log"_s)).trimmed();
    stop();
    return false;
}

void NginxFixture::stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate(); // nginx's fast shutdown
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
    process_.reset();
    port_ = 0;
}

} // namespace testing
