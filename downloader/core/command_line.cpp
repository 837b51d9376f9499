#include "core/command_line.h"

#include "core/native_message.h"
#include "core/schemes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

using namespace Qt::StringLiterals;

namespace {
const QString kAddresses = u"direcciones"_s;
const QString kList = u"lista"_s;
const QString kDownloads = u"descargas"_s;
const QString kAddress = u"direccion"_s;
const QString kName = u"nombre"_s;
const QString kReferrer = u"referente"_s;
const QString kCookies = u"cookies"_s;
const QString kAnswers = u"resultados"_s;
const QString kAccepted = u"aceptada"_s;
const QString kMessage = u"mensaje"_s;

CommandLine refused(const QString &error)
{
    CommandLine line;
    line.action = CommandLine::Action::Refused;
    line.error = error;
    return line;
}

// Every field a string; the address one a download can start from, the
// referrer a page's, and nothing that could break a request's header.
std::optional<BrowserDownload> browserDownload(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    for (const QString &key : {kAddress, kName, kReferrer, kCookies})
        if (!o.value(key).isUndefined() && !o.value(key).isString())
            return std::nullopt;
    BrowserDownload d;
    d.address = o.value(kAddress).toString();
    d.fileName = o.value(kName).toString();
    d.session.url = d.address;
    d.session.referrer = o.value(kReferrer).toString();
    d.session.cookies = o.value(kCookies).toString();
    if (!isDownloadAddress(d.address) || !isHeaderValue(d.address) || !isHeaderValue(d.fileName)
        || !isHeaderValue(d.session.referrer) || !isHeaderValue(d.session.cookies))
        return std::nullopt;
    if (!d.session.referrer.isEmpty() && !isPageAddress(d.session.referrer))
        return std::nullopt;
    return d;
}
} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    // The browsers start the host named in its manifest with arguments of
    // their own: Chromium the caller's origin, Firefox the manifest and the
    // extension's ID.
    if (arguments.value(0) == u"--host"_s || arguments.value(0).startsWith(u"chrome-extension://"_s)
        || (arguments.size() >= 2 && arguments.at(1) == QString::fromUtf16(kFirefoxExtensionId))) {
        line.action = CommandLine::Action::Host;
        return line;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == u"--help"_s || a == u"-h"_s) {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (a == u"--version"_s) {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (a == u"--registrar-navegador"_s) {
            line.action = CommandLine::Action::RegisterBrowser;
            return line;
        }
        if (a == u"--lista"_s) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                return refused(u"Falta el archivo de --lista."_s);
            line.listFile = arguments.at(++i);
            continue;
        }
        if (a.startsWith(u"-"_s))
            return refused(u"Opción desconocida: "_s + a + u". Pruebe «downloader --help»."_s);
        QString address = a.trimmed();
        // The desktop hands a "tandr:" link over whole, as the built-in browser takes it.
        if (address.startsWith(u"tandr:"_s))
            address = address.mid(6);
        if (!isDownloadAddress(address))
            return refused(wrongAddressText() + u": "_s + a);
        line.addresses << address;
    }
    return line;
}

QString helpText()
{
    return u"Uso: downloader [DIRECCIÓN...]\n"
           u"     downloader --lista ARCHIVO\n"
           u"\n"
           u"Descarga cada DIRECCIÓN (http://, https:// o ftp://) a la carpeta de descargas,\n"
           u"como el añadido rápido. Con --lista, abre una lista de enlaces guardada, como\n"
           u"«Cargar lista de archivo». Si el programa ya está abierto en la misma carpeta,\n"
           u"las direcciones se le entregan a él.\n"
           u"\n"
           u"  --help      muestra esta ayuda y termina\n"
           u"  --version   muestra la versión y termina\n"
           u"  --registrar-navegador\n"
           u"              prepara Chromium y Firefox para que la extensión de Tandrel\n"
           u"              le entregue descargas (solo para este usuario)\n"
           u"  --host      atiende a la extensión del navegador por la entrada estándar\n"_s;
}

