#pragma once

#include "core/queue_hooks.h"
#include "engine/activas.h"
#include "main/ftplogin.h"
#include "scripted_prompts.h"
#include "settings/cfg.h"
#include "test_folder.h"

#include <QList>
#include <QString>

#include <memory>

// A headless active window in a fresh program folder, with scripted prompts,
// recorded sounds and shell, and settings written to known values.
struct EngineFixture {
    testing::TestFolder folder;
    testing::ScriptedPrompts prompts;
    testing::RecordingSound sound;
    testing::RecordingShell shell;
    FtpLoginPrompt login;
    std::unique_ptr<cfg> settings;
    std::unique_ptr<activas> window;
    QList<QPair<int, QString>> status;

    EngineFixture();
    // Downloads on one connection each, as before several were offered.
    void oneConnection();
    ~EngineFixture();

    QString target(const QString &name) const { return folder.file(name); }
    // Adds a download that is not saved to the list; returns its slot.
    int add(const QString &url, const QString &name, qint64 size = 0, qint64 position = 0, bool resumable = false);
    bool finished(int slot) const;
    QStringList statusTexts(int panel) const;
};

// Waits for the download to finish or to arm its retry, and retries at once;
// true when it finished within maxRetries retries.
bool driveToEnd(EngineFixture &f, int slot, int maxRetries, int waitMs = 20000);

// True when an activity log entry of this run contains part.
bool logHas(const QString &part);

// A queue that records what the active window hands it.
class RecordingQueue final : public QueueHooks {
public:
    int rows = 1;
    QStringList added;
    QStringList targets; // files the queue already writes
    int promotions = 0;
    int loadedRows() const override { return rows; }
    bool addnew(const QString &url, const QString &, qint64, qint64, bool, qint32, bool, const QString &,
                const QString &, bool, bool) override
    {
        added << url;
        ++rows;
        return true;
    }
    void toactivas() override { ++promotions; }
    bool holdsTarget(const QString &file) const override { return targets.contains(file); }
    QString writeListNow() override { return {}; }
};
