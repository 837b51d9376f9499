#include "platform/single_instance.h"

#include <QDir>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace platform {

SingleInstance::SingleInstance(const QString &folder)
    : lock_(std::make_unique<QLockFile>(QDir(folder).filePath(u"downloader.lock"_s)))
{
    lock_->setStaleLockTime(0); // only a dead owner makes it stale, never its age
    first_ = lock_->tryLock(0);
    // A folder that cannot hold the lock (read-only) must not keep the program from starting.
    if (!first_ && lock_->error() == QLockFile::PermissionError)
        first_ = true;
}

SingleInstance::~SingleInstance() = default;

} // namespace platform
