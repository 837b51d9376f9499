#include "main/native_host.h"

#include "core/atomic_file.h"
#include "core/native_message.h"
#include "core/program_folder.h"
#include "platform/hand_off.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Long enough for the user to answer whether an old file may be overwritten.
constexpr int kAnswerMs = 120 * 1000;
constexpr int kStartingMs = 20 * 1000;

bool writeOut(const QJsonObject &message)
{
    const QByteArray frame = nativeFrame(message);
    if (std::fwrite(frame.constData(), 1, size_t(frame.size()), stdout) != size_t(frame.size()))
        return false;
    return std::fflush(stdout) == 0;
}

QJsonObject answerFromRunningCopy(const QByteArray &answer)
{
    QString error;
    const QList<HandOffAnswer> answers = decodeHandOffAnswers(answer, &error);
    if (answers.size() != 1)
        return nativeError(error.isEmpty() ? u"La respuesta de Tandrel no se entiende."_s : error);
    return nativeAnswer(answers.first());
}

QJsonObject handOver(const BrowserDownload &download)
{
    const QString folder = platform::programFolder();
    const QByteArray message = encodeBrowserHandOff({download});
    QByteArray answer;
    QString error;
    platform::Asked asked = platform::askHandOff(folder, message, 0, kAnswerMs, &answer, &error);
    if (asked == platform::Asked::NotRunning) {
        // Nothing of the message is passed on the command line: the program
        // starts bare, and gets the download through its socket.
        if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {}))
            return nativeError(u"No se ha podido abrir Tandrel."_s);
        asked = platform::askHandOff(folder, message, kStartingMs, kAnswerMs, &answer, &error);
    }
    if (asked != platform::Asked::Answered)
        return nativeError(u"Tandrel no ha tomado la descarga: "_s + error + u'.');
    return answerFromRunningCopy(answer);
}

QJsonObject reply(const QByteArray &payload)
{
    const NativeRequest request = decodeNativeRequest(payload);
    switch (request.kind) {
    case NativeRequest::Kind::Check:
        return nativeCheckAnswer(QCoreApplication::applicationVersion());
    case NativeRequest::Kind::Download:
        return handOver(request.download);
    case NativeRequest::Kind::Bad:
        break;
    }
    return nativeError(request.error);
}
} // namespace

int runNativeHost(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Tandrel"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(TANDREL_VERSION));
    QByteArray buffer;
    char chunk[64 * 1024];
    for (;;) {
        const NativeFrame frame = takeNativeFrame(buffer);
        if (frame.state == NativeFrame::State::TooLong) {
            // What follows cannot be told apart from the next message: the end.
            writeOut(nativeError(u"El mensaje del navegador pasa de %1 bytes."_s.arg(kMaxNativeMessageBytes)));
            return 1;
        }
        if (frame.state == NativeFrame::State::Complete) {
            buffer.remove(0, frame.consumed);
            if (!writeOut(reply(frame.payload)))
                return 1;
            continue;
        }
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // The browser closed its end: between messages that is the normal end.
            if (buffer.isEmpty())
                return 0;
            writeOut(nativeError(u"El mensaje del navegador llegó cortado."_s));
            return 1;
        }
        buffer.append(chunk, got);
    }
}

bool registerBrowserHosts(const QString &home, const QString &programPath, QString *report)
{
    const QString file = QString::fromUtf16(kNativeHostName) + u".json"_s;
    const struct {
        BrowserKind browser;
        QString folder;
    } places[] = {{BrowserKind::Chromium, home + u"/.config/chromium/NativeMessagingHosts"_s},
                  {BrowserKind::Firefox, home + u"/.mozilla/native-messaging-hosts"_s}};
    bool ok = true;
    for (const auto &place : places) {
        const QString path = place.folder + u'/' + file;
        QString error = u"no se puede crear la carpeta"_s;
        if (QDir().mkpath(place.folder)
            && platform::saveFileAtomically(path, nativeHostManifest(place.browser, programPath), &error)) {
            *report += u"Escrito "_s + path + u'\n';
        } else {
            *report += u"No se ha podido escribir "_s + path + u": "_s + error + u'\n';
            ok = false;
        }
    }
    return ok;
}

int runBrowserRegistration(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    QString report;
    const bool ok = registerBrowserHosts(QDir::homePath(), QCoreApplication::applicationFilePath(), &report);
    const QByteArray text = report.toLocal8Bit();
    std::fputs(text.constData(), ok ? stdout : stderr);
    return ok ? 0 : 1;
}
