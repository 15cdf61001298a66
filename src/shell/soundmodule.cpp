// The sound module: Qt Multimedia comes in with the first sound of a run
// instead of at start-up.
#include "shell/soundplayer.h"
#include "shell/version.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <map>
#include <memory>

namespace {

class EffectPlayer final : public SoundPlayer {
public:
    void play(const QString &fileName) override
    {
        if (QMediaDevices::audioOutputs().isEmpty()) return;
        std::unique_ptr<QSoundEffect> &effect = m_effects[fileName];
        if (!effect) {
            effect = std::make_unique<QSoundEffect>();
            effect->setSource(fileName.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + fileName)
                                                                    : QUrl::fromLocalFile(fileName));
        }
        effect->play();
    }

private:
    // One effect per file, kept loaded: a sound is played again and again.
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};

} // namespace

extern "C" Q_DECL_EXPORT const char *wezModuleVersion()
{
    return WEZ_VERSION;
}

extern "C" Q_DECL_EXPORT SoundPlayer *wezCreateSoundPlayer()
{
    return new EffectPlayer;
}
