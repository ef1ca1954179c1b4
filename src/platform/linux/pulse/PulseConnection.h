#pragma once

#include "platform/AudioInputs.h"

#include <QByteArray>

#include <pulse/pulseaudio.h>

#include <atomic>
#include <functional>
#include <optional>

// Holds a mainloop's lock for its lifetime.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// A client connection to the PulseAudio server (PipeWire's included) with its
// mainloop thread. Every call into libpulse holds the mainloop lock;
// callbacks run on the mainloop thread with it held. Every wait on the server
// is bounded, so a server that never answers makes a request fail instead of
// hanging.
class PulseConnection {
public:
    static constexpr double answerLimit = 2.0;  // seconds the server gets to answer a request

    // `deadline`: see setDeadline.
    explicit PulseConnection(std::optional<double> deadline = std::nullopt);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool ready();

    // The sources that capture, in the server's order: never a monitor of an
    // output. Empty when the server cannot be asked.
    QList<AudioInputDevice> inputs();
    // The server's default source, unless it is a monitor.
    std::optional<AudioInputDevice> defaultInput();

    // Every wait ends by `deadline` too (steady-clock seconds, as
    // PulseCaptureBackend::now), when one is given. Any thread.
    void setDeadline(std::optional<double> deadline);

    // Called from callbacks: lets a waiting caller look again.
    void wake() { pa_threaded_mainloop_signal(loop, 0); }
    // With the lock held: waits until `done` holds or the server's time to
    // answer is up. False on time-out.
    bool waitUntil(const std::function<bool()>& done, double seconds = answerLimit);
    // With the lock held: the sample format of a source (the default source
    // for an empty name, whose name is filled in), or none when there is no
    // such source or it is the monitor of an output (then `monitor` is set):
    // what the speakers play is never taken for the microphone.
    std::optional<pa_sample_spec> sourceLayout(QByteArray& name, bool& monitor);

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;

private:
    std::atomic<double> deadline_;  // infinity: none

    // With the lock held: runs a request and waits (bounded) for `done`;
    // no callback comes after this returns.
    void run(pa_operation* op, const bool& done);
    // With the lock held: the default source's name, empty when none.
    QByteArray defaultSourceName();
    // With the lock held: sends a source-info request (given the answer
    // callback and its data) and calls `each` with every source it answers;
    // false when the answer did not end in time.
    using SourceRequest = std::function<pa_operation*(pa_source_info_cb_t, void*)>;
    bool eachSource(const SourceRequest& request, const std::function<void(const pa_source_info&)>& each);
};
