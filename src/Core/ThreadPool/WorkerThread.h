#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Net/Platform.h"
#include "Core/ThreadPool/Dispatcher.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Result bits of TWorkerThread::ProbeFlags.
enum TProbeFlag : std::uint8_t {
    pfEcho = 1,   // an echo reply with success status arrived in time
    pfHWAddr = 2, // the neighbour table holds a usable entry
    pfTitle = 4,  // the root web page has a title
};

// Probes one address on a thread of its own and hands its results back on the owner's thread.
//
// Life of a worker, all calls on the owner's (the dispatcher's) thread:
//     auto worker = std::make_unique<TWorkerThread>(address, wantPageTitle);
//     worker->Ping->IfName = adapterName;
//     running.push_back(TWorkerThread::Start(std::move(worker), dispatcher, onTerminate));
// From Start on the worker owns itself. When Execute has returned (or thrown), it posts its
// notice through the dispatcher; the notice calls onTerminate with the worker, which reads the
// result fields, and then the worker is destroyed. The event must neither destroy the worker
// nor keep a reference to it. A notice that the dispatcher drops unrun still frees the worker.
// The dispatcher must run the notice later, never inside Post itself.
//
// Shutdown: an owner that goes away while workers run calls Abandon on every worker whose
// notice has not run yet, and may then destroy its dispatcher at once. An abandoned worker
// never calls its event and never touches the dispatcher again; it frees itself on its own
// thread when its probes end (or with its notice, if that was already posted). The program
// may give those threads a moment with WaitForAbandoned before it exits.
class TWorkerThread final {
public:
    using TTerminateEvent = std::function<void(TWorkerThread& worker)>;
    static constexpr std::uint32_t EchoTimeoutMs = 1000;

    TWorkerThread(TIPv4 address, bool wantPageTitle, TProbeFactory& factory = PlatformProbeFactory());
    // Only a worker that was never started may be destroyed by its creator.
    ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Starts the thread; the returned pointer identifies the running worker until its notice ran.
    static TWorkerThread* Start(std::unique_ptr<TWorkerThread> worker, TDispatcher& dispatcher,
                                TTerminateEvent onTerminate);
    // The notice will not call the event; afterwards the worker must not be touched at all.
    void Abandon();
    // Waits until every abandoned worker has freed itself; false when the limit passed first.
    static bool WaitForAbandoned(std::chrono::milliseconds limit);

    std::string HostName;
    TIPv4 Address;
    THWAddr HWAddr{};
    std::string PageTitle;
    std::unique_ptr<TPlatformPing> Ping;
    std::unique_ptr<TPlatformHostInfo> HostInfo;
    std::uint32_t RTT = 0;
    std::uint8_t ProbeFlags = 0;
    bool WantPageTitle;

private:
    void Execute();
    void Run();
    void Deliver();

    TDispatcher* dispatcher_ = nullptr;
    TTerminateEvent onTerminate_;
    std::atomic<bool> abandoned_ = false;
    std::thread thread_;
};
