#include "preview/LivePreviewBackend.h"

#include "audio/AudioRecorder.h"
#include "audio/SampleConverter.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/Transcript.h"
#include "recognition/WhisperServer.h"
#include "store/Log.h"
#include "support/MainThread.h"

#include <QUrl>

#include <algorithm>

namespace {

constexpr int rate = SampleConverter::outputRate;
// The loudness below which the controller takes a recording for silence.
constexpr double silenceThreshold = 200;
constexpr size_t quietChunk = rate / 10;

size_t samplesIn(double seconds)
{
    return size_t(seconds * rate);
}

}  // namespace

LivePreviewBackend::LivePreviewBackend(std::shared_ptr<WhisperServer> server, QObject* guard, Timing timing)
    : server_(std::move(server)), guard_(guard), timing_(timing)
{
}

LivePreviewBackend::~LivePreviewBackend()
{
    stop();
    if (worker_.joinable())
        worker_.join();
}

int LivePreviewBackend::audioContext(qsizetype samples)
{
    // 1500 units for 30 s: one unit per 320 samples, rounded up.
    return int(std::clamp<qsizetype>((samples + 319) / 320, 1, 1500));
}

void LivePreviewBackend::start()
{
    ready_ = true;
    worker_ = std::thread([this] {
        run();
        finished_ = true;
    });
}

void LivePreviewBackend::stop()
{
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        *stopped_ = true;
        ready_ = false;
        if (inFlight_) {
            stoppedMidRequest_ = true;
            inFlight_->cancel();
        }
    }
    arrived_.notify_all();
}

void LivePreviewBackend::feed(const QAudioBuffer& buffer)
{
    if (!ready_)
        return;
    const QAudioFormat format = buffer.format();
    if (!converter_ || converter_->input() != format) {
        auto made = std::make_unique<SampleConverter>(format);
        if (!made->isValid()) {
            converter_.reset();
            if (!std::exchange(converterErrorLogged_, true))
                Log::write(QStringLiteral("仮表示: 音の変換部品を作れません（マイク %1Hz → 認識 %2Hz）")
                               .arg(format.sampleRate())
                               .arg(rate));
            return;
        }
        converter_ = std::move(made);
    }
    const qsizetype produced = converter_->convert(buffer.constData<char>(), buffer.frameCount(), converted_);
    if (produced <= 0)
        return;
    {
        std::lock_guard lock(lock_);
        samples_.insert(samples_.end(), converted_.begin(), converted_.begin() + produced);
    }
    arrived_.notify_one();
}

std::vector<qint16> LivePreviewBackend::nextWindow(std::shared_ptr<HTTP::Cancel> cancel)
{
    std::unique_lock lock(lock_);
    arrived_.wait(lock, [this] { return stopping_ || samples_.size() >= sent_ + samplesIn(timing_.step); });
    if (stopping_)
        return {};
    sent_ = samples_.size();
    inFlight_ = std::move(cancel);
    return samples_;
}

bool LivePreviewBackend::endsInPause(const std::vector<qint16>& window) const
{
    const size_t quiet = samplesIn(timing_.pause);
    if (window.size() < quiet)
        return false;
    for (size_t at = window.size() - quiet; at < window.size(); at += quietChunk) {
        const size_t n = std::min(quietChunk, window.size() - at);
        const QByteArray chunk(reinterpret_cast<const char*>(window.data() + at), qsizetype(n * 2));
        if (AudioRecorder::loudness(chunk) >= silenceThreshold)
            return false;
    }
    return true;
}

void LivePreviewBackend::run()
{
    if (!server_ || !server_->ensureAnswering()) {
        ready_ = false;
        Log::write(
            QStringLiteral("ライブ仮表示を開始できず（本処理には影響なし）: 仮表示用の whisper-server が応答しません"));
        return;
    }
    Log::write(QStringLiteral("ライブ仮表示 開始"));
    QString finalized = seedText;
    const QUrl url(server_->baseUrl() + QStringLiteral("/inference"));
    for (;;) {
        auto cancel = std::make_shared<HTTP::Cancel>();
        const std::vector<qint16> window = nextWindow(cancel);
        if (window.empty())
            return;
        const QByteArray pcm(reinterpret_cast<const char*>(window.data()), qsizetype(window.size() * 2));
        const QByteArray boundary = Inference::newBoundary();
        HTTP::Request r;
        r.url = url;
        r.method = "POST";
        r.headers = {{"Content-Type", "multipart/form-data; boundary=" + boundary}};
        r.body = Inference::formBody(AudioRecorder::wav(pcm, rate, 1), QString(), boundary,
                                     {{"audio_ctx", QByteArray::number(audioContext(qsizetype(window.size())))}});
        r.timeout = double(window.size()) / rate + timing_.step;
        r.cancel = cancel;
        const HTTP::Response reply = HTTP::request(r);
        {
            std::lock_guard lock(lock_);
            inFlight_.reset();
        }
        if (stopping_)
            return;  // the recording has ended: nothing more is shown
        if (reply.status == 0 && server_->answers()) {
            ready_ = false;  // no more audio is kept for this run
            Log::write(QStringLiteral("ライブ仮表示: 仮表示の認識が話す速さに追いつかないため、この録音では止めます"
                                      "（録音と文字起こしには影響ありません）"));
            return;
        }
        if (reply.status == 0) {
            died(QStringLiteral("仮表示用の whisper-server から返事がありません"), finalized);
            return;
        }
        const std::optional<QString> text =
            reply.status == 200 && reply.body ? Inference::replyText(*reply.body) : std::nullopt;
        if (!text) {
            logOnce(
                QStringLiteral(
                    "仮表示: 仮表示用の whisper-server の返事を読めませんでした（HTTP %1・この録音では以後記しません）")
                    .arg(reply.status));
            continue;
        }
        const QString clean = Transcript::clean(*text);
        if (window.size() >= samplesIn(timing_.window) || endsInPause(window)) {
            finalized += clean;
            {
                std::lock_guard lock(lock_);
                samples_.erase(samples_.begin(), samples_.begin() + qsizetype(window.size()));
                sent_ = 0;
            }
            emit(finalized);
        } else {
            emit(finalized + clean);
        }
    }
}

void LivePreviewBackend::emit(const QString& text)
{
    // The work may run after this run is gone: it holds what it needs.
    MainThread::async(guard_, [stopped = stopped_, show = onPartial, text] {
        if (!*stopped && show)
            show(text);
    });
}

void LivePreviewBackend::died(const QString& reason, const QString& finalized)
{
    Log::write(QStringLiteral("ライブ仮表示の受信が途切れました（%1）→ 作り直します").arg(reason));
    // A server that hangs is ended too (forcibly when it stays on the port),
    // and a fresh one started for the next run.
    server_->restart(QString());
    MainThread::async(guard_, [stopped = stopped_, restart = onDied, finalized] {
        if (!*stopped && restart)
            restart(finalized);
    });
}

void LivePreviewBackend::logOnce(const QString& line)
{
    if (!std::exchange(replyErrorLogged_, true))
        Log::write(line);
}
