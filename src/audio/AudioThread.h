#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

class QObject;
class QThread;

// A thread with its own Qt event loop, where audio sources live and their
// buffers are read. Work is handed to it and waited for with a time limit:
// opening a source that vanished a moment ago can block inside the audio
// library for good, and the caller must never hang with it.
class AudioThread {
public:
    explicit AudioThread(const QString& name);
    ~AudioThread();  // ends the thread; a thread blocked for good is left behind

    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    // Runs `work` on the thread and waits until it is done, at most `limit`.
    // False when it did not finish in time: the thread is then stuck, and every
    // later call returns false at once. On the thread itself `work` runs inline.
    bool run(std::function<void()> work, std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // Queues `work` without waiting.
    void post(std::function<void()> work);

    bool stuck() const;
    bool isCurrent() const;

private:
    std::atomic<bool> stuck_{false};
    QThread* thread_ = nullptr;
    QObject* context_ = nullptr;
};
