#pragma once

#include "app/AppServices.h"
#include "app/AppTiming.h"
#include "app/DictationController.h"
#include "app/DictionaryActions.h"
#include "app/Phase.h"
#include "store/HistoryStore.h"
#include "support/SerialQueue.h"
#include "ui/Notices.h"
#include "ui/TrayMenu.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class QAction;
class QMenu;
class QTimer;

// The application as the rest of the system knows it: owns every long-lived
// working object, brings them up at start-up, answers the settings window,
// and hands the rest to the single-job parts it holds: the dictation
// controller, the dictionary actions and the tray menu.
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
    bool axPollRunning() const { return axPollTimer_ != nullptr; }

    // --- the tray menu ---
    void menuNeedsUpdate(QMenu* menu) { trayMenu_.fill(menu, phase()); }
    void copyHistoryItem(QAction* item) { trayMenu_.copyHistoryItem(item); }
    void toggleLoginItem() { trayMenu_.toggleLoginItem(); }

    // --- dictionary actions of the settings window ---
    void addDictWord() { dictionary_.addDictWord(); }
    void importDictCSV() { dictionary_.importDictCSV(); }
    void reloadDictionary() { dictionary_.reloadDictionary(); }
    void copyDictionaryRequest() { dictionary_.copyDictionaryRequest(); }
    void undoImport() { dictionary_.undoImport(); }
    QDialog* dictionaryDialog() const { return dictionary_.dialog(); }
    std::optional<QDateTime> dictionaryMtime() const { return DictionaryActions::dictionaryMtime(); }
    std::optional<QDateTime> lastAppliedDictMtime() const { return dictionary_.lastAppliedDictMtime(); }

    // --- dictation ---
    void optionTapped(double t) { dictation_.optionTapped(t); }
    void startRecording() { dictation_.startRecording(); }
    void stopAndProcess() { dictation_.stopAndProcess(); }
    void escPressed() { dictation_.escPressed(); }
    Phase phase() const { return dictation_.phase(); }
    bool recordingLimitArmed() const { return dictation_.recordingLimitArmed(); }
    static inline const QString historyMode = DictationController::historyMode;

    HistoryStore& history() { return history_; }
    SerialQueue& pipelineQueue() { return pipelineQueue_; }
    AppServices& services() { return s_; }

private:
    void flash(const QString& text, double seconds);
    void startAccessibilityPoll();

    AppServices s_;
    AppTiming timing_;
    HistoryStore history_;
    QTimer* axPollTimer_ = nullptr;
    QTimer* dictTimer_ = nullptr;
    DictationController dictation_;
    Notices notices_;  // every message but the dictation's own
    DictionaryActions dictionary_;
    TrayMenu trayMenu_;
    // Declared last so it is destroyed first: queued tasks finish while every
    // part still exists. The parts keep a reference and queue work on it only
    // after construction.
    SerialQueue pipelineQueue_{QStringLiteral("sayri.pipeline")};
};
