#pragma once

#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testing {

// A certificate authority of our own, made with Debian's openssl in a
// temporary folder, that issues server certificates for loopback servers.
// The engine is told to trust it through setExtraTrustedCertificates().
class TestAuthority {
public:
    static constexpr const char *kBinary = "/usr/bin/openssl";

    TestAuthority();
    TestAuthority(const TestAuthority &) = delete;
    TestAuthority &operator=(const TestAuthority &) = delete;

    // Makes the authority's key and certificate; false with errorText().
    bool create();
    QSslCertificate certificate() const;

    // Issues "name.pem" and "name.key" for the given subject alternative
    // names ("DNS:localhost", "IP:127.0.0.1"). Dates are openssl's
    // YYYYMMDDHHMMSSZ; empty means valid from now for a month.
    bool issue(const QString &name, const QStringList &altNames, const QString &notBefore = {},
               const QString &notAfter = {});
    QString certificateFile(const QString &name) const;
    QString keyFile(const QString &name) const;
    QString errorText() const { return error_; }

private:
    bool run(const QStringList &arguments);
    bool write(const QString &name, const QByteArray &text);

    QTemporaryDir dir_;
    QString error_;
};

} // namespace testing
