#include "Core/DeviceList/DeviceRows.h"
#include "Core/DeviceList/RegionalFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int Sign(int value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

TEST(DeviceFilterTest, StoredValuesOutsideTheThreeReadAsAllDevices) {
    const std::pair<int, TDeviceFilter> cases[] = {{-1, dfAllDevices},    {0, dfAllDevices}, {1, dfKnownDevices},
                                                   {2, dfUnknownDevices}, {3, dfAllDevices}, {1 << 30, dfAllDevices}};
    for (const auto& [stored, filter] : cases)
        EXPECT_EQ(DeviceFilterOf(stored), filter) << stored;
    TDeviceItem known;
    known.Known = true;
    const TDeviceItem unknown;
    EXPECT_TRUE(PassesFilter(dfAllDevices, known) && PassesFilter(dfAllDevices, unknown));
    EXPECT_TRUE(PassesFilter(dfKnownDevices, known) && !PassesFilter(dfKnownDevices, unknown));
    EXPECT_TRUE(!PassesFilter(dfUnknownDevices, known) && PassesFilter(dfUnknownDevices, unknown));
}

TEST(AgeTextTest, CalendarDaysFirstThenElapsedDaysAndMonths) {
    const TDateTime now = EncodeDateTime(2024, 3, 10, 1, 0, 0);
    const std::pair<TDateTime, const char*> cases[] = {
        {EncodeDate(2024, 3, 10), "Today"},
        {EncodeDateTime(2024, 3, 10, 23, 59, 59), "Today"},
        {EncodeDate(2024, 3, 9), "Yesterday"},
        {EncodeDateTime(2024, 3, 9, 23, 59, 59), "Yesterday"},
        {EncodeDateTime(2024, 3, 8, 23, 0, 0), "1 days ago"}, // two hours of elapsed time: not a whole day more
        {EncodeDateTime(2024, 3, 7, 1, 0, 0), "3 days ago"},
        {now - 30, "30 days ago"},
        {now - 31, "1 months ago"},
        {now - 40, "1 months ago"},
        {now - 61, "2 months ago"},
        {EncodeDateTime(2024, 3, 11, 0, 0, 0), "0 days ago"}, // tomorrow, 23 hours ahead
        {now + 3, "3 days ago"},
    };
    for (const auto& [seen, text] : cases)
        EXPECT_EQ(AgeText(seen, now), text) << DecodeDateTime(seen).Day;
}

TEST(SortKeyTest, BytesWithAsciiLettersFolded) {
    struct TCase {
        const char* A;
        const char* B;
        int Order;
    };
    const TCase cases[] = {
        {"", "a", -1},         {"abc", "ABC", 0},       {"ab", "abc", -1},           {"Z", "a", 1},
        {"[", "a", 1},         {"\xC3\xA9", "z", 1},    {"\xC3\xA9", "\xC3\x89", 1}, // é and É: not ASCII, not folded
        {"Apple", "apple", 0}, {"Cisco", "Brother", 1},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(CompareFoldedText(c.A, c.B), c.Order) << c.A << " " << c.B;
        EXPECT_EQ(Sign(FoldedSortKey(c.A).compare(FoldedSortKey(c.B))), c.Order) << c.A << " " << c.B;
    }
    const TDateTime t = EncodeDateTime(2024, 3, 1, 10, 0, 0);
    EXPECT_EQ(LastSeenSortKey(t), LastSeenSortKey(t + 0.4 / MillisecondsPerDay));
    EXPECT_LT(LastSeenSortKey(t), LastSeenSortKey(t + 2 / MillisecondsPerDay));
    EXPECT_LT(LastSeenSortKey(t - 40), LastSeenSortKey(t - 3));
}

struct TPatternCase {
    const char* Date;
    const char* Time;
    const char* Text; // 2017-03-05 14:07:09, a Sunday
};

const TPatternCase patternCases[] = {
    {"M/d/yy", "h:mm:ss AP t", "3/5/17 2:07:09 PM"},
    {"dd.MM.yyyy", "HH:mm:ss t", "05.03.2017 14:07:09"},
    {"d MMM yy", "HH:mm:ss", "5 Mar 17 14:07:09"},
    {"dddd, d MMMM yyyy", "h:mm ap", "Sunday, 5 March 2017 2:07 pm"},
    {"ddd yyyy-MM-dd", "t HH:mm:ss", "Sun 2017-03-05 14:07:09"},
    {"yyyy'年'M'月'd'日'", "H'時'mm'分'ss'秒'", "2017年3月5日 14時07分09秒"},
    {"'It''s' d/M/yyyy", "HH.mm.ss.zzz", "It's 5/3/2017 14.07.09.000"},
};

void PrintTo(const TPatternCase& c, std::ostream* out) {
    *out << c.Date << " " << c.Time;
}

class RegionalPatternTest : public testing::TestWithParam<TPatternCase> {};

TEST_P(RegionalPatternTest, WritesAndReadsBack) {
    TRegionalFormat format;
    format.ShortDate = GetParam().Date;
    format.LongTime = GetParam().Time;
    const bool withSeconds = std::string(GetParam().Time).find('s') != std::string::npos;
    const TDateTime value = EncodeDateTime(2017, 3, 5, 14, 7, withSeconds ? 9 : 0);
    EXPECT_EQ(FormatRegionalDateTime(value, format), GetParam().Text);
    TDateTime read = 0;
    ASSERT_TRUE(TryParseRegionalDateTime(GetParam().Text, format, read));
    EXPECT_DOUBLE_EQ(read, value);
    ASSERT_TRUE(TryParseRegionalDateTime(FormatDateTimePattern(value, format.ShortDate, format), format, read));
    EXPECT_DOUBLE_EQ(read, EncodeDate(2017, 3, 5));
}

INSTANTIATE_TEST_SUITE_P(Patterns, RegionalPatternTest, testing::ValuesIn(patternCases));

TEST(RegionalFormatTest, RefusesTextsThatDoNotFollowThePattern) {
    TRegionalFormat format;
    format.ShortDate = "M/d/yy";
    format.LongTime = "h:mm:ss AP";
    for (const char* text : {"", "3/5/17 2:07:09", "13/5/17", "2/30/17", "3/5/17 13:07:09 PM", "3/5/17 2:07:09 XM",
                             "3/5/17 trailing", "3-5-17"}) {
        TDateTime read = 0;
        EXPECT_FALSE(TryParseRegionalDateTime(text, format, read)) << text;
    }
    TDateTime read = 0;
    EXPECT_TRUE(TryParseRegionalDateTime("3/5/49 12:00:00 am", format, read));
    EXPECT_DOUBLE_EQ(read, EncodeDate(2049, 3, 5));
    EXPECT_TRUE(TryParseRegionalDateTime("3/5/50", format, read));
    EXPECT_DOUBLE_EQ(read, EncodeDate(1950, 3, 5));
}

TEST(RegionalFormatTest, TimeSeparatorComesFromTheLongTime) {
    const std::pair<const char*, char> cases[] = {{"HH:mm:ss t", ':'},  {"H.mm.ss", '.'}, {"h:mm:ss AP", ':'},
                                                  {"H'時'mm'分'", ':'}, {"HH mm", ':'},   {"ss", ':'}};
    for (const auto& [pattern, separator] : cases) {
        TRegionalFormat format;
        format.LongTime = pattern;
        EXPECT_EQ(TimeSeparatorOf(format), separator) << pattern;
    }
}

} // namespace
