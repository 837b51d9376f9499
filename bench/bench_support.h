#pragma once

#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <functional>

namespace testing {
class NginxFixture;
class TestAuthority;
} // namespace testing

// What the benchmarks share: the other tools run as children, the checks of
// every copy, the figures of the processes and the printed table.
namespace bench {

// One file to fetch: from where, to where.
struct Transfer {
    QString url;
    QString target;
};

// One timed run of one tool over all its transfers.
struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    double longestGapMs = -1; // the main thread's longest stall, where measured
    int extents = -1;         // of a single file on disk, where measured
    bool ok = false;
};

// The runs of one tool: medians over the runs whose copies all passed.
struct Summary {
    QString tool;
    int passed = 0;
    int runs = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;       // the highest of the passed runs
    double longestGapMs = -1; // likewise
    double medianGapMs = -1;  // the median of the runs' longest gaps
};

Summary summarize(const QString &tool, const QList<Sample> &samples);
void printTable(const QList<Summary> &rows, double mibPerRun);
// "a/b: time ..., CPU time ..., peak memory ..." when both passed.
void printRatio(const Summary &a, const Summary &b);

// A bound for one run moving this many bytes: ten minutes, more for data
// that could not arrive in that time at a slow disk's pace.
qint64 runBoundMs(qint64 totalBytes);

// The absolute path of a program on PATH, empty when it is not there.
QString findProgram(const QString &name);

// Starts a program with an argument list (no shell), in a process group of
// its own, stdin from /dev/null and stdout and stderr appended to logFile. It
// is killed should the bench die.
// -1 when it could not be started.
pid_t spawn(const QString &program, const QStringList &arguments, const QString &logFile,
            const QString &workingFolder = {}, const QByteArrayList &extraEnvironment = {});

struct ChildEnd {
    bool success = false; // exit code 0
    QString how;          // "exit code 3", "signal 9", "killed at the time bound"
    double cpuSeconds = 0;
    long maxRssKiB = 0;
};

// Reaps every child, each with its own resource use; those still running at
// the deadline are killed. onPoll, if any, is called about every 10 ms.
QList<ChildEnd> waitAll(const QList<pid_t> &pids, const QDeadlineTimer &deadline,
                        const std::function<void()> &onPoll = {});
// Whether the child has not ended yet (it is not reaped).
bool isRunning(pid_t pid);
// SIGTERM to its process group, then SIGKILL after the grace time; reaps it.
ChildEnd stop(pid_t pid, int graceMs);

// Where a tool's time starts: at its start, or, beside a program timed from
// its first byte on disk, at the tool's first byte on disk.
enum class Clock { FromStart, FromFirstByte };

// N curl processes started at once, one per transfer.
// extraArguments go before the address (say, the authority to trust).
Sample runCurl(const QList<Transfer> &transfers, qint64 boundMs, const QString &logFile, Clock clock,
               const QStringList &extraArguments = {});
// One aria2c fetching every transfer at once, over `connections` each
// (pieces of at least 1 MiB).
Sample runAria2(const QList<Transfer> &transfers, qint64 boundMs, const QString &workFolder, Clock clock,
                int connections = 1);

// How many extents the file system keeps the file in, as filefrag counts
// them; -1 when filefrag is missing or cannot tell.
int extentsOf(const QString &path);

// The bytes of every target on disk so far.
qint64 bytesOnDisk(const QList<Transfer> &transfers);

// Size and SHA-256 of every copy against the source; says what differs and
// removes the copies (and any leftovers beside them) to spare the disk.
bool verifyCopies(const QString &tool, const QList<Transfer> &transfers, qint64 size, const QByteArray &sourceHash);

// count names in folder for one random file of the given size (hard links,
// copies where links fail); empty on failure. sourceHash gets its SHA-256.
QStringList makeSources(const QString &folder, int count, qint64 bytes, QByteArray *sourceHash);

double cpuSecondsOfSelf();
// VmHWM of a process ("self" or a pid), in KiB; -1 when unknown.
long peakKiB(const QString &pid);
// Starts this process's VmHWM afresh, so each run reports its own peak.
bool resetPeakOfSelf();
// utime + stime of a running process.
double cpuSecondsOf(pid_t pid);

// The last lines of a log, for failure messages.
QString tail(const QString &path, int lines = 15);

// Makes authority, issues it a certificate for localhost and 127.0.0.1 that
// nginx will serve, and writes the authority's certificate to caFile for the
// tools to trust. False, with the reason printed, when any step fails.
bool serveOverTls(testing::TestAuthority &authority, testing::NginxFixture &nginx, const QString &caFile);

} // namespace bench
