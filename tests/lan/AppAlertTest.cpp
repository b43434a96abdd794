// The real program over the simulated LAN with every alert on: partial-match rule, page titles, e-mail to
// an aiosmtpd server inside the scanner namespace, an alert program and a sound. Two runs: the second one,
// after one unknown device was marked known, mails one device fewer.

#include "AppRunner.h"
#include "Core/Common/Clock.h"
#include "Core/Common/DateTime.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Net/HWAddr.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;
using namespace tarrowin::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* RulePrefix = "B8:27:EB";
constexpr const char* RuleComment = "Raspberry fleet";

std::string DashedMac(std::string mac) {
    for (char& c : mac)
        c = c == ':' ? '-' : c;
    return mac;
}

// The SMTP fixture inside the scanner namespace, so the program reaches it on that namespace's loopback.
class TNamespaceSmtp {
public:
    std::string Start(const std::string& netns, const fs::path& folder) {
        const fs::path certs = folder / "certs";
        records_ = folder / "mail";
        fs::create_directories(certs);
        fs::create_directories(records_);
        // The fixture loads several certificate profiles; one self-signed pair serves them all (only "plain"
        // is used here).
        const std::string key = ShellQuoted((certs / "server.key").string());
        const std::string pem = ShellQuoted((certs / "server.pem").string());
        if (Shell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -keyout " + key +
                  " -out " + pem + " -subj /CN=tarrowin-test 2>&1")
                .first != 0)
            return "openssl failed";
        for (const char* name : {"untrusted", "wronghost"}) {
            fs::copy_file(certs / "server.key", certs / (std::string(name) + ".key"));
            fs::copy_file(certs / "server.pem", certs / (std::string(name) + ".pem"));
        }
        const fs::path out = folder / "smtp.out";
        server_.Start({"ip", "netns", "exec", netns, "/usr/bin/python3", TARROWIN_FIXTURES "/mail/smtp_server.py",
                       certs.string(), records_.string()},
                      {}, out, folder / "smtp.err");
        json ports;
        WaitUntil(20s, [&] {
            ports = json::parse(ReadText(out), nullptr, false);
            return ports.is_object() || !server_.Running();
        });
        if (!ports.is_object())
            return "the SMTP server did not start: " + ReadText(folder / "smtp.err");
        port_ = ports["plain"].get<int>();
        return "";
    }

    int Port() const { return port_; }

    // Every connection record and the server's log, for a failure message.
    std::string Records() const {
        std::string text;
        for (const auto& entry : fs::directory_iterator(records_))
            text += entry.path().filename().string() + ": " + ReadText(entry.path()) + "\n";
        return text + ReadText(records_.parent_path() / "smtp.err");
    }

    // The messages of every finished connection.
    std::vector<json> Messages() const {
        std::vector<json> messages;
        for (const auto& entry : fs::directory_iterator(records_)) {
            if (entry.path().extension() != ".json")
                continue;
            const json record = json::parse(ReadText(entry.path()), nullptr, false);
            if (record.is_object())
                for (const json& message : record["messages"])
                    messages.push_back(message);
        }
        return messages;
    }

private:
    TChild server_;
    fs::path records_;
    int port_ = 0;
};

std::set<std::string> NonEmptyLines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.insert(line);
    }
    return lines;
}

class AppAlerts : public testing::Test {
protected:
    void SetUp() override {
        const std::string failure = lan_.Up("twal");
        if (lan_.Skipped())
            GTEST_SKIP() << failure;
        ASSERT_EQ(failure, "");
        ASSERT_EQ(smtp_.Start(lan_.ScannerNamespace(), folder_.Path()), "");
        copy_ = std::make_unique<TProgramCopy>(folder_.Path());
        commandLog_ = folder_.File("alert-program.log");
        const fs::path command = folder_.File("alert.sh");
        std::ofstream(command) << "#!/bin/sh\necho started >> " << ShellQuoted(commandLog_.string()) << "\n";
        fs::permissions(command, fs::perms::owner_all);
        const fs::path sound = folder_.File("alert.wav");
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"import wave; w = wave.open('" + sound.string() +
                        "', 'wb'); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000); "
                        "w.writeframes(bytes(1600)); w.close()\"")
                      .first,
                  0);
        copy_->Preset({{"GenIfName", lan_.Truth()["interface"]},
                       {"GenMaxThreads", 32},
                       {"AdvGetPageTitle", true},
                       {"AdvEnableMail", true},
                       {"AdvMailServer", "127.0.0.1:" + std::to_string(smtp_.Port())},
                       {"AdvRecipients", "ops@lan.test"},
                       {"GenExecCommand", command.string()},
                       {"GenSoundAlert", sound.string()}});
        SetConfigStorePath(copy_->Database());
        auto rule = std::make_unique<THWPartItem>(RulePrefix);
        rule->Comment = RuleComment;
        PartialList().Add(std::move(rule));
        ResetPartialList();
        SetConfigStorePath({});
    }

    // One scan with -scan: waits for the alert e-mail (the last alert action), then SIGTERM.
    void RunOneScan(size_t mailsBefore) {
        TChild program;
        copy_->Start(program, lan_.ScannerNamespace(), {"-scan"});
        ASSERT_TRUE(program.Running());
        const bool mailed = WaitUntil(90s, [&] { return smtp_.Messages().size() > mailsBefore; });
        int status = 0;
        ASSERT_TRUE(program.Terminate(20s, status)) << "no end on SIGTERM";
        EXPECT_TRUE(mailed) << copy_->LastOutput() << smtp_.Records() << "alert program: " << ReadText(commandLog_);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << copy_->LastOutput();
        EXPECT_EQ(smtp_.Messages().size(), mailsBefore + 1);
    }

    // "address<TAB>MAC" of the unknown devices as the alert lists them.
    std::set<std::string> UnknownLines(const std::map<std::string, TDeviceItem>& devices) const {
        std::set<std::string> lines;
        for (const json& host : lan_.Truth()["devices"]) {
            const std::string mac = host["mac"];
            if (devices.count(mac) != 0 && !devices.at(mac).Known)
                lines.insert(host["address"].get<std::string>() + "\t" + DashedMac(mac));
        }
        return lines;
    }

    // The body's lines reduced to address and MAC, the fields that identify the device.
    static std::set<std::string> MailedDevices(const json& message) {
        std::set<std::string> devices;
        for (const std::string& line : NonEmptyLines(message["body"].get<std::string>())) {
            const size_t second = line.find('\t', line.find('\t') + 1);
            devices.insert(line.substr(0, second));
        }
        return devices;
    }

    TSimLan lan_;
    TempDir folder_;
    TNamespaceSmtp smtp_;
    std::unique_ptr<TProgramCopy> copy_;
    fs::path commandLog_;
};

