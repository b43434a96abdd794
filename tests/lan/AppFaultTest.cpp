// The real program over the simulated LAN under faults: killed mid-scan or mid-save, a read-only database,
// a full disk, the scanned interface going down. Each must end without a crash and lose nothing stored.

#include "AppRunner.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Net/HWAddr.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace {

using nlohmann::json;
using namespace tarrowin::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool CleanExit(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// An alert program whose log line marks the end of a scan that left unknown devices.
fs::path EndMarker(const fs::path& folder) {
    const fs::path script = folder / "scan-ended.sh";
    std::ofstream(script) << "#!/bin/sh\necho ended >> " << ShellQuoted((folder / "scan-ended.log").string()) << "\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

class AppFaults : public testing::Test {
protected:
    void SetUp() override {
        const std::string failure = lan_.Up("twft");
        if (lan_.Skipped())
            GTEST_SKIP() << failure;
        ASSERT_EQ(failure, "");
    }

    json BaseSettings() const {
        return {{"GenIfName", lan_.Truth()["interface"]}, {"GenMaxThreads", 32}, {"AdvGetPageTitle", true}};
    }

    // Three DEVICE rows of the LAN, stored before the program ever runs.
    static void PresetDevices(const fs::path& database, const json& truth) {
        SetConfigStorePath(database);
        for (int i = 2; i < 5; ++i) {
            TDeviceItem device;
            device.HWAddr = StrToHWAddr(truth["devices"][i]["mac"].get<std::string>());
            device.Comment = "stored before " + std::to_string(i);
            device.Known = i % 2 == 0;
            ConfigStore().SaveDevice(device);
        }
        SetConfigStorePath({});
    }

    TSimLan lan_;
    TempDir folder_;
};

TEST_F(AppFaults, KillDuringAScanLosesNoSavedDevice) {
    TProgramCopy copy(folder_.Path());
    copy.Preset(BaseSettings());
    TChild program;
    copy.Start(program, lan_.ScannerNamespace(), {"-scan"});
    ASSERT_TRUE(WaitUntil(60s, [&] { return DeviceRows(copy.Database()).size() >= 5; })) << copy.LastOutput();
    program.Kill();
    const std::vector<std::string> before = DeviceRows(copy.Database());
    EXPECT_LT(before.size(), lan_.Macs().size()) << "the kill came after the scan";
    EXPECT_EQ(IntegrityCheck(copy.Database()), "ok");

    // A start without a scan opens the interrupted database, and closes it again.
    copy.Start(program, lan_.ScannerNamespace(), {});
    std::this_thread::sleep_for(3s);
    int status = 0;
    ASSERT_TRUE(program.Terminate(20s, status));
    EXPECT_TRUE(CleanExit(status)) << status << copy.LastOutput();
    EXPECT_EQ(IntegrityCheck(copy.Database()), "ok");
    EXPECT_EQ(DeviceRows(copy.Database()), before);
}

TEST_F(AppFaults, KillDuringTheSettingsSaveKeepsTheDatabaseSound) {
    TProgramCopy copy(folder_.Path());
    // SIGTERM starts the save at close; SIGKILL lands somewhere in it or around it.
    for (const int delayMs : {0, 2, 5, 10, 20, 50}) {
        SCOPED_TRACE(delayMs);
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(copy.Database().string() + suffix);
        copy.Preset(BaseSettings());
        TChild program;
        copy.Start(program, lan_.ScannerNamespace(), {"-scan"});
        ASSERT_TRUE(WaitUntil(60s, [&] { return DeviceRows(copy.Database()).size() >= 3; })) << copy.LastOutput();
        const std::vector<std::string> before = DeviceRows(copy.Database());
        program.Signal(SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        program.Kill();
        EXPECT_EQ(IntegrityCheck(copy.Database()), "ok");
        const std::vector<std::string> after = DeviceRows(copy.Database());
        EXPECT_GE(after.size(), before.size());
        // The settings are either all saved or as they were: the interface is there in both cases.
        SetConfigStorePath(copy.Database());
        EXPECT_EQ(ConfigStore().ReadConfig("GenIfName", ""), lan_.Truth()["interface"].get<std::string>());
        SetConfigStorePath({});
    }
}

TEST_F(AppFaults, ReadOnlyDatabaseIsReportedAndKept) {
    // The program's own folder is not writable for the user, so it opens the per-user database, which is a
    // read-only file in a folder it cannot write either.
    const fs::path data = folder_.File("data");
    const fs::path runtime = folder_.File("runtime");
    fs::create_directories(data / "Tarrowin");
    fs::create_directories(runtime);
    const fs::path database = data / "Tarrowin" / "Tarrowin.DB";
    TProgramCopy copy(folder_.File("program"));
    SetConfigStorePath(database);
    ConfigStore().WriteConfig("GenIfName", lan_.Truth()["interface"].get<std::string>());
    SetConfigStorePath({});
    PresetDevices(database, lan_.Truth());
    chmod(database.c_str(), 0444);
    for (const fs::path& dir : {folder_.Path(), folder_.File("program"), data, data / "Tarrowin"})
        chmod(dir.c_str(), 0755);
    ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0); // Qt wants its runtime folder private to the user
    chmod(runtime.c_str(), 0700);
    const std::vector<std::string> before = DeviceRows(database);
    ASSERT_EQ(before.size(), 3u);

    TChild program;
    copy.Start(program, lan_.ScannerNamespace(), {"-scan"},
               {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
               {{"XDG_DATA_HOME", data.string()}, {"HOME", runtime.string()}, {"XDG_RUNTIME_DIR", runtime.string()}});
    ASSERT_TRUE(program.Running());
    const bool reported = WaitUntil(60s, [&] { return copy.LastOutput().find("readonly") != std::string::npos; });
    int status = 0;
    const bool ended = program.Terminate(20s, status);
    std::cout << "read-only database, the program's output:\n" << copy.LastOutput() << std::endl;
    EXPECT_TRUE(reported);
    ASSERT_TRUE(ended) << "no end on SIGTERM";
    EXPECT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(DeviceRows(database), before);
    EXPECT_EQ(IntegrityCheck(database), "ok");
}

// A small tmpfs in a mount namespace of its own, held by a sleeping process and reached through its root.
class TSmallDisk {
public:
    std::string Start(const fs::path& mountPoint, uintmax_t bytes, const fs::path& logs) {
        mountPoint_ = mountPoint;
        holder_.Start({"unshare", "-m", "--propagation", "private", "sh", "-c",
                       "mount -t tmpfs -o size=" + std::to_string(bytes) + " tarrowin-full " +
                           ShellQuoted(mountPoint.string()) + " && echo mounted && exec sleep 600"},
                      {}, logs / "disk.out", logs / "disk.err");
        if (!WaitUntil(10s, [&] { return ReadText(logs / "disk.out") == "mounted\n" || !holder_.Running(); }) ||
            ReadText(logs / "disk.out") != "mounted\n")
            return "tmpfs mount failed: " + ReadText(logs / "disk.err");
        return "";
    }
    // The path as the test sees it, through the holder's root.
    fs::path Outside(const fs::path& inside) const {
        return "/proc/" + std::to_string(holder_.Pid()) + "/root" + inside.string();
    }
    std::vector<std::string> Launcher() const { return {"nsenter", "-t", std::to_string(holder_.Pid()), "-m"}; }
    // Takes every free block with one file.
    void Fill() const { Shell("cat /dev/zero > " + ShellQuoted(Outside(mountPoint_ / "filler").string()) + " 2>&1"); }

private:
    fs::path mountPoint_;
    TChild holder_;
};

TEST_F(AppFaults, FullDiskIsReportedAndLosesNothing) {
    const fs::path mountPoint = folder_.File("disk");
    const fs::path logs = folder_.File("logs");
    fs::create_directories(mountPoint);
    fs::create_directories(logs);
    chmod(logs.c_str(), 0700); // also the runtime folder, which Qt wants private
    TSmallDisk disk;
    const std::string failure = disk.Start(mountPoint, fs::file_size(TARROWIN_APP) + 1024 * 1024, logs);
    if (!failure.empty())
        GTEST_SKIP() << failure;
    TProgramCopy copy(disk.Outside(mountPoint));
    copy.Preset(BaseSettings());
    PresetDevices(copy.Database(), lan_.Truth());
    copy.RunThrough(disk.Launcher(), mountPoint / "tarrowin", logs);
    disk.Fill();
    const std::vector<std::string> before = DeviceRows(copy.Database());
    ASSERT_EQ(before.size(), 3u);

    TChild program;
    copy.Start(program, lan_.ScannerNamespace(), {"-scan"});
    ASSERT_TRUE(program.Running());
    const bool reported = WaitUntil(60s, [&] { return copy.LastOutput().find("full") != std::string::npos; });
    int status = 0;
    const bool ended = program.Terminate(20s, status);
    std::cout << "full disk, the program's output:\n" << copy.LastOutput() << std::endl;
    EXPECT_TRUE(reported);
    ASSERT_TRUE(ended) << "no end on SIGTERM";
    EXPECT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(DeviceRows(copy.Database()), before);
    EXPECT_EQ(IntegrityCheck(copy.Database()), "ok");
}

TEST_F(AppFaults, InterfaceDownMidScanEndsTheScan) {
    TProgramCopy copy(folder_.Path());
    json settings = BaseSettings();
    settings["GenExecCommand"] = EndMarker(folder_.Path()).string();
    copy.Preset(settings);
    const fs::path ended = folder_.File("scan-ended.log");
    TChild program;
    copy.Start(program, lan_.ScannerNamespace(), {"-scan"});
    ASSERT_TRUE(WaitUntil(60s, [&] { return DeviceRows(copy.Database()).size() >= 3; })) << copy.LastOutput();
    ASSERT_EQ(lan_.InScanner("ip link set lan0 down"), 0);
    struct TLinkUp {
        const TSimLan& Lan;
        ~TLinkUp() { Lan.InScanner("ip link set lan0 up"); }
    } linkUp{lan_};
    EXPECT_TRUE(WaitUntil(120s, [&] { return fs::exists(ended); })) << "the scan did not end";
    int status = 0;
    ASSERT_TRUE(program.Terminate(20s, status));
    EXPECT_TRUE(CleanExit(status)) << status << copy.LastOutput();

    // The next scan with the adapter still down: a link switched off is no adapter, so the scan reports it
    // unavailable (on stderr, unattended) and does not start; nothing is lost.
    const std::vector<std::string> rowsBefore = DeviceRows(copy.Database());
    copy.Start(program, lan_.ScannerNamespace(), {"-scan"});
    const bool reported = WaitUntil(60s, [&] {
        return copy.LastOutput().find("Selected network adapter is unavailable: lan0") != std::string::npos;
    });
    ASSERT_TRUE(program.Terminate(20s, status));
    EXPECT_TRUE(reported) << copy.LastOutput();
    EXPECT_TRUE(CleanExit(status)) << status;
    EXPECT_EQ(DeviceRows(copy.Database()), rowsBefore);
    EXPECT_EQ(IntegrityCheck(copy.Database()), "ok");
}

// A NetBIOS flooder, a page sent a byte a second and an endless page: the scan still ends, every device
// recorded.
TEST(AppFaultyLan, MisbehavingDevicesDoNotHoldTheScan) {
    TSimLan lan;
    const std::string failure = lan.Up("twfy", "--faulty");
    if (lan.Skipped())
        GTEST_SKIP() << failure;
    ASSERT_EQ(failure, "");
    const TempDir folder;
    TProgramCopy copy(folder.Path());
    copy.Preset({{"GenIfName", lan.Truth()["interface"]},
                 {"GenMaxThreads", 32},
                 {"AdvGetPageTitle", true},
                 {"GenExecCommand", EndMarker(folder.Path()).string()}});
    TChild program;
    const auto started = std::chrono::steady_clock::now();
    copy.Start(program, lan.ScannerNamespace(), {"-scan"});
    const bool ended = WaitUntil(300s, [&] { return fs::exists(folder.File("scan-ended.log")); });
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "scan of the faulty LAN: " << seconds << " s" << std::endl;
    int status = 0;
    ASSERT_TRUE(program.Terminate(20s, status));
    EXPECT_TRUE(ended) << "the scan did not end" << copy.LastOutput();
    EXPECT_TRUE(CleanExit(status)) << status << copy.LastOutput();
    std::set<std::string> stored;
    for (const auto& [mac, device] : StoredDevices(copy.Database()))
        stored.insert(mac);
    EXPECT_EQ(stored, lan.Macs());
}

} // namespace
