// tarrowin_lan_scan: scans the block of the adapter of the network namespace it runs in, with the
// program's probe workers, and prints JSON lines: the adapter, one line per address that showed
// any sign of life (or every address with --all), then a summary. Meant to run under
// `simlan.py exec` or `ip netns exec`; it refuses to run outside a named network namespace.
//
//     tarrowin_lan_scan [--threads N] [--interface NAME] [--no-titles] [--all] [--range TEXT]
//                       [--repeat N [--step]] [--database FILE] [--stats-every K]
//
// Workers run as a sliding window: each report starts the next address, at most N at a time. For soak
// runs: --range scans custom ranges, --repeat runs several scans (with --step each after the first waits
// for a line on the standard input, so a driver can change the LAN in between), --database records every
// result as the program does (devices and activity hours), and --stats-every prints the process's memory,
// threads and descriptors after every K scans.

#include "support/QueueDispatcher.h"

#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Net/IPv4Range.h"
#include "Core/Net/Platform.h"
#include "Core/Scan/Detection.h"
#include "Core/ThreadPool/WorkerThread.h"
#include "Core/Vendor/VendorTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TOptions {
    std::size_t Threads = 16;
    std::string Interface;
    bool WantTitles = true;
    bool All = false;
    std::string Range;
    std::size_t Repeat = 1;
    bool Step = false;
    std::string Database;
    std::size_t StatsEvery = 0;
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "tarrowin_lan_scan: %s\n", message.c_str());
    std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--threads" && i + 1 < argc) {
            options.Threads = std::strtoul(argv[++i], nullptr, 10);
            if (options.Threads < 1 || options.Threads > 32)
                Fail("--threads takes 1 to 32");
        } else if (arg == "--interface" && i + 1 < argc) {
            options.Interface = argv[++i];
        } else if (arg == "--no-titles") {
            options.WantTitles = false;
        } else if (arg == "--all") {
            options.All = true;
        } else if (arg == "--range" && i + 1 < argc) {
            options.Range = argv[++i];
        } else if (arg == "--repeat" && i + 1 < argc) {
            options.Repeat = std::max<std::size_t>(1, std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--step") {
            options.Step = true;
        } else if (arg == "--database" && i + 1 < argc) {
            options.Database = argv[++i];
        } else if (arg == "--stats-every" && i + 1 < argc) {
            options.StatsEvery = std::strtoul(argv[++i], nullptr, 10);
        } else {
            Fail("usage: tarrowin_lan_scan [--threads N] [--interface NAME] [--no-titles] [--all] [--range TEXT] "
                 "[--repeat N [--step]] [--database FILE] [--stats-every K]");
        }
    }
    return options;
}

// Probing the machine's real network is never wanted: only a named namespace (ip netns) is scanned,
// as the machine's own namespace is never one of those.
void RequireNamedNetworkNamespace() {
    struct stat own {};
    if (stat("/proc/self/ns/net", &own) != 0)
        Fail("cannot tell which network namespace this is; refusing to scan");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/var/run/netns", error)) {
        struct stat named {};
        if (stat(entry.path().c_str(), &named) == 0 && named.st_ino == own.st_ino && named.st_dev == own.st_dev)
            return;
    }
    Fail("not inside a namespace of /var/run/netns; run me with ip netns exec in a test namespace");
}

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string NetworkOrderText(TIPv4 networkOrder) {
    return JsonText(IPv4ToStr(SwapIPv4(networkOrder)));
}

TIfItem ChooseAdapter(const std::string& wanted) {
    TIfList adapters;
    PlatformProbeFactory().CreateInetConfig()->GetInterfaces(adapters);
    std::vector<TIfItem> candidates;
    for (const auto& adapter : adapters) {
        const bool named = !wanted.empty() && SameTextAscii(adapter.Name, wanted);
        if (named || (wanted.empty() && adapter.Address != 0))
            candidates.push_back(adapter);
    }
    if (candidates.size() != 1)
        Fail(wanted.empty() ? "name the adapter with --interface: not exactly one has an address"
                            : "no adapter named " + wanted);
    return candidates.front();
}

const char* EchoAccessText(TEchoAccess access) {
    switch (access) {
    case TEchoAccess::Datagram:
        return "datagram";
    case TEchoAccess::Raw:
        return "raw";
    case TEchoAccess::Denied:
        break;
    }
    return "denied";
}

void PrintAdapter(const TIfItem& adapter) {
    TIPv4 gateway = 0;
    PlatformProbeFactory().CreateInetConfig()->GetDefaultGateway(gateway);
    const auto access = PlatformProbeFactory().CreatePing()->EchoAccess();
    std::printf("{\"adapter\":%s,\"address\":%s,\"mask\":%s,\"mac\":%s,\"gateway\":%s,\"echo_access\":\"%s\"}\n",
                JsonText(adapter.Name).c_str(), NetworkOrderText(adapter.Address).c_str(),
                NetworkOrderText(adapter.Mask).c_str(), JsonText(HWAddrToStr(adapter.HWAddr, ':')).c_str(),
                NetworkOrderText(gateway).c_str(), EchoAccessText(access));
}

