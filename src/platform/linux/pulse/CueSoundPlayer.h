#pragma once

#include "platform/SoundPlayer.h"

#include <QHash>
#include <QObject>

class QSoundEffect;

// Sayri's own short cues (resources/sounds/<name>.wav), loaded once each.
class CueSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    void play(const QString& name) override;

private:
    QHash<QString, QSoundEffect*> effects_;
};
