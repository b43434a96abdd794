// A whole scan over the simulated LAN (simlan.py), checked against the LAN's truth: every address of
// the scanner adapter's block is probed by real workers with the real Linux probes, inside the
// scanner namespace, and every result must match what the LAN was built with.

#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Net/IPv4Range.h"
#include "Core/ThreadPool/WorkerThread.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

const std::string SimLan = std::string(TARROWIN_LAN_DIR) + "/simlan.py";
constexpr int SimLanUnavailable = 77;

struct TCommandResult {
    int Status = -1; // exit status, or -1 when the command did not exit normally
    std::string Out;
    std::string Err;
};

// Runs a program and collects its standard output and error separately.
TCommandResult RunCommand(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]), close(err[1]);
    TCommandResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.Out, &result.Err};
    for (int openPipes = 2; openPipes > 0 && poll(fds, 2, -1) > 0;) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.Status = WEXITSTATUS(status);
    return result;
}

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1); // npos + 1 is 0
}

// The LAN of one test: brought up here and torn down with the object, or one that is already
// running when TARROWIN_LAN_PREFIX names it.
class TSimulatedLan {
public:
    TSimulatedLan() {
        if (const char* prefix = std::getenv("TARROWIN_LAN_PREFIX"); prefix && *prefix) {
            prefix_ = prefix;
            Load("/run/tarrowin-lan/" + prefix_ + "/truth.json");
            return;
        }
        prefix_ = "tw" + std::to_string(getpid()) + "-";
        const auto up = RunCommand({SimLan, "up", "--prefix", prefix_, "--owner", std::to_string(getpid())});
        if (up.Status == SimLanUnavailable) {
            unavailable_ = LastLine(up.Err);
            return;
        }
        if (up.Status != 0)
            throw std::runtime_error("simlan.py up failed: " + up.Err);
        try {
            Load(LastLine(up.Out));
        } catch (...) {
            RunCommand({SimLan, "down", "--prefix", prefix_});
            throw;
        }
        ownLan_ = true;
    }

    ~TSimulatedLan() {
        if (ownLan_)
            RunCommand({SimLan, "down", "--prefix", prefix_});
    }

    TSimulatedLan(const TSimulatedLan&) = delete;
    TSimulatedLan& operator=(const TSimulatedLan&) = delete;

    const std::string& Unavailable() const { return unavailable_; }
    const std::string& Prefix() const { return prefix_; }
    const json& Truth() const { return truth_; }

private:
    void Load(const std::string& path) {
        std::ifstream in(path);
        if (!in)
            throw std::runtime_error("cannot read the LAN's truth " + path);
        truth_ = json::parse(in);
    }

    std::string prefix_;
    std::string unavailable_;
    bool ownLan_ = false;
    json truth_;
};

// What tarrowin_lan_scan printed: its adapter, one result per live address, its summary.
struct TScanOutput {
    json Adapter;
    std::map<std::string, json> Results;
    json Summary;
};

TScanOutput ParseScan(const std::string& text) {
    TScanOutput scan;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        json item = json::parse(line);
        if (item.contains("adapter"))
            scan.Adapter = item;
        else if (item.contains("summary"))
            scan.Summary = item;
        else
            scan.Results[item["address"].get<std::string>()] = item;
    }
    return scan;
}

TIfItem AdapterOf(const json& truth) {
    TIfItem adapter;
    adapter.Name = truth["interface"];
    adapter.Address = SwapIPv4(StrToIPv4(truth["address"].get<std::string>()));
    adapter.Mask = SwapIPv4(StrToIPv4(truth["mask"].get<std::string>()));
    return adapter;
}

std::string OptionalText(const json& value) {
    return value.is_null() ? std::string() : value.get<std::string>();
}

// The name the lookup must find: the DNS name wins; NetBIOS is asked only when DNS has none.
std::string ExpectedHostName(const json& device) {
    return device["dns"].is_null() ? OptionalText(device["netbios"]) : device["dns"].get<std::string>();
}

