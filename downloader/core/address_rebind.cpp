#include "core/address_rebind.h"

#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

bool isPageType(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    return type == "text/html" || type == "application/xhtml+xml";
}

bool fileIsPage(const QString &file, const QByteArray &firstType)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    return suffix == u"html"_s || suffix == u"htm"_s || suffix == u"xhtml"_s || suffix == u"shtml"_s
           || isPageType(firstType);
}

ExpiredCause expiredCause(const ResponseFacts &f, const ResponseDecision &base)
{
    // Without bytes on disk nothing is lost: the usual answers hold.
    if (f.onDisk <= 0)
        return ExpiredCause::None;
    switch (f.status) {
    case 401:
    case 403:
        return ExpiredCause::Refused;
    case 404:
    case 410:
        return ExpiredCause::Gone;
    default:
        break;
    }
    // A login or "link expired" page comes as a 200 of html.
    if ((f.status == 200 || f.status == 206) && isPageType(f.contentType) && !f.fileIsPage)
        return ExpiredCause::Page;
    if (base.kind == ResponseDecision::Kind::Stop && base.sizeChanged)
        return ExpiredCause::OtherSize;
    return ExpiredCause::None;
}

QString fileNameOfUrl(const QString &url)
{
    const QUrl parsed(url);
    const QString path = parsed.path(QUrl::FullyDecoded);
    return path.section(u'/', -1);
}

bool namesPartialFile(const QString &url, const QString &file)
{
    const QString name = fileNameOfUrl(url);
    return !name.isEmpty() && name.compare(QFileInfo(file).fileName(), Qt::CaseInsensitive) == 0;
}

BindVerdict judgeProbe(const BindingKnown &known, const ProbeReply &reply)
{
    if (!reply.answered)
        return BindVerdict::NoAnswer;
    // A whole body, a page or an error: the tail cannot be compared.
    if (reply.status != 206 || !reply.ranged || reply.rangeFirst != known.tailFrom || isPageType(reply.contentType))
        return BindVerdict::NoRange;
    if (known.size > 0 && reply.rangeTotal >= 0 && reply.rangeTotal != known.size)
        return BindVerdict::OtherSize;
    if (!known.validator.isEmpty() && !reply.validator.isEmpty() && known.validator != reply.validator)
        return BindVerdict::OtherValidator;
    if (reply.body != known.tail)
        return BindVerdict::OtherBytes;
    return BindVerdict::Proven;
}
