#include "app/AppState.h"

#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/Log.h"
#include "support/MainThread.h"
#include "ui/MainMenu.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>

AppState::AppState(AppServices services, AppTiming timing)
    : s_(std::move(services)), timing_(timing)
{
}

AppState::~AppState()
{
    // Queued pipeline work still refers to the working objects; let it end first.
    pipelineQueue_.drain();
    delete dictionaryDialog_.data();
}

// Start-up, first half: everything that always runs at launch.
void AppState::startUp()
{
    QPointer<AppState> weak(this);
    MainMenu::install({
        [weak] { if (weak) weak->openAbout(); },
        [weak] { if (weak) weak->checkForUpdates(); },
        [weak] { if (weak) weak->openSettings(); },
        [weak] { if (weak) weak->quitApp(); },
    });

    setIcon(QStringLiteral("🎙️"));
    s_.statusIcon->onMenuNeedsUpdate = [this](QMenu* menu) { menuNeedsUpdate(menu); };

    // Linux has no per-application microphone permission, so there is no
    // "denied" state to warn about here.

    s_.overlay->onCancelClick = [weak] { if (weak) weak->escPressed(); };
    s_.overlay->onStopClick = [weak] { if (weak) weak->stopAndProcess(); };
    s_.overlay->onUpdateClick = [weak] { if (weak) weak->checkForUpdates(); };

    if (SettingsView* settings = s_.settings) {
        settings->onTriggerKeyChange = [weak](const QString& id) { if (weak) weak->applyTriggerKey(id); };
        settings->onMicChange = [weak](const QString& uid) { if (weak) weak->micChanged(uid); };
        settings->onCheckUpdates = [weak] { if (weak) weak->checkForUpdates(); };
        settings->onAddWord = [weak] { if (weak) weak->addDictWord(); };
        settings->onImportCSV = [weak] { if (weak) weak->importDictCSV(); };
        settings->onCopyPrompt = [weak] { if (weak) weak->copyDictionaryRequest(); };
        settings->onDictionaryReload = [weak] { if (weak) weak->reloadDictionary(); };
        settings->onNeedsMenuRefresh = [] {};  // window shortcuts never change
        settings->historyProvider = [weak] {
            QList<QPair<QDateTime, QString>> items;
            if (!weak)
                return items;
            for (const HistoryEntry& e : weak->history_.entries().mid(0, 50))
                items.append({e.date, e.text});
            return items;
        };
    }

    s_.recorder->onLevel = [weak](float level) { if (weak) weak->s_.overlay->updateLevel(level); };
    s_.recorder->onRawBuffer = [](const QAudioBuffer& buffer) { LivePreview::feed(buffer); };
    live_.onPartial = [weak](const QString& text) { if (weak) weak->s_.overlay->updateLiveText(text); };

    s_.hotkeys->onTap = [weak](double t) { if (weak) weak->optionTapped(t); };
    s_.hotkeys->onEsc = [weak] { if (weak) weak->escPressed(); };
    s_.hotkeys->setTrigger(Config::shared().triggerKeyId);

    const bool setupNeeded = s_.firstRun->必要();
    if (s_.keyboardAccess->trusted()) {
        s_.hotkeys->start();
    } else {
        if (!setupNeeded)
            flash(QStringLiteral("「アクセシビリティ」を許可すると Option×2 が使えます（許可すると自動で有効になります）"), 8);
        startAccessibilityPoll();
    }

    if (!s_.firstRun->必要())
        completeStartUp();
    else
        s_.firstRun->begin([weak] { if (weak) weak->completeStartUp(); });

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
        flash(QStringLiteral("準備OK。Optionキーを2回押すと録音が始まります"), 4);
    });
    axPollTimer_->start();
}

void AppState::completeStartUp()
{
    LivePreview::日本語データを整える();
    UpdateNotice::確認([settings = s_.settings] { if (settings) settings->refreshUpdateNotice(); });

    QPointer<AppState> weak(this);
    pipelineQueue_.async([this, weak] {
        s_.whisper->start(Config::dictionaryLine());
        s_.whisper->waitHealthy(20);
        setLastAppliedDictMtime(dictionaryMtime());
        MainThread::async(weak, [this] {
            flash(QStringLiteral("サイリ 準備OK。Optionキーを2回押すと録音が始まります"), 4);
        });
    });
}

void AppState::periodicCheck()
{
    UpdateNotice::確認([settings = s_.settings] { if (settings) settings->refreshUpdateNotice(); });
    pipelineQueue_.async([this] {
        const auto m = dictionaryMtime();
        if (!m)
            return;
        if (const auto applied = lastAppliedDictMtime(); applied && *applied == *m)
            return;
        if (phase() != Phase::idle)
            return;
        s_.whisper->restart(Config::dictionaryLine());
        setLastAppliedDictMtime(m);
        Log::write(QStringLiteral("辞書の更新を検知して自動反映"));
    });
}

void AppState::micChanged(const QString& uid)
{
    Config::edit([&uid](ConfigData& c) { c.micDeviceUID = uid; });
    Config::save();

    QString label = QStringLiteral("Macと同じ（自動）");
    if (!uid.isEmpty()) {
        const auto device = s_.audioInputs->find(uid);
        label = device ? device->name : QStringLiteral("選んだマイク");
    }
    flash(QStringLiteral("マイク: %1（次の録音から使います）").arg(label), 2.5);
    Log::write(QStringLiteral("マイク設定を変更: ") + Log::伏せた機器名(label));

    if (!uid.isEmpty() && phase() == Phase::idle && s_.warmUp)
        pipelineQueue_.async([warmUp = s_.warmUp, uid] { warmUp(uid); });
}

void AppState::shutDown()
{
    s_.whisper->stop();
    Log::write(QStringLiteral("サイリ終了"));
}

void AppState::setIcon(const QString& symbol)
{
    s_.statusIcon->setIcon(symbol);
}

std::optional<QDateTime> AppState::dictionaryMtime() const
{
    const QFileInfo info(Config::file(QStringLiteral("dictionary.txt")));
    if (!info.exists())
        return std::nullopt;
    const QDateTime m = info.lastModified();
    if (!m.isValid())
        return std::nullopt;
    return m;
}

std::optional<QDateTime> AppState::lastAppliedDictMtime() const
{
    std::lock_guard lock(dictMtimeMutex_);
    return lastAppliedDictMtime_;
}

void AppState::setLastAppliedDictMtime(std::optional<QDateTime> mtime)
{
    std::lock_guard lock(dictMtimeMutex_);
    lastAppliedDictMtime_ = std::move(mtime);
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
    s_.overlay->flash(text, seconds);
}
