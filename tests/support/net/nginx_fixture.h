#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace testing {

// A real nginx on 127.0.0.1 and a free port, serving one folder with byte
// ranges; "/go?to=ADDRESS" answers with a redirect to ADDRESS, and "/sesion/NAME"
// sets a cookie. Its configuration, logs, pid and temp folders live in a
// temporary folder; the server is stopped when the fixture goes.
class NginxFixture {
public:
    static constexpr const char *kBinary = "/usr/sbin/nginx";

    NginxFixture();
    ~NginxFixture();
    NginxFixture(const NginxFixture &) = delete;
    NginxFixture &operator=(const NginxFixture &) = delete;

    // Serves https with this certificate and key from the next start() on.
    void setTls(const QString &certificateFile, const QString &keyFile);

    // Starts serving rootFolder; false with errorText() when it did not come up
    // within about ten seconds (or the binary is missing).
    bool start(const QString &rootFolder);
    void stop();
    bool isRunning() const;

    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT/name", or "https://localhost:PORT/name" with TLS
    // (a name the certificate can carry).
    QString url(const QString &name) const;
    QString errorText() const { return error_; }
    // The server's own error log, for failure messages.
    QString errorLog() const;
    QString accessLog() const;
    // One line a request: "URI|STATUS|Cookie|Referer|Set-Cookie sent", each
    // "-" when missing.
    QString sessionLog() const;

private:
    bool startOnce(const QString &rootFolder, quint16 port);
    QString configText(const QString &rootFolder, quint16 port) const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    QString error_;
    QString certificate_;
    QString key_;
};

} // namespace testing
