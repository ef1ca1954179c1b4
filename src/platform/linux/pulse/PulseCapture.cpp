#include "platform/linux/pulse/PulseCapture.h"

#include "platform/linux/pulse/PulseConnection.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr pa_usec_t fragment = 50 * PA_USEC_PER_MSEC;  // one captured buffer

const QString noServer = QStringLiteral("音声サーバーにつながりません");
const QString noInput = QStringLiteral("入力機器が見つかりません");
const QString noAnswer = QStringLiteral("入力が応答しません");
// With no capture device, the sound server names the monitor of an output
// (what the speakers play) as its default source.
const QString onlyMonitor = QStringLiteral("既定の入力は再生中の音で、マイクではありません");
const QString movedToMonitor = QStringLiteral("再生中の音に切り替えられました（マイクではありません）");

QString errorText(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

std::optional<pa_sample_spec> pulseLayoutOf(const QAudioFormat& format)
{
    pa_sample_spec layout{};
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        layout.format = PA_SAMPLE_U8;
        break;
    case QAudioFormat::Int16:
        layout.format = PA_SAMPLE_S16LE;
        break;
    case QAudioFormat::Int32:
        layout.format = PA_SAMPLE_S32LE;
        break;
    case QAudioFormat::Float:
        layout.format = PA_SAMPLE_FLOAT32LE;
        break;
    default:
        return std::nullopt;
    }
    layout.rate = uint32_t(std::max(0, format.sampleRate()));
    layout.channels = uint8_t(std::clamp(format.channelCount(), 0, 255));
    if (!pa_sample_spec_valid(&layout))
        return std::nullopt;
    return layout;
}

// The source's own rate and channels; its sample type when the converter
// reads it, otherwise float (the server converts).
QAudioFormat formatOf(const pa_sample_spec& layout)
{
    QAudioFormat format;
    format.setSampleRate(int(layout.rate));
    format.setChannelCount(layout.channels);
    switch (layout.format) {
    case PA_SAMPLE_U8:
        format.setSampleFormat(QAudioFormat::UInt8);
        break;
    case PA_SAMPLE_S16LE:
        format.setSampleFormat(QAudioFormat::Int16);
        break;
    case PA_SAMPLE_S32LE:
        format.setSampleFormat(QAudioFormat::Int32);
        break;
    default:
        format.setSampleFormat(QAudioFormat::Float);
        break;
    }
    return format;
}

}  // namespace

namespace {

// One record stream on one source. Everything it shares with the mainloop
// thread (the stream, the tap) is touched only under the mainloop lock.
class PulseEngine : public CaptureEngine {
public:
    // Without a connection or a source, the engine only fails to start with
    // `unavailable`.
    PulseEngine(std::shared_ptr<PulseConnection> connection, QByteArray source, std::optional<QAudioFormat> format,
                QString unavailable)
        : c_(std::move(connection)), source_(std::move(source)), format_(format), unavailable_(std::move(unavailable))
    {
    }

    ~PulseEngine() override { stop(); }

    QAudioFormat inputFormat() override
    {
        if (format_)
            return *format_;
        // Nothing to read a format from: the one it would be asked for, so
        // that the start itself reports the missing input.
        QAudioFormat format;
        format.setSampleRate(16000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        return format;
    }

    std::optional<QString> installTap(const QAudioFormat& format, Tap tap) override
    {
        if (!usable())
            return std::nullopt;  // the start reports it
        const std::optional<pa_sample_spec> layout = pulseLayoutOf(format);
        if (!layout)
            return QStringLiteral("この形式では開けません（%1Hz/%2ch）")
                .arg(format.sampleRate())
                .arg(format.channelCount());
        MainloopLock lock(c_->loop);
        if (!stream_) {
            stream_ = pa_stream_new(c_->context, "Sayri", &*layout, nullptr);
            if (!stream_)
                return errorText(c_->context);
            pa_stream_set_state_callback(
                stream_, [](pa_stream*, void* self) { static_cast<PulseEngine*>(self)->stateChanged(); }, this);
            pa_stream_set_read_callback(
                stream_, [](pa_stream* s, size_t, void* self) { static_cast<PulseEngine*>(self)->drain(s); }, this);
            pa_stream_set_moved_callback(
                stream_, [](pa_stream*, void* self) { static_cast<PulseEngine*>(self)->moved(); }, this);
            layout_ = *layout;
            streamFormat_ = format;
        }
        tap_ = std::move(tap);
        return std::nullopt;
    }

    CaptureStart start() override
    {
        if (!usable())
            return {CaptureStart::failed, unavailable_};
        MainloopLock lock(c_->loop);
        if (!stream_)
            return {CaptureStart::refused, QStringLiteral("入力の準備ができていません")};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(fragment, &layout_));
        // The source's latency follows the fragment: a source that would
        // otherwise send its sound in seconds-long blocks delivers within
        // the start's quarter-second wait.
        if (pa_stream_connect_record(stream_, source_.constData(), &attr, PA_STREAM_ADJUST_LATENCY) < 0)
            return {CaptureStart::refused, errorText(c_->context)};
        const bool settled = c_->waitUntil([this] {
            const pa_stream_state_t s = pa_stream_get_state(stream_);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (!settled)
            return {CaptureStart::refused, noAnswer};
        if (pa_stream_get_state(stream_) == PA_STREAM_READY)
            return {};
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c_->context)))
            return {CaptureStart::failed, noServer};
        return {CaptureStart::refused, errorText(c_->context)};
    }

