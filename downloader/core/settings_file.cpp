#include "core/settings_file.h"

#include "core/program_folder.h"
#include "core/text_lines.h"

#include <QFile>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QByteArray crlf = QByteArrayLiteral("\r\n");

// The settings after the extension list are named, so they are told apart
// from extensions; no extension has an equals sign.
const QString kSpeedLimitKey = u"límite="_s;
const QString kConnectionsKey = u"conexiones="_s;

// A line break inside a value would shift every later line of the file.
QString oneLine(const QString &text)
{
    QString out = text;
    out.remove(u'\r');
    out.remove(u'\n');
    return out;
}

// Decimal with the sign place: a blank before a number that is not negative.
QString number(int value)
{
    return value < 0 ? QString::number(value) : u" "_s + QString::number(value);
}

QString checkValue(bool on)
{
    return number(on ? 1 : 0);
}

QString optionValue(bool on)
{
    return on ? u"True"_s : u"False"_s;
}

bool parseNumber(const QString &line, int *value)
{
    bool ok = false;
    const int v = line.trimmed().toInt(&ok);
    if (ok)
        *value = v;
    return ok;
}

bool parseCheck(const QString &line, bool *value)
{
    int v = 0;
    if (!parseNumber(line, &v))
        return false;
    *value = v != 0;
    return true;
}

bool parseOption(const QString &line, bool *value)
{
    const QString word = line.trimmed();
    if (word.compare(u"True"_s, Qt::CaseInsensitive) == 0) {
        *value = true;
        return true;
    }
    if (word.compare(u"False"_s, Qt::CaseInsensitive) == 0) {
        *value = false;
        return true;
    }
    return parseCheck(line, value); // the numeric forms of a Boolean (-1, 0)
}

bool parseNumericText(const QString &line, QString *text, int *value, bool blankIsZero)
{
    int v = 0;
    // An empty number reads as 0, for the settings where 0 is a value at all.
    if (blankIsZero && line.trimmed().isEmpty())
        v = 0;
    else if (!parseNumber(line, &v))
        return false;
    *text = line.trimmed();
    *value = v;
    return true;
}

QStringList splitLines(const QByteArray &bytes)
{
    QStringList lines;
    for (const QByteArray &line : platform::textLines(bytes))
        lines << QString::fromLocal8Bit(line);
    return lines;
}

QString logFile(const QString &programFolder)
{
    return platform::withTrailingSeparator(programFolder) + u"historial.rtf"_s;
}

} // namespace

SettingsValues defaultSettings(const QString &programFolder)
{
    SettingsValues v;
    v.defdir = platform::defaultDownloadFolder(programFolder);
    v.segs = u"5"_s;
    v.veces = u"5"_s;
    v.maxdesc = u"10"_s;
    v.wait = u"10"_s;
    v.histrut = logFile(programFolder);
    v.ext = {u".zip"_s, u".exe"_s, u".cab"_s, u".tar"_s, u".ace"_s, u".com"_s, u".arj"_s,
             u".doc"_s, u".vb"_s,  u".vbs"_s, u".gz"_s,  u".js"_s,  u".pif"_s};
    return v;
}

QByteArray encodeSettings(const SettingsValues &v)
{
    const QStringList lines = {
        oneLine(v.defdir),        checkValue(v.initstart), checkValue(v.showmsg), checkValue(v.exevirus),
        oneLine(v.virus),         oneLine(v.segs),         oneLine(v.veces),      checkValue(v.delinc),
        checkValue(v.dellista),   checkValue(v.autocont),  oneLine(v.maxdesc),    oneLine(v.wait),
        checkValue(v.checkact),   optionValue(v.autoact),  optionValue(v.notact), optionValue(v.msgno),
        optionValue(v.msgdialog), optionValue(v.msgsys),   checkValue(v.wavs),    oneLine(v.histrut),
        number(v.histsize),
    };
    QByteArray out;
    for (const QString &line : lines)
        out += line.toLocal8Bit() + crlf;
    for (const QString &item : v.ext)
        out += oneLine(item).toLocal8Bit() + crlf;
    // Written only when set: a file without a limit stays as an older
    // version wrote it.
    if (v.speedLimitKb > 0)
        out += (kSpeedLimitKey + QString::number(v.speedLimitKb)).toLocal8Bit() + crlf;
    if (v.connections != SettingsValues().connections)
        out += (kConnectionsKey + QString::number(v.connections)).toLocal8Bit() + crlf;
    return out;
}

