#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testing {

// A real vsftpd on a loopback port serving a folder read-only to anonymous
// users, in passive mode on a loopback port range picked per run. It runs in
// the foreground as a child of the test and is killed, with its sessions,
// when the fixture goes.
//
// As root the server chroots anonymous users into the folder, so it is the
// server's "/"; the folder is then made readable (not writable) for the
// anonymous account. As any other user vsftpd cannot chroot and the folder
// is reached by its absolute path: url() hides the difference.
class VsftpdFixture {
public:
    static constexpr auto kProgram = "/usr/sbin/vsftpd";

    explicit VsftpdFixture(const QString &anonRoot);
    ~VsftpdFixture();
    VsftpdFixture(const VsftpdFixture &) = delete;
    VsftpdFixture &operator=(const VsftpdFixture &) = delete;

    static bool installed();

    // Bytes per second for each transfer (0: no limit); set before start().
    void setMaxRate(int bytesPerSecond) { maxRate_ = bytesPerSecond; }
    // Starts the server and waits (bounded) for its "220" greeting.
    bool start();
    QString error() const { return error_; }

    quint16 port() const { return port_; }
    // True when the folder is the server's root directory.
    bool chrooted() const { return chrooted_; }
    // "ftp://127.0.0.1:PORT/" + the path under which the server shows
    // relativePath of the folder.
    QString url(const QString &relativePath) const;
    // The server's log: every command received ("FTP command: ... "REST 400000"").
    QString protocolLog() const;

private:
    bool startOnce();
    bool prepareAsRoot();
    bool waitForGreeting(int timeoutMs);
    void stop();

    QString anonRoot_;
    QTemporaryDir configDir_;
    QProcess process_;
    quint16 port_ = 0;
    bool chrooted_ = false;
    int maxRate_ = 0;
    QString error_;
};

} // namespace testing
