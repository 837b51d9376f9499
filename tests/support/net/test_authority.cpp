#include "test_authority.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace testing {

namespace {
// Small and quick keys: the tests measure the engine, not key generation.
const QStringList kNewKey = {u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
} // namespace

TestAuthority::TestAuthority() = default;

bool TestAuthority::run(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QString::fromLatin1(kBinary), arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = u"openssl "_s + arguments.join(u' ') + u": "_s + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return false;
    }
    return true;
}

bool TestAuthority::write(const QString &name, const QByteArray &text)
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size()) {
        error_ = u"cannot write "_s + f.fileName();
        return false;
    }
    return true;
}

bool TestAuthority::create()
{
    if (!QFileInfo(QString::fromLatin1(kBinary)).isExecutable()) {
        error_ = u"openssl is not installed"_s;
        return false;
    }
    if (!dir_.isValid()) {
        error_ = dir_.errorString();
        return false;
    }
    const QByteArray d = dir_.path().toUtf8();
    const QByteArray config = "[ca]\ndefault_ca = test\n[test]\ndatabase = " + d + "/index.txt\nnew_certs_dir = " + d
                              + "\nserial = " + d + "/serial\ncertificate = " + d + "/ca.pem\nprivate_key = " + d
                              + "/ca.key\ndefault_md = sha256\npolicy = anything\nunique_subject = no\n"
                                "email_in_dn = no\n[anything]\ncommonName = supplied\n";
    if (!write(u"ca.cnf"_s, config) || !write(u"index.txt"_s, {}) || !write(u"serial"_s, "01\n"))
        return false;
    return run(QStringList{u"req"_s, u"-x509"_s} + kNewKey
               + QStringList{u"-keyout"_s, dir_.filePath(u"ca.key"_s), u"-out"_s, dir_.filePath(u"ca.pem"_s),
                             u"-days"_s, u"30"_s, u"-subj"_s, u"/CN=Tandrel test authority"_s, u"-addext"_s,
                             u"basicConstraints=critical,CA:TRUE"_s, u"-addext"_s,
                             u"keyUsage=critical,keyCertSign,cRLSign"_s});
}

QSslCertificate TestAuthority::certificate() const
{
    const QList<QSslCertificate> list = QSslCertificate::fromPath(dir_.filePath(u"ca.pem"_s));
    return list.isEmpty() ? QSslCertificate() : list.first();
}

QString TestAuthority::certificateFile(const QString &name) const
{
    return dir_.filePath(name + u".pem"_s);
}

QString TestAuthority::keyFile(const QString &name) const
{
    return dir_.filePath(name + u".key"_s);
}

bool TestAuthority::issue(const QString &name, const QStringList &altNames, const QString &notBefore,
                          const QString &notAfter)
{
    const QString extensions = name + u".ext"_s;
    if (!write(extensions,
               "[server]\nbasicConstraints = CA:FALSE\nsubjectAltName = " + altNames.join(u',').toUtf8() + '\n'))
        return false;
    const QString request = dir_.filePath(name + u".csr"_s);
    const QString subject = u"/CN="_s + altNames.value(0).section(u':', 1);
    if (!run(QStringList{u"req"_s, u"-new"_s} + kNewKey
             + QStringList{u"-keyout"_s, keyFile(name), u"-out"_s, request, u"-subj"_s, subject}))
        return false;
    // "openssl ca" is the one that takes explicit dates, past ones included.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto stamp = [](const QDateTime &t) { return t.toString(u"yyyyMMddHHmmss'Z'"_s); };
    return run({u"ca"_s, u"-batch"_s, u"-notext"_s, u"-config"_s, dir_.filePath(u"ca.cnf"_s), u"-startdate"_s,
                notBefore.isEmpty() ? stamp(now.addDays(-1)) : notBefore, u"-enddate"_s,
                notAfter.isEmpty() ? stamp(now.addDays(30)) : notAfter, u"-extfile"_s, dir_.filePath(extensions),
                u"-extensions"_s, u"server"_s, u"-in"_s, request, u"-out"_s, certificateFile(name)});
}

} // namespace testing
