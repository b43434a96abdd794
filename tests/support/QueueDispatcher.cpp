#include "QueueDispatcher.h"

namespace tarrowin::test {

TQueueDispatcher::~TQueueDispatcher() {
    // Dropped tasks may free workers that join their threads; do that outside the lock.
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(tasks_);
    }
}

void TQueueDispatcher::Post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_all();
}

std::size_t TQueueDispatcher::RunPending() {
    std::size_t count;
    {
        std::lock_guard lock(mutex_);
        count = tasks_.size();
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
    return count;
}

bool TQueueDispatcher::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [&] { return !tasks_.empty(); }))
                return done();
        }
        RunPending();
    }
    return true;
}

bool TQueueDispatcher::WaitUntilQueued(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, limit, [&] { return tasks_.size() >= count; });
}

} // namespace tarrowin::test
