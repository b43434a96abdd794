// Whole scans of the main window against scripted probes: rows, records, sorting, the schedule, stopping
// and quitting. The workers are real threads; only the network is scripted.

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Scan/Schedule.h"
#include "Core/ThreadPool/WorkerThread.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"
#include "GUI/MainView/MainWindow.h"
#include "support/ScriptedProbes.h"
#include "support/TempDatabase.h"
#include "support/TestClock.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTime>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using tarrowin::test::TempDatabase;
using tarrowin::test::TestClock;
using tarrowin::test::TScriptedDevice;
using tarrowin::test::TScriptedProbeFactory;

TIPv4 Ip(const char* text) {
    return StrToIPv4(text);
}

const THWAddr ownMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const THWAddr gatewayMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const THWAddr ruleMac{0x02, 0x50, 0x00, 0x00, 0x00, 0x05}; // matches the rule 02:50:00
const THWAddr titleMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
const THWAddr silentMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
const THWAddr twoAddressMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
const TDateTime scanTime = EncodeDateTime(2026, 5, 4, 10, 20, 30);

TScriptedDevice Device(bool echo, std::uint32_t rtt, std::optional<THWAddr> hwAddr, const char* name,
                       std::optional<std::string> title = {}) {
    TScriptedDevice device;
    device.Echo = echo;
    device.RTT = rtt;
    device.HWAddr = hwAddr;
    device.HostName = name;
    device.PageTitle = std::move(title);
    return device;
}

// A small network 10.0.0.0/24 as the scripted probes answer it; the adapter is "lan0", 10.0.0.2.
void ScriptNetwork(TScriptedProbeFactory& probes) {
    probes.SetInterfaces({TIfItem{"lan0", SwapIPv4(Ip("10.0.0.2")), SwapIPv4(Ip("255.255.255.0")), ownMac}});
    probes.SetGateway(SwapIPv4(Ip("10.0.0.1")));
    probes.SetDevice(Ip("10.0.0.1"), Device(true, 1, gatewayMac, "router"));
    probes.SetDevice(Ip("10.0.0.5"), Device(true, 10, ruleMac, "board"));
    probes.SetDevice(Ip("10.0.0.7"), Device(true, 9, titleMac, "printer", "Printer Status"));
    probes.SetDevice(Ip("10.0.0.9"), Device(false, 0, silentMac, "quiet"));
    probes.SetDevice(Ip("10.0.0.10"), Device(true, 3, twoAddressMac, ""));
    probes.SetDevice(Ip("10.0.0.11"), Device(true, 0, twoAddressMac, ""));
    // Results that are no device: no neighbour entry, an all-zero and an all-ones entry.
    probes.SetDevice(Ip("10.0.0.20"), Device(true, 2, std::nullopt, "ghost"));
    probes.SetDevice(Ip("10.0.0.21"), Device(true, 2, THWAddr{}, ""));
    probes.SetDevice(Ip("10.0.0.22"), Device(true, 2, THWAddr{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ""));
}

class ScanTest : public testing::Test {
protected:
    void SetUp() override {
        TUserDialogs::Reset();
        ScriptNetwork(probes_);
        ConfigStore().Exec("INSERT INTO PARTIAL VALUES ('02:50:00', 'Lab board')");
        Open();
    }

    void Open() {
        TMainWindowContext context;
        context.Probes = &probes_;
        context.Sleep = [](std::chrono::milliseconds) {};
        context.TrayAvailable = [] { return false; };
        window_ = std::make_unique<TfmHWKMain>(std::move(context));
        window_->Settings().GenIfName = "LAN0"; // the adapter list's letter case differs
        window_->Settings().AdvGetPageTitle = true;
    }

    // Closes the window for good, as Quit does, and opens a new one on the same database.
    void Reopen() {
        window_->Quit();
        window_.reset();
        Open();
    }

    template <typename T> T* Find(const char* name) const {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QAction* ScanNow() const { return Find<QAction>("acScanNow"); }
    QTreeWidget* List() const { return Find<QTreeWidget>("lvMainView"); }
    QString Panel(int index) const {
        return Find<QLabel>(QStringLiteral("sbMainPanel%1").arg(index).toLatin1().constData())->text();
    }

    // Presses the scan button and waits for the end of the scan.
    void Scan() {
        QSignalSpy ended(window_.get(), &TfmHWKMain::ScanEnded);
        ScanNow()->trigger();
        ASSERT_TRUE(ended.count() > 0 || ended.wait(10000)) << "the scan did not end";
    }

    std::vector<std::vector<std::string>> Rows() const {
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            std::vector<std::string> cells;
            for (int column = 0; column < rcColumnCount; ++column)
                cells.push_back(List()->topLevelItem(i)->text(column).toStdString());
            rows.push_back(cells);
        }
        return rows;
    }

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> cells;
        for (const auto& row : Rows())
            cells.push_back(row[column]);
        return cells;
    }

    TempDatabase database_;
    TestClock clock_{scanTime};
    TScriptedProbeFactory probes_;
    std::unique_ptr<TfmHWKMain> window_;
};