void PrintResult(const TWorkerThread& worker) {
    const bool title = worker.ProbeFlags & pfTitle;
    std::printf("{\"address\":%s,\"flags\":%u,\"rtt\":%u,\"hwaddr\":%s,\"host_name\":%s,\"title\":%s}\n",
                JsonText(IPv4ToStr(worker.Address)).c_str(), worker.ProbeFlags, worker.RTT,
                JsonText(HWAddrToStr(worker.HWAddr, ':')).c_str(), JsonText(worker.HostName).c_str(),
                title ? JsonText(worker.PageTitle).c_str() : "null");
    std::fflush(stdout);
}

// A line of /proc/self/status ("VmRSS:   1234 kB" gives 1234).
long StatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, name.size() + 1, name + ":") == 0)
            return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    return -1;
}

void PrintStats(std::size_t scans) {
    const auto fds = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    std::printf("{\"stats\":true,\"scans\":%zu,\"rss_kb\":%ld,\"threads\":%ld,\"fds\":%ld}\n", scans,
                StatusField("VmRSS"), StatusField("Threads"), static_cast<long>(fds));
    std::fflush(stdout);
}

// The program's bookkeeping of results: device records and activity hours in the database.
class TRecorder {
public:
    explicit TRecorder(const TIfItem& adapter) {
        vendors_.LoadVendorTable();
        context_.Adapter = adapter;
        TIPv4 gateway = 0;
        context_.GatewayFound = PlatformProbeFactory().CreateInetConfig()->GetDefaultGateway(gateway);
        context_.Gateway = gateway;
    }
    void StartScan() const { MarkOwnComputer(context_.Adapter); }
    void Record(const TWorkerThread& worker) const {
        HandleProbeResult(TProbeResult::From(worker), context_, vendors_);
    }

private:
    TVendorTable vendors_;
    TScanContext context_;
};

class TLanScan {
public:
    TLanScan(const TOptions& options, TIfItem adapter, const TRecorder* recorder)
        : options_(options), adapter_(std::move(adapter)), recorder_(recorder) {}

    // True when every address was reported back.
    bool Run() {
        TIPv4PairList ranges;
        ranges.Parse(options_.Range);
        queue_ = EnumerateScanAddresses(ranges, adapter_);
        if (recorder_ != nullptr)
            recorder_->StartScan();
        const auto started = std::chrono::steady_clock::now();
        while (running_.size() < options_.Threads && next_ < queue_.size())
            StartNext();
        const bool complete =
            dispatcher_.RunUntil([this] { return reported_ == queue_.size(); }, std::chrono::hours(1));
        for (auto* worker : running_)
            worker->Abandon();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
        std::printf("{\"summary\":true,\"addresses\":%zu,\"reported\":%zu,\"threads\":%zu,\"max_running\":%zu,"
                    "\"seconds\":%.3f}\n",
                    queue_.size(), reported_, options_.Threads, maxRunning_, seconds.count());
        return complete;
    }

private:
    void StartNext() {
        auto worker = std::make_unique<TWorkerThread>(queue_[next_++], options_.WantTitles);
        worker->Ping->IfName = adapter_.Name;
        running_.insert(
            TWorkerThread::Start(std::move(worker), dispatcher_, [this](TWorkerThread& done) { Report(done); }));
        maxRunning_ = std::max(maxRunning_, running_.size());
    }

    void Report(TWorkerThread& worker) {
        running_.erase(&worker);
        ++reported_;
        if (recorder_ != nullptr)
            recorder_->Record(worker);
        if (options_.All || worker.ProbeFlags != 0)
            PrintResult(worker);
        if (next_ < queue_.size())
            StartNext();
    }

    const TOptions options_;
    const TIfItem adapter_;
    const TRecorder* recorder_;
    tarrowin::test::TQueueDispatcher dispatcher_;
    std::vector<TIPv4> queue_;
    std::size_t next_ = 0;
    std::size_t reported_ = 0;
    std::size_t maxRunning_ = 0;
    std::set<TWorkerThread*> running_;
};

} // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);
    RequireNamedNetworkNamespace();
    const TIfItem adapter = ChooseAdapter(options.Interface);
    PrintAdapter(adapter);
    std::unique_ptr<TRecorder> recorder;
    if (!options.Database.empty()) {
        SetConfigStorePath(options.Database);
        DeviceList().Load();
        recorder = std::make_unique<TRecorder>(adapter);
    }
    if (options.StatsEvery > 0)
        PrintStats(0);
    for (std::size_t scan = 1; scan <= options.Repeat; ++scan) {
        std::string go;
        if (scan > 1 && options.Step && !std::getline(std::cin, go))
            break;
        if (!TLanScan(options, adapter, recorder.get()).Run())
            Fail("not every worker reported back");
        if (options.StatsEvery > 0 && scan % options.StatsEvery == 0)
            PrintStats(scan);
    }
    ReleaseConfigStore();
    return 0;
}
