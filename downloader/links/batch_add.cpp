#include "links/batch_add.h"

#include "core/schemes.h"
#include "core/target_path.h"
#include "core/url.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "log/log_append.h"
#include "settings/cfg.h"

#include <QDir>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

const QString kCrlf = u"\r\n"_s;

// How many addresses a summary names, and how much of each.
constexpr qsizetype kNamedInSummary = 3;
constexpr qsizetype kNamedLength = 120;

// The addresses passed over for one reason, gathered for one log entry.
struct Refusals {
    QString what; // "direcciones incorrectas", ...
    QString firstNote;
    QStringList named;
    qsizetype count = 0;

    void add(const BatchStep &step)
    {
        if (count++ == 0)
            firstNote = step.note;
        if (named.size() < kNamedInSummary)
            named << (step.url.size() > kNamedLength ? step.url.left(kNamedLength) + u'…' : step.url);
    }

    QString entry() const
    {
        if (count == 1)
            return firstNote;
        return kCrlf + u"No se han agregado %1 %2: "_s.arg(count).arg(what) + named.join(u", "_s)
               + (count > named.size() ? u"…"_s : u"."_s);
    }
};

} // namespace

QString joinFolder(const QString &folder, const QString &name)
{
    // No folder: the program's own, as list files read relative targets.
    if (folder.isEmpty())
        return listTargetPath(name);
    if (folder.endsWith(u'/') || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

QString numberedName(const QString &name, int n)
{
    const QString number = u" ("_s + QString::number(n) + u')';
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return name + number;
    return name.left(dot) + number + name.mid(dot);
}

QString itemFileName(const QString &item)
{
    const bool plain =
        !item.isEmpty() && item != u"."_s && item != u".."_s && !item.contains(u'/') && !item.contains(u'\\');
    return plain ? item : GetFileName(u"http://h/"_s + item);
}

QList<BatchStep> planBatch(const QList<BatchSource> &sources, const QString &folder, const BatchRules &rules)
{
    QList<BatchStep> plan;
    QSet<QString> urls;  // addresses added by this batch
    QSet<QString> files; // their targets, one spelling each
    int activeRows = rules.activeRows;
    int queueRows = rules.queueRows;
    const auto tableUrl = [&rules](const QString &url) { return rules.urlTaken && rules.urlTaken(url); };
    const auto tableFile = [&rules](const QString &file) { return rules.fileTaken && rules.fileTaken(file); };

    for (const BatchSource &source : sources) {
        BatchStep step{source.url, joinFolder(folder, source.name), BatchTarget::Dropped, {}};
        if (!isDownloadAddress(step.url)) {
            step.target = BatchTarget::Invalid;
            step.note = kCrlf + u"No se agrega "_s + step.url + u": Dirección incorrecta."_s;
            plan.append(step);
            continue;
        }
        if (urls.contains(step.url) || tableUrl(step.url)) {
            step.target = BatchTarget::Duplicate;
            step.note = kCrlf + u"No se agrega "_s + step.url + u": ya está en la lista de descargas."_s;
            plan.append(step);
            continue;
        }
        if (tableFile(step.file)) {
            step.target = BatchTarget::Duplicate;
            step.targetTaken = true;
            step.note = kCrlf + u"No se agrega "_s + step.url + u": el archivo "_s + step.file
                        + u" ya es el destino de otra descarga."_s;
            plan.append(step);
            continue;
        }
        if (files.contains(sameFileKey(step.file))) {
            // Another address of this batch has the name: this one gets its own.
            const QString first = step.file;
            for (int n = 2;; ++n) {
                step.file = joinFolder(folder, numberedName(source.name, n));
                if (!files.contains(sameFileKey(step.file)) && !tableFile(step.file))
                    break;
            }
            step.note = kCrlf + u"Se guarda "_s + step.url + u" como "_s + step.file + u" porque "_s + first
                        + u" ya es el destino de otra descarga."_s;
        }

        if (rules.maxdesc + 1 > activeRows) {
            step.target = BatchTarget::Active;
            ++activeRows;
        } else if (queueRows < rules.queueRowLimit) {
            step.target = BatchTarget::Queue;
            ++queueRows;
        } else {
            step.target = rules.stopWhenFull ? BatchTarget::Full : BatchTarget::Dropped;
            step.note.clear();
            plan.append(step);
            if (rules.stopWhenFull)
                break;
            continue;
        }
        urls.insert(step.url);
        files.insert(sameFileKey(step.file));
        plan.append(step);
    }
    return plan;
}

BatchRules tableRules(const activas &active, const inactivas &queue, int queueRowLimit, bool stopWhenFull)
{
    BatchRules rules;
    const cfg *settings = cfg::instance();
    rules.maxdesc = settings ? settings->maxdesc() : 10;
    rules.activeRows = active.loadedRows();
    rules.queueRows = queue.loadedRows();
    rules.queueRowLimit = queueRowLimit;
    rules.stopWhenFull = stopWhenFull;
    rules.urlTaken = [&active, &queue](const QString &url) {
        for (int i = 1; i < activas::kSlots; ++i)
            if ((active.existe(i) && active.entry(i).url == url) || (queue.existe(i) && queue.entry(i).url == url))
                return true;
        return false;
    };
    rules.fileTaken = [&active, &queue](const QString &file) {
        return active.targetTaken(file) || queue.holdsTarget(file);
    };
    return rules;
}

QStringList batchLog(const QList<BatchStep> &plan)
{
    QStringList entries;
    Refusals invalid{u"direcciones incorrectas"_s, {}, {}, 0};
    Refusals listed{u"direcciones que ya están en la lista de descargas"_s, {}, {}, 0};
    Refusals taken{u"direcciones cuyo archivo ya es el destino de otra descarga"_s, {}, {}, 0};
    for (const BatchStep &step : plan) {
        if (step.note.isEmpty())
            continue;
        if (step.target == BatchTarget::Invalid)
            invalid.add(step);
        else if (step.target == BatchTarget::Duplicate)
            (step.targetTaken ? taken : listed).add(step);
        else
            entries << step.note;
    }
    for (const Refusals *r : {&invalid, &listed, &taken})
        if (r->count > 0)
            entries << r->entry();
    return entries;
}

qsizetype addPlanned(const QList<BatchStep> &plan, activas &active, inactivas &queue)
{
    const QString user = u"anonymous"_s;
    const QString password = u"guestpw"_s;
    // Each list is written once for the whole batch, not once per address.
    bool activeTouched = false;
    bool queueTouched = false;
    qsizetype stoppedAt = -1;
    for (qsizetype i = 0; i < plan.size() && stoppedAt < 0; ++i) {
        const BatchStep &step = plan[i];
        switch (step.target) {
        case BatchTarget::Active:
            active.addnew(step.url, step.file, 0, 0, false, 0, true, user, password, true);
            activeTouched = true;
            break;
        case BatchTarget::Queue:
            queue.addnew(step.url, step.file, 0, 0, false, 0, true, user, password, true, false);
            queueTouched = true;
            break;
        case BatchTarget::Full:
            stoppedAt = i;
            break;
        case BatchTarget::Dropped:
        case BatchTarget::Duplicate:
        case BatchTarget::Invalid:
            break;
        }
    }
    // One entry per reason, not per address: thousands of entries would push
    // the whole history out of the log and hold the window for seconds.
    for (const QString &entry : batchLog(plan))
        appendLog(entry, 0);
    if (queueTouched)
        queue.guardar_lista_inactivas();
    if (activeTouched)
        active.guardar_lista_activas();
    return stoppedAt;
}
