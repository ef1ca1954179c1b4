#pragma once

#include "platform/AudioInputs.h"

#include <memory>

class PulseConnection;

// The audio inputs as the PulseAudio server (PipeWire's included) lists its
// sources, through the same connection kind the capture uses: the source
// name is the persistent uid, its description the name. Monitors of outputs
// never appear.
class PulseAudioInputs : public AudioInputs {
public:
    PulseAudioInputs();
    ~PulseAudioInputs() override;

    QList<AudioInputDevice> inputs() override;
    std::optional<AudioInputDevice> defaultInput() override;

private:
    PulseConnection& connection();  // connects again after a loss

    std::unique_ptr<PulseConnection> connection_;
};