SettingsReadResult decodeSettings(const QByteArray &bytes, const QString &programFolder)
{
    SettingsReadResult r;
    r.values = defaultSettings(programFolder);
    SettingsValues &v = r.values;

    using Reader = std::function<bool(const QString &)>;
    const auto check = [](bool *field) { return Reader([field](const QString &l) { return parseCheck(l, field); }); };
    const auto option = [](bool *field) { return Reader([field](const QString &l) { return parseOption(l, field); }); };
    const auto numeric = [](QString *text, int *value, bool blankIsZero = false) {
        return Reader(
            [text, value, blankIsZero](const QString &l) { return parseNumericText(l, text, value, blankIsZero); });
    };

    const Reader readers[settingsFixedLines] = {
        [&](const QString &l) {
            v.defdir =
                l.isEmpty() ? platform::defaultDownloadFolder(programFolder) : platform::withTrailingSeparator(l);
            return true;
        },
        check(&v.initstart),
        check(&v.showmsg),
        check(&v.exevirus),
        [&](const QString &l) {
            v.virus = l;
            return true;
        },
        numeric(&v.segs, &v.segsv),
        numeric(&v.veces, &v.vecesv, true), // 0 retries is allowed
        check(&v.delinc),
        check(&v.dellista),
        check(&v.autocont),
        numeric(&v.maxdesc, &v.maxdescval),
        numeric(&v.wait, &v.waitv),
        check(&v.checkact),
        option(&v.autoact),
        option(&v.notact),
        option(&v.msgno),
        option(&v.msgdialog),
        option(&v.msgsys),
        check(&v.wavs),
        [&](const QString &l) {
            v.histrut = l.isEmpty() ? logFile(programFolder) : l;
            return true;
        },
        [&](const QString &l) { return parseNumber(l, &v.histsize); },
    };

    const QStringList lines = splitLines(bytes);
    for (int i = 0; i < settingsFixedLines; ++i) {
        if (i >= lines.size()) {
            r.error = u"el archivo termina antes de la línea %1"_s.arg(i + 1);
            return r;
        }
        if (!readers[i](lines.at(i))) {
            r.error = u"la línea %1 no tiene un valor válido: \"%2\""_s.arg(i + 1).arg(lines.at(i));
            return r;
        }
        r.linesRead = i + 1;
    }

    v.ext.clear();
    for (qsizetype i = settingsFixedLines; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(kSpeedLimitKey)) {
            // A value out of range is no limit rather than a refusal to start.
            bool ok = false;
            const int kb = line.mid(kSpeedLimitKey.size()).trimmed().toInt(&ok);
            v.speedLimitKb = ok && kb >= 0 && kb <= maxSpeedLimitKb ? kb : 0;
            continue;
        }
        if (line.startsWith(kConnectionsKey)) {
            bool ok = false;
            const int n = line.mid(kConnectionsKey.size()).trimmed().toInt(&ok);
            v.connections = ok && n >= minConnections && n <= maxConnections ? n : SettingsValues().connections;
            continue;
        }
        // A blank line is no file type; it would only make the antivirus run on every file without one.
        if (!line.trimmed().isEmpty())
            v.ext << line;
    }
    return r;
}

SettingsReadResult readSettingsFile(const QString &path, const QString &programFolder)
{
    SettingsReadResult r;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.values = defaultSettings(programFolder);
        r.error = file.exists() ? file.errorString() : u"el archivo no existe; se usan los valores por defecto."_s;
    } else {
        r = decodeSettings(file.readAll(), programFolder);
        if (r.ok() && file.error() != QFileDevice::NoError)
            r.error = file.errorString();
    }
    if (!r.ok())
        r.error = u"No se ha podido leer "_s + path + u": "_s + r.error;
    return r;
}
