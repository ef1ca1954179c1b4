#include "app/AppState.h"

#include "desktop/TriggerKey.h"
#include "platform/PlatformWords.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/Log.h"
#include "support/MainThread.h"
#include "ui/MainMenu.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTimer>

namespace {

// Said after a change of settings that is in effect but could not be written.
const QString notSaved = QStringLiteral("。ただし設定を保存できなかったため、次の起動では元に戻ります");

}  // namespace

AppState::AppState(AppServices services, AppTiming timing)
    : s_(std::move(services)),
      timing_(timing),
      dictation_(s_, timing_, pipelineQueue_, history_),
      notices_(*s_.overlay, [this] { return phase() != Phase::idle; }),
      dictionary_(s_, pipelineQueue_, notices_),
      trayMenu_(history_, s_.loginItem.get(), notices_)
{
    connect(&dictation_, &DictationController::ended, &notices_, &Notices::dictationEnded);
    connect(&trayMenu_, &TrayMenu::updateCheckRequested, this, &AppState::checkForUpdates);
    connect(&trayMenu_, &TrayMenu::settingsRequested, this, &AppState::openSettings);
    connect(&trayMenu_, &TrayMenu::aboutRequested, this, &AppState::openAbout);
    connect(&trayMenu_, &TrayMenu::quitRequested, this, &AppState::quitApp);
}

AppState::~AppState()
{
    if (s_.settings) {  // the shared window outlives this controller
        s_.settings->historyProvider = nullptr;
        s_.settings->importUndoable = nullptr;
        s_.settings->loginItem = nullptr;
        s_.settings->audioInputs = nullptr;
    }
    // Queued pipeline work still refers to the working objects; let it end first.
    pipelineQueue_.drain();
}

// Start-up, first half: everything that always runs at launch.
void AppState::startUp()
{
    MainMenu& mainMenu = MainMenu::shared();
    connect(&mainMenu, &MainMenu::aboutRequested, this, &AppState::openAbout);
    connect(&mainMenu, &MainMenu::updateCheckRequested, this, &AppState::checkForUpdates);
    connect(&mainMenu, &MainMenu::settingsRequested, this, &AppState::openSettings);
    connect(&mainMenu, &MainMenu::quitRequested, this, &AppState::quitApp);

    s_.statusIcon->setIcon(QStringLiteral("🎙️"));
    connect(s_.statusIcon.get(), &StatusIcon::menuAboutToShow, this, &AppState::menuNeedsUpdate);
    // Without a tray icon, its menu's actions are in the settings window.
    connect(s_.statusIcon.get(), &StatusIcon::availabilityChanged, this, [this](bool available) {
        if (s_.settings)
            s_.settings->offerTrayActions(!available);
    });

    // Linux has no per-application microphone permission, so there is no
    // "denied" state to warn about here.

    OverlayView* overlay = s_.overlay.get();
    connect(overlay, &OverlayView::cancelClicked, &dictation_, &DictationController::escPressed);
    connect(overlay, &OverlayView::stopClicked, &dictation_, &DictationController::stopAndProcess);
    connect(overlay, &OverlayView::updateClicked, this, &AppState::checkForUpdates);

    QPointer<AppState> weak(this);
    if (SettingsView* settings = s_.settings) {
        connect(settings, &SettingsView::triggerKeyChosen, this, &AppState::applyTriggerKey);
        connect(settings, &SettingsView::micChosen, this, &AppState::micChanged);
        connect(settings, &SettingsView::updateCheckRequested, this, &AppState::checkForUpdates);
        connect(settings, &SettingsView::aboutRequested, this, &AppState::openAbout);
        connect(settings, &SettingsView::quitRequested, this, &AppState::quitApp);
        connect(settings, &SettingsView::addWordRequested, &dictionary_, &DictionaryActions::addDictWord);
        connect(settings, &SettingsView::importCSVRequested, &dictionary_, &DictionaryActions::importDictCSV);
        connect(settings, &SettingsView::copyPromptRequested, &dictionary_, &DictionaryActions::copyDictionaryRequest);
        connect(settings, &SettingsView::dictionaryReloadRequested, &dictionary_, &DictionaryActions::reloadDictionary);
        connect(settings, &SettingsView::undoImportRequested, &dictionary_, &DictionaryActions::undoImport);
        connect(&dictionary_, &DictionaryActions::written, settings, &SettingsView::dictionaryWritten);
        settings->importUndoable = [weak] { return weak && weak->dictionary_.importUndoable(); };
        // Hints off puts back the desktop's accessibility switch that Sayri turned on.
        connect(settings, &SettingsView::screenHintChanged, this, [weak] {
            if (weak && weak->s_.screen)
                weak->s_.screen->prepare();
        });
        settings->loginItem = s_.loginItem.get();
        settings->audioInputs = s_.audioInputs.get();
        settings->historyProvider = [weak] {
            QList<QPair<QDateTime, QString>> items;
            if (!weak)
                return items;
            for (const HistoryEntry& e : weak->history_.entries().mid(0, 50))
                items.append({e.date, e.text});
            return items;
        };
    }

    s_.recorder->onLevel = [weak](float level) {
        if (weak)
            weak->s_.overlay->updateLevel(level);
    };
    s_.recorder->onRawBuffer = [](const QAudioBuffer& buffer) { LivePreview::feed(buffer); };

    s_.hotkeys->onTap = [weak](double t) {
        if (weak)
            weak->optionTapped(t);
    };
    s_.hotkeys->onEsc = [weak] {
        if (weak)
            weak->escPressed();
    };
    s_.hotkeys->tapEndsDictation = [weak] { return weak && weak->phase() == Phase::recording; };
    s_.hotkeys->setTrigger(Config::shared().triggerKeyId);

    const bool setupNeeded = s_.firstRun->必要();
    if (s_.keyboardAccess->trusted()) {
        s_.hotkeys->start();
    } else {
        if (!setupNeeded)
            flash(PlatformWords::keySourceHint(), 8);
        startAccessibilityPoll();
    }

    if (!s_.firstRun->必要())
        completeStartUp();
    else
        s_.firstRun->begin([weak] {
            if (weak)
                weak->completeStartUp();
        });

    dictTimer_ = new QTimer(this);
    dictTimer_->setInterval(int(timing_.periodicCheckInterval * 1000));
    connect(dictTimer_, &QTimer::timeout, this, &AppState::periodicCheck);
    dictTimer_->start();

    Log::write(QStringLiteral("サイリ起動"));
}

