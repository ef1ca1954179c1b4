#include "preview/LivePreview.h"

#include "platform/PlatformWords.h"
#include "preview/PreviewModel.h"
#include "recognition/ComputePlan.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QPointer>

#include <atomic>

namespace {

// The run that receives the audio; one LivePreview exists in Sayri.
std::atomic<std::shared_ptr<LivePreviewBackend>> current;

}  // namespace

LivePreview::LivePreview(std::shared_ptr<WhisperServer> server, LivePreviewBackend::Timing timing)
    : server_(std::move(server)), timing_(timing)
{
}

LivePreview::~LivePreview()
{
    stop();
    if (server_)
        server_->stop();
    retired_.clear();  // each waits for its worker
}

WhisperServer::Role LivePreview::serverRole()
{
    const auto port = [] {
        const int next = Config::shared().whisperPort + 1;
        return next <= 65535 ? quint16(next) : quint16(0);
    };
    return {port,
            [] { return PreviewModel::path(); },
            QStringLiteral("whisper-server-preview.log"),
            QStringLiteral("仮表示用の whisper-server"),
            [](const ComputePlan& plan) { return plan.previewThreads; },
            true};
}

bool LivePreview::available()
{
    return ModelSetup::findBinary().has_value();
}

bool LivePreview::authorized()
{
    return PreviewModel::present();
}

void LivePreview::日本語データを整える()
{
    // The preview model comes only when the user asks for it (the setup or
    // the settings window); here Sayri only says when no preview can be had.
    if (!available())
        Log::write(QStringLiteral("この%1では仮表示（グレー仮文字）は使えません（whisper-server "
                                  "が見つからないため・文字起こし本体は動きます）")
                       .arg(PlatformWords::computer()));
}

void LivePreview::feed(const QAudioBuffer& buffer)
{
    if (const std::shared_ptr<LivePreviewBackend> run = current.load())
        run->feed(buffer);
}

void LivePreview::起動する(const QString& 引き継ぐ確定文)
{
    prune();
    auto run = std::make_shared<LivePreviewBackend>(server_, this, timing_);
    QPointer<LivePreview> weak(this);
    run->onPartial = [weak](const QString& text) {
        if (weak && weak->onPartial)
            weak->onPartial(text);
    };
    run->onDied = [weak](const QString& finalizedText) {
        if (weak)
            weak->作り直す(finalizedText);
    };
    run->seedText = 引き継ぐ確定文;
    if (backend_)
        retired_.push_back(backend_);
    backend_ = run;
    current.store(run);
    run->start();
}

void LivePreview::stop()
{
    current.store(nullptr);
    if (backend_) {
        backend_->stop();
        retired_.push_back(std::exchange(backend_, nullptr));
    }
    再開回数 = 0;
    prune();
}

void LivePreview::stopForFinalText()
{
    const std::shared_ptr<LivePreviewBackend> last = backend_;
    stop();
    if (last && last->stoppedMidRequest() && server_) {
        server_->suspend();
        serverHeld_ = true;
    }
}

void LivePreview::resumeServer()
{
    if (std::exchange(serverHeld_, false))
        server_->resume();
}

void LivePreview::作り直す(const QString& finalizedText)
{
    if (再開回数 > 4) {
        Log::write(
            QStringLiteral("ライブ仮表示: 作り直しが5回を超えたので諦めます（録音と文字起こしには影響ありません）"));
        current.store(nullptr);
        return;
    }
    ++再開回数;
    Log::write(QStringLiteral("ライブ仮表示: 作り直し %1 回目（確定文 %2 字を引き継ぎ）")
                   .arg(再開回数)
                   .arg(Graphemes::count(finalizedText)));
    if (backend_)
        backend_->stop();
    起動する(finalizedText);
}

void LivePreview::prune()
{
    std::erase_if(retired_, [](const std::shared_ptr<LivePreviewBackend>& run) { return run->finished(); });
}
