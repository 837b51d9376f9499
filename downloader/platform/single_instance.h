#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace platform {

// Held for the program's life: a second start in the same folder finds the
// lock taken. A lock left by a crashed run is stale and taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString &folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    bool first() const { return first_; }

private:
    std::unique_ptr<QLockFile> lock_;
    bool first_ = false;
};

} // namespace platform
