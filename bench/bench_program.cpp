// bench_program [--program PATH] [--size MiB | --parallel [N [M]]] [--rounds R]
//               [--connections N] [--capped]:
// runs the built program as a user runs it, from a folder of its own with a
// download list waiting, and times it beside curl and aria2c on the same
// files: one file over HTTP and over FTP, or N files at once over HTTP.
// --connections sets the program's connections per download and aria2c's;
// --capped serves at 2 MB/s per connection, as mirrors do.

#include "bench_support.h"
#include "core/list_file.h"
#include "core/segment_file.h"
#include "core/settings_file.h"
#include "file_digest.h"
#include "nginx_fixture.h"
#include "test_authority.h"
#include "vsftpd_fixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxDownloads = 40; // the program's table
constexpr qint64 kStallMs = 60000;
constexpr int kPollMs = 10;
constexpr int kStopGraceMs = 10000;

struct Options {
    QString program;
    bool parallel = false;
    int count = 1;
    qint64 mib = 512;
    int rounds = 3;
    QString only;        // one pass by name (http, ftp, https), or all when empty
    qint64 limitKb = 0;  // the program's speed limit and curl's --limit-rate, in Kb/seg; 0 for none
    int connections = 0; // per download, the program's and aria2c's; 0 for the program's default and one for aria2c
    bool capped = false; // served at 2 MB/s per connection
};

std::optional<Options> parseOptions(const QStringList &args)
{
    Options o;
    o.program = QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../bin/downloader"_s);
    const auto number = [&](qsizetype i, qint64 *out) {
        bool ok = false;
        const qint64 n = i < args.size() ? args[i].toLongLong(&ok) : 0;
        if (ok && n > 0)
            *out = n;
        return ok && n > 0;
    };
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
        } else if (args[i] == u"--size"_s && number(i + 1, &o.mib)) {
            ++i;
        } else if (args[i] == u"--rounds"_s && number(i + 1, &n)) {
            o.rounds = int(std::min<qint64>(n, 100));
            ++i;
        } else if (args[i] == u"--only"_s && i + 1 < args.size()
                   && QStringList{u"http"_s, u"ftp"_s, u"https"_s}.contains(args[i + 1])) {
            o.only = args[++i];
        } else if (args[i] == u"--limit"_s && number(i + 1, &o.limitKb)) {
            ++i;
        } else if (args[i] == u"--connections"_s && number(i + 1, &n)) {
            o.connections = int(std::min<qint64>(n, 16));
            ++i;
        } else if (args[i] == u"--capped"_s) {
            o.capped = true;
        } else if (args[i] == u"--program"_s && i + 1 < args.size()) {
            o.program = QFileInfo(args[++i]).absoluteFilePath();
        } else {
            return std::nullopt;
        }
    }
    // A limit, connections and a capped server are compared over plain HTTP.
    if ((o.limitKb > 0 || o.connections > 0 || o.capped) && o.only.isEmpty())
        o.only = u"http"_s;
    if (o.count > kMaxDownloads) {
        std::fprintf(stderr, "the program holds at most %d downloads\n", kMaxDownloads);
        return std::nullopt;
    }
    return o;
}

// The program as built: the executable and the libraries beside it, which
// it finds through its $ORIGIN run path.
QStringList programFiles(const QString &exe)
{
    QStringList files{exe};
    const QFileInfoList libraries =
        QFileInfo(exe).dir().entryInfoList({u"*.so"_s, u"*.so.*"_s}, QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &lib : libraries)
        files << lib.absoluteFilePath();
    return files;
}

// A fresh program folder: its files (hard links where the disk allows, for
// speed), a quiet tandrel.ini that lets every download run at once, and an
// activas.dwn that the program starts on opening.
bool prepareFolder(const QString &folder, const QStringList &files, const QList<bench::Transfer> &transfers, bool ftp,
                   const Options &o)
{
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder + u"/files"_s))
        return false;
    for (const QString &file : files) {
        const QString copy = QDir(folder).filePath(QFileInfo(file).fileName());
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(copy).constData()) != 0
            && !QFile::copy(file, copy)) {
            std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(file), qPrintable(folder));
            return false;
        }
    }

    SettingsValues v = defaultSettings(folder);
    v.showmsg = false;
    v.exevirus = false;
    v.wavs = false;
    v.autocont = false;
    v.dellista = false;
    v.maxdescval = kMaxDownloads;
    v.maxdesc = QString::number(kMaxDownloads);
    v.speedLimitKb = int(o.limitKb);
    if (o.connections > 0)
        v.connections = o.connections;

    QList<ListRecord> records;
    for (const bench::Transfer &t : transfers) {
        ListRecord r;
        r.url = t.url;
        r.file = t.target;
        if (ftp) {
            // Written only with remember set; without a user the server asks
            // for one and the program would wait on its login dialog.
            r.ftpuser = u"anonymous"_s;
            r.ftppass = u"guestpw"_s;
            r.remember = true;
        }
        records << r;
    }
    return testing::writeFile(QDir(folder).filePath(u"tandrel.ini"_s), encodeSettings(v))
           && testing::writeFile(QDir(folder).filePath(u"activas.dwn"_s), encodeListFile(records, ListKind::Active));
}

