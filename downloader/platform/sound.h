#pragma once

#include <QString>

namespace platform {

// Plays a sound file without waiting for it to end.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void play(const QString &path) = 0;
};

Sound &sound();
void setSound(Sound *replacement);

} // namespace platform
