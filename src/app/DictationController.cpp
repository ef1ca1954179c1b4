#include "app/DictationController.h"

#include "platform/PlatformWords.h"
#include "recognition/Transcript.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/HistoryStore.h"
#include "store/Log.h"
#include "store/RecordingRescue.h"
#include "support/Graphemes.h"
#include "support/MainThread.h"
#include "support/SerialQueue.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cmath>

DictationController::DictationController(AppServices& services, AppTiming timing, SerialQueue& pipeline,
                                         HistoryStore& history)
    : s_(services), timing_(timing), pipeline_(pipeline), history_(history), live_(services.previewServer)
{
    QPointer<DictationController> weak(this);
    live_.onPartial = [weak](const QString& text) {
        if (weak)
            weak->s_.overlay->updateLiveText(text);
    };
    if (s_.recorder)
        s_.recorder->onDeviceLost = [weak] {
            if (weak)
                weak->deviceLost();
        };
}

DictationController::~DictationController() = default;

void DictationController::optionTapped(double t)
{
    Log::write(QStringLiteral("キー: 録音キーが押されました（状態=%1）").arg(description(phase())));
    switch (phase()) {
    case Phase::idle:
        if (t - lastTapAt_ < timing_.doubleTapWindow) {
            lastTapAt_ = 0;
            startRecording();
        } else {
            lastTapAt_ = t;
        }
        break;
    case Phase::recording:
        stopAndProcess();
        break;
    case Phase::processing:
        break;
    }
}

void DictationController::startRecording()
{
    if (phase() != Phase::idle)
        return;
    try {
        s_.recorder->start();
    } catch (const RecError& error) {
        flash(QStringLiteral("録音を開始できません: ") + error.message(), 4);
        return;
    }
    phase_.store(Phase::recording);
    if (s_.hotkeys)
        s_.hotkeys->watchEscape(true);
    deviceLost_ = false;
    s_.statusIcon->setIcon(QStringLiteral("🔴"));
    s_.sounds->play(QStringLiteral("Pop"));

    s_.screen->capture();

    QString target = QStringLiteral("アプリ");
    if (const auto app = s_.frontmost->current(); app && !app->name.isEmpty())
        target = app->name;
    s_.overlay->showRecordingBar(target, microphoneLabel());

    if (LivePreview::available()) {
        if (LivePreview::authorized()) {
            live_.再開回数 = 0;
            live_.起動する(QString());
        } else {
            Log::write(
                QStringLiteral("音声認識が未許可のためライブ仮表示は出ません（初回セットアップで許可できます）"));
        }
    }

    maxTimer_ = new QTimer(this);
    maxTimer_->setSingleShot(true);
    maxTimer_->setTimerType(Qt::PreciseTimer);
    maxTimer_->setInterval(int(timing_.recordingLimit * 1000));
    connect(maxTimer_, &QTimer::timeout, this, [this] {
        Log::write(
            QStringLiteral("録音の上限（%1秒）に達したので自動的に終わります").arg(qint64(timing_.recordingLimit)));
        stopAndProcess();
    });
    maxTimer_->start();
}

QString DictationController::microphoneLabel() const
{
    const auto defaultInput = s_.audioInputs->defaultInput();
    const QString defaultName = defaultInput ? defaultInput->name : QStringLiteral("マイク");
    const QString warned = QStringLiteral("⚠ ") + defaultName;
    const QString uid = Config::shared().micDeviceUID;
    if (uid.isEmpty())
        return s_.recorder->fellBackToDefault() ? warned : defaultName;
    if (s_.recorder->fellBackToDefault())
        return warned;
    const auto chosen = s_.audioInputs->find(uid);
    return chosen ? chosen->name : defaultName;
}

void DictationController::stopAndProcess()
{
    if (phase() != Phase::recording) {
        Log::write(QStringLiteral("停止の指示が来ましたが、録音中ではないので何もしません（状態=%1）")
                       .arg(description(phase())));
        return;
    }
    Log::write(QStringLiteral("録音を止めて文字起こしに入ります"));
    disarmRecordingLimit();
    live_.stopForFinalText();
    phase_.store(Phase::processing);
    s_.statusIcon->setIcon(QStringLiteral("⏳"));
    s_.sounds->play(QStringLiteral("Bottle"));
    s_.overlay->show(QStringLiteral("文字起こし中…"));
    MainThread::after(timing_.collectDelay, this, [this] { collectAndProcess(); });
}

