#include "core/command_line.h"

#include "core/schemes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {
const QString kAddresses = u"direcciones"_s;
const QString kList = u"lista"_s;

CommandLine refused(const QString &error)
{
    CommandLine line;
    line.action = CommandLine::Action::Refused;
    line.error = error;
    return line;
}
} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
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
           u"  --version   muestra la versión y termina\n"_s;
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
    if ((!addresses.isUndefined() && !addresses.isArray()) || (!list.isUndefined() && !list.isString())) {
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
    if (read.addresses.isEmpty() && read.listFile.isEmpty())
        read.error = u"el mensaje no trae nada que descargar"_s;
    return read;
}
