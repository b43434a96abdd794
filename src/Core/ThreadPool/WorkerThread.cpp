#include "Core/ThreadPool/WorkerThread.h"

#include <condition_variable>
#include <mutex>

namespace {

// Shared by all workers. Never destroyed: a detached worker may still be leaving while the
// program's static objects go away.
struct TWorkerRegistry {
    // Held while a notice is posted, so that Abandon returns only when no Post is under way.
    std::mutex postMutex;
    std::mutex countMutex;
    std::condition_variable abandonedGone;
    int abandonedAlive = 0;
};

TWorkerRegistry& Registry() {
    static auto* registry = new TWorkerRegistry;
    return *registry;
}

} // namespace

TWorkerThread::TWorkerThread(TIPv4 address, bool wantPageTitle, TProbeFactory& factory)
    : Address(address), Ping(factory.CreatePing()), HostInfo(factory.CreateHostInfo()), WantPageTitle(wantPageTitle) {}

TWorkerThread::~TWorkerThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
    HostInfo.reset();
    Ping.reset();
    if (abandoned_) {
        auto& registry = Registry();
        std::lock_guard lock(registry.countMutex);
        --registry.abandonedAlive;
        registry.abandonedGone.notify_all();
    }
}

TWorkerThread* TWorkerThread::Start(std::unique_ptr<TWorkerThread> worker, TDispatcher& dispatcher,
                                    TTerminateEvent onTerminate) {
    worker->dispatcher_ = &dispatcher;
    worker->onTerminate_ = std::move(onTerminate);
    // The thread takes this lock before it looks at thread_, so it sees the assignment.
    std::lock_guard lock(Registry().postMutex);
    worker->thread_ = std::thread(&TWorkerThread::Run, worker.get());
    return worker.release();
}

void TWorkerThread::Abandon() {
    auto& registry = Registry();
    std::lock_guard lock(registry.postMutex);
    if (abandoned_.exchange(true))
        return;
    std::lock_guard countLock(registry.countMutex);
    ++registry.abandonedAlive;
}

bool TWorkerThread::WaitForAbandoned(std::chrono::milliseconds limit) {
    auto& registry = Registry();
    std::unique_lock lock(registry.countMutex);
    return registry.abandonedGone.wait_for(lock, limit, [&] { return registry.abandonedAlive == 0; });
}

void TWorkerThread::Execute() {
    if (Ping->Ping(Address, EchoTimeoutMs, RTT))
        ProbeFlags |= pfEcho;
    // The echo above made the system resolve the address, so a device that drops ICMP is
    // in the neighbour table now.
    if (Ping->GetHWAddr(Address, HWAddr))
        ProbeFlags |= pfHWAddr;
    if (ProbeFlags != 0) {
        HostName.clear();
        HostInfo->GetHostName(Address, HostName);
    }
    if ((ProbeFlags & pfEcho) && WantPageTitle) {
        PageTitle.clear();
        if (Ping->GetPageTitle(Address, PageTitle))
            ProbeFlags |= pfTitle;
    }
}

void TWorkerThread::Run() {
    try {
        Execute();
    } catch (...) {
        // The flags gathered so far stand; the owner must get the worker back all the same.
    }
    std::lock_guard lock(Registry().postMutex);
    if (abandoned_) {
        delete this;
        return;
    }
    try {
        // The notice owns the worker from here: it frees it after the event ran, or when the
        // dispatcher discards it unrun. This thread must not touch the worker any more.
        dispatcher_->Post([worker = std::shared_ptr<TWorkerThread>(this)] { worker->Deliver(); });
    } catch (...) {
        // The refused notice has freed the worker already.
    }
}

void TWorkerThread::Deliver() {
    if (!abandoned_)
        onTerminate_(*this);
}
