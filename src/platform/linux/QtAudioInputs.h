#pragma once

#include "platform/AudioInputs.h"

// Audio inputs as Qt Multimedia lists them (PulseAudio/PipeWire sources).
// Monitors of outputs never appear.
class QtAudioInputs : public AudioInputs {
public:
    QList<AudioInputDevice> inputs() override;
    std::optional<AudioInputDevice> defaultInput() override;
};