TEST_F(ScanTest, ScanListsTheDevicesAndStoresTheirRecords) {
    Scan();

    using Row = std::vector<std::string>;
    const std::vector<Row> expected = {
        {"10.0.0.1", "02-00-00-00-00-01", "1 ms", "router", "Internet gateway", ""},
        {"10.0.0.2", "02-00-00-00-00-02", "---", "", "This computer", ""},
        {"10.0.0.5", "02-50-00-00-00-05", "10 ms", "board", "Lab board", ""},
        {"10.0.0.7", "02-00-00-00-00-07", "9 ms", "printer", "Printer Status", ""},
        {"10.0.0.9", "02-00-00-00-00-09", "---", "quiet", "", ""},
        {"10.0.0.10", "02-00-00-00-00-10", "3 ms", "", "", ""},
        {"10.0.0.11", "02-00-00-00-00-10", "0 ms", "", "", ""},
    };
    EXPECT_EQ(Rows(), expected);
    for (int i = 0; i < List()->topLevelItemCount(); ++i)
        EXPECT_FALSE(List()->topLevelItem(i)->icon(rcAddress).isNull()) << i;
    // Every address of the block was probed, the network and broadcast addresses were not.
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.254")).Ping, 1);
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.255")).Ping, 0);
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.7")).IfName, "LAN0");

    // The records as the database holds them.
    ResetDeviceList();
    DeviceList().Load();
    struct TRecord {
        THWAddr HWAddr;
        bool Known;
        const char* Comment;
    };
    const TRecord records[] = {{ownMac, true, "This computer"}, {gatewayMac, true, "Internet gateway"},
                               {ruleMac, true, "Lab board"},    {titleMac, false, "Printer Status"},
                               {silentMac, false, ""},          {twoAddressMac, false, ""}};
    EXPECT_EQ(DeviceList().Count(), 6);
    for (const TRecord& record : records) {
        SCOPED_TRACE(HWAddrToStr(record.HWAddr, ':'));
        ASSERT_TRUE(DeviceList().Contains(record.HWAddr));
        const TDeviceItem& device = DeviceList().FindOrAdd(record.HWAddr);
        EXPECT_EQ(device.Known, record.Known);
        EXPECT_EQ(device.Comment, record.Comment);
        EXPECT_TRUE(ConfigStore().DayHasActivity(record.HWAddr, DateOf(scanTime)));
    }
}

TEST_F(ScanTest, UnrecognisedDevicesAreTheRowsNotKnownInListOrder) {
    Scan();
    const QLocale locale = QLocale::system();
    const QString seen = locale.toString(QDate(2026, 5, 4), QLocale::ShortFormat) + QLatin1Char(' ') +
                         locale.toString(QTime(10, 20, 30), QLocale::LongFormat);
    const QStringList expected = {
        "10.0.0.7\t02-00-00-00-00-07\t" + seen + "\tprinter",
        "10.0.0.9\t02-00-00-00-00-09\t" + seen + "\tquiet",
        "10.0.0.10\t02-00-00-00-00-10\t" + seen + "\t",
        "10.0.0.11\t02-00-00-00-00-10\t" + seen + "\t",
    };
    EXPECT_EQ(window_->CollectUnrecognised(), expected);

    // Marked known elsewhere (the All Devices window), the rows follow once asked to.
    DeviceList().FindOrAdd(silentMac).Known = true;
    DeviceList().FindOrAdd(silentMac).Comment = "NAS";
    DeviceList().Remove(titleMac);
    window_->RefreshKnownMarks();
    EXPECT_EQ(Column(rcInfo)[3], "");
    EXPECT_EQ(Column(rcInfo)[4], "NAS");
    EXPECT_EQ(window_->CollectUnrecognised().size(), 3); // the forgotten device counts as unrecognised again
}