void AppState::startAccessibilityPoll()
{
    axPollTimer_ = new QTimer(this);
    axPollTimer_->setInterval(int(timing_.axPollInterval * 1000));
    connect(axPollTimer_, &QTimer::timeout, this, [this] {
        if (!s_.keyboardAccess->trusted())
            return;
        axPollTimer_->stop();
        axPollTimer_->deleteLater();
        axPollTimer_ = nullptr;
        s_.hotkeys->start();
        flash(QStringLiteral("準備OK。%1キーを2回押すと録音が始まります").arg(PlatformWords::optionKey()), 4);
    });
    axPollTimer_->start();
}

void AppState::completeStartUp()
{
    LivePreview::日本語データを整える();
    UpdateNotice::確認([settings = s_.settings] {
        if (settings)
            settings->refreshUpdateNotice();
    });

    QPointer<AppState> weak(this);
    pipelineQueue_.async([this, weak] {
        // The date first: a dictionary saved while the server starts is
        // newer than it, and the periodic check applies it.
        const auto applied = DictionaryActions::dictionaryMtime();
        s_.whisper->start(Config::dictionaryLine());
        s_.whisper->waitHealthy(20);
        dictionary_.setLastAppliedDictMtime(applied);
        MainThread::async(weak, [this] {
            // Someone already dictating keeps the recording bar: the notice
            // would take its place.
            if (phase() != Phase::idle)
                return;
            flash(QStringLiteral("サイリ 準備OK。%1キーを2回押すと録音が始まります").arg(PlatformWords::optionKey()),
                  4);
        });
    });
}

void AppState::periodicCheck()
{
    UpdateNotice::確認([settings = s_.settings] {
        if (settings)
            settings->refreshUpdateNotice();
    });
    pipelineQueue_.async([this] {
        const auto m = DictionaryActions::dictionaryMtime();
        if (!m)
            return;
        if (const auto applied = dictionary_.lastAppliedDictMtime(); applied && *applied == *m)
            return;
        if (phase() != Phase::idle)
            return;
        s_.whisper->restart(Config::dictionaryLine());
        dictionary_.setLastAppliedDictMtime(m);
        Log::write(QStringLiteral("辞書の更新を検知して自動反映"));
    });
}

void AppState::micChanged(const QString& uid)
{
    Config::edit([&uid](ConfigData& c) { c.micDeviceUID = uid; });
    const bool saved = Config::save();

    QString label = QStringLiteral("%1と同じ（自動）").arg(PlatformWords::computer());
    if (!uid.isEmpty()) {
        const auto device = s_.audioInputs->find(uid);
        label = device ? device->name : QStringLiteral("選んだマイク");
    }
    if (saved)
        flash(QStringLiteral("マイク: %1（次の録音から使います）").arg(label), 2.5);
    else
        flash(QStringLiteral("マイク: %1（次の録音から使います）").arg(label) + notSaved, 4);
    Log::write(QStringLiteral("マイク設定を変更: ") + Log::伏せた機器名(label));

    if (!uid.isEmpty() && phase() == Phase::idle && s_.warmUp)
        pipelineQueue_.async([warmUp = s_.warmUp, uid] { warmUp(uid); });
}

void AppState::applyTriggerKey(const QString& id)
{
    // An unknown id is kept as given; the key in use is then the first row's.
    Config::edit([&id](ConfigData& c) { c.triggerKeyId = id; });
    const bool saved = Config::save();
    const TriggerKey key = TriggerKey::find(id);
    if (s_.hotkeys)
        s_.hotkeys->setTrigger(id);
    // The key is in effect either way; a record that could not be written
    // is said, since the next start would use the old one.
    const QString text = QStringLiteral("録音キーを「%1」にしました（2回押しで開始）").arg(key.label);
    if (saved)
        flash(text, 2.5);
    else
        flash(text + notSaved, 4);
    Log::write(QStringLiteral("録音キーを変更: ") + key.label);
}

void AppState::shutDown()
{
    s_.whisper->stop();
    Log::write(QStringLiteral("サイリ終了"));
}

void AppState::checkForUpdates()
{
    if (!UpdateNotice::openDownloadPage())
        flash(QStringLiteral("更新の確認先が設定されていないため、確認できません"), 3);
}

void AppState::openSettings()
{
    if (s_.settings)
        s_.settings->show();
}

void AppState::openAbout()
{
    if (s_.about)
        s_.about->show();
}

void AppState::quitApp()
{
    QCoreApplication::quit();
}

void AppState::flash(const QString& text, double seconds)
{
    notices_.flash(text, seconds);
}
