#pragma once

#include <QString>

// Plays the short named cues: "Pop", "Bottle", "Glass".
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& name) = 0;
};
