// A real Chromium, headless, with a copy of the extension that allows the
// test hook: a page served by nginx opens a session (a cookie), asks the
// extension to hand its link over, and the running program downloads the
// file with the page's cookie and address on every request.
#include "core/settings_file.h"
#include "file_digest.h"
#include "nginx_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 kFileSize = 3 * 1024 * 1024 + 17; // past the size shared between connections
constexpr int kAnswerMs = 40000;
// The Chromium ID that manifest.json's key gives the extension.
constexpr auto kExtensionId = "gokdmdecklnoemkkdgnhhocmglbioaic";

QString builtProgram()
{
    return QString::fromUtf8(TANDREL_DOWNLOADER_PATH);
}

// The page opens the session by being fetched from /sesion/; it reports the
// extension's answer, or that none came, as a request nginx logs.
const char kPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Sesión</title></head><body>
<a id="enlace" href="/fichero.bin">fichero</a>
<script>
"use strict";
let contestada = false;
function contar(texto) { fetch("/respuesta?" + encodeURIComponent(texto)).catch(() => {}); }
window.addEventListener("message", (e) => {
    if (e.source !== window || !e.data || e.data.tipo !== "tandrel-respuesta")
        return;
    contestada = true;
    contar(JSON.stringify(e.data.respuesta));
});
window.addEventListener("load", () => {
    setTimeout(() => window.postMessage(
        {tipo: "tandrel-prueba", enlace: document.getElementById("enlace").href}, "*"), 1000);
    setTimeout(() => { if (!contestada) contar("sin-respuesta"); }, 20000);
});
</script></body></html>
)";

// Lines of nginx's session log ("URI|STATUS|Cookie|Referer|Set-Cookie")
// whose address starts with prefix.
QList<QStringList> sessionLines(const QString &log, const QString &prefix)
{
    QList<QStringList> lines;
    for (const QString &line : log.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'|');
        if (fields.size() == 5 && fields[0].startsWith(prefix))
            lines.append(fields);
    }
    return lines;
}

// Processes whose command line names something under folder: everything
// this test started there, Chromium's helpers and the host included.
QList<pid_t> processesUnder(const QString &folder)
{
    QList<pid_t> pids;
    const QByteArray needle = folder.toLocal8Bit();
    for (const QString &name : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = name.toInt(&number);
        if (!number || pid == getpid())
            continue;
        QFile cmdline(u"/proc/"_s + name + u"/cmdline"_s);
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle))
            pids.append(pid);
    }
    return pids;
}
} // namespace

class TstBrowserE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void browserHandsOverWithItsSession();

private:
    void prepareProgram();
    void startBrowser(const QString &page);
    QString whyNoAnswer() const;
    void endEverything();

    QTemporaryDir work_;
    QString served_, program_, home_, extension_;
    testing::NginxFixture nginx_;
    QProcess tandrel_;
    QProcess chromium_;
};

void TstBrowserE2e::initTestCase()
{
    const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
    if (chromium.isEmpty())
        QSKIP("chromium is not installed (Debian's chromium package): no browser to hand a download over");
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(work_.isValid());
    served_ = work_.filePath(u"servido"_s);
    program_ = work_.filePath(u"programa"_s);
    home_ = work_.filePath(u"casa"_s);
    extension_ = work_.filePath(u"extension"_s);
    for (const QString &dir : {QString(served_ + u"/sesion"_s), program_, home_, extension_})
        QVERIFY(QDir().mkpath(dir));
    QVERIFY(testing::writeRandomFile(served_ + u"/fichero.bin"_s, kFileSize, 23));
    QVERIFY(testing::writeFile(served_ + u"/sesion/pagina.html"_s, QByteArray(kPage)));
    QVERIFY2(nginx_.start(served_), qPrintable(nginx_.errorText()));
}

void TstBrowserE2e::cleanupTestCase()
{
    endEverything();
}

void TstBrowserE2e::endEverything()
{
    // Chromium runs in a session of its own: its helpers go with the group.
    if (chromium_.state() != QProcess::NotRunning) {
        ::kill(-pid_t(chromium_.processId()), SIGKILL);
        chromium_.waitForFinished(5000);
    }
    if (tandrel_.state() != QProcess::NotRunning) {
        tandrel_.terminate();
        if (!tandrel_.waitForFinished(10000)) {
            tandrel_.kill();
            tandrel_.waitForFinished(5000);
        }
    }
    // The native host is put in a group of its own by the browser; it and
    // any stray helper still name the test's folder.
    if (work_.isValid()) {
        for (const pid_t pid : processesUnder(work_.path()))
            ::kill(pid, SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(processesUnder(work_.path()).isEmpty(), 5000);
    }
    nginx_.stop();
}

void TstBrowserE2e::prepareProgram()
{
    const QFileInfo built(builtProgram());
    for (const QString &name : {u"downloader"_s, u"libprogreso.so"_s, u"libPindle.so"_s})
        QVERIFY(QFile::copy(built.absolutePath() + u'/' + name, program_ + u'/' + name));
    SettingsValues settings = defaultSettings(program_);
    settings.wavs = false;
    QVERIFY(testing::writeFile(program_ + u"/tandrel.ini"_s, encodeSettings(settings)));

    // The extension as shipped, plus the file that turns the test hook on.
    QDirIterator files(QString::fromUtf8(TANDREL_EXTENSION_DIR), QDir::Files);
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        QVERIFY(QFile::copy(file.filePath(), extension_ + u'/' + file.fileName()));
    }
    QVERIFY(testing::writeFile(extension_ + u"/prueba.json"_s, "{\"activo\": true}\n"));
}

