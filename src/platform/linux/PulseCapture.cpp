#include "platform/linux/PulseCapture.h"

#include "audio/AudioDevices.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr double answerLimit = 2.0;  // seconds the server gets to answer a request
constexpr pa_usec_t fragment = 50 * PA_USEC_PER_MSEC;  // one captured buffer

const QString noServer = QStringLiteral("音声サーバーにつながりません");
const QString noInput = QStringLiteral("入力機器が見つかりません");
const QString noAnswer = QStringLiteral("入力が応答しません");

class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

QString errorText(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

std::optional<pa_sample_spec> pulseLayoutOf(const QAudioFormat& format)
{
    pa_sample_spec layout{};
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8: layout.format = PA_SAMPLE_U8; break;
    case QAudioFormat::Int16: layout.format = PA_SAMPLE_S16LE; break;
    case QAudioFormat::Int32: layout.format = PA_SAMPLE_S32LE; break;
    case QAudioFormat::Float: layout.format = PA_SAMPLE_FLOAT32LE; break;
    default: return std::nullopt;
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
    case PA_SAMPLE_U8: format.setSampleFormat(QAudioFormat::UInt8); break;
    case PA_SAMPLE_S16LE: format.setSampleFormat(QAudioFormat::Int16); break;
    case PA_SAMPLE_S32LE: format.setSampleFormat(QAudioFormat::Int32); break;
    default: format.setSampleFormat(QAudioFormat::Float); break;
    }
    return format;
}

}  // namespace

