#pragma once

#include "app/AppServices.h"
#include "app/Phase.h"
#include "preview/LivePreview.h"
#include "store/HistoryStore.h"
#include "support/SerialQueue.h"

#include <QDateTime>
#include <QDialog>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class QAction;
class QMenu;

// The central controller: owns every long-lived working object, brings them
// up at start-up, and turns trigger-key taps into complete dictations.
//
// Everything here runs on the main thread except what is queued on
// `pipelineQueue` ("sayri.pipeline").
class AppState : public QObject {
    Q_OBJECT
public:
    explicit AppState(AppServices services, AppTiming timing = {});
    ~AppState() override;

    // --- start-up and lifecycle ---
    void startUp();
    void shutDown();
    void setIcon(const QString& symbol);
    std::optional<QDateTime> dictionaryMtime() const;
    void checkForUpdates();
    void openSettings();
    void openAbout();
    void quitApp();
    // The second half of start-up: server start, health wait, ready message.
    void completeStartUp();
    // One tick of the periodic dictionary and update check.
    void periodicCheck();
    // The microphone chosen in the settings window.
    void micChanged(const QString& uid);
    // The trigger key chosen in the settings window.
    void applyTriggerKey(const QString& id);
    // Rebuilds the tray menu; called each time it opens.
    void menuNeedsUpdate(QMenu* menu);
    // Tray menu actions.
    void copyHistoryItem(QAction* item);
    void toggleLoginItem();

    // --- dictionary actions of the settings window ---
    void addDictWord();
    void importDictCSV();
    void reloadDictionary();
    void copyDictionaryRequest();
    // The open dialog of addDictWord or importDictCSV, if any.
    QDialog* dictionaryDialog() const { return dictionaryDialog_; }

    // --- dictation ---
    void optionTapped(double t);
    void startRecording();
    void stopAndProcess();
    void escPressed();
    void collectAndProcess();
    static QPair<QString, double> 貼り付けたあとの一言();

    Phase phase() const { return phase_.load(); }
    std::optional<QDateTime> lastAppliedDictMtime() const;
    void setLastAppliedDictMtime(std::optional<QDateTime> mtime);
    bool axPollRunning() const { return axPollTimer_ != nullptr; }
    bool recordingLimitArmed() const { return maxTimer_ != nullptr; }

    HistoryStore& history() { return history_; }
    SerialQueue& pipelineQueue() { return pipelineQueue_; }
    AppServices& services() { return s_; }

    static constexpr double silenceThreshold = 200;
    static inline const QString historyMode = QStringLiteral("文字起こし");

private:
    void setPhase(Phase phase);
    void flash(const QString& text, double seconds);
    void startAccessibilityPoll();
    void recognize(const QByteArray& wav);
    void deliver(const QString& text, const QString& raw);
    void finishWithMessage(const QString& text, double seconds);
    QString microphoneLabel() const;
    void addWords(const QString& surface, const QString& reading);
    void importCSVFile(const QString& path);
    void refuseUnreadableDictionary();
    // Restarts the server with the dictionary on the pipeline queue, then
    // flashes the message `result` makes at that moment.
    void applyDictionary(std::function<QString()> result, double seconds);

    AppServices s_;
    AppTiming timing_;
    std::atomic<Phase> phase_{Phase::idle};
    double lastTapAt_ = 0;
    LivePreview live_;
    HistoryStore history_;
    QTimer* maxTimer_ = nullptr;
    QTimer* axPollTimer_ = nullptr;
    QTimer* dictTimer_ = nullptr;
    mutable std::mutex dictMtimeMutex_;
    std::optional<QDateTime> lastAppliedDictMtime_;
    QPointer<QDialog> dictionaryDialog_;
    // Declared last so it is destroyed first: queued tasks finish while every
    // other member still exists.
    SerialQueue pipelineQueue_{QStringLiteral("sayri.pipeline")};
};
