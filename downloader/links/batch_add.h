#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class activas;
class inactivas;

// Where one address of a batch goes.
enum class BatchTarget {
    Active,    // the active table's addnew
    Queue,     // the queue's addnew, unlocked
    Dropped,   // the queue is full: passed over without a word
    Duplicate, // already in this batch or in a table: passed over, logged
    Invalid,   // neither http:// nor ftp://: passed over, logged
    Full,      // the queue is full and the batch stops here
};

// One address and the local name it should be saved under.
struct BatchSource {
    QString url;
    QString name;
};

struct BatchStep {
    QString url;
    QString file;
    BatchTarget target = BatchTarget::Dropped;
    QString note;             // a log entry (CR LF first) when the step was renamed or passed over
    bool targetTaken = false; // a Duplicate for its file, not its address
};

struct BatchRules {
    int maxdesc = 0;
    int activeRows = 1; // template row included
    int queueRows = 1;  // template row included
    // The queue takes an address while it holds fewer rows than this.
    int queueRowLimit = 40;
    // A full queue stops the batch (Full) instead of dropping the address.
    bool stopWhenFull = false;
    // What the two tables already hold.
    std::function<bool(const QString &url)> urlTaken;
    std::function<bool(const QString &file)> fileTaken;
};

// Row limits of the queue (template row included): the link window leaves
// one place free, the list window fills it.
constexpr int kLinkQueueRows = 40;
constexpr int kListQueueRows = 41;

// The plan of a batch, one step per source in order (a Full step ends it).
// The active table takes an address while maxdesc + 1 is greater than its
// row count, the queue while it holds fewer than queueRowLimit rows. No two
// steps that are added share an address or a target file: a repeated address,
// or one a table already downloads, is passed over; a second address with the
// same file name is saved as "name (2).ext", "name (3).ext", ...
QList<BatchStep> planBatch(const QList<BatchSource> &sources, const QString &folder, const BatchRules &rules);

// The folder and the name joined by one separator.
QString joinFolder(const QString &folder, const QString &name);
// "f.zip", 2 -> "f (2).zip"; a name without extension gets the number at its end.
QString numberedName(const QString &name, int n);
// A name taken from a list file as a local file name: a plain name stays as
// it is, one that names a folder or climbs out of one is cut as GetFileName
// cuts an address.
QString itemFileName(const QString &item);

// The rules filled from the two tables and the settings.
BatchRules tableRules(const activas &active, const inactivas &queue, int queueRowLimit, bool stopWhenFull);
// The log entries of a plan, in order: each rename on its own, then one
// entry for each reason addresses were passed over. A reason met once keeps
// the step's own note; more often, it is told once with the count and the
// first few addresses, so a batch of thousands writes a few lines.
QStringList batchLog(const QList<BatchStep> &plan);

// Hands the added steps to the tables and logs batchLog's entries. Returns the Full
// step's index, or -1 when the batch ran to its end.
qsizetype addPlanned(const QList<BatchStep> &plan, activas &active, inactivas &queue);