void TstBrowserE2e::startBrowser(const QString &page)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home_);
    chromium_.setProcessEnvironment(env);
    chromium_.setStandardOutputFile(work_.filePath(u"chromium.out"_s));
    chromium_.setStandardErrorFile(work_.filePath(u"chromium.err"_s));
    chromium_.setChildProcessModifier([] {
        setsid();
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    // Per-user host manifests are looked for under the profile folder, which
    // is where --registrar-navegador writes them.
    chromium_.start(QStandardPaths::findExecutable(u"chromium"_s),
                    {u"--headless=new"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--no-first-run"_s,
                     u"--no-default-browser-check"_s, u"--user-data-dir="_s + home_ + u"/.config/chromium"_s,
                     u"--load-extension="_s + extension_, u"--disable-extensions-except="_s + extension_, page});
    QVERIFY2(chromium_.waitForStarted(10000), qPrintable(chromium_.errorString()));
}

// Said when the page got no answer: whether the browser took the extension
// at all, from the profile it wrote.
QString TstBrowserE2e::whyNoAnswer() const
{
    QString preferences;
    for (const QString &name : {u"Preferences"_s, u"Secure Preferences"_s})
        preferences += QString::fromUtf8(testing::readFile(home_ + u"/.config/chromium/Default/"_s + name));
    const QString errors = QString::fromLocal8Bit(testing::readFile(work_.filePath(u"chromium.err"_s))).right(1500);
    if (!preferences.contains(QString::fromLatin1(kExtensionId)))
        return u"headless Chromium here did not load the unpacked extension (its id is not in the profile's "
               "preferences, so --load-extension was ignored or refused); Chromium said:\n"_s
               + errors;
    return QString();
}

void TstBrowserE2e::browserHandsOverWithItsSession()
{
    prepareProgram();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home_);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);

    QProcess registration;
    registration.setProcessEnvironment(env);
    registration.start(program_ + u"/downloader"_s, {u"--registrar-navegador"_s});
    QVERIFY(registration.waitForFinished(10000));
    QVERIFY2(registration.exitCode() == 0, registration.readAllStandardError().constData());
    QVERIFY(QFile::exists(home_ + u"/.config/chromium/NativeMessagingHosts/org.tandrel.tandrel.json"_s));

    tandrel_.setProcessEnvironment(env);
    tandrel_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tandrel_.setWorkingDirectory(work_.path());
    tandrel_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    tandrel_.start(program_ + u"/downloader"_s, {});
    QVERIFY2(tandrel_.waitForStarted(10000), qPrintable(tandrel_.errorString()));
    // It listens for hand-offs once its lists are loaded; the log is on disk by then.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(program_ + u"/historial.rtf"_s), 15000);

    const QString page = nginx_.url(u"sesion/pagina.html"_s);
    startBrowser(page);

    QElapsedTimer clock;
    clock.start();
    QList<QStringList> answers;
    while (answers.isEmpty() && clock.elapsed() < kAnswerMs && chromium_.state() != QProcess::NotRunning) {
        QTest::qWait(250);
        answers = sessionLines(nginx_.sessionLog(), u"/respuesta?"_s);
    }
    const QString answer =
        answers.isEmpty() ? QString() : QUrl::fromPercentEncoding(answers.first()[0].mid(11).toLatin1());
    if (answer.isEmpty() || answer == u"sin-respuesta"_s) {
        const QString why = whyNoAnswer();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QFAIL(qPrintable(u"the extension never answered the page; nginx saw:\n"_s + nginx_.sessionLog()));
    }
    QVERIFY2(answer.contains(u"\"aceptada\":true"_s), qPrintable(answer));

    // The session the page was given.
    const QList<QStringList> pages = sessionLines(nginx_.sessionLog(), u"/sesion/pagina.html"_s);
    QVERIFY(!pages.isEmpty());
    const QString setCookie = pages.first()[4];
    const QRegularExpressionMatch cookie = QRegularExpression(u"^(sesion=[0-9a-f]+);"_s).match(setCookie);
    QVERIFY2(cookie.hasMatch(), qPrintable(setCookie));

    const QString target = program_ + u"/download/fichero.bin"_s;
    const QByteArray source = testing::sha256OfFile(served_ + u"/fichero.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(testing::sha256OfFile(target) == source, 30000);

    // Every request of the file, on whichever connection, carried the page's
    // cookie and address.
    const QString log = nginx_.sessionLog();
    const QList<QStringList> requests = sessionLines(log, u"/fichero.bin"_s);
    QVERIFY2(!requests.isEmpty(), qPrintable(log));
    for (const QStringList &r : requests) {
        QVERIFY2(r[2] == cookie.captured(1), qPrintable(log));
        QVERIFY2(r[3] == page, qPrintable(log));
    }
    // Kept in memory only: nothing of the session reaches the program's files.
    const QByteArray secret = cookie.captured(1).toLatin1();
    for (const QString &name : QDir(program_).entryList(QDir::Files)) {
        if (name.endsWith(u".so"_s) || name == u"downloader"_s)
            continue;
        QVERIFY2(!testing::readFile(program_ + u'/' + name).contains(secret), qPrintable(name));
    }
    endEverything();
}

QTEST_MAIN(TstBrowserE2e)
#include "tst_browser_e2e.moc"
