#pragma once

#include "app/AppServices.h"
#include "app/AppTiming.h"
#include "app/Phase.h"
#include "preview/LivePreview.h"

#include <QObject>
#include <QPair>

#include <atomic>

class HistoryStore;
class QTimer;
class SerialQueue;

// Turns trigger-key taps into complete dictations: starts and stops the
// recorder, cancels, collects the audio, recognises it on the pipeline queue,
// pastes the text, stores it in the history, and ends a recording that runs
// into the limit. Everything here runs on the main thread except recognition.
class DictationController : public QObject {
    Q_OBJECT
public:
    DictationController(AppServices& services, AppTiming timing, SerialQueue& pipeline, HistoryStore& history);
    ~DictationController() override;

    void optionTapped(double t);
    void startRecording();
    void stopAndProcess();
    void escPressed();
    // The microphone went away while recording: what it heard is processed.
    void deviceLost();
    void collectAndProcess();
    static QPair<QString, double> 貼り付けたあとの一言();

    Phase phase() const { return phase_.load(); }
    bool recordingLimitArmed() const { return maxTimer_ != nullptr; }

    static constexpr double silenceThreshold = 200;
    static inline const QString historyMode = QStringLiteral("文字起こし");

Q_SIGNALS:
    // Back to idle; its last message stays on the bar for `messageSeconds`.
    void ended(double messageSeconds);

private:
    void recognize(const QByteArray& wav);
    void deliver(const QString& text, const QString& raw);
    void finishWithMessage(const QString& text, double seconds);
    void returnToIdle(double messageSeconds);
    void disarmRecordingLimit();
    void flash(const QString& text, double seconds);
    QString microphoneLabel() const;

    AppServices& s_;
    const AppTiming timing_;
    SerialQueue& pipeline_;
    HistoryStore& history_;
    std::atomic<Phase> phase_{Phase::idle};
    double lastTapAt_ = 0;
    bool deviceLost_ = false;  // the recording being processed ended by losing its microphone
    LivePreview live_;
    QTimer* maxTimer_ = nullptr;
};