// A client connection with its mainloop thread. Every call into libpulse
// holds the mainloop lock; callbacks run on the mainloop thread with it held.
class PulseConnection {
public:
    PulseConnection()
    {
        loop = pa_threaded_mainloop_new();
        if (!loop)
            return;
        pa_threaded_mainloop_set_name(loop, "sayri.audio");
        if (pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
            return;
        }
        MainloopLock lock(loop);
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Sayri");
        if (!context)
            return;
        pa_context_set_state_callback(context, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->wake(); }, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return;
        waitUntil([this] {
            const pa_context_state_t s = pa_context_get_state(context);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
    }

    ~PulseConnection()
    {
        if (!loop)
            return;
        {
            MainloopLock lock(loop);
            if (context) {
                pa_context_set_state_callback(context, nullptr, nullptr);
                pa_context_disconnect(context);
                pa_context_unref(context);
            }
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool ready()
    {
        if (!loop || !context)
            return false;
        MainloopLock lock(loop);
        return pa_context_get_state(context) == PA_CONTEXT_READY;
    }

    // Called from callbacks: lets a waiting caller look again.
    void wake() { pa_threaded_mainloop_signal(loop, 0); }

    // With the lock held: waits until `done` holds or the server's time to
    // answer is up. False on time-out.
    bool waitUntil(const std::function<bool()>& done, double seconds = answerLimit)
    {
        if (done())
            return true;
        struct Alarm {
            PulseConnection* connection = nullptr;
            bool rang = false;
        } alarm{this};
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, pa_usec_t(seconds * double(PA_USEC_PER_SEC)));
        pa_time_event* timer = api->time_new(api, &when, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
            auto* a = static_cast<Alarm*>(data);
            a->rang = true;
            a->connection->wake();
        }, &alarm);
        while (!done() && !alarm.rang)
            pa_threaded_mainloop_wait(loop);
        api->time_free(timer);
        return done();
    }

    // With the lock held: the sample format of a source (the default source
    // for an empty name, whose name is filled in), or none when there is no
    // such source.
    std::optional<pa_sample_spec> sourceLayout(QByteArray& name)
    {
        struct Query {
            PulseConnection* connection = nullptr;
            bool done = false;
            QByteArray name = {};
            std::optional<pa_sample_spec> layout = {};
        } query{this};
        auto run = [this, &query](pa_operation* op) {
            if (!op)
                return;
            waitUntil([&query] { return query.done; });
            pa_operation_cancel(op);  // no callback after this, answered or not
            pa_operation_unref(op);
        };
        if (name.isEmpty()) {
            run(pa_context_get_server_info(context, [](pa_context*, const pa_server_info* info, void* data) {
                auto* q = static_cast<Query*>(data);
                if (info && info->default_source_name)
                    q->name = info->default_source_name;
                q->done = true;
                q->connection->wake();
            }, &query));
            name = query.name;
            query.done = false;
            if (name.isEmpty())
                return std::nullopt;
        }
        run(pa_context_get_source_info_by_name(context, name.constData(), [](pa_context*, const pa_source_info* info, int last, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info && last == 0)
                q->layout = info->sample_spec;
            if (last != 0) {
                q->done = true;
                q->connection->wake();
            }
        }, &query));
        return query.layout;
    }

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
};

namespace {

// One record stream on one source. Everything it shares with the mainloop
// thread (the stream, the tap) is touched only under the mainloop lock.
class PulseEngine : public CaptureEngine {
public:
    // Without a connection or a source, the engine only fails to start with
    // `unavailable`.
    PulseEngine(std::shared_ptr<PulseConnection> connection, QByteArray source,
                std::optional<QAudioFormat> format, QString unavailable)
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
            return QStringLiteral("この形式では開けません（%1Hz/%2ch）").arg(format.sampleRate()).arg(format.channelCount());
        MainloopLock lock(c_->loop);
        if (!stream_) {
            stream_ = pa_stream_new(c_->context, "Sayri", &*layout, nullptr);
            if (!stream_)
                return errorText(c_->context);
            pa_stream_set_state_callback(stream_, [](pa_stream*, void* self) { static_cast<PulseEngine*>(self)->c_->wake(); }, this);
            pa_stream_set_read_callback(stream_, [](pa_stream* s, size_t, void* self) { static_cast<PulseEngine*>(self)->drain(s); }, this);
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

    void removeTap() override
    {
        if (!c_ || !c_->loop)
            return;
        MainloopLock lock(c_->loop);
        tap_ = nullptr;
    }

    void stop() override
    {
        if (!c_ || !c_->loop)
            return;
        MainloopLock lock(c_->loop);
        tap_ = nullptr;
        if (!stream_)
            return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

private:
    bool usable() const { return c_ && c_->context && format_; }

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
};

}  // namespace

PulseCaptureBackend::PulseCaptureBackend() = default;
PulseCaptureBackend::~PulseCaptureBackend() = default;

std::shared_ptr<PulseConnection> PulseCaptureBackend::connection()
{
    if (!connection_ || !connection_->ready())
        connection_ = std::make_shared<PulseConnection>();
    return connection_;
}

std::optional<AudioInputDevice> PulseCaptureBackend::find(const QString& uid)
{
    return AudioDevices::find(uid);
}

std::unique_ptr<CaptureEngine> PulseCaptureBackend::makeEngine(const QString& uid)
{
    std::shared_ptr<PulseConnection> c = connection();
    if (!c->ready()) {
        if (!uid.isEmpty())
            return nullptr;
        return std::make_unique<PulseEngine>(nullptr, QByteArray(), std::nullopt, noServer);
    }
    QByteArray source = uid.toUtf8();
    std::optional<pa_sample_spec> layout;
    {
        MainloopLock lock(c->loop);
        layout = c->sourceLayout(source);
    }
    if (!layout) {
        if (!uid.isEmpty())
            return nullptr;
        return std::make_unique<PulseEngine>(nullptr, QByteArray(), std::nullopt, noInput);
    }
    return std::make_unique<PulseEngine>(std::move(c), std::move(source), formatOf(*layout), QString());
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

std::unique_ptr<CaptureBackend> makeCaptureBackend()
{
    return std::make_unique<PulseCaptureBackend>();
}
