#include "support/SerialQueue.h"

#include <future>
#include <pthread.h>

SerialQueue::SerialQueue(QString label) : label_(std::move(label))
{
    thread_ = std::thread([this] { run(); });
    pthread_setname_np(thread_.native_handle(), label_.left(15).toUtf8().constData());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
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
    return std::this_thread::get_id() == thread_.get_id();
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