TEST_F(ScanTest, HeaderClicksSortAndAreStored) {
    window_->show();
    Scan();
    QHeaderView* header = List()->header();
    const auto clickColumn = [header](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };

    clickColumn(rcRTT);
    EXPECT_EQ(Column(rcRTT), (std::vector<std::string>{"---", "---", "0 ms", "1 ms", "3 ms", "9 ms", "10 ms"}));
    clickColumn(rcRTT);
    EXPECT_EQ(Column(rcRTT).front(), "10 ms");
    EXPECT_EQ(window_->Settings().GenSortColumn, rcRTT);
    EXPECT_EQ(window_->Settings().GenSortDesc, 1);

    clickColumn(rcName);
    EXPECT_EQ(Column(rcName), (std::vector<std::string>{"", "", "", "board", "printer", "quiet", "router"}));

    // The next window sorts its first scan the stored way.
    window_->Settings().GenSortColumn = rcAddress;
    window_->Settings().GenSortDesc = 1;
    Reopen();
    Scan();
    EXPECT_EQ(Column(rcAddress).front(), "10.0.0.11");
    EXPECT_EQ(Column(rcAddress).back(), "10.0.0.1");
}

TEST_F(ScanTest, StatusFollowsScanningStoppingAndIdle) {
    window_->Settings().GenMaxThreads = 1;
    window_->Settings().GenRescanFreq = 5;
    // The designed texts stand until the first timer tick.
    EXPECT_TRUE(QTest::qWaitFor([this] { return Panel(1) == "Not scheduled"; }));
    EXPECT_EQ(Panel(0), "Idle");

    probes_.HoldEchoes();
    QSignalSpy ended(window_.get(), &TfmHWKMain::ScanEnded);
    ScanNow()->trigger();
    ASSERT_TRUE(probes_.WaitForHeldEchoes(1, std::chrono::seconds(5)));
    EXPECT_EQ(Panel(0), "Scanning network...");
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(2), "LAN0");
    EXPECT_EQ(ScanNow()->text(), "Stop Now");
    EXPECT_FALSE(Find<QAction>("acSettings")->isEnabled());

    ScanNow()->trigger(); // stop
    EXPECT_EQ(Panel(0), "Stopping...");
    EXPECT_FALSE(ScanNow()->isEnabled());
    probes_.ReleaseEchoes();
    ASSERT_TRUE(ended.wait(10000));

    // The running worker's row came; the queue was dropped.
    EXPECT_EQ(Column(rcAddress), std::vector<std::string>{"10.0.0.1"});
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.2")).Ping, 0);
    EXPECT_EQ(Panel(0), "Idle");
    EXPECT_EQ(Panel(1), "Next scan at " + QLocale::system().toString(QTime(10, 25), QLocale::ShortFormat));
    EXPECT_EQ(ScanNow()->text(), "Scan Now");
    EXPECT_TRUE(ScanNow()->isEnabled());
    EXPECT_TRUE(Find<QAction>("acSettings")->isEnabled());
}

TEST_F(ScanTest, MissingAdapterIsReportedOnlyWhenNotSilent) {
    struct TCase {
        const char* IfName;
        const char* Message;
    };
    const TCase cases[] = {{"eth9", "Selected network adapter is unavailable: eth9"},
                           {"", "No network adapter is chosen"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.IfName);
        TUserDialogs::Reset();
        window_->Settings().GenIfName = c.IfName;
        const TDateTime nextRescan = window_->Settings().GenNextRescan;
        ScanNow()->trigger();
        EXPECT_EQ(TUserDialogs::Messages(), QStringList{QString::fromUtf8(c.Message)});
        EXPECT_EQ(ScanNow()->text(), "Scan Now");
        EXPECT_EQ(window_->Settings().GenNextRescan, nextRescan);
    }

    // A due automatic scan tries silently at every tick.
    TUserDialogs::Reset();
    window_->Settings().GenIfName = "eth9";
    window_->Settings().GenRescanFreq = 5;
    window_->Settings().GenNextRescan = scanTime - 1.0 / 24;
    QTest::qWait(600);
    EXPECT_TRUE(TUserDialogs::Messages().isEmpty());
    EXPECT_EQ(window_->Settings().GenNextRescan, scanTime - 1.0 / 24);
}

