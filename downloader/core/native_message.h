#pragma once

#include "core/command_line.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The web browser's native messaging: each message is a 4-byte length in
// the machine's own byte order, then that many bytes of UTF-8 JSON. Both
// ways; the browser starts the host and talks over its standard streams.

// The host takes no more than this in one message (the browser's own cap
// for what it sends to a host is far larger; ours only has to hold one link
// and its cookies).
inline constexpr qsizetype kMaxNativeMessageBytes = 1024 * 1024;

// The name the browsers know the host by, and the extension's fixed IDs.
inline constexpr char16_t kNativeHostName[] = u"org.tandrel.tandrel";
inline constexpr char16_t kChromiumExtensionId[] = u"gokdmdecklnoemkkdgnhhocmglbioaic";
inline constexpr char16_t kFirefoxExtensionId[] = u"tandrel@tandrel.org";

struct NativeFrame {
    enum class State { Incomplete, Complete, TooLong };
    State state = State::Incomplete;
    QByteArray payload;     // Complete: the message's bytes
    qsizetype consumed = 0; // Complete: bytes to drop from the front of the buffer
    quint32 length = 0;     // the length the frame announced, once its 4 bytes are in
};
// The first frame in what has arrived so far.
NativeFrame takeNativeFrame(const QByteArray &buffer);
QByteArray nativeFrame(const QJsonObject &message);

// What the extension asks: {"accion": "descargar", "direccion", "nombre",
// "referente", "cookies"} or {"accion": "comprobar"}. Other fields are ignored.
struct NativeRequest {
    enum class Kind { Bad, Download, Check };
    Kind kind = Kind::Bad;
    BrowserDownload download;
    QString error; // Bad: why, told back to the browser
};
NativeRequest decodeNativeRequest(const QByteArray &payload);

// The replies: {"aceptada": bool, "mensaje": "..."} for a download,
// {"aceptada": false, "error": "..."} for a message that could not be taken,
// {"version": "..."} for a check.
QJsonObject nativeAnswer(const HandOffAnswer &answer);
QJsonObject nativeError(const QString &error);
QJsonObject nativeCheckAnswer(const QString &version);

// The host manifest each browser reads to find the program.
enum class BrowserKind { Chromium, Firefox };
QByteArray nativeHostManifest(BrowserKind browser, const QString &programPath);
