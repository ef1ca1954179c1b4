#pragma once

#include "audio/Recorder.h"

#include <QByteArray>
#include <QString>

// The microphone recorder: 16 kHz mono signed 16-bit samples, verified to
// flow before a recording starts.
class AudioRecorder : public Recorder {
public:
    AudioRecorder();
    ~AudioRecorder() override;

    void start() override;
    QByteArray stopAndCollectWav() override;
    void cancel() override;
    double lastLoudness() const override { return lastLoudness_; }
    bool fellBackToDefault() const override { return fellBackToDefault_; }

    // Opens a newly chosen device briefly so it is ready for the first dictation.
    static void warmUp(const QString& uid);
    // Wraps 16-bit samples in the plain 44-byte RIFF/WAVE header.
    static QByteArray wav(const QByteArray& pcm16, int sampleRate, int channels);

private:
    double lastLoudness_ = 0;
    bool fellBackToDefault_ = false;
};
