#include "Core/Common/DateTime.h"
#include "Core/Common/Clock.h"
#include "Core/Common/Exception.h"
#include "support/TempDir.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

#include <filesystem>

using tarrowin::test::EnvGuard;
using tarrowin::test::TestClock;

namespace {

TEST(DateTime, EncodesDaysFromTheEpoch) {
    const struct {
        int year, month, day;
        TDateTime expected;
    } cases[] = {
        {1899, 12, 30, 0},    {1899, 12, 31, 1},    {1900, 1, 1, 2},    {1900, 3, 1, 61},
        {2000, 2, 29, 36585}, {2017, 8, 24, 42971}, {1899, 12, 29, -1}, {9999, 12, 31, 2958465},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeDate(c.year, c.month, c.day), c.expected) << c.year << "-" << c.month << "-" << c.day;
}

TEST(DateTime, RefusesImpossibleDatesAndTimes) {
    TDateTime ignored = 0;
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, ignored));
    EXPECT_FALSE(TryEncodeDate(2017, 2, 30, ignored));
    EXPECT_FALSE(TryEncodeDate(2017, 13, 1, ignored));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, ignored));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, ignored));
    EXPECT_FALSE(TryEncodeTime(12, 60, 0, 0, ignored));
    EXPECT_FALSE(TryEncodeTime(12, 0, 0, 1000, ignored));
    EXPECT_THROW(EncodeDateTime(2017, 2, 30, 0, 0, 0), Exception);
}

TEST(DateTime, DecodesToTheMillisecondAndRoundsFloatNoise) {
    const TDateTime moment = EncodeDateTime(2017, 8, 24, 16, 21, 36, 900);
    const TDateTimeParts p = DecodeDateTime(moment);
    EXPECT_EQ((std::array{p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond}),
              (std::array{2017, 8, 24, 16, 21, 36, 900}));
    // A value a hair below a full second, as sums of fractions produce, is that second.
    const TDateTime almost = EncodeDateTime(2017, 8, 24, 23, 59, 59) + 999.9999 / MillisecondsPerDay;
    EXPECT_EQ(FormatDBDateTime(almost, true), "2017-08-25 00:00:00");
    EXPECT_EQ(DateOf(moment), EncodeDate(2017, 8, 24));
    EXPECT_EQ(HourOf(moment), 16);
    EXPECT_EQ(FormatDBDateTime(EncodeDateTime(1899, 12, 29, 6, 0, 0), true), "1899-12-29 06:00:00");
}

TEST(DateTime, StoredTextFormsRoundTrip) {
    for (TDateTime value : {0.0, EncodeDateTime(2017, 8, 24, 16, 21, 36), EncodeDateTime(2024, 2, 29, 23, 59, 59),
                            EncodeDateTime(1, 1, 1, 0, 0, 1)}) {
        EXPECT_EQ(ParseDBDateTime(FormatDBDateTime(value, true)), value) << FormatDBDateTime(value, true);
        EXPECT_EQ(ParseDBDateTime(FormatDBDateTime(value, false)), DateOf(value));
    }
    EXPECT_EQ(FormatDBDateTime(EncodeDateTime(2017, 8, 4, 6, 1, 2), false), "2017-08-04");
}

TEST(DateTime, LocalBrokenDownTimeBothWays) {
    std::tm local{};
    local.tm_year = 117;
    local.tm_mon = 7;
    local.tm_mday = 24;
    local.tm_hour = 16;
    local.tm_min = 21;
    local.tm_sec = 60; // a leap second shows as the minute's last second
    EXPECT_EQ(FromLocalTm(local, 5), EncodeDateTime(2017, 8, 24, 16, 21, 59, 5));
    const std::tm back = ToLocalTm(EncodeDateTime(2017, 8, 24, 16, 21, 36));
    EXPECT_EQ((std::array{back.tm_year, back.tm_mon, back.tm_mday, back.tm_hour, back.tm_min, back.tm_sec}),
              (std::array{117, 7, 24, 16, 21, 36}));
    EXPECT_EQ(back.tm_wday, 4); // a Thursday
    EXPECT_EQ(back.tm_yday, 235);
}

// Switches the process's zone for one test.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) : env_("TZ", zone) { tzset(); }
    ~ZoneGuard() { tzset(); }

private:
    EnvGuard env_;
};

TEST(DateTime, SystemTimeBecomesWallClockTimeAcrossDaylightSaving) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
        GTEST_SKIP() << "zone data for Europe/Berlin is not installed";
    ZoneGuard zone("Europe/Berlin");
    const struct {
        std::time_t utc;
        const char* local;
    } cases[] = {
        {1698539400, "2023-10-29 02:30:00"}, // 00:30 UTC, summer time
        {1698543000, "2023-10-29 02:30:00"}, // 01:30 UTC, the repeated hour in winter time
        {1679792399, "2023-03-26 01:59:59"}, // the second before the clock jumps forward
        {1679792400, "2023-03-26 03:00:00"}, {1703977199, "2023-12-30 23:59:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDBDateTime(FromUnixTime(c.utc), true), c.local) << c.utc;
}

TEST(Clock, InstalledClockReplacesTheSystemClockUntilRemoved) {
    const TDateTime system = Now();
    EXPECT_GT(system, EncodeDate(2020, 1, 1));
    {
        TestClock clock(EncodeDateTime(2017, 8, 24, 9, 5, 0));
        clock.AdvanceMinutes(45);
        EXPECT_EQ(FormatDBDateTime(Now(), true), "2017-08-24 09:50:00");
    }
    EXPECT_GE(Now(), system);
}

} // namespace
