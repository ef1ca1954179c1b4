#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// One worker thread that runs queued tasks one after another, in order.
// The thread has no Qt event loop of its own; blocking calls made by a task
// (HTTP, process waits) own whatever they need while they run.
class SerialQueue {
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();  // runs the tasks already queued, then joins

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    // Blocks the caller until every task queued before this call has run.
    void drain();
    QString label() const { return label_; }
    bool isCurrentThread() const;

private:
    void run();

    QString label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::unique_ptr<QThread> thread_;
};
