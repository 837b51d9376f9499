#pragma once

#include "core/browser_session.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the program was started with: `downloader [ADDRESS...]`,
// `downloader --lista FILE`, `--help`, `--version`, `--registrar-navegador`,
// `--host`, or what a web browser passes its native messaging host.
struct CommandLine {
    // Host: started by the web browser as its native messaging host.
    // RegisterBrowser: the host manifests are written for this user.
    enum class Action { Run, Help, Version, Refused, Host, RegisterBrowser };
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
// {"direcciones": [...], "lista": "..."}. Room for what the browser's host
// takes in one message, cookies included.
inline constexpr qsizetype kMaxHandOffBytes = 2 * 1024 * 1024;
QByteArray encodeHandOff(const CommandLine &line);

// A download the user's web browser hands over, with what it knew of it.
struct BrowserDownload {
    QString address;
    QString fileName; // the browser's name for the file; "" when it had none
    BrowserSession session;
};

// The browser's hand-off also carries {"descargas": [{"direccion": ...,
// "nombre": ..., "referente": ..., "cookies": ...}]}; a sender that waits for
// the answer ends its message with a line break.
struct HandOff {
    QStringList addresses;
    QString listFile;
    QList<BrowserDownload> downloads;
    QString error; // why the message was dropped; empty when it was read
};
QByteArray encodeBrowserHandOff(const QList<BrowserDownload> &downloads);

// The running copy's answer, one per download, in order.
struct HandOffAnswer {
    QString address;
    bool accepted = false;
    QString message; // what the quick add told the user; "" when all went well
    bool operator==(const HandOffAnswer &) const = default;
};
QByteArray encodeHandOffAnswers(const QList<HandOffAnswer> &answers);
// Empty with *error set when the bytes are not an answer.
QList<HandOffAnswer> decodeHandOffAnswers(const QByteArray &bytes, QString *error);
// Never trusts the bytes: too long, not JSON, the wrong shapes or an address
// no download can start from drop the whole message with a reason.
HandOff decodeHandOff(const QByteArray &bytes);
