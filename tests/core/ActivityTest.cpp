#include "Core/Common/DateTime.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

#include <filesystem>

using tarrowin::test::EnvGuard;
using tarrowin::test::TempDatabase;
using tarrowin::test::TestClock;

namespace {

const THWAddr Laptop{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const THWAddr Phone{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

class ActivityTest : public testing::Test {
protected:
    ActivityTest() {
        SaveSeen(Laptop, "laptop");
        SaveSeen(Phone, "phone");
    }

    void SaveSeen(const THWAddr& address, const std::string& comment, bool known = false) {
        TDeviceItem item;
        item.HWAddr = address;
        item.Comment = comment;
        item.Known = known;
        ConfigStore().SaveDevice(item);
    }

    // The way a scan records a sighting: the device's row first, then the hour.
    void SeenAt(const THWAddr& address, TDateTime when) {
        clock_.Set(when);
        TSQLiteLock guard(ConfigStore());
        ConfigStore().AddActivity(address);
    }

    std::vector<int> HoursOf(const THWAddr& address, TDateTime day) {
        std::vector<int> hours;
        const auto flags = ConfigStore().ReadActivityHours(address, day);
        for (int hour = 0; hour < 24; ++hour)
            if (flags[static_cast<size_t>(hour)])
                hours.push_back(hour);
        return hours;
    }

    int RowCount() {
        TConfigStore& db = ConfigStore();
        return db.WithStatement("SELECT COUNT(*) FROM ACTIVITY", [&] { return db.Step() ? db.ColumnInt(0) : -1; });
    }

    TempDatabase database_;
    TestClock clock_;
};

const TDateTime Day1 = EncodeDate(2017, 8, 24);
const TDateTime Day2 = EncodeDate(2017, 8, 25);

TDateTime At(TDateTime day, int hour, int minute) {
    return day + EncodeDateTime(1899, 12, 30, hour, minute, 0);
}

TEST_F(ActivityTest, SightingsWithinAnHourMakeOneRow) {
    for (auto [hour, minute] : {std::pair{9, 5}, {9, 50}, {11, 20}})
        SeenAt(Laptop, At(Day1, hour, minute));
    EXPECT_EQ(HoursOf(Laptop, Day1), (std::vector<int>{9, 11}));
    EXPECT_EQ(RowCount(), 2);
    // Only the date part of the asked date counts.
    EXPECT_EQ(HoursOf(Laptop, At(Day1, 15, 45)), (std::vector<int>{9, 11}));
    EXPECT_TRUE(ConfigStore().DayHasActivity(Laptop, Day1));
    EXPECT_TRUE(ConfigStore().DayHasActivity(Laptop, At(Day1, 23, 0)));
}

TEST_F(ActivityTest, MidnightSeparatesDays) {
    SeenAt(Laptop, At(Day1, 23, 59));
    SeenAt(Laptop, At(Day2, 0, 1));
    EXPECT_EQ(HoursOf(Laptop, Day1), (std::vector<int>{23}));
    EXPECT_EQ(HoursOf(Laptop, Day2), (std::vector<int>{0}));
}

TEST_F(ActivityTest, DayWithoutRowsIsEmptyForThatDeviceOnly) {
    SeenAt(Laptop, At(Day1, 10, 0));
    EXPECT_TRUE(HoursOf(Phone, Day1).empty());
    EXPECT_TRUE(HoursOf(Laptop, Day2).empty());
    EXPECT_FALSE(ConfigStore().DayHasActivity(Phone, Day1));
    EXPECT_FALSE(ConfigStore().DayHasActivity(Laptop, Day2));
}

TEST_F(ActivityTest, ForgottenDeviceSeenAgainStartsEmpty) {
    SeenAt(Laptop, At(Day1, 10, 0));
    SeenAt(Phone, At(Day1, 10, 0));
    ConfigStore().DeleteDevice(Laptop);
    SaveSeen(Laptop, "laptop");
    EXPECT_TRUE(HoursOf(Laptop, Day1).empty());
    EXPECT_EQ(HoursOf(Phone, Day1), (std::vector<int>{10}));
}

TEST_F(ActivityTest, EditingADeviceKeepsItsActivity) {
    SeenAt(Laptop, At(Day1, 10, 0));
    SeenAt(Laptop, At(Day2, 8, 0));
    SaveSeen(Laptop, "renamed", true);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_TRUE(ConfigStore().DayHasActivity(Laptop, Day2));
}

TEST_F(ActivityTest, RepeatedHourAtEndOfDaylightSavingFallsIntoTheSameRow) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
        GTEST_SKIP() << "zone data for Europe/Berlin is not installed";
    {
        EnvGuard zone("TZ", "Europe/Berlin");
        tzset();
        SeenAt(Laptop, FromUnixTime(1698539400)); // 02:30 summer time
        SeenAt(Laptop, FromUnixTime(1698543000)); // 02:30 again, winter time
    }
    tzset();
    EXPECT_EQ(HoursOf(Laptop, EncodeDate(2023, 10, 29)), (std::vector<int>{2}));
    EXPECT_EQ(RowCount(), 1);
}

} // namespace
