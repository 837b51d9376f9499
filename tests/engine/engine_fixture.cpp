#include "engine_fixture.h"

#include "core/interval_timer.h"
#include "core/queue_hooks.h"
#include "log/log_append.h"
#include "rows/download.h"

#include <QTest>

EngineFixture::EngineFixture()
{
    settings = std::make_unique<cfg>();
    settings->setSegsv(5);
    settings->setVecesv(5);
    settings->setWaitv(10);
    settings->setMaxdesc(10);
    window = std::make_unique<activas>();
    window->setLogin(&login);
    QObject::connect(window.get(), &activas::statusText, window.get(), [this](int panel, const QString &text) {
        status.append({panel, text});
    });
    prompts.asked.clear(); // the missing settings file was reported once
}

EngineFixture::~EngineFixture()
{
    window.reset();
    settings.reset();
}

int EngineFixture::add(const QString &url, const QString &name, qint64 size, qint64 position, bool resumable)
{
    window->addnew(url, target(name), size, position, resumable, 0, true, QString(), QString(), false);
    for (int i = activas::kSlots - 1; i > 0; --i)
        if (window->existe(i) && window->entry(i).file == target(name))
            return i;
    return 0;
}

void EngineFixture::oneConnection()
{
    SettingsValues v = settings->values();
    v.connections = 1;
    settings->setValues(v);
}

bool EngineFixture::finished(int slot) const
{
    return window->indicador(slot) && window->indicador(slot)->finalizado();
}

QStringList EngineFixture::statusTexts(int panel) const
{
    QStringList out;
    for (const auto &entry : status)
        if (entry.first == panel)
            out << entry.second;
    return out;
}

bool driveToEnd(EngineFixture &f, int slot, int maxRetries, int waitMs)
{
    for (int attempt = 0; attempt <= maxRetries; ++attempt) {
        if (!QTest::qWaitFor([&] { return f.finished(slot) || f.window->slot(slot).redo->isRunning(); }, waitMs))
            return false;
        if (f.finished(slot))
            return true;
        f.window->redoTick(slot);
    }
    return f.finished(slot);
}

bool logHas(const QString &part)
{
    for (const LogEntry &entry : logEntries())
        if (entry.text.contains(part))
            return true;
    return false;
}
