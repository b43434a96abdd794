#include "Core/Common/Exception.h"
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Net/IPv4Range.h"

#include <gtest/gtest.h>

namespace {

struct IPv4Case {
    const char* text;
    TIPv4 value;
};

class StrToIPv4Test : public testing::TestWithParam<IPv4Case> {};

TEST_P(StrToIPv4Test, ReadsDottedText) { EXPECT_EQ(StrToIPv4(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Cases, StrToIPv4Test,
                         testing::Values(IPv4Case{"192.168.1.10", 0xC0A8010A}, IPv4Case{"0.0.0.1", 1},
                                         IPv4Case{"255.255.255.255", 0xFFFFFFFF}, IPv4Case{"192.168.1", 0},
                                         IPv4Case{"192.168.1.1.5", 0}, IPv4Case{"10.0.0.300", 0},
                                         IPv4Case{"10.0.0.-1", 0}, IPv4Case{"10..0.1", 0},
                                         IPv4Case{"a.b.c.d", 0}, IPv4Case{"10.0.0.1x", 0},
                                         IPv4Case{" 10.0.0.1", 0}, IPv4Case{"", 0}));

TEST(IPv4Test, TextRoundTripAndSwap) {
    EXPECT_EQ(IPv4ToStr(0xC0A8010A), "192.168.1.10");
    EXPECT_EQ(IPv4ToStr(0), "0.0.0.0");
    EXPECT_EQ(SwapIPv4(0x0A00A8C0u), 0xC0A8000Au);
}

TEST(IPv4Test, AddressTextsSortNumerically) {
    EXPECT_LT(CompareIPv4Text("192.168.1.9", "192.168.1.10"), 0);
    EXPECT_LT(CompareIPv4Text("192.168.1.10", "192.168.2.1"), 0);
    EXPECT_EQ(CompareIPv4Text("10.0.0.1", "10.0.0.1"), 0);
}

TEST(HWAddrTest, ThreeTextForms) {
    THWAddr a{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(HWAddrToStr(a, '\0'), "001A2B3C4D5E");
    EXPECT_EQ(HWAddrToStr(a, '-'), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(HWAddrToStr(a, ':'), "00:1A:2B:3C:4D:5E");
}

TEST(HWAddrTest, ParsesEveryFormAndNeverFails) {
    THWAddr a{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(StrToHWAddr("00-1a-2b-3c-4d-5e"), a);
    EXPECT_EQ(StrToHWAddr("00:1A:2B:3C:4D:5E"), a);
    EXPECT_EQ(StrToHWAddr("001A2B3C4D5E"), a);
    EXPECT_TRUE(IsZeroHWAddr(StrToHWAddr("00 1A 2B 3C 4D 5E")));
    EXPECT_TRUE(IsZeroHWAddr(StrToHWAddr("")));
    EXPECT_EQ(StrToHWAddr("ZZ1A2B3C4D5E"), a);
}

TEST(HWAddrTest, SpecialValuesAndDisplayFormat) {
    EXPECT_TRUE(IsBroadcastHWAddr(StrToHWAddr("FF-FF-FF-FF-FF-FF")));
    EXPECT_FALSE(IsBroadcastHWAddr(StrToHWAddr("FF-FF-FF-FF-FF-FE")));
    THWAddr a{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(CurrentMacFormat(), '-');
    SetMacFormat(':');
    EXPECT_EQ(HWAddrToDisplay(a), "AA:BB:CC:DD:EE:FF");
    SetMacFormat('x');
    EXPECT_EQ(HWAddrToDisplay(a), "AABBCCDDEEFF");
    SetMacFormat('-');
}

TEST(RangeTest, ItemParseFormsAndCount) {
    TIPv4PairItem item;
    item.Parse("192.168.1.5");
    EXPECT_EQ(item.ToText(), "192.168.1.5");
    EXPECT_EQ(item.Count(), 1u);
    item.Parse("10.0.0.20-10.0.0.10");
    EXPECT_EQ(IPv4ToStr(item.First), "10.0.0.10");
    EXPECT_EQ(item.ToText(), "10.0.0.10-10.0.0.20");
    EXPECT_EQ(item.Count(), 11u);
}

TEST(RangeTest, InvalidItemsNameTheWholeText) {
    for (const char* text : {"0.0.0.0", "10.0.0.1-", " 10.0.0.1 - x "}) {
        TIPv4PairItem item;
        try {
            item.Parse(text);
            ADD_FAILURE() << text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), std::string(text) + " is not a valid range");
        }
    }
}

TEST(RangeTest, ListWithBlanksTextAndDisplayText) {
    TIPv4PairList list;
    list.Parse(" 10.0.0.1 - 10.0.0.3 , 10.0.0.7");
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.ToText(), "10.0.0.1-10.0.0.3,10.0.0.7");
    EXPECT_EQ(list.ToDisplayText(), "10.0.0.1 - 10.0.0.3, 10.0.0.7");
    list.Parse("");
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.ToText(), "");
}

TEST(RangeTest, TrailingCommaFailsAfterKeepingEarlierRanges) {
    TIPv4PairList list;
    try {
        list.Parse("10.0.0.1,");
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), " is not a valid range");
    }
    EXPECT_EQ(list.Size(), 1u);
}

TEST(RangeTest, QuotedSegmentLosesItsQuotes) {
    TIPv4PairList list;
    list.Parse("\"10.0.0.1-10.0.0.2\",10.0.0.9");
    EXPECT_EQ(list.ToText(), "10.0.0.1-10.0.0.2,10.0.0.9");
}

struct ValidationCase {
    const char* text;
    const char* error; // nullptr when accepted
};

class ValidateCustomRangesTest : public testing::TestWithParam<ValidationCase> {};

TEST_P(ValidateCustomRangesTest, ChecksLikeTheSettingsWindow) {
    const ValidationCase& c = GetParam();
    if (!c.error) {
        EXPECT_NO_THROW(ValidateCustomRanges(c.text));
        return;
    }
    try {
        ValidateCustomRanges(c.text);
        ADD_FAILURE() << c.text;
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidateCustomRangesTest,
    testing::Values(ValidationCase{"192.168.0.1-192.168.255.255", nullptr},
                    ValidationCase{"192.168.0.0-192.168.255.255",
                                   "Too large IP address range entered: 192.168.0.0-192.168.255.255"},
                    ValidationCase{"10.0.0.1,10.0.0.0-10.1.0.0,10.9.0.0-10.10.0.0",
                                   "Too large IP address range entered: 10.0.0.0-10.1.0.0"},
                    ValidationCase{"\"\"", " is not a valid range"},
                    ValidationCase{"bogus", "bogus is not a valid range"}));

TIfItem Adapter(const char* address, const char* mask) {
    TIfItem item;
    item.Address = SwapIPv4(StrToIPv4(address));
    item.Mask = SwapIPv4(StrToIPv4(mask));
    return item;
}

TEST(EnumerateTest, AdapterBlocks) {
    TIPv4PairList none;
    auto c24 = EnumerateScanAddresses(none, Adapter("192.168.1.10", "255.255.255.0"));
    ASSERT_EQ(c24.size(), 254u);
    EXPECT_EQ(IPv4ToStr(c24.front()), "192.168.1.1");
    EXPECT_EQ(IPv4ToStr(c24.back()), "192.168.1.254");

    auto c30 = EnumerateScanAddresses(none, Adapter("10.0.0.5", "255.255.255.252"));
    ASSERT_EQ(c30.size(), 4u);
    EXPECT_EQ(IPv4ToStr(c30.front()), "10.0.0.4");
    EXPECT_EQ(IPv4ToStr(c30.back()), "10.0.0.7");

    EXPECT_EQ(EnumerateScanAddresses(none, Adapter("172.16.5.1", "255.255.0.0")).size(), 65024u);
    EXPECT_TRUE(EnumerateScanAddresses(none, Adapter("0.0.0.0", "0.0.0.0")).empty());
    EXPECT_EQ(EnumerateScanAddresses(none, Adapter("10.0.0.9", "255.255.255.255")).size(), 1u);
}

TEST(EnumerateTest, CustomRangesWinAndKeepDuplicates) {
    TIPv4PairList ranges;
    ranges.Parse("10.0.0.0");
    EXPECT_TRUE(EnumerateScanAddresses(ranges, Adapter("192.168.1.10", "255.255.255.0")).empty());
    ranges.Parse("10.0.0.1-10.0.0.3,10.0.0.2-10.0.0.4,10.0.0.254-10.0.1.1");
    std::vector<std::string> texts;
    for (TIPv4 a : EnumerateScanAddresses(ranges, TIfItem{}))
        texts.push_back(IPv4ToStr(a));
    EXPECT_EQ(texts, (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.2", "10.0.0.3",
                                               "10.0.0.4", "10.0.0.254", "10.0.1.1"}));
}

TEST(EnumerateTest, TopOfTheAddressSpaceDoesNotWrap) {
    TIPv4PairList ranges;
    ranges.Parse("255.255.255.250-255.255.255.255");
    EXPECT_EQ(EnumerateScanAddresses(ranges, TIfItem{}).size(), 5u);
}

} // namespace
