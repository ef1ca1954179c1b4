#pragma once

#include "platform/AudioInputs.h"

#include <QAudioBuffer>
#include <QAudioFormat>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// How an engine's start went.
struct CaptureStart {
    enum Outcome {
        started,  // the input is open; buffers will come to the tap
        refused,  // the sound server refused or denied the stream
        failed,   // the input cannot be opened at all
    };
    Outcome outcome = started;
    QString message;  // what went wrong, for the log
};

// One opened audio input ("engine"): a capture stream on one device in that
// device's own format, with a tap that receives every captured buffer.
// The tap is called on the platform's audio thread and must not block.
class CaptureEngine {
public:
    using Tap = std::function<void(const QAudioBuffer&)>;
    using Lost = std::function<void(const QString& why)>;

    virtual ~CaptureEngine() = default;
    // The device's own format; a sample rate of 0 or no channels when it
    // cannot be read.
    virtual QAudioFormat inputFormat() = 0;
    // Prepares capture in `format` with `tap`; a message when refused.
    virtual std::optional<QString> installTap(const QAudioFormat& format, Tap tap) = 0;
    virtual CaptureStart start() = 0;
    // Once the input has started: `lost` is called once, on the audio
    // thread, when the input goes away while it runs (unplugged, the sound
    // server gone, or moved to what is no microphone).
    virtual void watchLoss(Lost lost) = 0;
    // After this returns neither the tap nor the loss watcher is called
    // again. The stream keeps running (the device stays open) until `stop`.
    virtual void removeTap() = 0;
    virtual void stop() = 0;
};

// The machine's audio inputs as the recorder sees them, and the clock it
// waits by. Calls come from one thread at a time.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    virtual std::optional<AudioInputDevice> find(const QString& uid) = 0;
    // An engine on the input with this uid, or none when it cannot be opened
    // (then `whyNot`, when given, says why); an empty uid means the system
    // default input (always an engine, which fails to start when there is no
    // input at all).
    virtual std::unique_ptr<CaptureEngine> makeEngine(const QString& uid, QString* whyNot) = 0;
    // Every wait on the sound server, by the backend or its engines, ends by
    // `deadline` (a `now()` value); none: each wait has only its own limit.
    virtual void setDeadline(std::optional<double> deadline) = 0;
    virtual double now() = 0;                // seconds, monotonic
    virtual void sleep(double seconds) = 0;  // blocks the calling thread
};
