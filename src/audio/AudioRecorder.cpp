#include "audio/AudioRecorder.h"

#include "platform/PlatformWords.h"
#include "store/Config.h"
#include "store/Log.h"
#include "support/MainThread.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

constexpr int attempts = 4;
constexpr double startLimit = 3.0;      // seconds for the whole start, every wait included
constexpr int soundPolls = 25;          // 0.25 s of waiting for sound ...
constexpr double soundPollStep = 0.01;  // ... in 10 ms steps
constexpr double retryPauses[] = {0.25, 0.45, 0.7};
// Room for the longest recording the controller allows (600 s, plus what
// comes before start returns and during the collect delay), reserved up front
// so that a long recording is never copied to a larger block while it grows.
// Address space only: pages become resident as samples fill them.
constexpr qsizetype reservedBytes = 605 * SampleConverter::outputRate * 2;

// The system's default microphone, as the log names it: "パソコンと同じ".
QString defaultMicName()
{
    return QStringLiteral("%1と同じ").arg(PlatformWords::computer());
}

double retryPause(int attempt)
{
    return retryPauses[std::min(attempt - 1, 2)];
}

bool usable(const QAudioFormat& format)
{
    return format.sampleRate() > 0 && format.channelCount() > 0;
}

// Set from the audio thread when sound arrives, read by the warm-up's polling
// thread; only under its lock.
class 音の見張り {
public:
    void mark()
    {
        std::lock_guard lock(錠);
        印 = true;
    }
    bool marked()
    {
        std::lock_guard lock(錠);
        return 印;
    }

private:
    std::mutex 錠;
    bool 印 = false;
};

}  // namespace

AudioRecorder::AudioRecorder(std::unique_ptr<CaptureBackend> backend) : backend_(std::move(backend)) {}

AudioRecorder::~AudioRecorder()
{
    teardown();
}

AudioRecorder::Built AudioRecorder::buildEngine()
{
    const QString uid = Config::shared().micDeviceUID;
    if (!uid.isEmpty()) {
        if (const auto device = backend_->find(uid)) {
            // Opening the device itself is what selects it here.
            QString whyNot;
            if (auto engine = backend_->makeEngine(uid, &whyNot))
                return {std::move(engine), device->name};
            fellBackToDefault_ = true;
            Log::write(QStringLiteral("マイク切替に失敗（%1・%2）→ %3マイクで録音")
                           .arg(Log::伏せた機器名(device->name), whyNot, defaultMicName()));
        } else {
            fellBackToDefault_ = true;
            Log::write(QStringLiteral("選んだマイクが見つからない（%1）→ %2マイクで録音")
                           .arg(Log::伏せた機器名(uid), defaultMicName()));
        }
    }
    return {backend_->makeEngine(QString(), nullptr), defaultMicName()};
}

void AudioRecorder::start()
{
    teardown();  // never two recordings at once, even if asked
    fellBackToDefault_ = false;
    // An engine from an earlier attempt that started but stayed silent: left
    // running so the device stays open, stopped once a later one delivers.
    std::unique_ptr<CaptureEngine> held;
    auto releaseHeld = [&held] {
        if (held) {
            held->removeTap();
            held->stop();
            held.reset();
        }
    };
    int lastRate = 0;

    // One deadline for the whole start: the sound server's waits end by it,
    // the pauses are cut to it, and no attempt begins after it.
    const double deadline = backend_->now() + startLimit;
    backend_->setDeadline(deadline);
    struct DeadlineEnds {
        CaptureBackend& backend;
        ~DeadlineEnds() { backend.setDeadline(std::nullopt); }
    } deadlineEnds{*backend_};
    auto pause = [&](int n) { backend_->sleep(std::clamp(deadline - backend_->now(), 0.0, retryPause(n))); };

    int n = 1;
    for (; n <= attempts && backend_->now() < deadline; ++n) {
        Built built = buildEngine();
        CaptureEngine& engine = *built.engine;
        const QString mic = Log::伏せた機器名(built.micName);

        const QAudioFormat format = engine.inputFormat();
        if (!usable(format)) {
            engine.stop();
            pause(n);
            continue;
        }
        const int rate = format.sampleRate();
        lastRate = rate;

        converter_.reset();
        tapArrived_ = false;
        {
            std::lock_guard lock(pcmLock_);
            pcm_ = QByteArray();
            pcm_.reserve(reservedBytes);
        }

        auto refused = [&](const QString& message) {
            Log::write(QStringLiteral("タップを付けられません（%1Hz・%2）→ 組み立て直します（%3回目）")
                           .arg(rate)
                           .arg(message)
                           .arg(n));
            engine.stop();
            pause(n);
        };
        if (const auto message = engine.installTap(format, [this](const QAudioBuffer& b) { tapBlock(b); })) {
            refused(*message);
            continue;
        }

        // A stream the sound server refuses, denies or cannot open is not
        // helped by another attempt.
        const CaptureStart started = engine.start();
        if (started.outcome != CaptureStart::started) {
            engine.removeTap();
            releaseHeld();
            Log::write(QStringLiteral("マイクを開けません（%1）").arg(started.message));
            engine.stop();
            throw RecError(RecError::noInput);
        }

        for (int poll = 0; poll < soundPolls && !tapArrived_; ++poll)
            backend_->sleep(soundPollStep);

        if (tapArrived_) {
            releaseHeld();
            QString line = QStringLiteral("録音開始: %1・%2Hz %3ch").arg(mic).arg(rate).arg(format.channelCount());
            if (n >= 2)
                line += QStringLiteral("（%1回目で成功）").arg(n);
            Log::write(line);
            engine_ = std::move(built.engine);
            engine_->watchLoss([this, mic](const QString& why) {
                Log::write(QStringLiteral("録音中にマイクが使えなくなりました（%1・%2）").arg(mic, why));
                MainThread::async(&mainGuard_, [this] {
                    if (onDeviceLost)
                        onDeviceLost();
                });
            });
            return;
        }

        engine.removeTap();
        Log::write(QStringLiteral("音が流れてきません（%1・%2Hz）→ マイクを握ったまま組み立て直します（%3回目）")
                       .arg(mic)
                       .arg(rate)
                       .arg(n));
        releaseHeld();
        held = std::move(built.engine);
        if (n < attempts)
            pause(n);
    }

    releaseHeld();
    if (n > attempts)
        Log::write(
            QStringLiteral("4回試しても音が流れませんでした（最後は%1Hz）→ 録音を中止します（アプリは落としません）")
                .arg(lastRate));
    else
        Log::write(
            QStringLiteral(
                "%1秒のうちに音が流れませんでした（%2回試して最後は%3Hz）→ 録音を中止します（アプリは落としません）")
                .arg(startLimit)
                .arg(n - 1)
                .arg(lastRate));
    throw RecError(RecError::formatChanged);
}

