// tarrowin_lan_scan: scans the block of the adapter of the network namespace it runs in, with the
// program's probe workers, and prints JSON lines: the adapter, one line per address that showed
// any sign of life (or every address with --all), then a summary. Meant to run under
// `simlan.py exec` or `ip netns exec`; it refuses to run outside a named network namespace.
//
//     tarrowin_lan_scan [--threads N] [--interface NAME] [--no-titles] [--all]
//
// Workers run as a sliding window: each report starts the next address, at most N at a time.

#include "support/QueueDispatcher.h"

#include "Core/Common/Text.h"
#include "Core/Net/IPv4Range.h"
#include "Core/Net/Platform.h"
#include "Core/ThreadPool/WorkerThread.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
        } else {
            Fail("usage: tarrowin_lan_scan [--threads N] [--interface NAME] [--no-titles] [--all]");
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

class TLanScan {
public:
    TLanScan(const TOptions& options, TIfItem adapter) : options_(options), adapter_(std::move(adapter)) {}

    // True when every address was reported back.
    bool Run() {
        queue_ = EnumerateScanAddresses(TIPv4PairList(), adapter_);
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
        if (options_.All || worker.ProbeFlags != 0)
            PrintResult(worker);
        if (next_ < queue_.size())
            StartNext();
    }

    const TOptions options_;
    const TIfItem adapter_;
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
    if (!TLanScan(options, adapter).Run())
        Fail("not every worker reported back");
    return 0;
}