qint64 sizeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_size) : 0;
}

// Starts the program and times it from the first byte on disk to the last
// byte of the last file, checks every copy, and takes its CPU time and peak
// memory before stopping it as the system would, with SIGTERM.
// What a TLS pass adds: the program finds the test authority through
// OpenSSL's SSL_CERT_FILE, curl through --cacert.
struct Trust {
    QByteArrayList programEnvironment;
    QStringList curlArguments;
};

// The longest stall of the program's window thread once it was up, as its
// loop probe reported it in the log (its lines go to standard error, naming
// what ran); -1 when it reported nothing. The start-up's longest (building
// the windows, loading the lists) is printed beside it.
double longestGapInLog(const QString &log)
{
    const QString text = QString::fromUtf8(testing::readFile(log));
    static const QRegularExpression gap(uR"(^.*?(start-up )?gap of (\d+) ms.*$)"_s,
                                        QRegularExpression::MultilineOption);
    double longest[2] = {-1, -1}; // after the start-up, at it
    QString line[2];
    for (auto it = gap.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).contains(u"longest gap of the window thread"_s))
            continue;
        const int k = m.captured(1).isEmpty() ? 0 : 1;
        if (m.captured(2).toDouble() > longest[k]) {
            longest[k] = m.captured(2).toDouble();
            line[k] = m.captured(0);
        }
    }
    for (const QString &l : line)
        if (!l.isEmpty())
            std::fprintf(stderr, "program: %s\n", qPrintable(l));
    static const QRegularExpression summary(uR"(longest gap of the window thread: (\d+) ms)"_s);
    if (const QRegularExpressionMatch m = summary.match(text); m.hasMatch() && longest[0] < 0)
        longest[0] = m.captured(1).toDouble(); // nothing over 16 ms: the probe's own figure
    return longest[0];
}

bench::Sample runProgram(const QString &folder, const QStringList &files, const QList<bench::Transfer> &transfers,
                         bool ftp, qint64 size, const QByteArray &sourceHash, qint64 boundMs, const Trust &trust,
                         const Options &o)
{
    const bool probeLoop = o.parallel;
    bench::Sample run;
    if (!prepareFolder(folder, files, transfers, ftp, o)) {
        std::fprintf(stderr, "program: cannot prepare %s\n", qPrintable(folder));
        return run;
    }
    ::sync();
    const QString exe = QDir(folder).filePath(QFileInfo(files.first()).fileName());
    const QString log = QDir(folder).filePath(u"program.log"_s);
    QByteArrayList environment = QByteArrayList{"QT_QPA_PLATFORM=offscreen"} + trust.programEnvironment;
    if (probeLoop)
        environment << "QT_LOGGING_RULES=tandrel.loop.debug=true";
    const pid_t pid = bench::spawn(exe, {}, log, folder, environment);
    if (pid <= 0)
        return run;

    QString failure;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceFirstByte;
    QElapsedTimer sinceGrowth;
    sinceGrowth.start();
    qint64 lastBytes = -1;
    for (;;) {
        qint64 total = 0;
        int complete = 0;
        for (const bench::Transfer &t : transfers) {
            const qint64 n = sizeOf(t.target);
            total += n;
            // Over several connections the file has its full length from
            // the start; its side file goes once every byte is there.
            complete += n >= size && !QFile::exists(segmentFilePath(t.target)) ? 1 : 0;
        }
        if (total > 0 && !sinceFirstByte.isValid())
            sinceFirstByte.start();
        if (complete == transfers.size()) {
            run.seconds = double(sinceFirstByte.nsecsElapsed()) / 1e9;
            break;
        }
        if (!bench::isRunning(pid)) {
            failure = u"the program ended before the downloads"_s;
            break;
        }
        if (clock.elapsed() > boundMs) {
            failure = u"timed out"_s;
            break;
        }
        if (total != lastBytes) {
            lastBytes = total;
            sinceGrowth.restart();
        } else if (sinceGrowth.elapsed() > kStallMs) {
            failure = u"nothing arrived for %1 s"_s.arg(kStallMs / 1000);
            break;
        }
        ::usleep(kPollMs * 1000);
    }

    if (failure.isEmpty() && transfers.size() == 1)
        run.extents = bench::extentsOf(transfers.first().target);
    // A copy that fails its check fails the run, however fast it was.
    run.ok = failure.isEmpty() && bench::verifyCopies(u"program"_s, transfers, size, sourceHash);
    run.cpuSeconds = bench::cpuSecondsOf(pid);
    run.peakMiB = double(bench::peakKiB(QString::number(pid))) / 1024.0;
    const bench::ChildEnd end = bench::stop(pid, kStopGraceMs);
    if (end.how == u"killed at the time bound"_s)
        std::fprintf(stderr, "program: did not end within %d s of SIGTERM, killed\n", kStopGraceMs / 1000);
    if (!failure.isEmpty()) {
        run.ok = false;
        std::fprintf(stderr, "program: %s\n%s\n", qPrintable(failure), qPrintable(bench::tail(log)));
    }
    if (probeLoop)
        run.longestGapMs = longestGapInLog(log);
    QDir(folder).removeRecursively();
    return run;
}

