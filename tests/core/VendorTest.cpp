#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Core/Common/Text.h"
#include "Core/Common/TextLines.h"
#include "Core/Vendor/VendorTable.h"

namespace {

std::string ReadFixture(const std::string& name) {
    std::ifstream file(std::string(TARROWIN_FIXTURES) + "/vendor/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct TVendorCase {
    const char* Address;
    const char* Vendor;
    friend std::ostream& operator<<(std::ostream& out, const TVendorCase& c) { return out << c.Address; }
};

class VendorLookup : public ::testing::TestWithParam<TVendorCase> {
protected:
    static void SetUpTestSuite() { table_.LoadVendorTable(ReadFixture("cases.txt")); }
    static TVendorTable table_;
};
TVendorTable VendorLookup::table_;

TEST_P(VendorLookup, NamesTheMakerByTheFirstThreeBytes) {
    EXPECT_EQ(table_.LookupVendor(StrToHWAddr(GetParam().Address)), GetParam().Vendor) << GetParam().Address;
}

INSTANTIATE_TEST_SUITE_P(FixtureTable, VendorLookup,
                         ::testing::Values(TVendorCase{"00-00-00-00-00-01", "Xerox Corporation"},
                                           // a repeated prefix: the first line wins
                                           TVendorCase{"00-01-C8-12-34-56", "Conrad Corp."},
                                           TVendorCase{"08-00-30-AB-CD-EF", "Cern"},
                                           // prefixes written in mixed case in the table
                                           TVendorCase{"BC-FF-AC-00-00-01", "Topcon Corporation"},
                                           TVendorCase{"ec:ba:fe:00:00:01", "Giroptic"},
                                           // trailing spaces belong to the name
                                           TVendorCase{"00-00-A5-00-00-00", "Tattile SRL  "},
                                           TVendorCase{"FC-FF-AA-FF-FF-FF", "IEEE Registration Authority"},
                                           // locally administered and unassigned prefixes
                                           TVendorCase{"02-00-00-00-00-01", ""}, TVendorCase{"00-01-C9-00-00-00", ""}));

TEST(VendorTable, EveryLineEndCountsAndNoneSticksToTheName) {
    TVendorTable table;
    table.LoadVendorTable("000001 Lf Only\n000002 Lone Cr\r000003 Cr Lf\r\n000004 No Line End");
    EXPECT_EQ(table.Count(), 4u);
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000001000000")), "Lf Only");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000002000000")), "Lone Cr");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000003000000")), "Cr Lf");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000004000000")), "No Line End");
}

TEST(VendorTable, ShortAndEmptyLinesNeitherFailNorMatch) {
    TVendorTable table;
    table.LoadVendorTable("\r\n000001\r\n000002 \r\nABC\r\n0x0003 Not hex\r\n000003 Third\r\n000004");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000001000000")), "");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000002000000")), "");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000003000000")), "Third");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000004000000")), "");
}

TEST(VendorTable, LoadingAgainReplacesTheTable) {
    TVendorTable table;
    table.LoadVendorTable("000001 Old\r\n");
    table.LoadVendorTable("000002 New\r\n");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000001000000")), "");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("000002000000")), "New");
}

// The built-in table: present, in the line format and order the lookup relies on.
TEST(VendorTable, BuiltInTextIsTheSortedRegistryInCrLfLines) {
    std::string_view text = EmbeddedVendorText();
    ASSERT_TRUE(text.ends_with("\r\n"));
    EXPECT_EQ(text.find("\r\n\r\n"), std::string_view::npos);
    std::vector<std::string_view> lines = SplitLines(text);
    ASSERT_GT(lines.size(), 20000u);
    std::string previous;
    for (std::string_view line : lines) {
        ASSERT_GE(line.size(), 8u) << line;
        ASSERT_EQ(line[6], ' ') << line;
        ASSERT_EQ(line.find_first_not_of("0123456789ABCDEFabcdef"), 6u) << line;
        std::string prefix = UpperAscii(line.substr(0, 6));
        ASSERT_LE(previous, prefix) << line;
        previous = prefix;
    }
    TVendorTable table;
    table.LoadVendorTable();
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("00-00-00-12-34-56")), "XEROX CORPORATION");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("FC-FF-AA-12-34-56")), "IEEE Registration Authority");
    EXPECT_EQ(table.LookupVendor(StrToHWAddr("02-00-00-00-00-01")), "");
}

} // namespace
