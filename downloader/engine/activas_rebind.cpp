// "Buscar nueva dirección": another address for a download whose address
// stopped serving it, typed, pasted or found in the browser within a while.
#include "engine/activas.h"

#include "core/address_rebind.h"
#include "core/browser_session.h"
#include "engine/wording.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/prompts.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kOfferColor = 0x800000; // RGB(0, 0, 128)
constexpr qint64 kOfferMs = 10 * 60 * 1000;

bool isFetchableAddress(const QString &text)
{
    return text.startsWith(u"http://"_s, Qt::CaseInsensitive) || text.startsWith(u"https://"_s, Qt::CaseInsensitive)
           || text.startsWith(u"ftp://"_s, Qt::CaseInsensitive);
}

// Where to look for the file again: the page the link was on, or else the
// old address's site.
QString searchPage(const DownloadEntry &e)
{
    const QString referrer = browserSessions().find(e.file, e.url).referrer;
    if (!referrer.isEmpty())
        return referrer;
    const QUrl old(e.url);
    return old.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString()
           + u"/"_s;
}
} // namespace

void activas::connectRebind()
{
    connect(table_.get(), &ActiveTable::rebindJudged, this, [this](int i, const Message &said, bool bound) {
        const QString text = wording(said);
        emit statusText(3, text);
        if (bound)
            showAddress(i);
        else
            ShowNotice(text, msgFile(u"error.gif"_s));
    });
}

bool activas::canSearchAddress() const
{
    return selected_ > 0 && table_->canRebind(selected_);
}

void activas::CallRebind()
{
    if (canSearchAddress())
        askNewAddress(selected_);
}

void activas::askNewAddress(int i)
{
    const quint64 generation = table_->slot(i).generation;
    const QString name = QFileInfo(table_->slot(i).e.file).fileName();
    const QString clip = QGuiApplication::clipboard()->text().trimmed();
    const QString answer =
        platform::prompts()
            .input(u"Nueva dirección para "_s + name + u" (déjela vacía para buscarla en el navegador):"_s,
                   isFetchableAddress(clip) ? clip : QString(), u"Buscar nueva dirección"_s)
            .trimmed();
    // The question let other events run: the download may be gone or running.
    if (!existe(i) || table_->slot(i).generation != generation || !table_->canRebind(i))
        return;
    if (!answer.isEmpty()) {
        takeNewAddress(i, answer);
        return;
    }
    // Found later, in the browser or elsewhere: the next address of this
    // file that comes in is offered for it.
    rebindOffer_ = {i, generation, table_->slot(i).e.file};
    rebindOfferAge_.start();
    const QString page = searchPage(table_->slot(i).e);
    if (platform::prompts().question(u"¿Abrir el navegador en "_s + page + u" para buscar una nueva dirección de "_s
                                     + name + u"?"_s))
        emit browseRequested(page);
}

bool activas::takeNewAddress(int i, const QString &url)
{
    // The proof asks for a byte range over HTTP.
    if (!url.startsWith(u"http://"_s, Qt::CaseInsensitive) && !url.startsWith(u"https://"_s, Qt::CaseInsensitive)) {
        platform::prompts().message(u"Solo se puede continuar una descarga con una dirección http o https: "_s + url,
                                    platform::Icon::Exclamation);
        return false;
    }
    rebindOffer_ = {};
    table_->rebind(i, url);
    return true;
}

bool activas::offerRebind(const QString &url)
{
    const RebindOffer offer = rebindOffer_;
    if (offer.slot == 0 || !rebindOfferAge_.isValid() || rebindOfferAge_.elapsed() > kOfferMs) {
        rebindOffer_ = {};
        return false;
    }
    const int i = offer.slot;
    if (!existe(i) || table_->slot(i).generation != offer.generation || !table_->canRebind(i)) {
        rebindOffer_ = {};
        return false;
    }
    if (!namesPartialFile(url, offer.file) || !url.startsWith(u"http"_s, Qt::CaseInsensitive))
        return false;
    const QString name = QFileInfo(offer.file).fileName();
    appendLog(crlf_ + u"Se ofrece "_s + url + u" para continuar la descarga de "_s + name, kOfferColor);
    const bool yes = platform::prompts().question(u"¿Continuar "_s + name + u" con esta dirección?"_s);
    if (!yes || !existe(i) || table_->slot(i).generation != offer.generation || !table_->canRebind(i))
        return false;
    return takeNewAddress(i, url);
}
