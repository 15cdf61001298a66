#pragma once
// Plays the program's sounds. The one that plays them lives in the sound
// module (Qt Multimedia), loaded by the first sound of a run.
#include <QString>

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts `fileName` (a file, or ":/..." for a shipped sound) and returns at
    // once; silent where there is no audio device.
    virtual void play(const QString &fileName) = 0;
};

// The sound module's entry point; the player lives until it is deleted.
using SoundPlayerFactory = SoundPlayer *(*)();
