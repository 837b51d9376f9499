// bench_http [MiB] | bench_http --parallel [N [M]], with [--rounds R] [--https]:
// downloads one random file (or N files of M MiB at once) from a local nginx
// with the engine in this process, with aria2c and with curl (over TLS with
// --https, against curl alone), checks every
// copy, and prints time, CPU time and peak memory side by side, plus how
// long the engine kept the window thread's event loop away.

#include "bench_support.h"
#include "core/http_transfer.h"
#include "core/program_folder.h"
#include "core/settings_file.h"
#include "engine/activas.h"
#include "file_digest.h"
#include "nginx_fixture.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "rows/download.h"
#include "settings/cfg.h"
#include "test_authority.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>

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

constexpr qint64 kStallMs = 60000;

// A settings file that keeps the engine quiet (no sounds, no notices, no
// antivirus, no queue promotion) and lets maxDownloads run at once.
bool writeQuietSettings(const QString &folder, int maxDownloads)
{
    SettingsValues v = defaultSettings(folder);
    v.showmsg = false;
    v.exevirus = false;
    v.wavs = false;
    v.autocont = false;
    v.dellista = false;
    v.maxdescval = std::max(v.maxdescval, maxDownloads);
    v.maxdesc = QString::number(v.maxdescval);
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

// Every transfer handed to the engine at once; done when every row says
// finished. A 10 ms timer on this thread, the one the window lives on, times
// how long the engine kept the event loop away.
bench::Sample runEngine(const QList<bench::Transfer> &transfers, qint64 boundMs)
{
    bench::Sample run;
    cfg settings;
    activas engine;

    bench::resetPeakOfSelf();
    const double cpuBefore = bench::cpuSecondsOfSelf();
    qint64 longestGapNs = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    tick.start(10);

    QString failure;
    QList<int> slotList;
    for (const bench::Transfer &t : transfers) {
        engine.addnew(t.url, t.target, 0, 0, false, 0, true, QString(), QString(), false);
        const std::optional<int> slot = slotOf(engine, t.url);
        if (!slot) {
            failure = u"the engine did not take "_s + t.url;
            break;
        }
        slotList << *slot;
    }

    QEventLoop loop;
    qint64 lastBytes = -1;
    QElapsedTimer sinceGrowth;
    sinceGrowth.start();
    QElapsedTimer sinceSizeCheck;
    sinceSizeCheck.start();
    const auto check = [&] {
        const bool all = std::all_of(slotList.begin(), slotList.end(), [&](int slot) {
            const download *row = engine.indicador(slot);
            return !engine.entry(slot).used || (row && row->finalizado());
        });
        if (all) {
            run.ok = true;
            loop.quit();
        } else if (clock.elapsed() > boundMs) {
            failure = u"timed out"_s;
            loop.quit();
        } else if (sinceSizeCheck.elapsed() >= 1000) {
            // A download that gave up shows as one that stopped growing.
            sinceSizeCheck.restart();
            const qint64 bytes = bench::bytesOnDisk(transfers);
            if (bytes != lastBytes) {
                lastBytes = bytes;
                sinceGrowth.restart();
            } else if (sinceGrowth.elapsed() > kStallMs) {
                failure = u"nothing arrived for %1 s"_s.arg(kStallMs / 1000);
                loop.quit();
            }
        }
    };
    // A finish is seen as soon as its handler has returned; the poll catches
    // every other end.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    QObject::connect(&engine, &activas::finishedFile, &loop,
                     [&] { QMetaObject::invokeMethod(&loop, check, Qt::QueuedConnection); });
    QObject::connect(&engine, &activas::statusText, &loop, [](int panel, const QString &text) {
        if (panel == 3)
            std::fprintf(stderr, "[status] %s\n", qPrintable(text));
    });
    if (failure.isEmpty()) {
        poll.start(50);
        loop.exec();
    }
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
    tick.stop();
    run.cpuSeconds = bench::cpuSecondsOfSelf() - cpuBefore;
    run.peakMiB = double(bench::peakKiB(u"self"_s)) / 1024.0;
    run.longestGapMs = double(longestGapNs) / 1e6;
    if (!failure.isEmpty()) {
        run.ok = false;
        std::fprintf(stderr, "engine: %s\n", qPrintable(failure));
    }
    return run;
}

struct Options {
    bool parallel = false;
    int count = 1;
    qint64 mib = 512;
    int rounds = 3;
    bool https = false;
};

