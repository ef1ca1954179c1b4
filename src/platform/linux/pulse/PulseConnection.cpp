#include "platform/linux/pulse/PulseConnection.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

// Whether a source is one Sayri records from: named, described, and not the
// monitor of an output.
bool captures(const pa_source_info& info)
{
    return info.monitor_of_sink == PA_INVALID_INDEX && info.name && *info.name && info.description && *info.description;
}

AudioInputDevice deviceOf(const pa_source_info& info)
{
    return {QString::fromUtf8(info.name), QString::fromUtf8(info.description)};
}

}  // namespace

PulseConnection::PulseConnection(std::optional<double> deadline)
{
    setDeadline(deadline);
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
    pa_context_set_state_callback(
        context, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->wake(); }, this);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return;
    waitUntil([this] {
        const pa_context_state_t s = pa_context_get_state(context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
    });
}

PulseConnection::~PulseConnection()
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

bool PulseConnection::ready()
{
    if (!loop || !context)
        return false;
    MainloopLock lock(loop);
    return pa_context_get_state(context) == PA_CONTEXT_READY;
}

void PulseConnection::setDeadline(std::optional<double> deadline)
{
    deadline_ = deadline.value_or(std::numeric_limits<double>::infinity());
}

bool PulseConnection::waitUntil(const std::function<bool()>& done, double seconds)
{
    if (done())
        return true;
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    seconds = std::clamp(deadline_.load() - now, 0.0, seconds);
    struct Alarm {
        PulseConnection* connection = nullptr;
        bool rang = false;
    } alarm{this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, pa_usec_t(seconds * double(PA_USEC_PER_SEC)));
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
            auto* a = static_cast<Alarm*>(data);
            a->rang = true;
            a->connection->wake();
        },
        &alarm);
    while (!done() && !alarm.rang)
        pa_threaded_mainloop_wait(loop);
    api->time_free(timer);
    return done();
}

void PulseConnection::run(pa_operation* op, const bool& done)
{
    if (!op)
        return;
    waitUntil([&done] { return done; });
    pa_operation_cancel(op);  // no callback after this, answered or not
    pa_operation_unref(op);
}

QByteArray PulseConnection::defaultSourceName()
{
    struct Query {
        PulseConnection* connection = nullptr;
        bool done = false;
        QByteArray name = {};
    } query{this};
    run(pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* q = static_cast<Query*>(data);
                if (info && info->default_source_name)
                    q->name = info->default_source_name;
                q->done = true;
                q->connection->wake();
            },
            &query),
        query.done);
    return query.name;
}

bool PulseConnection::eachSource(const SourceRequest& request, const std::function<void(const pa_source_info&)>& each)
{
    struct Query {
        PulseConnection* connection = nullptr;
        const std::function<void(const pa_source_info&)>* each = nullptr;
        bool done = false;
    } query{this, &each};
    run(request(
            [](pa_context*, const pa_source_info* info, int last, void* data) {
                auto* q = static_cast<Query*>(data);
                if (info && last == 0)
                    (*q->each)(*info);
                if (last != 0) {
                    q->done = true;
                    q->connection->wake();
                }
            },
            &query),
        query.done);
    return query.done;
}

std::optional<pa_sample_spec> PulseConnection::sourceLayout(QByteArray& name, bool& monitor)
{
    monitor = false;
    if (name.isEmpty()) {
        name = defaultSourceName();
        if (name.isEmpty())
            return std::nullopt;
    }
    std::optional<pa_sample_spec> layout;
    eachSource(
        [this, &name](pa_source_info_cb_t answer, void* query) {
            return pa_context_get_source_info_by_name(context, name.constData(), answer, query);
        },
        [&layout, &monitor](const pa_source_info& info) {
            monitor = info.monitor_of_sink != PA_INVALID_INDEX;
            if (!monitor)
                layout = info.sample_spec;
        });
    return layout;
}

QList<AudioInputDevice> PulseConnection::inputs()
{
    if (!ready())
        return {};
    QList<AudioInputDevice> devices;
    MainloopLock lock(loop);
    const bool answered =
        eachSource([this](pa_source_info_cb_t answer,
                          void* query) { return pa_context_get_source_info_list(context, answer, query); },
                   [&devices](const pa_source_info& info) {
                       if (captures(info))
                           devices.append(deviceOf(info));
                   });
    return answered ? devices : QList<AudioInputDevice>();
}

std::optional<AudioInputDevice> PulseConnection::defaultInput()
{
    if (!ready())
        return std::nullopt;
    MainloopLock lock(loop);
    QByteArray name = defaultSourceName();
    if (name.isEmpty())
        return std::nullopt;
    std::optional<AudioInputDevice> device;
    eachSource(
        [this, &name](pa_source_info_cb_t answer, void* query) {
            return pa_context_get_source_info_by_name(context, name.constData(), answer, query);
        },
        [&device](const pa_source_info& info) {
            if (captures(info))
                device = deviceOf(info);
        });
    return device;
}
