#include "support/SerialQueue.h"

#include <QThread>

#include <future>

// QThread names the system thread after its object name, so the worker shows up as its label in
// debuggers and `top -H`.
SerialQueue::SerialQueue(QString label) : label_(std::move(label))
{
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setObjectName(label_);
    thread_->start();
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_->wait();
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SerialQueue::drain()
{
    if (isCurrentThread())
        return;
    std::promise<void> done;
    auto finished = done.get_future();
    async([&done] { done.set_value(); });
    finished.wait();
}

bool SerialQueue::isCurrentThread() const
{
    return QThread::currentThread() == thread_.get();
}

void SerialQueue::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}