void DictationController::escPressed()
{
    if (phase() != Phase::recording)
        return;
    disarmRecordingLimit();
    live_.stop();
    s_.recorder->cancel();
    finishWithMessage(QStringLiteral("取り消しました"), 1.2);
}

void DictationController::deviceLost()
{
    if (phase() != Phase::recording)
        return;
    deviceLost_ = true;
    stopAndProcess();
}

void DictationController::disarmRecordingLimit()
{
    if (s_.hotkeys)
        s_.hotkeys->watchEscape(false);  // the recording ends
    if (!maxTimer_)
        return;
    maxTimer_->stop();
    maxTimer_->deleteLater();
    maxTimer_ = nullptr;
}

void DictationController::collectAndProcess()
{
    const QByteArray wav = s_.recorder->stopAndCollectWav();
    const double loudness = s_.recorder->lastLoudness();
    if (loudness >= silenceThreshold) {
        pipeline_.async([this, wav] { recognize(wav); });
        return;
    }
    Log::write(QStringLiteral("何も聞こえませんでした（音の大きさ %1・%2未満は無音とみなす）→ 認識にかけません")
                   .arg(qint64(std::trunc(loudness)))
                   .arg(qint64(silenceThreshold)));
    if (deviceLost_)
        finishWithMessage(QStringLiteral("マイクが使えなくなったため、録音を止めました"), 4);
    else
        finishWithMessage(QStringLiteral("何も聞こえませんでした"), 2);
}

// Pipeline queue. Never changes the phase itself: every outcome hops back to
// the main thread.
void DictationController::recognize(const QByteArray& wav)
{
    const std::optional<QString> raw = s_.whisper->transcribe(wav);
    if (!raw || raw->isEmpty()) {
        const std::optional<QString> kept = 録音の救出::残す(wav);
        MainThread::async(this, [this, kept] {
            if (!kept) {
                finishWithMessage(QStringLiteral("聞き取れませんでした"), 2);
                return;
            }
            Log::write(QStringLiteral("文字起こしに失敗。録音を残しました: ") + QFileInfo(*kept).fileName());
            finishWithMessage(QStringLiteral("文字にできませんでした（録音は残しました）"), 3);
        });
        return;
    }

    const QString text = Config::rewriteReadings(Transcript::clean(*raw)).trimmed();

    if (text.isEmpty()) {
        MainThread::async(this, [this] { finishWithMessage(QStringLiteral("聞き取れませんでした"), 2); });
        return;
    }
    MainThread::async(this, [this, text, raw = *raw] { deliver(text, raw); });
}

void DictationController::deliver(const QString& text, const QString& raw)
{
    Log::write(QStringLiteral("貼り付けます（%1字）").arg(Graphemes::count(text)));
    const PasteOutcome pasted = s_.paster->paste(text);
    const bool kept = history_.add(raw, text, historyMode);
    if (!pasted.sent) {
        // No keystroke can reach the window: say so rather than claim a
        // paste, and say how the user pastes there.
        Log::write(QStringLiteral("貼り付けのキーを送れません。文字はクリップボードに残しました"));
        if (pasted.byHand)
            finishWithMessage(QStringLiteral("%1 で貼り付けてください").arg(PlatformWords::keys(*pasted.byHand)), 4);
        else
            finishWithMessage(QStringLiteral("自動では貼り付けられませんでした（文字はクリップボードにあります）"), 3);
        return;
    }
    s_.sounds->play(QStringLiteral("Glass"));
    if (deviceLost_) {
        finishWithMessage(QStringLiteral("マイクが使えなくなったため、そこまでを貼り付けました"), 3);
        return;
    }
    const auto [文, 秒] = 貼り付けたあとの一言();
    if (kept)
        finishWithMessage(文, 秒);
    else
        finishWithMessage(文 + QStringLiteral("（履歴には保存できませんでした）"), 3);
}

QPair<QString, double> DictationController::貼り付けたあとの一言()
{
    return {QStringLiteral("✓ 貼り付けました"), 1.2};
}

void DictationController::finishWithMessage(const QString& text, double seconds)
{
    flash(text, seconds);
    returnToIdle(seconds);
}

void DictationController::returnToIdle(double messageSeconds)
{
    live_.resumeServer();
    phase_.store(Phase::idle);
    s_.statusIcon->setIcon(QStringLiteral("🎙️"));
    Q_EMIT ended(messageSeconds);
}

void DictationController::flash(const QString& text, double seconds)
{
    s_.overlay->flash(text, seconds);
}