TEST_F(AppAlerts, OneScanRecordsEveryDeviceAndAlertsOnTheUnknownOnes) {
    const TDateTime started = Now();
    RunOneScan(0);
    const TDateTime ended = Now();

    auto devices = StoredDevices(copy_->Database());
    std::set<std::string> stored;
    for (const auto& [mac, device] : devices)
        stored.insert(mac);
    ASSERT_EQ(stored, lan_.Macs());
    SetConfigStorePath(copy_->Database());
    for (const json& host : lan_.Truth()["devices"]) {
        const std::string mac = host["mac"];
        SCOPED_TRACE(mac);
        const TDeviceItem& device = devices.at(mac);
        if (host["role"] == "router") {
            EXPECT_TRUE(device.Known);
            EXPECT_EQ(device.Comment, "Internet gateway");
        } else if (host["role"] == "scanner") {
            EXPECT_TRUE(device.Known);
            EXPECT_EQ(device.Comment, "This computer");
        } else if (mac.rfind(RulePrefix, 0) == 0) {
            EXPECT_TRUE(device.Known);
            EXPECT_EQ(device.Comment, RuleComment);
        } else {
            EXPECT_FALSE(device.Known);
            EXPECT_EQ(device.Comment, host["title"].is_null() ? "" : host["title"].get<std::string>());
        }
        // Seen in the hour of the scan (which may have begun in the hour before its end).
        const auto startHours = ConfigStore().ReadActivityHours(device.HWAddr, DateOf(started));
        const auto endHours = ConfigStore().ReadActivityHours(device.HWAddr, DateOf(ended));
        EXPECT_TRUE(startHours[static_cast<size_t>(HourOf(started))] || endHours[static_cast<size_t>(HourOf(ended))]);
    }
    SetConfigStorePath({});

    const std::vector<json> mails = smtp_.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0]["raw"].get<std::string>().find("Content-Transfer-Encoding: base64"), std::string::npos);
    const std::set<std::string> unknown = UnknownLines(devices);
    EXPECT_FALSE(unknown.empty());
    EXPECT_EQ(MailedDevices(mails[0]), unknown);
    EXPECT_EQ(NonEmptyLines(mails[0]["body"].get<std::string>()).size(), unknown.size());
    EXPECT_EQ(ReadText(commandLog_), "started\n") << "the alert program runs once per scan";

    // Marking one unknown device known takes it off the next alert.
    const std::string marked = unknown.begin()->substr(unknown.begin()->find('\t') + 1);
    std::string markedMac = marked;
    for (char& c : markedMac)
        c = c == '-' ? ':' : c;
    SetConfigStorePath(copy_->Database());
    TDeviceItem device = devices.at(markedMac);
    device.Known = true;
    ConfigStore().SaveDevice(device);
    SetConfigStorePath({});

    RunOneScan(1);
    devices = StoredDevices(copy_->Database());
    EXPECT_TRUE(devices.at(markedMac).Known);
    const std::set<std::string> unknownNow = UnknownLines(devices);
    EXPECT_EQ(unknownNow.size(), unknown.size() - 1);
    const std::vector<json> allMails = smtp_.Messages();
    ASSERT_EQ(allMails.size(), 2u);
    const json& second = allMails[0]["body"] == mails[0]["body"] ? allMails[1] : allMails[0];
    EXPECT_EQ(MailedDevices(second), unknownNow);
    EXPECT_EQ(ReadText(commandLog_), "started\nstarted\n");
}

} // namespace
