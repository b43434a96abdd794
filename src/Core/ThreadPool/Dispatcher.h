#pragma once
#include <functional>

// Delivers work to the thread that owns the scan state (the GUI thread in the program).
// Post may be called from any thread; the task runs later on the owning thread.
class TDispatcher {
public:
    virtual ~TDispatcher() = default;
    virtual void Post(std::function<void()> task) = 0;
};
