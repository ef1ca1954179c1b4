#pragma once

#include "audio/CaptureEngine.h"

#include <QAudioDevice>

class AudioThread;

// An engine on Qt Multimedia: a QAudioSource on one device in the device's
// preferred format, created, read and closed on an audio thread. Its tap is
// the reader of the source's buffers there.
class QtCaptureEngine : public CaptureEngine {
public:
    // A null `device` stands for "no input at all": such an engine cannot start.
    QtCaptureEngine(std::shared_ptr<AudioThread> thread, const QAudioDevice& device);
    ~QtCaptureEngine() override;

    QAudioFormat inputFormat() override;
    std::optional<QString> installTap(const QAudioFormat& format, Tap tap) override;
    CaptureStart start() override;
    void removeTap() override;
    void stop() override;

private:
    struct Stream;
    std::shared_ptr<AudioThread> thread_;
    QAudioDevice device_;
    std::shared_ptr<Stream> stream_;  // touched only on the audio thread
};

// Inputs from QMediaDevices, engines on one shared audio thread, real time.
class QtCaptureBackend : public CaptureBackend {
public:
    QtCaptureBackend();
    std::optional<AudioInputDevice> find(const QString& uid) override;
    std::unique_ptr<CaptureEngine> makeEngine(const QString& uid) override;
    double now() override;
    void sleep(double seconds) override;

private:
    std::shared_ptr<AudioThread> thread_;
};
