#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the program was started with: `downloader [ADDRESS...]`,
// `downloader --lista FILE`, `--help`, `--version`.
struct CommandLine {
    enum class Action { Run, Help, Version, Refused };
    Action action = Action::Run;
    QStringList addresses;
    QString listFile; // a saved link list, as "Cargar lista de archivo" reads it
    QString error;    // Refused: what standard error says
    bool handsSomething() const { return !addresses.isEmpty() || !listFile.isEmpty(); }
};

// The arguments after the program's name.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText(const QString &version);

// What a second start sends to the copy already running: a JSON object,
// {"direcciones": [...], "lista": "..."}.
inline constexpr qsizetype kMaxHandOffBytes = 64 * 1024;
QByteArray encodeHandOff(const CommandLine &line);

struct HandOff {
    QStringList addresses;
    QString listFile;
    QString error; // why the message was dropped; empty when it was read
};
// Never trusts the bytes: too long, not JSON, the wrong shapes or an address
// no download can start from drop the whole message with a reason.
HandOff decodeHandOff(const QByteArray &bytes);
