// The real program scanning the simulated LAN (simlan.py): started with "-scan" inside the scanner
// namespace on the offscreen platform, stopped with SIGTERM, and its database checked against the truth.

#include "AppRunner.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <set>
#include <string>

namespace {

using nlohmann::json;
using namespace tarrowin::test;
using namespace std::chrono_literals;

TEST(AppLanScan, ScanSwitchFindsTheLanAndSigtermSaves) {
    TSimLan lan;
    const std::string failure = lan.Up("twapp");
    if (lan.Skipped())
        GTEST_SKIP() << failure;
    ASSERT_EQ(failure, "");
    const json& truth = lan.Truth();

    const TempDir folder;
    TProgramCopy copy(folder.Path());
    copy.Preset({{"GenIfName", truth["interface"]}, {"GenMaxThreads", 32}, {"AdvGetPageTitle", true}});
    TChild program;
    copy.Start(program, lan.ScannerNamespace(), {"-scan"});
    ASSERT_TRUE(program.Running());

    const std::set<std::string> expected = lan.Macs();
    WaitUntil(60s, [&] { return StoredDevices(copy.Database()).size() >= expected.size(); });
    int status = 0;
    ASSERT_TRUE(program.Terminate(20s, status)) << "the program did not end on SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << copy.LastOutput();

    const auto devices = StoredDevices(copy.Database());
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
    SetConfigStorePath(copy.Database());
    EXPECT_NE(ConfigStore().ReadConfig("WindowWidth", -1), -1);
    SetConfigStorePath({});
}

} // namespace
