// bench_http [MiB]: downloads one random file from a local nginx with the
// engine and with curl, checks both copies, and prints speed, CPU time and
// the engine's peak memory side by side.

#include "engine/activas.h"
#include "file_digest.h"
#include "nginx_fixture.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "rows/download.h"
#include "settings/cfg.h"
#include "settings/settings_file.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Nothing modal may stop a measurement: questions are answered "No" and
// everything the program would show goes to stderr.
class PrintingPrompts final : public platform::Prompts {
public:
    void message(const QString &text, platform::Icon, const QString &) override { print(u"message"_s, text); }
    bool question(const QString &text, const QString &) override
    {
        print(u"question (answered No)"_s, text);
        return false;
    }
    QString input(const QString &prompt, const QString &, const QString &) override
    {
        print(u"input"_s, prompt);
        return {};
    }
    QString openFile(const QString &name, const QString &, const QString &) override
    {
        print(u"open"_s, name);
        return {};
    }
    QString saveFile(const QString &name, const QString &, const QString &) override
    {
        print(u"save"_s, name);
        return {};
    }
    QString chooseFolder(const QString &start, const QString &) override
    {
        print(u"folder"_s, start);
        return {};
    }
    int execDialog(QDialog &) override { return 0; }
    void notice(const QString &text, const QString &) override { print(u"notice"_s, text); }

private:
    static void print(const QString &kind, const QString &text)
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(kind), qPrintable(text));
    }
};

class SilentSound final : public platform::Sound {
public:
    void play(const QString &) override {}
};

class NoShell final : public platform::Shell {
public:
    bool open(const QString &) override { return false; }
    bool start(const QString &, const QStringList &) override { return false; }
    bool powerOff() override { return false; }
};

struct Usage {
    double cpuSeconds = 0;
    long maxRssKiB = 0;
};

Usage usage(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(ru.ru_utime) + seconds(ru.ru_stime), ru.ru_maxrss};
}

struct Run {
    QString tool;
    double seconds = 0;
    double cpuSeconds = 0;
    bool ok = false;
};

// A settings file that keeps the engine quiet: no sounds, no notices, no
// antivirus, no queue promotion.
bool writeQuietSettings(const QString &folder)
{
    SettingsValues v = defaultSettings(folder);
    v.showmsg = false;
    v.exevirus = false;
    v.wavs = false;
    v.autocont = false;
    v.dellista = false;
    QFile f(QDir(folder).filePath(u"tandrel.ini"_s));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(encodeSettings(v)) >= 0;
}

// The slot the engine gave to this address, if any.
std::optional<int> slotOf(const activas &engine, const QString &url)
{
    for (int i = 1; i < activas::kSlots; ++i) {
        if (engine.entry(i).used && engine.entry(i).url == url)
            return i;
    }
    return std::nullopt;
}