void CheckAdapter(const json& truth, const json& adapter) {
    ASSERT_FALSE(adapter.is_null()) << "no adapter line";
    EXPECT_EQ(adapter["adapter"], truth["interface"]);
    EXPECT_EQ(adapter["address"], truth["address"]);
    EXPECT_EQ(adapter["mask"], truth["mask"]);
    EXPECT_TRUE(
        SameHWAddr(StrToHWAddr(adapter["mac"].get<std::string>()), StrToHWAddr(truth["mac"].get<std::string>())));
    EXPECT_EQ(adapter["gateway"], truth["gateway"]);
    EXPECT_NE(adapter["echo_access"], "denied");
}

void CheckDevice(const json& device, const json& result) {
    const uint8_t flags = result["flags"].get<uint8_t>();
    EXPECT_EQ((flags & pfEcho) != 0, device["echo"].get<bool>()) << "echo";
    const THWAddr hwAddr = StrToHWAddr(result["hwaddr"].get<std::string>());
    if (device["role"] == "scanner") {
        // The neighbour table never holds the scanning computer's own address.
        EXPECT_EQ(flags & pfHWAddr, 0) << "own address in the neighbour table";
        EXPECT_TRUE(IsZeroHWAddr(hwAddr));
    } else {
        EXPECT_NE(flags & pfHWAddr, 0) << "no neighbour entry";
        EXPECT_EQ(HWAddrToStr(hwAddr, ':'), device["mac"].get<std::string>());
    }
    EXPECT_EQ(result["host_name"].get<std::string>(), ExpectedHostName(device)) << "host name";
    if (device["title"].is_null()) {
        EXPECT_EQ(flags & pfTitle, 0) << "title reported: " << result["title"];
    } else {
        EXPECT_NE(flags & pfTitle, 0) << "no title";
        EXPECT_EQ(OptionalText(result["title"]), device["title"].get<std::string>());
    }
}

class LanScanTest : public ::testing::TestWithParam<int> {};

TEST_P(LanScanTest, EveryResultMatchesTheTruth) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the simulated LAN needs root (network namespaces)";
    TSimulatedLan lan;
    if (!lan.Unavailable().empty())
        GTEST_SKIP() << "no simulated LAN here: " << lan.Unavailable();
    const json& truth = lan.Truth();
    const int threads = GetParam();

    const auto run = RunCommand(
        {SimLan, "exec", "--prefix", lan.Prefix(), "--", TARROWIN_LAN_SCAN, "--threads", std::to_string(threads)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TScanOutput scan = ParseScan(run.Out);

    CheckAdapter(truth, scan.Adapter);

    const auto queued = EnumerateScanAddresses(TIPv4PairList(), AdapterOf(truth)).size();
    EXPECT_EQ(scan.Summary["addresses"], queued);
    EXPECT_EQ(scan.Summary["reported"], queued) << "a worker was lost";
    EXPECT_EQ(scan.Summary["max_running"], threads);

    std::set<std::string> missing, unexpected;
    for (const auto& device : truth["devices"])
        if (!scan.Results.contains(device["address"]))
            missing.insert(device["address"]);
    for (const auto& [address, result] : scan.Results)
        if (std::none_of(truth["devices"].begin(), truth["devices"].end(),
                         [&](const json& device) { return device["address"] == address; }))
            unexpected.insert(address);
    EXPECT_EQ(missing, std::set<std::string>()) << "devices of the LAN not found";
    EXPECT_EQ(unexpected, std::set<std::string>()) << "found where the LAN has no device";

    for (const auto& device : truth["devices"]) {
        const std::string address = device["address"];
        SCOPED_TRACE(address + " (" + device["role"].get<std::string>() + ")");
        const auto result = scan.Results.find(address);
        if (result != scan.Results.end())
            CheckDevice(device, result->second);
    }
}

// 16 is the usual setting; 32 the most the settings allow.
INSTANTIATE_TEST_SUITE_P(Workers, LanScanTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

} // namespace