TEST_F(ScanTest, DueScanRunsOnTheTimerUnlessAutomaticScansWait) {
    window_->Settings().GenRescanFreq = 5;
    Scan();
    EXPECT_EQ(window_->Settings().GenNextRescan, NextScanTime(scanTime, 5));
    const int probedBefore = probes_.Calls(Ip("10.0.0.1")).Ping;

    // Falls due while a modal window is open: moved one interval on, not made up later.
    window_->AllowAutomaticScans(false);
    clock_.AdvanceMinutes(6);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->Settings().GenNextRescan > clock_.Now(); }));
    EXPECT_EQ(window_->Settings().GenNextRescan, NextScanTime(clock_.Now(), 5));
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.1")).Ping, probedBefore);

    window_->AllowAutomaticScans(true);
    clock_.AdvanceMinutes(6);
    QSignalSpy ended(window_.get(), &TfmHWKMain::ScanEnded);
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(probes_.Calls(Ip("10.0.0.1")).Ping, probedBefore + 1);
    EXPECT_EQ(window_->Settings().GenNextRescan, NextScanTime(clock_.Now(), 5));
}

// The "scan" switch: a scan once start-up has finished, unless an overdue one is the timer's to start.
TEST_F(ScanTest, StartupScanRunsOnceTheLoopIsIdle) {
    for (const bool overdue : {false, true}) {
        SCOPED_TRACE(overdue ? "overdue" : "not scheduled");
        ConfigStore().WriteConfig("GenIfName", "lan0");
        ConfigStore().WriteConfig("GenRescanFreq", 5);
        ConfigStore().WriteConfig("GenNextRescan", overdue ? scanTime - 1.0 : 0.0);
        TUserDialogs::Reset();
        window_.reset();
        TMainWindowContext context;
        context.Probes = &probes_;
        context.Sleep = [](std::chrono::milliseconds) {};
        context.StartupScan = true;
        window_ = std::make_unique<TfmHWKMain>(std::move(context));
        QSignalSpy ended(window_.get(), &TfmHWKMain::ScanEnded);
        ASSERT_TRUE(ended.wait(10000));
        EXPECT_EQ(ended.count(), 1);
        EXPECT_EQ(List()->topLevelItemCount(), 7);
        EXPECT_EQ(window_->Settings().GenNextRescan, NextScanTime(scanTime, 5));
    }
}

TEST_F(ScanTest, MacFormatSwitchDuringAScanRewritesRowsAndLaterOnesFollow) {
    bool switched = false;
    QObject::connect(List()->model(), &QAbstractItemModel::rowsInserted, window_.get(), [&] {
        if (switched)
            return;
        switched = true;
        EXPECT_EQ(Panel(0), "Scanning network...");
        Find<QAction>("acMACDelimColon")->trigger();
    });
    Scan();
    ASSERT_TRUE(switched);
    for (const std::string& mac : Column(rcHWAddr))
        EXPECT_EQ(mac.find('-'), std::string::npos) << mac;
    EXPECT_EQ(Column(rcHWAddr)[0], "02:00:00:00:00:01");
    SetMacFormat('-');
}

TEST_F(ScanTest, FailingDatabaseWritesStillEndTheScanWithOneMessage) {
    ConfigStore().Exec("CREATE TRIGGER refuse BEFORE INSERT ON DEVICE BEGIN SELECT RAISE(FAIL, 'disk full'); END");
    Scan();
    QCoreApplication::processEvents();
    ASSERT_EQ(TUserDialogs::Messages().size(), 1);
    EXPECT_TRUE(TUserDialogs::Messages().constFirst().contains(QStringLiteral("disk full")));
    EXPECT_EQ(Panel(0), "Idle");
    EXPECT_EQ(ScanNow()->text(), "Scan Now");
}

// Echo probes of a system where neither kind of ICMP socket may be opened.
class TEchoDeniedPing final : public TPlatformPing {
public:
    explicit TEchoDeniedPing(std::unique_ptr<TPlatformPing> inner) : inner_(std::move(inner)) {}
    bool Ping(TIPv4, std::uint32_t, std::uint32_t&) override { return false; }
    bool GetHWAddr(TIPv4 address, THWAddr& hwAddr) override { return inner_->GetHWAddr(address, hwAddr); }
    bool GetPageTitle(TIPv4 address, std::string& title) override { return inner_->GetPageTitle(address, title); }
    TEchoAccess EchoAccess() const override { return TEchoAccess::Denied; }

private:
    std::unique_ptr<TPlatformPing> inner_;
};

