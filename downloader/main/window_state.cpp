#include "main/window_state.h"

#include "core/text_lines.h"

#include <array>

namespace {

constexpr qsizetype kValueBytes = 2;
constexpr qsizetype kMaxLineBytes = 64 * 1024;

// The values in file order.
std::array<bool ViewState::*, 7> viewFields()
{
    return {&ViewState::viewweb,          &ViewState::viewhist, &ViewState::viewactivas, &ViewState::viewinactivas,
            &ViewState::viewestadisticas, &ViewState::general,  &ViewState::viequickadd};
}

} // namespace

QByteArray encodeViewWin(const ViewState &state)
{
    QByteArray out;
    for (bool ViewState::*field : viewFields()) {
        const char byte = state.*field ? char(0xFF) : char(0x00);
        out.append(kValueBytes, byte);
    }
    return out;
}

ViewState decodeViewWin(const QByteArray &bytes)
{
    // A missing file is created empty; reading it as all hidden would start
    // with no table and no bars, so only the values present are taken.
    ViewState state;
    qsizetype offset = 0;
    for (bool ViewState::*field : viewFields()) {
        if (offset + kValueBytes > bytes.size())
            break;
        state.*field = bytes.at(offset) != 0 || bytes.at(offset + 1) != 0;
        offset += kValueBytes;
    }
    return state;
}

QByteArray encodeQuickList(const QStringList &items)
{
    QByteArray out;
    for (const QString &item : items) {
        QByteArray line = item.toLocal8Bit();
        line.replace('\r', QByteArray());
        line.replace('\n', QByteArray());
        out += line;
        out += "\r\n";
    }
    return out;
}

QStringList decodeQuickList(const QByteArray &bytes)
{
    QStringList items;
    for (const QByteArray &line : platform::textLines(bytes))
        if (line.size() <= kMaxLineBytes)
            items << QString::fromLocal8Bit(line);
    return items;
}