    void watchLoss(Lost lost) override
    {
        if (!c_ || !c_->loop)
            return;
        MainloopLock lock(c_->loop);
        lost_ = std::move(lost);
        if (stream_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            stateChanged();  // gone before anyone watched
    }

    void removeTap() override
    {
        if (!c_ || !c_->loop)
            return;
        MainloopLock lock(c_->loop);
        tap_ = nullptr;
        lost_ = nullptr;
        cancelQuery();
    }

    void stop() override
    {
        removeTap();
        if (!c_ || !c_->loop)
            return;
        MainloopLock lock(c_->loop);
        if (!stream_)
            return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_moved_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

private:
    bool usable() const { return c_ && c_->context && format_; }

    // Mainloop thread: a stream that fails while it is watched has lost its
    // input (the source was removed with nowhere to move to, or the server
    // went); the watcher hears of it once.
    void stateChanged()
    {
        c_->wake();
        if (!lost_ || PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            return;
        const QString why = PA_CONTEXT_IS_GOOD(pa_context_get_state(c_->context)) ? errorText(c_->context) : noServer;
        std::exchange(lost_, nullptr)(why);
    }

    // Mainloop thread: the server moved the stream to another source (the
    // one it recorded from went away); a monitor of an output is no
    // microphone, so that counts as the input lost.
    void moved()
    {
        if (!lost_)
            return;
        cancelQuery();
        query_ = pa_context_get_source_info_by_index(
            c_->context, pa_stream_get_device_index(stream_),
            [](pa_context*, const pa_source_info* info, int, void* self) {
                auto* engine = static_cast<PulseEngine*>(self);
                if (info && info->monitor_of_sink != PA_INVALID_INDEX && engine->lost_)
                    std::exchange(engine->lost_, nullptr)(movedToMonitor);
            },
            this);
    }

    // With the lock held: no answer to a query arrives after this.
    void cancelQuery()
    {
        if (!query_)
            return;
        pa_operation_cancel(query_);
        pa_operation_unref(query_);
        query_ = nullptr;
    }

    // Mainloop thread: everything the server has, fragment by fragment, to
    // the tap while there is one. Read on without a tap, so that a device
    // held open never overflows.
    void drain(pa_stream* stream)
    {
        const int frameBytes = streamFormat_.bytesPerFrame();
        for (;;) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            const size_t whole = frameBytes > 0 ? bytes - bytes % size_t(frameBytes) : 0;
            if (data && whole > 0 && tap_)
                tap_(QAudioBuffer(QByteArray(static_cast<const char*>(data), qsizetype(whole)), streamFormat_));
            pa_stream_drop(stream);
        }
    }

    std::shared_ptr<PulseConnection> c_;
    QByteArray source_;
    std::optional<QAudioFormat> format_;
    QString unavailable_;
    pa_stream* stream_ = nullptr;
    pa_sample_spec layout_{};
    QAudioFormat streamFormat_;
    Tap tap_;
    Lost lost_;
    pa_operation* query_ = nullptr;  // what the stream was moved to
};

}  // namespace

PulseCaptureBackend::PulseCaptureBackend() = default;
PulseCaptureBackend::~PulseCaptureBackend() = default;

std::shared_ptr<PulseConnection> PulseCaptureBackend::connection()
{
    if (!connection_ || !connection_->ready())
        connection_ = std::make_shared<PulseConnection>(deadline_);
    return connection_;
}

std::optional<AudioInputDevice> PulseCaptureBackend::find(const QString& uid)
{
    for (const AudioInputDevice& device : connection()->inputs())
        if (device.uid == uid)
            return device;
    return std::nullopt;
}

std::unique_ptr<CaptureEngine> PulseCaptureBackend::makeEngine(const QString& uid, QString* whyNot)
{
    std::shared_ptr<PulseConnection> c = connection();
    if (!c->ready()) {
        if (!uid.isEmpty()) {
            if (whyNot)
                *whyNot = noServer;
            return nullptr;
        }
        return std::make_unique<PulseEngine>(nullptr, QByteArray(), std::nullopt, noServer);
    }
    QByteArray source = uid.toUtf8();
    std::optional<pa_sample_spec> layout;
    QString error;
    {
        MainloopLock lock(c->loop);
        bool monitor = false;
        layout = c->sourceLayout(source, monitor);
        if (!layout)
            error = monitor ? onlyMonitor : pa_context_errno(c->context) != PA_OK ? errorText(c->context) : noInput;
    }
    if (!layout) {
        if (!uid.isEmpty()) {
            if (whyNot)
                *whyNot = error;
            return nullptr;
        }
        return std::make_unique<PulseEngine>(nullptr, QByteArray(), std::nullopt, error);
    }
    return std::make_unique<PulseEngine>(std::move(c), std::move(source), formatOf(*layout), QString());
}

void PulseCaptureBackend::setDeadline(std::optional<double> deadline)
{
    deadline_ = deadline;
    if (connection_)
        connection_->setDeadline(deadline);
}

double PulseCaptureBackend::now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void PulseCaptureBackend::sleep(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