// Every round the program, curl and aria2c take turns on the same files;
// then the medians side by side.
bool measure(const QString &title, const Options &o, const QString &work, const QStringList &files,
             const QStringList &urls, bool ftp, const QByteArray &sourceHash, const Trust &trust = {})
{
    const qint64 bytes = o.mib * 1024 * 1024;
    const qint64 boundMs = bench::runBoundMs(bytes * o.count);
    QStringList tools{u"program"_s, u"curl"_s};
    // Over TLS the comparison is with curl alone.
    if (trust.curlArguments.isEmpty() && !bench::findProgram(u"aria2c"_s).isEmpty())
        tools << u"aria2c"_s;
    else if (trust.curlArguments.isEmpty())
        std::fprintf(stderr, "aria2c is not installed: left out\n");

    const QString programFolder = QDir(work).filePath(u"program"_s);
    QHash<QString, QList<bench::Transfer>> transfers;
    for (const QString &tool : tools) {
        const QString folder = tool == u"program"_s ? programFolder + u"/files"_s : QDir(work).filePath(tool);
        QDir().mkpath(folder);
        for (const QString &url : urls)
            transfers[tool] << bench::Transfer{url, QDir(folder).filePath(url.section(u'/', -1))};
    }

    QHash<QString, QList<bench::Sample>> samples;
    bool allPassed = true;
    for (int round = 0; round < o.rounds; ++round) {
        for (const QString &tool : tools) {
            bench::Sample run;
            if (tool == u"program"_s) {
                run = runProgram(programFolder, files, transfers[tool], ftp, bytes, sourceHash, boundMs, trust, o);
            } else {
                ::sync();
                // Timed as the program is: from their first byte on disk.
                const bench::Clock clock = bench::Clock::FromFirstByte;
                run = tool == u"curl"_s
                          ? bench::runCurl(transfers[tool], boundMs, QDir(work).filePath(u"curl.log"_s), clock,
                                           trust.curlArguments)
                          : bench::runAria2(transfers[tool], boundMs, work, clock, std::max(o.connections, 1));
                if (run.ok && transfers[tool].size() == 1)
                    run.extents = bench::extentsOf(transfers[tool].first().target);
                if (!bench::verifyCopies(tool, transfers[tool], bytes, sourceHash))
                    run.ok = false;
            }
            allPassed = allPassed && run.ok;
            samples[tool] << run;
            std::fprintf(stderr, "%s round %d %s: %.3f s%s%s\n", qPrintable(title), round + 1, qPrintable(tool),
                         run.seconds, run.ok ? "" : " FAILED",
                         run.extents >= 0 ? qPrintable(u", %1 extents on disk"_s.arg(run.extents)) : "");
        }
    }

    std::printf("\n%s: %d file%s of %lld MiB from %s, median of %d round%s\n", qPrintable(title), o.count,
                o.count > 1 ? "s" : "", o.mib,
                qPrintable(o.count > 1 ? urls.first().section(u'/', 0, -2) : urls.first()), o.rounds,
                o.rounds > 1 ? "s" : "");
    QList<bench::Summary> rows;
    for (const QString &tool : tools)
        rows << bench::summarize(tool, samples[tool]);
    bench::printTable(rows, double(o.mib * o.count));
    for (qsizetype i = 1; i < rows.size(); ++i)
        bench::printRatio(rows.first(), rows[i]);
    // Under a limit what counts is how close each keeps to it.
    if (o.limitKb > 0)
        for (const bench::Summary &row : rows)
            if (row.seconds > 0)
                std::printf("%s: %.1f Kb/seg against a limit of %lld Kb/seg (%.1f %%)\n", qPrintable(row.tool),
                            double(bytes * o.count) / 1024.0 / row.seconds, o.limitKb,
                            100.0 * double(bytes * o.count) / 1024.0 / row.seconds / double(o.limitKb));
    if (o.parallel && rows.first().medianGapMs >= 0)
        std::printf("program: longest gap of the window thread's event loop once it was up: %.0f ms (median of the "
                    "rounds), "
                    "%.0f ms (highest)\n",
                    rows.first().medianGapMs, rows.first().longestGapMs);
    return allPassed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseOptions(QCoreApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "usage: bench_program [--program PATH] [--size MiB, default 512] [--rounds R]"
                             " [--only http|ftp|https] [--limit Kb/seg] [--connections N] [--capped]\n"
                             "       bench_program [--program PATH] --parallel [N [MiB]] [--rounds R]"
                             "   (default 40 files of 100 MiB)\n");
        return 2;
    }
    const Options &o = *options;
    if (!QFileInfo(o.program).isExecutable()) {
        std::fprintf(stderr, "no program at %s (build the downloader target, or give --program)\n",
                     qPrintable(o.program));
        return 1;
    }
    const QStringList files = programFiles(o.program);

    QTemporaryDir work;
    const QString www = work.filePath(u"www"_s);
    if (!work.isValid() || !QDir().mkpath(www)) {
        std::fprintf(stderr, "cannot create the work folders\n");
        return 1;
    }
    std::fprintf(stderr, "writing %lld MiB of random data...\n", o.mib);
    QByteArray sourceHash;
    const QStringList names = bench::makeSources(www, o.count, o.mib * 1024 * 1024, &sourceHash);
    if (names.isEmpty())
        return 1;

    testing::NginxFixture nginx;
    if (!nginx.start(www)) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.errorText()));
        return 1;
    }
    std::printf("program: %s%s\n", qPrintable(o.program),
                files.size() > 1 ? qPrintable(u" with "_s + files.mid(1).join(u", "_s)) : "");

    QStringList httpUrls;
    for (const QString &name : names)
        httpUrls << nginx.url(o.capped ? u"capped/"_s + name : name);
    const auto wanted = [&](const QString &pass) { return o.only.isEmpty() || o.only == pass; };
    bool allPassed = true;
    // Under a limit, curl is held to the same one; aria2c is left out.
    const Trust limited{{}, o.limitKb > 0 ? QStringList{u"--limit-rate"_s, u"%1k"_s.arg(o.limitKb)} : QStringList{}};
    if (wanted(u"http"_s))
        allPassed = measure(u"HTTP"_s, o, work.path(), files, httpUrls, false, sourceHash, limited);

    if (!o.parallel && wanted(u"ftp"_s)) {
        testing::VsftpdFixture vsftpd(www);
        if (!testing::VsftpdFixture::installed()) {
            std::fprintf(stderr, "vsftpd is not installed: FTP left out\n");
        } else if (!vsftpd.start()) {
            std::fprintf(stderr, "vsftpd: %s\n", qPrintable(vsftpd.error()));
            allPassed = false;
        } else {
            allPassed =
                measure(u"FTP"_s, o, work.path(), files, {vsftpd.url(names.first())}, true, sourceHash) && allPassed;
        }
    }

    if (!o.parallel && wanted(u"https"_s)) {
        // The same file over TLS from a second nginx, with a certificate of
        // an authority made for the run.
        testing::TestAuthority authority;
        testing::NginxFixture tls;
        const QString caFile = work.filePath(u"ca.pem"_s);
        if (!bench::serveOverTls(authority, tls, caFile)) {
            allPassed = false;
        } else {
            if (!tls.start(www)) {
                std::fprintf(stderr, "nginx over TLS: %s\n", qPrintable(tls.errorText()));
                allPassed = false;
            } else {
                const Trust trust{{"SSL_CERT_FILE=" + caFile.toLocal8Bit()}, {u"--cacert"_s, caFile}};
                allPassed =
                    measure(u"HTTPS"_s, o, work.path(), files, {tls.url(names.first())}, false, sourceHash, trust)
                    && allPassed;
            }
        }
    }

    std::printf("\nprogram: seconds from its first byte on disk to the last byte of the last file; CPU time and "
                "peak memory of its whole process, start-up included.\ncurl, aria2c: seconds from their first "
                "byte on disk to their exit; peak memory summed over the curl processes.\n");
#ifndef NDEBUG
    std::printf("(debug build: the program's figures are not representative)\n");
#endif
    return allPassed ? 0 : 1;
}
