#include "notify_record.h"

namespace pindle {

QString fitTip(const QString &tip)
{
    QString fitted = tip.left(tip.indexOf(QChar(0)));
    if (fitted.size() > kMaxTipLength) {
        fitted.truncate(kMaxTipLength);
        if (fitted.back().isHighSurrogate())
            fitted.chop(1);
    }
    return fitted;
}

NotifyRecord NotifyRecord::forAdd(quintptr window, quint32 id, const QIcon &icon, const QString &tip)
{
    NotifyRecord r;
    r.window = window;
    r.id = id;
    r.flags = FlagMessage;
    r.callbackMessage = kCallbackMessage;
    if (!icon.isNull()) {
        r.icon = icon;
        r.flags |= FlagIcon;
    }
    if (!tip.isEmpty()) {
        r.tip = fitTip(tip);
        r.flags |= FlagTip;
    }
    return r;
}

NotifyRecord NotifyRecord::forIcon(quintptr window, quint32 id, const QIcon &icon)
{
    NotifyRecord r;
    r.window = window;
    r.id = id;
    r.flags = FlagIcon;
    r.icon = icon;
    return r;
}

NotifyRecord NotifyRecord::forTip(quintptr window, quint32 id, const QString &tip)
{
    NotifyRecord r;
    r.window = window;
    r.id = id;
    r.flags = FlagTip;
    r.tip = fitTip(tip);
    return r;
}

NotifyRecord NotifyRecord::forDelete(quintptr window, quint32 id)
{
    NotifyRecord r;
    r.window = window;
    r.id = id;
    return r;
}

std::optional<TrayMouseEvent> decodeMouseMessage(quint32 message)
{
    switch (message) {
    case MsgMouseMove:
        return TrayMouseEvent{TrayMouseEvent::Move, 0};
    case MsgLeftDown:
        return TrayMouseEvent{TrayMouseEvent::Down, 1};
    case MsgLeftUp:
        return TrayMouseEvent{TrayMouseEvent::Up, 1};
    case MsgLeftDoubleClick:
        return TrayMouseEvent{TrayMouseEvent::DoubleClick, 1};
    case MsgRightDown:
        return TrayMouseEvent{TrayMouseEvent::Down, 2};
    case MsgRightUp:
        return TrayMouseEvent{TrayMouseEvent::Up, 2};
    case MsgRightDoubleClick:
        return TrayMouseEvent{TrayMouseEvent::DoubleClick, 2};
    default:
        return std::nullopt;
    }
}

} // namespace pindle
