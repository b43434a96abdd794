// The real program scanning the simulated LAN (simlan.py): started with "-scan" inside the scanner
// namespace on the offscreen platform, stopped with SIGTERM, and its database checked against the truth.

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Net/HWAddr.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace {

using nlohmann::json;
using tarrowin::test::TempDir;

const std::string SimLan = std::string(TARROWIN_LAN_DIR) + "/simlan.py";
constexpr int SimLanUnavailable = 77;

// The standard output of a shell command and its exit status.
std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, out};
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1);
}

// The DEVICE rows as the running (or ended) program left them, by the stored MAC text.
std::map<std::string, TDeviceItem> StoredDevices(const std::filesystem::path& database) {
    SetConfigStorePath(database);
    ResetDeviceList();
    DeviceList().Load();
    std::map<std::string, TDeviceItem> devices;
    for (const TDeviceItem& device : DeviceList())
        devices[HWAddrToStr(device.HWAddr, ':')] = device;
    ReleaseConfigStore();
    return devices;
}

bool WaitForExit(pid_t pid, std::chrono::seconds limit, int& status) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(AppLanScan, ScanSwitchFindsTheLanAndSigtermSaves) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for network namespaces";
    const std::string prefix = "twapp" + std::to_string(getpid()) + "-";
    const auto [upStatus, upOut] =
        Shell(SimLan + " up --prefix " + prefix + " --owner " + std::to_string(getpid()) + " 2>/dev/null");
    if (upStatus == SimLanUnavailable)
        GTEST_SKIP() << "the simulated LAN cannot run here";
    ASSERT_EQ(upStatus, 0) << upOut;
    struct TLanDown {
        std::string Prefix;
        ~TLanDown() { Shell(SimLan + " down --prefix " + Prefix + " >/dev/null 2>&1"); }
    } down{prefix};
    std::ifstream truthFile(LastLine(upOut));
    const json truth = json::parse(truthFile);

    // The database lies beside the program file, so the program runs from a folder of its own.
    const TempDir folder;
    const std::filesystem::path program = folder.File("tarrowin");
    std::filesystem::copy_file(TARROWIN_APP, program);
    const std::filesystem::path database = folder.File("tarrowin.DB");
    SetConfigStorePath(database);
    ConfigStore().WriteConfig("GenIfName", truth["interface"].get<std::string>());
    ConfigStore().WriteConfig("GenMaxThreads", 32);
    ConfigStore().WriteConfig("AdvGetPageTitle", true);
    ReleaseConfigStore();

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_RUNTIME_DIR", folder.Path().c_str(), 1); // its own single-instance socket
        const std::string ns = prefix + "sc";
        execlp("ip", "ip", "netns", "exec", ns.c_str(), program.c_str(), "-scan", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);

    std::set<std::string> expected;
    for (const json& host : truth["devices"])
        expected.insert(host["mac"].get<std::string>());
    std::map<std::string, TDeviceItem> devices;
    for (int second = 0; second < 60; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        devices = StoredDevices(database);
        if (devices.size() >= expected.size())
            break;
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_TRUE(WaitForExit(pid, std::chrono::seconds(20), status)) << "the program did not end on SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    devices = StoredDevices(database);
    std::set<std::string> stored;
    for (const auto& [mac, device] : devices)
        stored.insert(mac);
    EXPECT_EQ(stored, expected);
    for (const json& host : truth["devices"]) {
        const std::string mac = host["mac"].get<std::string>();
        SCOPED_TRACE(mac);
        if (devices.count(mac) == 0)
            continue;
        const TDeviceItem& device = devices.at(mac);
        if (host["role"] == "router") {
            EXPECT_TRUE(device.Known);
            EXPECT_EQ(device.Comment, "Internet gateway");
        } else if (host["role"] == "scanner") {
            EXPECT_TRUE(device.Known);
            EXPECT_EQ(device.Comment, "This computer");
        } else {
            EXPECT_FALSE(device.Known);
            EXPECT_EQ(device.Comment, host["title"].is_null() ? "" : host["title"].get<std::string>());
        }
    }
    // SIGTERM closed the window properly: the settings with the layout were saved.
    SetConfigStorePath(database);
    EXPECT_NE(ConfigStore().ReadConfig("WindowWidth", -1), -1);
    SetConfigStorePath({});
}

} // namespace
