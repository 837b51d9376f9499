#include "platform/sound.h"

#include <QHash>
#include <QSoundEffect>
#include <QUrl>

namespace platform {
namespace {
// Without an audio device the effect simply stays silent, which is what we want.
class QtSound final : public Sound {
public:
    void play(const QString &path) override
    {
        QSoundEffect *&effect = effects_[path];
        if (!effect) {
            effect = new QSoundEffect();
            effect->setSource(QUrl::fromLocalFile(path));
        }
        effect->play();
    }

private:
    QHash<QString, QSoundEffect *> effects_;
};

Sound *&current()
{
    static Sound *s = nullptr;
    return s;
}
} // namespace

Sound &sound()
{
    static QtSound real;
    return current() ? *current() : real;
}

void setSound(Sound *replacement)
{
    current() = replacement;
}

} // namespace platform