QString versionText(const QString &version)
{
    return u"Tandrel "_s + version + u'\n';
}

QByteArray encodeHandOff(const CommandLine &line)
{
    QJsonObject message;
    message.insert(kAddresses, QJsonArray::fromStringList(line.addresses));
    if (!line.listFile.isEmpty())
        message.insert(kList, line.listFile);
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

HandOff decodeHandOff(const QByteArray &bytes)
{
    HandOff h;
    if (bytes.size() > kMaxHandOffBytes) {
        h.error = u"el mensaje pasa de %1 bytes"_s.arg(kMaxHandOffBytes);
        return h;
    }
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        h.error = u"el mensaje no es un objeto JSON"_s;
        return h;
    }
    const QJsonObject message = document.object();
    const QJsonValue addresses = message.value(kAddresses);
    const QJsonValue list = message.value(kList);
    const QJsonValue downloads = message.value(kDownloads);
    if ((!addresses.isUndefined() && !addresses.isArray()) || (!list.isUndefined() && !list.isString())
        || (!downloads.isUndefined() && !downloads.isArray())) {
        h.error = u"el mensaje no tiene la forma esperada"_s;
        return h;
    }
    HandOff read;
    for (const QJsonValue &value : addresses.toArray()) {
        const QString address = value.toString();
        if (!value.isString() || !isDownloadAddress(address)) {
            h.error = u"el mensaje trae una dirección que no se puede descargar"_s;
            return h;
        }
        read.addresses << address;
    }
    read.listFile = list.toString();
    for (const QJsonValue &value : downloads.toArray()) {
        std::optional<BrowserDownload> d = browserDownload(value);
        if (!d) {
            h.error = u"el mensaje trae una descarga del navegador que no se puede aceptar"_s;
            return h;
        }
        read.downloads << std::move(*d);
    }
    if (read.addresses.isEmpty() && read.listFile.isEmpty() && read.downloads.isEmpty())
        read.error = u"el mensaje no trae nada que descargar"_s;
    return read;
}

QByteArray encodeBrowserHandOff(const QList<BrowserDownload> &downloads)
{
    QJsonArray list;
    for (const BrowserDownload &d : downloads) {
        QJsonObject o;
        o.insert(kAddress, d.address);
        if (!d.fileName.isEmpty())
            o.insert(kName, d.fileName);
        if (!d.session.referrer.isEmpty())
            o.insert(kReferrer, d.session.referrer);
        if (!d.session.cookies.isEmpty())
            o.insert(kCookies, d.session.cookies);
        list.append(o);
    }
    return QJsonDocument(QJsonObject{{kDownloads, list}}).toJson(QJsonDocument::Compact);
}

QByteArray encodeHandOffAnswers(const QList<HandOffAnswer> &answers)
{
    QJsonArray list;
    for (const HandOffAnswer &a : answers)
        list.append(QJsonObject{{kAddress, a.address}, {kAccepted, a.accepted}, {kMessage, a.message}});
    return QJsonDocument(QJsonObject{{kAnswers, list}}).toJson(QJsonDocument::Compact);
}

QList<HandOffAnswer> decodeHandOffAnswers(const QByteArray &bytes, QString *error)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue list = document.object().value(kAnswers);
    if (!list.isArray()) {
        *error = u"la respuesta del programa no tiene la forma esperada"_s;
        return {};
    }
    QList<HandOffAnswer> answers;
    for (const QJsonValue &value : list.toArray()) {
        const QJsonObject o = value.toObject();
        if (!o.value(kAddress).isString() || !o.value(kAccepted).isBool()) {
            *error = u"la respuesta del programa no tiene la forma esperada"_s;
            return {};
        }
        answers.append({o.value(kAddress).toString(), o.value(kAccepted).toBool(), o.value(kMessage).toString()});
    }
    return answers;
}
