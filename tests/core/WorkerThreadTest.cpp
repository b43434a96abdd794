#include "Core/ThreadPool/WorkerThread.h"
#include "support/QueueDispatcher.h"
#include "support/ScriptedProbes.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <thread>
#include <vector>

using namespace tarrowin::test;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 30s; // only guards against a hang
constexpr THWAddr DeviceMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

TIPv4 Addr(const char* text) {
    return StrToIPv4(text);
}

// The fields as the terminate event saw them, plus what it could observe of the worker's state.
struct TNotice {
    std::uint8_t ProbeFlags = 0;
    TIPv4 Address = 0;
    THWAddr HWAddr{};
    std::uint32_t RTT = 0;
    std::string HostName;
    std::string PageTitle;
    bool OnDispatcherThread = false;
    int PingsDestroyedBefore = -1;
};

class WorkerThreadTest : public ::testing::Test {
protected:
    TWorkerThread* StartWorker(TIPv4 address, bool wantPageTitle) {
        auto worker = std::make_unique<TWorkerThread>(address, wantPageTitle, factory_);
        worker->Ping->IfName = "eth7";
        return TWorkerThread::Start(std::move(worker), *dispatcher_, [this](TWorkerThread& w) { Record(w); });
    }

    // Runs the dispatcher until every given address has been reported.
    bool RunUntilReported(const std::vector<TIPv4>& addresses) {
        return dispatcher_->RunUntil(
            [&] {
                for (TIPv4 address : addresses)
                    if (notices_.count(address) == 0)
                        return false;
                return true;
            },
            Patience);
    }

    void Record(TWorkerThread& worker) {
        TNotice notice{.ProbeFlags = worker.ProbeFlags,
                       .Address = worker.Address,
                       .HWAddr = worker.HWAddr,
                       .RTT = worker.RTT,
                       .HostName = worker.HostName,
                       .PageTitle = worker.PageTitle,
                       .OnDispatcherThread = std::this_thread::get_id() == dispatcherThread_,
                       .PingsDestroyedBefore = factory_.Calls(worker.Address).PingsDestroyed};
        notices_.emplace(worker.Address, notice);
        ++noticeCount_;
    }

    TScriptedProbeFactory factory_;
    std::unique_ptr<TQueueDispatcher> dispatcher_ = std::make_unique<TQueueDispatcher>();
    std::thread::id dispatcherThread_ = std::this_thread::get_id();
    std::multimap<TIPv4, TNotice> notices_;
    int noticeCount_ = 0;
};

struct TProbeCase {
    const char* Name;
    std::optional<TScriptedDevice> Device; // empty: no device at the address
    bool WantPageTitle;
    std::uint8_t Flags;
    bool NameLookedUp;
    bool TitleFetched;
};

TScriptedDevice WebDevice(TScriptedFault fault = TScriptedFault::None) {
    return {true, 3, DeviceMac, "router.lan", "Router Setup", fault};
}

const TProbeCase ProbeCases[] = {
    {"NoDevice", std::nullopt, true, 0, false, false},
    {"DropsIcmp", TScriptedDevice{false, 0, DeviceMac, "printer", "Printer", TScriptedFault::None}, true, pfHWAddr,
     true, false},
    {"EchoAndTitle", WebDevice(), true, pfEcho | pfHWAddr | pfTitle, true, true},
    {"TitleNotWanted", WebDevice(), false, pfEcho | pfHWAddr, true, false},
    {"OwnComputerWithoutWebPage", TScriptedDevice{true, 1, std::nullopt, "me", std::nullopt, TScriptedFault::None},
     true, pfEcho, true, true},
    {"ThrowingEcho", WebDevice(TScriptedFault::Ping), true, 0, false, false},
    {"ThrowingNameLookupEndsEarly", WebDevice(TScriptedFault::HostName), true, pfEcho | pfHWAddr, true, false},
    {"ThrowingTitleFetch", WebDevice(TScriptedFault::PageTitle), true, pfEcho | pfHWAddr, true, true},
};

void PrintTo(const TProbeCase& c, std::ostream* os) {
    *os << c.Name;
}

class WorkerProbeTest : public WorkerThreadTest, public ::testing::WithParamInterface<TProbeCase> {};

} // namespace

