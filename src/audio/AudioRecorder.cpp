#include "audio/AudioRecorder.h"

// Placeholder until microphone capture lands: a recorder that cannot start.
AudioRecorder::AudioRecorder() = default;
AudioRecorder::~AudioRecorder() = default;

void AudioRecorder::start()
{
    throw RecError(RecError::noInput);
}

QByteArray AudioRecorder::stopAndCollectWav()
{
    lastLoudness_ = 0;
    return wav({}, 16000, 1);
}

void AudioRecorder::cancel() {}

void AudioRecorder::warmUp(const QString&) {}
