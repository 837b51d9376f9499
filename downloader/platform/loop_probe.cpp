#include "platform/loop_probe.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>

Q_LOGGING_CATEGORY(lcLoop, "tandrel.loop", QtWarningMsg)

using namespace Qt::StringLiterals;

namespace platform {

LoopProbe *LoopProbe::startIfWanted(QObject *parent)
{
    return lcLoop().isDebugEnabled() ? new LoopProbe(parent) : nullptr;
}

LoopProbe::LoopProbe(QObject *parent) : QObject(parent)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread());
    if (dispatcher) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &LoopProbe::awake, Qt::DirectConnection);
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &LoopProbe::aboutToBlock,
                Qt::DirectConnection);
    }
    // Events for the objects of the window thread pass here first, so the
    // time between two of them is what the first one took.
    QCoreApplication::instance()->installEventFilter(this);
    busy_.start();
}

LoopProbe::~LoopProbe()
{
    qCDebug(lcLoop, "longest gap of the window thread: %lld ms%s", longestMs(),
            longestWhat_.isEmpty() ? "" : qPrintable(u", in "_s + longestWhat_));
}

QString LoopProbe::Event::text() const
{
    return receiver ? u"event %1 for a %2"_s.arg(type).arg(QString::fromLatin1(receiver)) : u"no event"_s;
}

// The dispatcher does not always say it is awake before it delivers the
// first event after a wait (glib's says so after): whichever comes first,
// that or an event, starts a stretch of work.
void LoopProbe::awake()
{
    if (!waiting_)
        return;
    waiting_ = false;
    busy_.restart();
    eventStart_ = 0;
    event_ = {};
    worstEventNs_ = 0;
    worstEvent_ = {};
}

void LoopProbe::closeEvent(qint64 now)
{
    if (event_.receiver && now - eventStart_ > worstEventNs_) {
        worstEventNs_ = now - eventStart_;
        worstEvent_ = event_;
    }
}

void LoopProbe::aboutToBlock()
{
    if (waiting_)
        return;
    waiting_ = true;
    const qint64 now = busy_.nsecsElapsed();
    closeEvent(now);
    event_ = {};
    if (now > longestNs_) {
        longestNs_ = now;
        longestWhat_ = worstEvent_.text();
    }
    if (now / 1000000 > kReportMs)
        qCDebug(lcLoop, "gap of %lld ms; longest event %lld ms: %s", now / 1000000, worstEventNs_ / 1000000,
                qPrintable(worstEvent_.text()));
}

// Cheap on purpose: it runs for every event of the window thread.
bool LoopProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (QThread::currentThread() == thread()) {
        if (waiting_)
            awake();
        const qint64 now = busy_.nsecsElapsed();
        closeEvent(now);
        eventStart_ = now;
        event_ = {watched->metaObject()->className(), int(event->type())};
    }
    return QObject::eventFilter(watched, event);
}

} // namespace platform