TEST_P(WorkerProbeTest, RunsTheProbesInOrderAndHandsTheWorkerBackOnce) {
    const TProbeCase& c = GetParam();
    const TIPv4 address = Addr("192.168.1.20");
    if (c.Device)
        factory_.SetDevice(address, *c.Device);

    StartWorker(address, c.WantPageTitle);
    ASSERT_TRUE(RunUntilReported({address}));
    dispatcher_->RunPending();

    ASSERT_EQ(notices_.size(), 1u);
    const TNotice& n = notices_.begin()->second;
    EXPECT_EQ(n.ProbeFlags, c.Flags);
    EXPECT_TRUE(n.OnDispatcherThread);
    EXPECT_EQ(n.PingsDestroyedBefore, 0) << "the worker was destroyed before its notice";

    const TScriptedCalls calls = factory_.Calls(address);
    EXPECT_EQ(calls.Ping, 1);
    EXPECT_EQ(calls.IfName, "eth7");
    EXPECT_EQ(calls.HostName, c.NameLookedUp ? 1 : 0);
    EXPECT_EQ(calls.PageTitle, c.TitleFetched ? 1 : 0);
    EXPECT_EQ(calls.PingsDestroyed, 1);
    EXPECT_EQ(factory_.LiveProbes(), 0);

    EXPECT_EQ(n.RTT, (c.Flags & pfEcho) ? c.Device->RTT : 0u);
    EXPECT_EQ(n.HWAddr, (c.Flags & pfHWAddr) ? DeviceMac : THWAddr{});
    EXPECT_EQ(n.PageTitle, (c.Flags & pfTitle) ? c.Device->PageTitle.value() : "");
    if (c.NameLookedUp && c.Device->Fault != TScriptedFault::HostName)
        EXPECT_EQ(n.HostName, c.Device->HostName);
    else
        EXPECT_EQ(n.HostName, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerProbeTest, ::testing::ValuesIn(ProbeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WorkerThreadTest, ManyWorkersProbeAtTheSameTimeAndEachComesBackOnce) {
    constexpr int Count = 32;
    std::vector<TIPv4> addresses;
    for (int i = 1; i <= Count; ++i) {
        addresses.push_back(Addr("10.0.0.0") + static_cast<TIPv4>(i));
        if (i % 2 == 0)
            factory_.SetDevice(addresses.back(), WebDevice());
    }

    factory_.HoldEchoes();
    for (TIPv4 address : addresses)
        StartWorker(address, true);
    EXPECT_TRUE(factory_.WaitForHeldEchoes(Count, Patience)) << "workers did not run in parallel";
    factory_.ReleaseEchoes();

    ASSERT_TRUE(RunUntilReported(addresses));
    dispatcher_->RunPending();
    EXPECT_EQ(noticeCount_, Count);
    for (TIPv4 address : addresses) {
        auto [first, last] = notices_.equal_range(address);
        ASSERT_EQ(std::distance(first, last), 1) << IPv4ToStr(address);
        EXPECT_EQ(first->second.PingsDestroyedBefore, 0);
        EXPECT_EQ(first->second.PageTitle, factory_.Calls(address).PageTitle ? "Router Setup" : "");
        EXPECT_EQ(factory_.Calls(address).PingsDestroyed, 1);
    }
    EXPECT_EQ(factory_.LiveProbes(), 0);
}

TEST_F(WorkerThreadTest, AbandonedWorkersStillProbingFreeThemselvesWithoutTheDispatcher) {
    constexpr int Count = 8;
    factory_.HoldEchoes();
    std::vector<TWorkerThread*> running;
    for (int i = 1; i <= Count; ++i)
        running.push_back(StartWorker(Addr("10.1.0.0") + static_cast<TIPv4>(i), true));
    ASSERT_TRUE(factory_.WaitForHeldEchoes(Count, Patience));

    for (TWorkerThread* worker : running)
        worker->Abandon();
    dispatcher_.reset(); // the owner and its event loop are gone
    factory_.ReleaseEchoes();

    EXPECT_TRUE(TWorkerThread::WaitForAbandoned(Patience));
    EXPECT_EQ(noticeCount_, 0);
    EXPECT_EQ(factory_.LiveProbes(), 0);
}

TEST_F(WorkerThreadTest, AbandonedWorkersWithQueuedNoticesAreFreedWithoutTheirEvent) {
    constexpr int Count = 6;
    std::vector<TWorkerThread*> running;
    for (int i = 1; i <= Count; ++i)
        running.push_back(StartWorker(Addr("10.2.0.0") + static_cast<TIPv4>(i), true));
    ASSERT_TRUE(dispatcher_->WaitUntilQueued(Count, Patience));

    for (int i = 0; i < Count / 2; ++i)
        running[i]->Abandon();
    EXPECT_EQ(dispatcher_->RunPending(), static_cast<std::size_t>(Count));

    EXPECT_TRUE(TWorkerThread::WaitForAbandoned(Patience));
    EXPECT_EQ(noticeCount_, Count - Count / 2);
    for (int i = 0; i < Count; ++i)
        EXPECT_EQ(notices_.count(Addr("10.2.0.0") + static_cast<TIPv4>(i + 1)), i < Count / 2 ? 0u : 1u);
    EXPECT_EQ(factory_.LiveProbes(), 0);
}

TEST_F(WorkerThreadTest, NoticesDroppedWithTheDispatcherFreeTheirWorkers) {
    constexpr int Count = 6;
    std::vector<TWorkerThread*> running;
    for (int i = 1; i <= Count; ++i)
        running.push_back(StartWorker(Addr("10.3.0.0") + static_cast<TIPv4>(i), true));
    ASSERT_TRUE(dispatcher_->WaitUntilQueued(Count, Patience));

    running[0]->Abandon();
    dispatcher_.reset();

    EXPECT_TRUE(TWorkerThread::WaitForAbandoned(Patience));
    EXPECT_EQ(noticeCount_, 0);
    EXPECT_EQ(factory_.LiveProbes(), 0);
}

TEST_F(WorkerThreadTest, AWorkerNeverStartedIsDestroyedByItsCreator) {
    { TWorkerThread worker(Addr("10.4.0.1"), true, factory_); }
    EXPECT_EQ(factory_.LiveProbes(), 0);
}