class TEchoDeniedProbes final : public TScriptedProbeFactory {
public:
    std::unique_ptr<TPlatformPing> CreatePing() override {
        return std::make_unique<TEchoDeniedPing>(TScriptedProbeFactory::CreatePing());
    }
};

TEST(ScanWithoutEcho, HintOnceAndTheNeighbourTableStillCounts) {
    TUserDialogs::Reset();
    const TempDatabase database;
    TEchoDeniedProbes probes;
    ScriptNetwork(probes);
    TMainWindowContext context;
    context.Probes = &probes;
    context.Sleep = [](std::chrono::milliseconds) {};
    TfmHWKMain window(std::move(context));
    window.Settings().GenIfName = "lan0";
    for (int scan = 0; scan < 2; ++scan) {
        QSignalSpy ended(&window, &TfmHWKMain::ScanEnded);
        window.findChild<QAction*>(QStringLiteral("acScanNow"))->trigger();
        ASSERT_TRUE(ended.wait(10000));
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(TUserDialogs::Messages().size(), 1);
    EXPECT_TRUE(TUserDialogs::Messages().constFirst().contains(QStringLiteral("setcap cap_net_raw+ep")));
    EXPECT_TRUE(TUserDialogs::Messages().constFirst().contains(QStringLiteral("ping_group_range")));
    const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lvMainView"));
    EXPECT_EQ(list->topLevelItemCount(), 7);
    EXPECT_EQ(list->topLevelItem(0)->text(rcRTT), "---");
}

TEST_F(ScanTest, SettingsAndLayoutSurviveCloseAndReopen) {
    window_->Settings().GenRescanFreq = 7;
    window_->Settings().GenMaxThreads = 4;
    window_->Settings().GenSortColumn = rcVendor;
    window_->Settings().GenSortDesc = 1;
    Find<QAction>("acMACDelimColon")->trigger();
    window_->show();
    List()->setColumnWidth(rcName, 177);
    window_->move(40, 30);
    window_->resize(640, 420);
    Reopen();
    window_->show();

    EXPECT_EQ(window_->Settings().GenIfName, "LAN0");
    EXPECT_EQ(window_->Settings().GenRescanFreq, 7);
    EXPECT_EQ(window_->Settings().GenMaxThreads, 4);
    EXPECT_EQ(List()->sortColumn(), rcVendor);
    EXPECT_EQ(List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(CurrentMacFormat(), ':');
    EXPECT_TRUE(Find<QAction>("acMACDelimColon")->isChecked());
    EXPECT_EQ(List()->columnWidth(rcName), 177);
    EXPECT_EQ(window_->pos(), QPoint(40, 30));
    EXPECT_EQ(window_->size(), QSize(640, 420));
    SetMacFormat('-');
}

TEST_F(ScanTest, StoredPositionOutsideTheDesktopIsCentred) {
    ConfigStore().WriteConfig("WindowLeft", 5000);
    ConfigStore().WriteConfig("WindowTop", 10);
    ConfigStore().WriteConfig("WindowWidth", 600);
    window_->show();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Centred with the width the window had before the stored one was applied.
    EXPECT_EQ(window_->x(), screen.width() / 2 - 800 / 2);
    EXPECT_EQ(window_->width(), 600);
    EXPECT_EQ(window_->y(), 10);
}

TEST_F(ScanTest, OneAdapterIsChosenAtTheFirstActivation) {
    window_->Settings().GenIfName.clear();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    EXPECT_EQ(window_->Settings().GenIfName, "lan0");
}

TEST_F(ScanTest, QuittingDuringAScanLeavesNoWorkerBehind) {
    window_->Settings().GenMaxThreads = 4;
    probes_.HoldEchoes();
    ScanNow()->trigger();
    ASSERT_TRUE(probes_.WaitForHeldEchoes(4, std::chrono::seconds(5)));
    window_->Quit();
    window_.reset();
    probes_.ReleaseEchoes();
    EXPECT_TRUE(TWorkerThread::WaitForAbandoned(std::chrono::seconds(10)));
    EXPECT_TRUE(QTest::qWaitFor([this] { return probes_.LiveProbes() == 0; }));
    QCoreApplication::processEvents(); // notices posted before the quit find no window
    EXPECT_EQ(ConfigStore().ReadConfig("GenIfName", ""), "LAN0");
}

} // namespace