Run runEngine(const QString &url, const QString &target, qint64 timeoutMs)
{
    Run run{u"engine"_s};
    cfg settings;
    activas engine;

    const Usage before = usage(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    engine.addnew(url, target, 0, 0, false, 0, true, QString(), QString(), false);

    QEventLoop loop;
    QTimer poll;
    std::optional<int> slot;
    QString failure;
    const auto check = [&] {
        if (!slot) {
            slot = slotOf(engine, url);
            if (!slot) {
                failure = u"the engine did not take the download"_s;
                loop.quit();
                return;
            }
        }
        const download *row = engine.indicador(*slot);
        if (!engine.entry(*slot).used || (row && row->finalizado())) {
            run.ok = true;
            loop.quit();
        } else if (row && row->redoend()) {
            failure = u"the engine gave up"_s;
            loop.quit();
        } else if (clock.elapsed() > timeoutMs) {
            failure = u"timed out"_s;
            loop.quit();
        }
    };
    // The finish is seen when it happens; the poll catches every other end.
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    QObject::connect(&engine, &activas::finishedFile, &loop, check);
    QObject::connect(&engine, &activas::statusText, &loop, [](int panel, const QString &text) {
        if (panel == 3)
            std::fprintf(stderr, "[status] %s\n", qPrintable(text));
    });
    poll.start(50);
    loop.exec();
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpuSeconds = usage(RUSAGE_SELF).cpuSeconds - before.cpuSeconds;
    if (!failure.isEmpty())
        std::fprintf(stderr, "engine: %s\n", qPrintable(failure));
    return run;
}

Run runCurl(const QString &url, const QString &target, qint64 timeoutMs)
{
    Run run{u"curl"_s};
    const Usage before = usage(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    QProcess curl;
    curl.start(u"curl"_s, {u"-s"_s, u"-o"_s, target, url});
    if (!curl.waitForStarted() || !curl.waitForFinished(int(timeoutMs))) {
        std::fprintf(stderr, "curl: %s\n", qPrintable(curl.errorString()));
        curl.kill();
        curl.waitForFinished();
        return run;
    }
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpuSeconds = usage(RUSAGE_CHILDREN).cpuSeconds - before.cpuSeconds;
    run.ok = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    if (!run.ok)
        std::fprintf(stderr, "curl exited with %d\n", curl.exitCode());
    return run;
}

// Checks the copy against the source and removes it to spare the disk.
bool verify(Run &run, const QString &target, const QByteArray &sourceHash)
{
    const QByteArray hash = testing::sha256OfFile(target);
    QFile::remove(target);
    if (run.ok && hash != sourceHash) {
        std::fprintf(stderr, "%s: SHA-256 differs from the source\n", qPrintable(run.tool));
        run.ok = false;
    }
    return run.ok;
}

} // namespace

constexpr int kRounds = 3;

// The run with the median time; a failed run counts as the slowest.
Run median(QList<Run> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) {
        if (a.ok != b.ok)
            return a.ok;
        return a.seconds < b.seconds;
    });
    return runs[runs.size() / 2];
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    qint64 mib = 512;
    if (argc > 1) {
        bool ok = false;
        mib = QString::fromLocal8Bit(argv[1]).toLongLong(&ok);
        if (!ok || mib <= 0) {
            std::fprintf(stderr, "usage: bench_http [size in MiB, default 512]\n");
            return 2;
        }
    }
    const qint64 bytes = mib * 1024 * 1024;
    const qint64 timeoutMs = 60000 + bytes / 2048; // at least 2 MB/s

    QTemporaryDir work;
    const QString www = work.filePath(u"www"_s);
    const QString program = work.filePath(u"program"_s);
    if (!work.isValid() || !QDir().mkpath(www) || !QDir().mkpath(program)) {
        std::fprintf(stderr, "cannot create the work folders\n");
        return 1;
    }
    std::fprintf(stderr, "writing %lld MiB of random data...\n", mib);
    const QString source = www + u"/data.bin"_s;
    if (!testing::writeRandomFile(source, bytes, 20240601)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
        return 1;
    }
    const QByteArray sourceHash = testing::sha256OfFile(source);

    testing::NginxFixture nginx;
    if (!nginx.start(www)) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.errorText()));
        return 1;
    }
    const QString url = nginx.url(u"data.bin"_s);

    platform::setProgramFolder(program);
    PrintingPrompts prompts;
    SilentSound sound;
    NoShell shell;
    platform::setPrompts(&prompts);
    platform::setSound(&sound);
    platform::setShell(&shell);
    if (!writeQuietSettings(program))
        std::fprintf(stderr, "cannot write tandrel.ini; the engine uses its defaults\n");

    // Each round: the engine, then curl, each writing a fresh file after the
    // page cache's dirty data went to disk, so neither pays for the other's
    // writeback. The median round of each tool is reported.
    const long rssBefore = usage(RUSAGE_SELF).maxRssKiB;
    QList<Run> engineRuns;
    QList<Run> curlRuns;
    for (int round = 0; round < kRounds; ++round) {
        QFile::remove(work.filePath(u"curl.bin"_s));
        ::sync();
        engineRuns << runEngine(url, work.filePath(u"engine.bin"_s), timeoutMs);
        verify(engineRuns.last(), work.filePath(u"engine.bin"_s), sourceHash);
        QFile::remove(work.filePath(u"engine.bin"_s));
        ::sync();
        curlRuns << runCurl(url, work.filePath(u"curl.bin"_s), timeoutMs);
        verify(curlRuns.last(), work.filePath(u"curl.bin"_s), sourceHash);
    }
    const long rssAfter = usage(RUSAGE_SELF).maxRssKiB;
    const Run engine = median(engineRuns);
    const Run curl = median(curlRuns);

    platform::setPrompts(nullptr);
    platform::setSound(nullptr);
    platform::setShell(nullptr);

    std::printf("file: %lld MiB from %s, median of %d rounds\n", mib, qPrintable(url), kRounds);
#ifndef NDEBUG
    std::printf("(debug build: the engine's figures are not representative)\n");
#endif
    std::printf("%-8s %10s %10s %10s %6s\n", "tool", "seconds", "MiB/s", "CPU s", "ok");
    for (const Run *r : {&engine, &curl}) {
        const double rate = r->seconds > 0 ? double(mib) / r->seconds : 0;
        std::printf("%-8s %10.3f %10.1f %10.3f %6s\n", qPrintable(r->tool), r->seconds, rate, r->cpuSeconds,
                    r->ok ? "yes" : "NO");
    }
    if (engine.ok && curl.ok) {
        const double throughput = curl.seconds / engine.seconds; // engine MiB/s over curl MiB/s
        const double cpu = curl.cpuSeconds > 0 ? engine.cpuSeconds / curl.cpuSeconds : 0;
        std::printf("engine/curl: throughput %.2f, CPU time %.2f\n", throughput, cpu);
    }
    std::printf("engine max RSS: %.1f MiB (%.1f MiB before the downloads)\n", double(rssAfter) / 1024.0,
                double(rssBefore) / 1024.0);
    return engine.ok && curl.ok ? 0 : 1;
}