// Audio thread, for every captured buffer. Never blocks for long: the only
// lock is held for one append.
void AudioRecorder::tapBlock(const QAudioBuffer& buffer)
{
    tapArrived_ = true;
    if (onRawBuffer)
        onRawBuffer(buffer);

    const QAudioFormat format = buffer.format();
    if (!converter_ || converter_->input() != format) {
        auto made = std::make_unique<SampleConverter>(format);
        if (!made->isValid()) {
            Log::write(QStringLiteral("録音: 変換部品を作れません（%1Hz/%2ch）")
                           .arg(format.sampleRate())
                           .arg(format.channelCount()));
            return;
        }
        converter_ = std::move(made);
        Log::write(
            QStringLiteral("録音の形式が決まりました: %1Hz/%2ch").arg(format.sampleRate()).arg(format.channelCount()));
    }

    const qsizetype frames = buffer.frameCount();
    const size_t capacity =
        size_t(quint32(double(SampleConverter::outputRate) / format.sampleRate() * double(frames))) + 64;
    if (converted_.size() < capacity)
        converted_.resize(capacity);
    const qsizetype produced = converter_->convert(buffer.constData<char>(), frames, converted_);
    if (produced <= 0)
        return;
    {
        std::lock_guard lock(pcmLock_);
        pcm_.append(reinterpret_cast<const char*>(converted_.data()), produced * 2);
    }
    if (onLevel) {
        const float value = level(converted_.data(), produced);
        MainThread::async(&mainGuard_, [this, value] {
            if (onLevel)
                onLevel(value);
        });
    }
}

QByteArray AudioRecorder::stopAndCollectWav()
{
    teardown();
    QByteArray pcm;
    {
        std::lock_guard lock(pcmLock_);
        pcm = std::exchange(pcm_, QByteArray());
    }
    lastLoudness_ = loudness(pcm);
    return wav(pcm, SampleConverter::outputRate, 1);
}

void AudioRecorder::cancel()
{
    teardown();
    std::lock_guard lock(pcmLock_);
    pcm_ = QByteArray();
}

void AudioRecorder::teardown()
{
    if (engine_) {
        engine_->removeTap();
        engine_->stop();
        engine_.reset();
    }
    converter_.reset();
}

float AudioRecorder::level(const qint16* samples, qsizetype n)
{
    if (n <= 0)
        return 0;
    qint64 sum = 0;
    for (qsizetype i = 0; i < n; ++i)
        sum += std::abs(qint32(samples[i]));
    return float(double(sum) / double(n)) * (1.0f / 32768.0f);
}

double AudioRecorder::loudness(const QByteArray& pcm16)
{
    const qsizetype n = pcm16.size() / 2;
    if (n < 1)
        return 0;
    const char* bytes = pcm16.constData();
    double sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double s = qFromLittleEndian<qint16>(bytes + 2 * i);
        sum += s * s;
    }
    return std::sqrt(sum / double(n));
}

void AudioRecorder::warmUp(const QString& uid, CaptureBackend& backend)
{
    const auto device = backend.find(uid);
    if (!device)
        return;
    const QString mic = Log::伏せた機器名(device->name);
    const double deadline = backend.now() + 3.0;
    int n = 0;
    while (backend.now() < deadline) {
        ++n;
        std::unique_ptr<CaptureEngine> engine = backend.makeEngine(uid, nullptr);
        if (!engine)
            return;
        const QAudioFormat format = engine->inputFormat();
        if (!usable(format)) {
            engine.reset();
            backend.sleep(0.2);
            continue;
        }
        auto watch = std::make_shared<音の見張り>();
        if (engine->installTap(format, [watch](const QAudioBuffer&) { watch->mark(); })) {
            engine->stop();
            backend.sleep(0.2);
            continue;
        }
        if (engine->start().outcome != CaptureStart::started) {
            engine->removeTap();
            engine->stop();
            backend.sleep(0.2);
            continue;
        }
        for (int poll = 0; poll < 20 && !watch->marked(); ++poll)
            backend.sleep(0.02);
        const bool heard = watch->marked();
        engine->removeTap();
        engine->stop();
        if (heard) {
            Log::write(QStringLiteral("マイクのならし運転OK: %1・%2Hz（%3回目で音を確認）")
                           .arg(mic)
                           .arg(format.sampleRate())
                           .arg(n));
            return;
        }
        Log::write(QStringLiteral("ならし運転: まだ音が出ません（%1・%2Hz・%3回目）")
                       .arg(mic)
                       .arg(format.sampleRate())
                       .arg(n));
        backend.sleep(0.3);
    }
    Log::write(QStringLiteral("マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）").arg(mic));
}
