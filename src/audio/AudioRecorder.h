#pragma once

#include "audio/Recorder.h"
#include "audio/SampleConverter.h"
#include "platform/AudioCapture.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// The microphone recorder: 16 kHz mono signed 16-bit samples, verified to
// flow before a recording starts.
//
// `start`, `stopAndCollectWav` and `cancel` are called on one thread (the
// main thread). The tap runs on the platform's audio thread: it converts each
// buffer, appends the samples under `pcmLock_`, hands the level to the main
// thread and the raw buffer to `onRawBuffer`.
class AudioRecorder : public Recorder {
public:
    explicit AudioRecorder(std::unique_ptr<CaptureBackend> backend);
    ~AudioRecorder() override;

    // Blocks for up to about 3 s (four attempts with their pauses).
    void start() override;
    QByteArray stopAndCollectWav() override;
    void cancel() override;
    double lastLoudness() const override { return lastLoudness_; }
    bool fellBackToDefault() const override { return fellBackToDefault_; }

    // Opens a newly chosen device briefly so it is ready for the first
    // dictation; blocks for up to about 3 s. Runs on the pipeline queue.
    static void warmUp(const QString& uid, CaptureBackend& backend);
    // Wraps 16-bit samples in the plain 44-byte RIFF/WAVE header.
    static QByteArray wav(const QByteArray& pcm16, int sampleRate, int channels);

    // Mean absolute value of `n` samples over full scale (0 to 1).
    static float level(const qint16* samples, qsizetype n);
    // Root-mean-square of signed 16-bit samples in raw units (0 to 32768);
    // 0 when there is no complete sample.
    static double loudness(const QByteArray& pcm16);

private:
    struct Built {
        std::unique_ptr<CaptureEngine> engine;
        QString micName;  // for log lines, masked when written
    };
    Built buildEngine();
    void tapBlock(const QAudioBuffer& buffer);
    void teardown();

    std::unique_ptr<CaptureBackend> backend_;
    std::unique_ptr<CaptureEngine> engine_;
    // Audio thread only (reset while no tap is installed).
    std::unique_ptr<SampleConverter> converter_;
    std::vector<qint16> converted_;
    std::atomic<bool> tapArrived_{false};
    std::mutex pcmLock_;
    QByteArray pcm_;     // guarded by pcmLock_
    QObject mainGuard_;  // level deliveries to the main thread end with the recorder
    bool fellBackToDefault_ = false;
    double lastLoudness_ = 0;
};
