#include "bench_support.h"

#include "file_digest.h"
#include "nginx_fixture.h"
#include "test_authority.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

extern char **environ;

using namespace Qt::StringLiterals;

namespace bench {

namespace {

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double medianOf(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

ChildEnd endOf(int status, const rusage &ru)
{
    ChildEnd end;
    end.cpuSeconds = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    end.maxRssKiB = ru.ru_maxrss;
    if (WIFEXITED(status)) {
        end.success = WEXITSTATUS(status) == 0;
        end.how = u"exit code %1"_s.arg(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        end.how = u"signal %1"_s.arg(WTERMSIG(status));
    }
    return end;
}

// Kills the child with whatever it started, and reaps it; SIGKILL cannot be
// refused, so the wait is short.
ChildEnd kill9(pid_t pid)
{
    if (::kill(-pid, SIGKILL) != 0)
        ::kill(pid, SIGKILL);
    int status = 0;
    rusage ru{};
    ChildEnd end = ::wait4(pid, &status, 0, &ru) == pid ? endOf(status, ru) : ChildEnd{};
    end.success = false;
    return end;
}

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

struct TimedEnds {
    QList<ChildEnd> ends;
    double seconds = 0;
};

// Waits for the tool's processes and times them, from their start or from
// the first byte of theirs seen on disk (polled as often as the program's).
TimedEnds timedWait(const QList<pid_t> &pids, const QList<Transfer> &transfers, const QElapsedTimer &started,
                    qint64 boundMs, Clock clock)
{
    qint64 firstByteNs = -1;
    const auto look = [&] {
        if (firstByteNs < 0 && bytesOnDisk(transfers) > 0)
            firstByteNs = started.nsecsElapsed();
    };
    TimedEnds t;
    t.ends = waitAll(pids, QDeadlineTimer(boundMs), clock == Clock::FromFirstByte ? look : std::function<void()>());
    const qint64 endNs = started.nsecsElapsed();
    // A tool done before the first look is timed whole.
    t.seconds = double(endNs - std::max<qint64>(0, firstByteNs)) / 1e9;
    return t;
}

} // namespace

Summary summarize(const QString &tool, const QList<Sample> &samples)
{
    Summary s{tool};
    s.runs = int(samples.size());
    QList<double> times;
    QList<double> cpu;
    QList<double> gaps;
    for (const Sample &r : samples) {
        if (!r.ok)
            continue;
        ++s.passed;
        times << r.seconds;
        cpu << r.cpuSeconds;
        gaps << r.longestGapMs;
        s.peakMiB = std::max(s.peakMiB, r.peakMiB);
        s.longestGapMs = std::max(s.longestGapMs, r.longestGapMs);
    }
    if (s.passed > 0) {
        s.seconds = medianOf(times);
        s.cpuSeconds = medianOf(cpu);
        s.medianGapMs = medianOf(gaps);
    }
    return s;
}

void printTable(const QList<Summary> &rows, double mibPerRun)
{
    std::printf("%-9s %9s %9s %9s %9s %7s\n", "tool", "seconds", "MiB/s", "CPU s", "peak MiB", "passed");
    for (const Summary &r : rows) {
        const QString passed = u"%1/%2"_s.arg(r.passed).arg(r.runs);
        if (r.passed == 0) {
            std::printf("%-9s %9s %9s %9s %9s %7s\n", qPrintable(r.tool), "-", "-", "-", "-", qPrintable(passed));
            continue;
        }
        const double rate = r.seconds > 0 ? mibPerRun / r.seconds : 0;
        std::printf("%-9s %9.3f %9.1f %9.3f %9.1f %7s\n", qPrintable(r.tool), r.seconds, rate, r.cpuSeconds, r.peakMiB,
                    qPrintable(passed));
    }
}

void printRatio(const Summary &a, const Summary &b)
{
    if (a.passed == 0 || b.passed == 0 || a.seconds <= 0)
        return;
    const auto ratio = [](double x, double y) { return y > 0 ? x / y : 0.0; };
    std::printf("%s/%s: time %.2f, throughput %.2f, CPU time %.2f, peak memory %.2f\n", qPrintable(a.tool),
                qPrintable(b.tool), ratio(a.seconds, b.seconds), ratio(b.seconds, a.seconds),
                ratio(a.cpuSeconds, b.cpuSeconds), ratio(a.peakMiB, b.peakMiB));
}

qint64 runBoundMs(qint64 totalBytes)
{
    return 600000 + totalBytes / (8 * 1024 * 1024) * 1000;
}

QString findProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

pid_t spawn(const QString &program, const QStringList &arguments, const QString &logFile, const QString &workingFolder,
            const QByteArrayList &extraEnvironment)
{
    const QString path = program.contains(u'/') ? program : findProgram(program);
    if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
        std::fprintf(stderr, "%s: not found\n", qPrintable(program));
        return -1;
    }

    // Everything the child needs is built before the fork: between fork and
    // exec only async-signal-safe calls are allowed.
    QByteArrayList argStore{QFile::encodeName(path)};
    for (const QString &a : arguments)
        argStore << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QByteArrayList envStore;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        const bool replaced = std::any_of(extraEnvironment.begin(), extraEnvironment.end(),
                                          [&](const QByteArray &x) { return x.startsWith(name); });
        if (!replaced)
            envStore << entry;
    }
    envStore << extraEnvironment;
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const QByteArray log = logFile.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(logFile);
    const QByteArray folder = QFile::encodeName(workingFolder);
    const QByteArray exe = QFile::encodeName(path);

    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return -1;
    }
    if (pid == 0) {
        // Its own process group, so a stop reaches what it started too.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &dfl, nullptr);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0)
            ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(126);
        ::execve(exe.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid); // whichever of the two runs first
    return pid;
}

QList<ChildEnd> waitAll(const QList<pid_t> &pids, const QDeadlineTimer &deadline, const std::function<void()> &onPoll)
{
    QElapsedTimer sincePoll;
    sincePoll.start();
    QList<ChildEnd> ends(pids.size());
    QList<bool> done(pids.size(), false);
    qsizetype left = 0;
    for (qsizetype i = 0; i < pids.size(); ++i) {
        if (pids[i] <= 0) {
            done[i] = true;
            ends[i].how = u"not started"_s;
        } else {
            ++left;
        }
    }
    // Short sleeps rather than a signal: Qt keeps its own SIGCHLD handling
    // for the servers' processes, and a millisecond is finer than any figure
    // printed.
    while (left > 0) {
        for (qsizetype i = 0; i < pids.size(); ++i) {
            if (done[i])
                continue;
            int status = 0;
            rusage ru{};
            const pid_t r = ::wait4(pids[i], &status, WNOHANG, &ru);
            if (r == pids[i] || r < 0) {
                ends[i] = r < 0 ? ChildEnd{false, u"lost"_s} : endOf(status, ru);
                done[i] = true;
                --left;
            }
        }
        if (left == 0)
            break;
        if (onPoll && sincePoll.elapsed() >= 10) {
            sincePoll.restart();
            onPoll();
        }
        if (deadline.hasExpired()) {
            for (qsizetype i = 0; i < pids.size(); ++i) {
                if (!done[i]) {
                    ends[i] = kill9(pids[i]);
                    ends[i].how = u"killed at the time bound"_s;
                }
            }
            break;
        }
        ::usleep(1000);
    }
    return ends;
}

bool isRunning(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

ChildEnd stop(pid_t pid, int graceMs)
{
    if (::kill(-pid, SIGTERM) != 0)
        ::kill(pid, SIGTERM);
    const QList<ChildEnd> ends = waitAll({pid}, QDeadlineTimer(graceMs));
    return ends.first();
}

Sample runCurl(const QList<Transfer> &transfers, qint64 boundMs, const QString &logFile, Clock clock,
               const QStringList &extraArguments)
{
    Sample run;
    QElapsedTimer started;
    started.start();
    QList<pid_t> pids;
    for (const Transfer &t : transfers)
        pids << spawn(u"curl"_s,
                      QStringList{u"-s"_s, u"-S"_s, u"-f"_s, u"-o"_s, t.target} + extraArguments + QStringList{t.url},
                      logFile);
    const TimedEnds timed = timedWait(pids, transfers, started, boundMs, clock);
    const QList<ChildEnd> &ends = timed.ends;
    run.seconds = timed.seconds;
    run.ok = true;
    long rss = 0;
    for (qsizetype i = 0; i < ends.size(); ++i) {
        run.cpuSeconds += ends[i].cpuSeconds;
        rss += ends[i].maxRssKiB; // they run side by side
        if (!ends[i].success) {
            run.ok = false;
            std::fprintf(stderr, "curl %s: %s\n", qPrintable(transfers[i].url), qPrintable(ends[i].how));
        }
    }
    run.peakMiB = double(rss) / 1024.0;
    if (!run.ok)
        std::fprintf(stderr, "curl's output:\n%s\n", qPrintable(tail(logFile)));
    return run;
}

Sample runAria2(const QList<Transfer> &transfers, qint64 boundMs, const QString &workFolder, Clock clock,
                int connections)
{
    Sample run;
    const QString input = QDir(workFolder).filePath(u"aria2-input.txt"_s);
    const QString log = QDir(workFolder).filePath(u"aria2.log"_s);
    QByteArray list;
    for (const Transfer &t : transfers) {
        const QFileInfo target(t.target);
        list += t.url.toUtf8() + "\n  dir=" + QFile::encodeName(target.absolutePath())
                + "\n  out=" + QFile::encodeName(target.fileName()) + '\n';
    }
    if (!testing::writeFile(input, list)) {
        std::fprintf(stderr, "aria2c: cannot write %s\n", qPrintable(input));
        return run;
    }
    const QStringList arguments{u"--no-conf=true"_s,
                                u"--quiet=true"_s,
                                u"--file-allocation=none"_s,
                                u"--max-concurrent-downloads=%1"_s.arg(transfers.size()),
                                u"--max-connection-per-server=%1"_s.arg(connections),
                                u"--split=%1"_s.arg(connections),
                                u"--min-split-size=1M"_s,
                                u"--allow-overwrite=true"_s,
                                u"--auto-file-renaming=false"_s,
                                u"--input-file="_s + input};
    QElapsedTimer started;
    started.start();
    const pid_t pid = spawn(u"aria2c"_s, arguments, log);
    const TimedEnds timed = timedWait({pid}, transfers, started, boundMs, clock);
    const ChildEnd &end = timed.ends.first();
    run.seconds = timed.seconds;
    run.cpuSeconds = end.cpuSeconds;
    run.peakMiB = double(end.maxRssKiB) / 1024.0;
    run.ok = end.success;
    if (!run.ok)
        std::fprintf(stderr, "aria2c: %s\n%s\n", qPrintable(end.how), qPrintable(tail(log)));
    return run;
}

bool verifyCopies(const QString &tool, const QList<Transfer> &transfers, qint64 size, const QByteArray &sourceHash)
{
    bool ok = true;
    for (const Transfer &t : transfers) {
        const QFileInfo info(t.target);
        if (!info.exists()) {
            std::fprintf(stderr, "%s: %s is missing\n", qPrintable(tool), qPrintable(t.target));
            ok = false;
        } else if (info.size() != size) {
            std::fprintf(stderr, "%s: %s has %lld bytes, the source %lld\n", qPrintable(tool), qPrintable(t.target),
                         info.size(), size);
            ok = false;
        } else if (testing::sha256OfFile(t.target) != sourceHash) {
            std::fprintf(stderr, "%s: the SHA-256 of %s differs from the source\n", qPrintable(tool),
                         qPrintable(t.target));
            ok = false;
        }
        QFile::remove(t.target);
        QFile::remove(t.target + u".aria2"_s);
    }
    return ok;
}

qint64 bytesOnDisk(const QList<Transfer> &transfers)
{
    qint64 total = 0;
    for (const Transfer &t : transfers) {
        struct stat st {};
        if (::stat(QFile::encodeName(t.target).constData(), &st) == 0)
            total += st.st_size;
    }
    return total;
}

QStringList makeSources(const QString &folder, int count, qint64 bytes, QByteArray *sourceHash)
{
    const QString first = QDir(folder).filePath(u"data.bin"_s);
    if (!testing::writeRandomFile(first, bytes, 20240601)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(first));
        return {};
    }
    *sourceHash = testing::sha256OfFile(first);
    if (count == 1)
        return {u"data.bin"_s};
    // One file's worth of disk, whatever the count.
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        const QString name = u"data%1.bin"_s.arg(i, 2, 10, QChar(u'0'));
        const QString path = QDir(folder).filePath(name);
        if (::link(QFile::encodeName(first).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(first, path)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return {};
        }
        names << name;
    }
    return names;
}

double cpuSecondsOfSelf()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

long peakKiB(const QString &pid)
{
    const QString status = readText(u"/proc/"_s + pid + u"/status"_s);
    for (const QStringView line : QStringView(status).split(u'\n')) {
        if (line.startsWith(u"VmHWM:"))
            return line.mid(6).trimmed().split(u' ').first().toLong();
    }
    return -1;
}

bool resetPeakOfSelf()
{
    QFile f(u"/proc/self/clear_refs"_s);
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

double cpuSecondsOf(pid_t pid)
{
    // The command name may hold blanks and parentheses: the fields start
    // after the last ')'. utime and stime are fields 14 and 15.
    const QString stat = readText(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(u')');
    if (close < 0)
        return -1;
    const QStringList fields = stat.mid(close + 2).split(u' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

QString tail(const QString &path, int lines)
{
    const QStringList all = readText(path).split(u'\n');
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(u'\n');
}

bool serveOverTls(testing::TestAuthority &authority, testing::NginxFixture &nginx, const QString &caFile)
{
    QFile ca(caFile);
    if (!authority.create() || !authority.issue(u"server"_s, {u"DNS:localhost"_s, u"IP:127.0.0.1"_s})
        || !ca.open(QIODevice::WriteOnly) || ca.write(authority.certificate().toPem()) < 0) {
        std::fprintf(stderr, "test authority: %s\n", qPrintable(authority.errorText()));
        return false;
    }
    nginx.setTls(authority.certificateFile(u"server"_s), authority.keyFile(u"server"_s));
    return true;
}

int extentsOf(const QString &path)
{
    QString filefrag = findProgram(u"filefrag"_s);
    if (filefrag.isEmpty())
        filefrag = QStandardPaths::findExecutable(u"filefrag"_s, {u"/usr/sbin"_s, u"/sbin"_s});
    if (filefrag.isEmpty())
        return -1;
    QProcess p;
    p.start(filefrag, {path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    // "<path>: N extents found" (or "1 extent found").
    static const QRegularExpression found(uR"(: (\d+) extents? found)"_s);
    const QRegularExpressionMatch m = found.match(QString::fromLocal8Bit(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace bench
