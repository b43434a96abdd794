#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "Core/Scan/Detection.h"
#include "Core/Scan/Schedule.h"
#include "Core/ThreadPool/WorkerThread.h"
#include "Core/Vendor/VendorTable.h"

#include "support/TempDatabase.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

using tarrowin::test::TempDatabase;
using tarrowin::test::TestClock;

namespace {

THWAddr Mac(const char* text) { return StrToHWAddr(text); }

TProbeResult Result(const char* address, const char* mac, std::uint8_t flags, std::uint32_t rtt = 3) {
    TProbeResult r;
    r.Address = StrToIPv4(address);
    r.HWAddr = Mac(mac);
    r.ProbeFlags = flags;
    r.RTT = rtt;
    return r;
}

class DetectionTest : public testing::Test {
protected:
    void SetUp() override {
        ResetDeviceList();
        ResetPartialList();
        vendors_.LoadVendorTable("001A2B Example Devices\r\n");
        context_.Adapter.Name = "eth0";
        context_.Adapter.Address = SwapIPv4(StrToIPv4("10.0.0.5"));
        context_.Adapter.Mask = SwapIPv4(StrToIPv4("255.255.255.0"));
        context_.Adapter.HWAddr = Mac("02:00:00:00:00:05");
        context_.GatewayFound = true;
        context_.Gateway = SwapIPv4(StrToIPv4("10.0.0.1"));
    }
    void TearDown() override {
        ResetDeviceList();
        ResetPartialList();
    }

    std::optional<TResultRow> Handle(const TProbeResult& r) { return HandleProbeResult(r, context_, vendors_); }

    int ActivityRows() {
        return ConfigStore().WithStatement("SELECT COUNT(*) FROM ACTIVITY", [&] {
            ConfigStore().Step();
            return ConfigStore().ColumnInt(0);
        });
    }

    TempDatabase db_;
    TestClock clock_{EncodeDateTime(2026, 12, 11, 14, 30, 0)};
    TVendorTable vendors_;
    TScanContext context_;
};

TEST_F(DetectionTest, OwnComputerIsKnownOnceAndShowsTheAdapterAddress) {
    MarkOwnComputer(context_.Adapter);
    EXPECT_TRUE(DeviceList().FindOrAdd(context_.Adapter.HWAddr).Known);
    EXPECT_EQ(DeviceList().FindOrAdd(context_.Adapter.HWAddr).Comment, "This computer");
    DeviceList().FindOrAdd(context_.Adapter.HWAddr).Comment = "renamed";
    MarkOwnComputer(context_.Adapter);
    EXPECT_EQ(DeviceList().FindOrAdd(context_.Adapter.HWAddr).Comment, "renamed");

    auto row = Handle(Result("10.0.0.5", "00:00:00:00:00:00", pfEcho, 0));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->HWAddr, context_.Adapter.HWAddr);
    EXPECT_EQ(row->Cells[rcRTT], "0 ms");
}

TEST_F(DetectionTest, ResultsThatAreNoDeviceLeaveNoTrace) {
    EXPECT_FALSE(Handle(Result("10.0.0.9", "00:00:00:00:00:00", pfEcho)));
    EXPECT_FALSE(Handle(Result("10.0.0.9", "FF:FF:FF:FF:FF:FF", pfEcho | pfHWAddr)));
    EXPECT_FALSE(Handle(Result("10.0.0.9", "00:1A:2B:00:00:09", 0)));
    EXPECT_EQ(DeviceList().Count(), 0);
    EXPECT_EQ(ActivityRows(), 0);
}

TEST_F(DetectionTest, NewDeviceRowRecordAndActivity) {
    auto row = Handle(Result("10.0.0.9", "00:1A:2B:00:00:09", pfHWAddr));
    ASSERT_TRUE(row);
    EXPECT_FALSE(row->Known);
    EXPECT_EQ(row->Cells[rcAddress], "10.0.0.9");
    EXPECT_EQ(row->Cells[rcHWAddr], "00-1A-2B-00-00-09");
    EXPECT_EQ(row->Cells[rcRTT], "---");
    EXPECT_EQ(row->Cells[rcVendor], "Example Devices");
    EXPECT_EQ(ActivityRows(), 1);
    EXPECT_EQ(FormatDBDateTime(DeviceList().FindOrAdd(row->HWAddr).LastSeen, true), "2026-12-11 14:30:00");
}

