#pragma once

#include "pindle_export.h"

#include <QIcon>
#include <QString>

#include <optional>

// The record that tells the tray what to add, change or remove, and the mouse
// messages the tray sends back about the icon.
namespace pindle {

enum class NotifyCommand { Add = 0, Modify = 1, Delete = 2 };

enum NotifyFlag : quint32 {
    FlagMessage = 1, // callbackMessage is valid
    FlagIcon = 2,
    FlagTip = 4,
};

constexpr quint32 kRecordSize = 88;
constexpr quint32 kCallbackMessage = 1024 + 101;
// The tip field holds 64 characters including the terminating NUL.
constexpr int kTipCapacity = 64;
constexpr int kMaxTipLength = kTipCapacity - 1;

struct PINDLE_EXPORT NotifyRecord {
    quint32 size = kRecordSize;
    quintptr window = 0;
    quint32 id = 0;
    quint32 flags = 0;
    quint32 callbackMessage = 0;
    QIcon icon;
    QString tip;

    // A null icon or an empty tip leaves its flag out.
    static NotifyRecord forAdd(quintptr window, quint32 id, const QIcon &icon, const QString &tip);
    static NotifyRecord forIcon(quintptr window, quint32 id, const QIcon &icon);
    static NotifyRecord forTip(quintptr window, quint32 id, const QString &tip);
    static NotifyRecord forDelete(quintptr window, quint32 id);
};

// The tip as the tray shows it: up to the first NUL, at most kMaxTipLength
// characters, never ending in half of a surrogate pair.
PINDLE_EXPORT QString fitTip(const QString &tip);

// Mouse messages carried by the callback message.
enum MouseMessage : quint32 {
    MsgMouseMove = 512,
    MsgLeftDown = 513,
    MsgLeftUp = 514,
    MsgLeftDoubleClick = 515,
    MsgRightDown = 516,
    MsgRightUp = 517,
    MsgRightDoubleClick = 518,
};

struct TrayMouseEvent {
    enum Kind { Move, Down, Up, DoubleClick };
    Kind kind;
    int button; // 1 left, 2 right; 0 for a move
    // Written out: a client built as C++17 includes this header too.
    friend bool operator==(const TrayMouseEvent &a, const TrayMouseEvent &b)
    {
        return a.kind == b.kind && a.button == b.button;
    }
    friend bool operator!=(const TrayMouseEvent &a, const TrayMouseEvent &b) { return !(a == b); }
};

// Which event a mouse message raises; middle button and anything else raise none.
PINDLE_EXPORT std::optional<TrayMouseEvent> decodeMouseMessage(quint32 message);

} // namespace pindle
