#include "log/log_settings.h"

#include "core/program_folder.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
struct Hooks {
    std::function<QString()> path;
    std::function<int()> limitKb;
};

Hooks &hooks()
{
    static Hooks h;
    return h;
}
} // namespace

void setLogSettings(std::function<QString()> histrut, std::function<int()> histsizeKb)
{
    hooks() = {std::move(histrut), std::move(histsizeKb)};
}

QString logPath()
{
    const QString path = hooks().path ? hooks().path() : QString();
    return path.isEmpty() ? platform::programFile(u"historial.rtf"_s) : path;
}

int logLimitKb()
{
    return hooks().limitKb ? std::max(hooks().limitKb(), 0) : 0;
}
