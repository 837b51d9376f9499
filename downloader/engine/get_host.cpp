#include "engine/get_host.h"

#include "core/program_folder.h"
#include "core/url.h"
#include "platform/prompts.h"

using namespace Qt::StringLiterals;

QString GetHost(const QString &url)
{
    const std::optional<QString> host = hostOf(url);
    if (!host) {
        platform::prompts().message(u"Dirección incorrecta."_s, platform::Icon::Critical, platform::programTitle());
        return u"ERROR"_s;
    }
    return *host;
}
