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
    life_.start();
}

LoopProbe::~LoopProbe()
{
    qCDebug(lcLoop, "longest gap of the window thread: %lld ms%s; at start-up: %lld ms", longestMs(),
            longestWhat_.isEmpty() ? "" : qPrintable(u", in "_s + longestWhat_), longestStartUpNs_ / 1000000);
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
    events_ = 0;
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
    const QString what = u"%1 events, the longest %2 ms: %3, at %4 ms"_s.arg(events_)
                             .arg(worstEventNs_ / 1000000)
                             .arg(worstEvent_.text())
                             .arg(life_.elapsed() - now / 1000000);
    if (startUp_) {
        longestStartUpNs_ = qMax(longestStartUpNs_, now);
        startUp_ = !startUpEnding_;
        if (now / 1000000 > kReportMs)
            qCDebug(lcLoop, "start-up gap of %lld ms; %s", now / 1000000, qPrintable(what));
        return;
    }
    if (now > longestNs_) {
        longestNs_ = now;
        longestWhat_ = what;
    }
    if (now / 1000000 > kReportMs)
        qCDebug(lcLoop, "gap of %lld ms; %s", now / 1000000, qPrintable(what));
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
        ++events_;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace platform
