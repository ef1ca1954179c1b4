#pragma once

#include "support/SerialQueue.h"

#include <future>

// Runs `work` on a worker thread without a Qt event loop, as Sayri's pipeline
// queue does, and waits for its result.
template <class Work> auto onPipeline(Work work)
{
    static SerialQueue queue(QStringLiteral("sayri.pipeline"));
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    queue.async([&task] { task(); });
    return result.get();
}
