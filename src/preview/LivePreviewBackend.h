#pragma once

#include "recognition/HTTP.h"

#include <QAudioBuffer>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SampleConverter;
class WhisperServer;

// The pace of the live preview.
struct LivePreviewTiming {
    double step = 0.5;  // seconds of new audio before the next request
    double pause = 0.6; // seconds of quiet that end a sentence
    double window = 8;  // seconds after which the window moves on anyway
};

// One run of the live preview: collects the recording as 16 kHz samples and,
// on a worker thread of its own, has the preview server recognise the audio
// since the last finalized point whenever at least `step` seconds of new
// audio have come and no request is in flight. Each answer is volatile text;
// at a pause in the speech (every 0.1 s of the last `pause` seconds below the
// silence threshold) or once the window holds `window` seconds, the answer
// becomes final and the window starts after it. The display text is all the
// final text (beginning with `seedText`) followed by the latest volatile text.
//
// A request may take as long as the audio it covers, and one step more; a
// request that takes longer, while the server still answers, means this
// machine cannot keep up with the speech: the run ends for this recording and
// the grey text stops where it is. A server that no longer answers ends the
// run too: it is started afresh and `onDied` gets the final text. A reply
// that is not a recognised text is skipped. Nothing is shown after `stop`,
// and the request in flight then is called off.
class LivePreviewBackend {
public:
    using Timing = LivePreviewTiming;
    // Callbacks run on the main thread while `guard` exists. `server` may be
    // null (the run then only logs that it cannot start).
    LivePreviewBackend(std::shared_ptr<WhisperServer> server, QObject* guard, Timing timing = {});
    // Waits for the worker; only once `finished()` unless at the very end.
    ~LivePreviewBackend();
    LivePreviewBackend(const LivePreviewBackend&) = delete;
    LivePreviewBackend& operator=(const LivePreviewBackend&) = delete;

    // Starts the worker, which brings the server up when it does not answer;
    // returns at once. Audio is kept from now on.
    void start();
    // One captured buffer in the microphone's own format (audio thread).
    // Converts and appends it; never waits for the worker.
    void feed(const QAudioBuffer& buffer);
    // Ends the run; returns at once. A request in flight is called off: its
    // connection is closed, which the server notices at its next check.
    void stop();
    bool finished() const { return finished_; }
    // A request was in flight when the run was stopped: the server may still
    // be working on it.
    bool stoppedMidRequest() const { return stoppedMidRequest_; }

    std::function<void(const QString&)> onPartial;
    std::function<void(const QString&)> onDied;
    QString seedText;

    // The form field `audio_ctx` for `samples` of 16 kHz audio: the encoder
    // window in 20 ms units (1500 = 30 s), at least 1, at most 1500.
    static int audioContext(qsizetype samples);

private:
    void run();
    // The next window to send, once enough new audio has come; empty when
    // stopping. `cancel` calls off the request that carries it.
    std::vector<qint16> nextWindow(std::shared_ptr<HTTP::Cancel> cancel);
    bool endsInPause(const std::vector<qint16>& window) const;
    void emit(const QString& text);
    void died(const QString& reason, const QString& finalized);
    void logOnce(const QString& line);

    const std::shared_ptr<WhisperServer> server_;
    QObject* const guard_;
    const Timing timing_;

    std::atomic<bool> ready_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    // `stopping_` for the work handed to the main thread, which may outlive the run.
    const std::shared_ptr<std::atomic<bool>> stopped_ = std::make_shared<std::atomic<bool>>(false);
    std::thread worker_;

    // Audio thread only.
    std::unique_ptr<SampleConverter> converter_;
    std::vector<qint16> converted_;
    bool converterErrorLogged_ = false;

    // Under `lock_`: the samples since the last finalized point, how many
    // of them the last request carried, and that request while it is in flight.
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<qint16> samples_;
    size_t sent_ = 0;
    std::shared_ptr<HTTP::Cancel> inFlight_;
    std::atomic<bool> stoppedMidRequest_{false};

    bool replyErrorLogged_ = false;  // worker only
};
