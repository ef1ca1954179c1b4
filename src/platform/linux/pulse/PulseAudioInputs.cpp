#include "platform/linux/pulse/PulseAudioInputs.h"

#include "platform/linux/pulse/PulseConnection.h"

PulseAudioInputs::PulseAudioInputs() = default;
PulseAudioInputs::~PulseAudioInputs() = default;

PulseConnection& PulseAudioInputs::connection()
{
    if (!connection_ || !connection_->ready())
        connection_ = std::make_unique<PulseConnection>();
    return *connection_;
}

QList<AudioInputDevice> PulseAudioInputs::inputs()
{
    return connection().inputs();
}

std::optional<AudioInputDevice> PulseAudioInputs::defaultInput()
{
    return connection().defaultInput();
}
