#pragma once

#include <QAudioBuffer>
#include <QByteArray>
#include <QString>

#include <functional>

// The error a recording start raises.
class RecError {
public:
    enum Kind { noInput, formatChanged };
    explicit RecError(Kind kind) : kind(kind) {}
    QString message() const;
    Kind kind;
};

// What the dictation controller needs from the microphone: one recording at a
// time, verified to deliver sound before `start` returns.
class Recorder {
public:
    virtual ~Recorder() = default;

    // Opens the input and begins capturing; throws RecError when no sound flows.
    virtual void start() = 0;
    // Stops capturing; the whole recording as WAV bytes (always a valid WAV).
    virtual QByteArray stopAndCollectWav() = 0;
    // Stops capturing and discards the samples.
    virtual void cancel() = 0;
    // RMS of the last collected recording in raw sample units (0 to 32768).
    virtual double lastLoudness() const = 0;
    // The configured device could not be used; the default input was.
    virtual bool fellBackToDefault() const = 0;

    std::function<void(float)> onLevel;                    // main thread
    std::function<void(const QAudioBuffer&)> onRawBuffer;  // audio thread
    // The microphone went away while recording (main thread); what it
    // captured until then is still collected.
    std::function<void()> onDeviceLost;
};