TEST_F(DetectionTest, GatewayAndRuleApproveOnlyNewDevices) {
    PartialList().Add(std::make_unique<THWPartItem>("00:1A:2B"));
    PartialList().Items(0).Comment = "Our printers";
    auto gateway = Handle(Result("10.0.0.1", "3C:5A:B4:00:00:01", pfEcho));
    auto ruled = Handle(Result("10.0.0.7", "00:1A:2B:00:00:07", pfEcho));
    ASSERT_TRUE(gateway && ruled);
    EXPECT_TRUE(gateway->Known);
    EXPECT_EQ(gateway->Cells[rcInfo], "Internet gateway");
    EXPECT_TRUE(ruled->Known);

    DeviceList().FindOrAdd(Mac("00:1A:2B:00:00:08")); // seen before the rule existed
    auto old = Handle(Result("10.0.0.8", "00:1A:2B:00:00:08", pfEcho));
    EXPECT_FALSE(old->Known);
    EXPECT_EQ(old->Cells[rcInfo], "");
}

TEST_F(DetectionTest, PageTitleBecomesTheCommentOfAnUnnamedUnknownDevice) {
    TProbeResult titled = Result("10.0.0.20", "02:00:00:00:00:20", pfEcho | pfHWAddr | pfTitle);
    titled.PageTitle = "Router setup";
    EXPECT_EQ(Handle(titled)->Cells[rcInfo], "Router setup");
    titled.PageTitle = "Another title";
    EXPECT_EQ(Handle(titled)->Cells[rcInfo], "Router setup");
    ReleaseConfigStore();
    ResetDeviceList();
    DeviceList().Load();
    EXPECT_EQ(DeviceList().FindOrAdd(titled.HWAddr).Comment, "Router setup");
}

TEST_F(DetectionTest, OneDeviceAtTwoAddressesGivesTwoRowsAndOneRecord) {
    EXPECT_TRUE(Handle(Result("10.0.0.30", "02:00:00:00:00:30", pfEcho)));
    clock_.AdvanceMinutes(1);
    EXPECT_TRUE(Handle(Result("10.0.0.31", "02:00:00:00:00:30", pfEcho)));
    EXPECT_EQ(DeviceList().Count(), 1);
    EXPECT_EQ(ActivityRows(), 1);
}

struct CompareCase {
    int column;
    const char* a;
    const char* b;
    int expected;
};

class CompareResultCellsTest : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareResultCellsTest, SortsByTheColumnsRule) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(CompareResultCells(c.column, c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareResultCellsTest,
                         testing::Values(CompareCase{rcAddress, "10.0.0.9", "10.0.0.10", -1},
                                         CompareCase{rcAddress, "192.168.2.1", "192.168.1.10", 1},
                                         CompareCase{rcRTT, "---", "0 ms", -1},
                                         CompareCase{rcRTT, "10 ms", "9 ms", 1},
                                         CompareCase{rcRTT, "5 ms", "5 ms", 0},
                                         CompareCase{rcName, "alpha", "BETA", -1},
                                         CompareCase{rcName, "Gamma", "gamma", 0},
                                         CompareCase{rcVendor, "b", "A", 1}));

TEST(ScheduleTest, ScheduledOnlyWithAnIntervalAndATime) {
    EXPECT_FALSE(IsScheduled(30, 0));
    EXPECT_FALSE(IsScheduled(0, EncodeDate(2026, 1, 1)));
    EXPECT_TRUE(IsScheduled(1, EncodeDate(2026, 1, 1)));
}

TEST(ScheduleTest, NextScanDropsTheSeconds) {
    TDateTime now = EncodeDateTime(2026, 12, 11, 23, 50, 42, 250);
    TDateTimeParts next = DecodeDateTime(NextScanTime(now, 30));
    EXPECT_EQ(next.Day, 12);
    EXPECT_EQ(next.Hour, 0);
    EXPECT_EQ(next.Minute, 20);
    EXPECT_EQ(next.Second, 0);
    EXPECT_EQ(next.Millisecond, 250);
}

} // namespace