std::optional<Options> parseOptions(const QStringList &args)
{
    Options o;
    const auto number = [&](qsizetype i, qint64 *out) {
        bool ok = false;
        const qint64 n = i < args.size() ? args[i].toLongLong(&ok) : 0;
        if (ok && n > 0)
            *out = n;
        return ok && n > 0;
    };
    bool sizeGiven = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        qint64 n = 0;
        if (args[i] == u"--parallel"_s) {
            o.parallel = true;
            o.count = 40;
            o.mib = 100;
            if (number(i + 1, &n)) {
                o.count = int(std::min<qint64>(n, 1000));
                ++i;
                if (number(i + 1, &o.mib))
                    ++i;
            }
        } else if (args[i] == u"--https"_s) {
            o.https = true;
        } else if (args[i] == u"--rounds"_s && number(i + 1, &n)) {
            o.rounds = int(std::min<qint64>(n, 100));
            ++i;
        } else if (!o.parallel && !sizeGiven && number(i, &o.mib)) {
            sizeGiven = true;
        } else {
            return std::nullopt;
        }
    }
    if (o.count >= activas::kSlots) {
        std::fprintf(stderr, "the engine holds at most %d downloads\n", activas::kSlots - 1);
        return std::nullopt;
    }
    return o;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::optional<Options> options = parseOptions(QCoreApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "usage: bench_http [MiB, default 512] [--rounds R] [--https]\n"
                             "       bench_http --parallel [N [MiB]] [--rounds R]   (default 40 files of 100 MiB)\n");
        return 2;
    }
    const Options &o = *options;
    const qint64 bytes = o.mib * 1024 * 1024;
    const qint64 boundMs = bench::runBoundMs(bytes * o.count);

    QTemporaryDir work;
    const QString www = work.filePath(u"www"_s);
    const QString program = work.filePath(u"program"_s);
    if (!work.isValid() || !QDir().mkpath(www) || !QDir().mkpath(program)) {
        std::fprintf(stderr, "cannot create the work folders\n");
        return 1;
    }
    std::fprintf(stderr, "writing %lld MiB of random data...\n", o.mib);
    QByteArray sourceHash;
    const QStringList names = bench::makeSources(www, o.count, bytes, &sourceHash);
    if (names.isEmpty())
        return 1;

    testing::NginxFixture nginx;
    // Over TLS, an authority of our own that the engine and curl both trust.
    testing::TestAuthority authority;
    QStringList curlArguments;
    if (o.https) {
        const QString caFile = work.filePath(u"ca.pem"_s);
        if (!bench::serveOverTls(authority, nginx, caFile))
            return 1;
        setExtraTrustedCertificates({authority.certificate()});
        curlArguments = {u"--cacert"_s, caFile};
    }
    if (!nginx.start(www)) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.errorText()));
        return 1;
    }

    platform::setProgramFolder(program);
    PrintingPrompts prompts;
    SilentSound sound;
    NoShell shell;
    platform::setPrompts(&prompts);
    platform::setSound(&sound);
    platform::setShell(&shell);
    if (!writeQuietSettings(program, o.count))
        std::fprintf(stderr, "cannot write tandrel.ini; the engine uses its defaults\n");

    // Each tool writes into its own folder.
    // Over TLS the comparison is with curl alone.
    const bool haveAria2 = !o.https && !bench::findProgram(u"aria2c"_s).isEmpty();
    QStringList tools{u"engine"_s, u"curl"_s};
    if (haveAria2)
        tools.insert(1, u"aria2c"_s);
    else if (!o.https)
        std::fprintf(stderr, "aria2c is not installed: left out\n");
    QHash<QString, QList<bench::Transfer>> transfers;
    for (const QString &tool : tools) {
        const QString folder = work.filePath(tool);
        QDir().mkpath(folder);
        for (const QString &name : names)
            transfers[tool] << bench::Transfer{nginx.url(name), QDir(folder).filePath(name)};
    }

    // Round by round the tools take turns, each writing fresh files after the
    // page cache's dirty data went to disk, so none pays for another's
    // writeback.
    const double baselineMiB = double(bench::peakKiB(u"self"_s)) / 1024.0;
    QHash<QString, QList<bench::Sample>> samples;
    bool allPassed = true;
    for (int round = 0; round < o.rounds; ++round) {
        for (const QString &tool : tools) {
            ::sync();
            bench::Sample run;
            if (tool == u"engine"_s)
                run = runEngine(transfers[tool], boundMs);
            else if (tool == u"aria2c"_s)
                run = bench::runAria2(transfers[tool], boundMs, work.path(), bench::Clock::FromStart);
            else
                run = bench::runCurl(transfers[tool], boundMs, work.filePath(u"curl.log"_s), bench::Clock::FromStart,
                                     curlArguments);
            // A copy that fails its check fails the run, however fast it was.
            if (!bench::verifyCopies(tool, transfers[tool], bytes, sourceHash))
                run.ok = false;
            allPassed = allPassed && run.ok;
            samples[tool] << run;
            std::fprintf(stderr, "round %d %s: %.3f s%s\n", round + 1, qPrintable(tool), run.seconds,
                         run.ok ? "" : " FAILED");
        }
    }

    platform::setPrompts(nullptr);
    platform::setSound(nullptr);
    platform::setShell(nullptr);

    const char *rounds = o.rounds > 1 ? "rounds" : "round";
    if (o.parallel)
        std::printf("%d files of %lld MiB at once from %s, median of %d %s\n", o.count, o.mib,
                    qPrintable(nginx.url(QString())), o.rounds, rounds);
    else
        std::printf("file: %lld MiB from %s, median of %d %s\n", o.mib, qPrintable(nginx.url(names.first())), o.rounds,
                    rounds);
#ifndef NDEBUG
    std::printf("(debug build: the engine's figures are not representative)\n");
#endif
    QList<bench::Summary> rows;
    for (const QString &tool : tools)
        rows << bench::summarize(tool, samples[tool]);
    bench::printTable(rows, double(o.mib * o.count));
    for (qsizetype i = 1; i < rows.size(); ++i)
        bench::printRatio(rows.first(), rows[i]);
    if (rows.first().passed > 0)
        std::printf("engine: longest gap of a 10 ms timer on the window thread: %.1f ms (median of the rounds), "
                    "%.1f ms (highest)\n",
                    rows.first().medianGapMs, rows.first().longestGapMs);
    std::printf("peak MiB: engine = this whole process (%.1f MiB before the downloads); tools = their "
                "processes' peak RSS%s\n",
                baselineMiB, o.count > 1 ? ", summed over the curl processes" : "");
    return allPassed ? 0 : 1;
}
