#pragma once
#include "Core/ThreadPool/Dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace tarrowin::test {

// Plays the GUI thread's event loop: tasks posted from any thread run on the thread that calls
// RunPending or RunUntil, one at a time, each destroyed right after it ran. Destroying the
// dispatcher discards the tasks still queued, as a closing event loop would; nothing may post
// to it after that.
class TQueueDispatcher : public TDispatcher {
public:
    TQueueDispatcher() = default;
    ~TQueueDispatcher() override;
    TQueueDispatcher(const TQueueDispatcher&) = delete;
    TQueueDispatcher& operator=(const TQueueDispatcher&) = delete;

    void Post(std::function<void()> task) override;

    // Runs the tasks queued so far; returns how many ran.
    std::size_t RunPending();
    // Runs tasks as they arrive until done() holds; false when the limit passed first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Waits, running nothing, until at least count tasks are queued; false when the limit passed.
    bool WaitUntilQueued(std::size_t count, std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

} // namespace tarrowin::test
