#include "audio/AudioThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace {
struct Job {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};
}  // namespace

AudioThread::AudioThread(const QString& name)
{
    thread_ = new QThread;
    thread_->setObjectName(name);
    context_ = new QObject;
    context_->moveToThread(thread_);
    thread_->start();
}

AudioThread::~AudioThread()
{
    QObject* context = context_;
    QThread* thread = thread_;
    // The context is deleted by the thread's own loop, before the loop ends.
    QMetaObject::invokeMethod(context, [context, thread] {
        delete context;
        thread->quit();
    }, Qt::QueuedConnection);
    if (!stuck() && thread->wait(3000)) {
        delete thread;
        return;
    }
    // Blocked inside the audio library: destroying a running QThread would
    // abort the process, so the thread and its objects are left to the end of
    // the process.
    stuck_ = true;
}

bool AudioThread::run(std::function<void()> work, std::chrono::milliseconds limit)
{
    if (isCurrent()) {
        work();
        return true;
    }
    if (stuck())
        return false;
    auto job = std::make_shared<Job>();
    QMetaObject::invokeMethod(context_, [job, work = std::move(work)] {
        work();
        std::lock_guard lock(job->mutex);
        job->done = true;
        job->finished.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock lock(job->mutex);
    if (job->finished.wait_for(lock, limit, [&job] { return job->done; }))
        return true;
    stuck_ = true;
    return false;
}

void AudioThread::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}

bool AudioThread::stuck() const
{
    return stuck_.load();
}

bool AudioThread::isCurrent() const
{
    return QThread::currentThread() == thread_;
}
