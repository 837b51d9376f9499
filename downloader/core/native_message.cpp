#include "core/native_message.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstring>

using namespace Qt::StringLiterals;

NativeFrame takeNativeFrame(const QByteArray &buffer)
{
    NativeFrame f;
    if (buffer.size() < 4)
        return f;
    std::memcpy(&f.length, buffer.constData(), 4); // the machine's own order, as the browser writes it
    if (f.length > kMaxNativeMessageBytes) {
        f.state = NativeFrame::State::TooLong;
        return f;
    }
    if (buffer.size() - 4 < qsizetype(f.length))
        return f;
    f.state = NativeFrame::State::Complete;
    f.payload = buffer.mid(4, f.length);
    f.consumed = 4 + qsizetype(f.length);
    return f;
}

QByteArray nativeFrame(const QJsonObject &message)
{
    const QByteArray json = QJsonDocument(message).toJson(QJsonDocument::Compact);
    const auto length = quint32(json.size());
    QByteArray out(4, '\0');
    std::memcpy(out.data(), &length, 4);
    return out + json;
}

NativeRequest decodeNativeRequest(const QByteArray &payload)
{
    NativeRequest r;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        r.error = u"El mensaje del navegador no es un objeto JSON."_s;
        return r;
    }
    const QJsonObject o = document.object();
    const QString action = o.value(u"accion"_s).toString();
    if (action == u"comprobar"_s) {
        r.kind = NativeRequest::Kind::Check;
        return r;
    }
    if (action != u"descargar"_s) {
        r.error = u"El mensaje del navegador no pide nada conocido."_s;
        return r;
    }
    // The hand-off's own reader checks the download: one set of rules.
    QJsonObject d;
    for (const QString &key : {u"direccion"_s, u"nombre"_s, u"referente"_s, u"cookies"_s})
        if (o.contains(key))
            d.insert(key, o.value(key));
    const QByteArray handOff =
        QJsonDocument(QJsonObject{{u"descargas"_s, QJsonArray{d}}}).toJson(QJsonDocument::Compact);
    const HandOff h = decodeHandOff(handOff);
    if (!h.error.isEmpty() || h.downloads.size() != 1) {
        r.error = u"El navegador ha enviado una descarga que no se puede aceptar: solo se descargan direcciones "
                  u"http://, https:// o ftp://, sin saltos de línea en sus datos."_s;
        return r;
    }
    r.kind = NativeRequest::Kind::Download;
    r.download = h.downloads.first();
    return r;
}

QJsonObject nativeAnswer(const HandOffAnswer &answer)
{
    return {{u"aceptada"_s, answer.accepted}, {u"mensaje"_s, answer.message}};
}

QJsonObject nativeError(const QString &error)
{
    return {{u"aceptada"_s, false}, {u"error"_s, error}};
}

QJsonObject nativeCheckAnswer(const QString &version)
{
    return {{u"version"_s, version}};
}

QByteArray nativeHostManifest(BrowserKind browser, const QString &programPath)
{
    QJsonObject m{{u"name"_s, QString::fromUtf16(kNativeHostName)},
                  {u"description"_s, u"Tandrel: descargas enviadas desde el navegador"_s},
                  {u"path"_s, programPath},
                  {u"type"_s, u"stdio"_s}};
    if (browser == BrowserKind::Chromium)
        m.insert(u"allowed_origins"_s,
                 QJsonArray{QString(u"chrome-extension://"_s + QString::fromUtf16(kChromiumExtensionId) + u'/')});
    else
        m.insert(u"allowed_extensions"_s, QJsonArray{QString::fromUtf16(kFirefoxExtensionId)});
    return QJsonDocument(m).toJson(QJsonDocument::Indented);
}
