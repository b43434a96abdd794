#include "Core/PartialMatch/PartialMatch.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Core/ConfigStore/ConfigStore.h"
#include "support/TempDir.h"

using tarrowin::test::TempDir;

namespace {

THWAddr Addr(const char* text) {
    return StrToHWAddr(text);
}

// ---- prefix texts -------------------------------------------------------------------------------------

struct PrefixCase {
    const char* text;
    std::optional<THWPrefix> prefix; // empty: the text is refused
};

const PrefixCase prefixCases[] = {
    {"00-1A-2B", THWPrefix{0x00, 0x1A, 0x2B}},
    {"00:1a:2b", THWPrefix{0x00, 0x1A, 0x2B}},
    {"001A2B", THWPrefix{0x00, 0x1A, 0x2B}},
    {"AABB:CC", THWPrefix{0xAA, 0xBB, 0xCC}},
    {"aa-bb-cc", THWPrefix{0xAA, 0xBB, 0xCC}},
    {"::fF0e1D", THWPrefix{0xFF, 0x0E, 0x1D}},
    {"", std::nullopt},
    {"00 1A 2B", std::nullopt}, // blanks are no separators
    {"001A2B3C", std::nullopt}, // four octets
    {"AA:BB", std::nullopt},    // two octets
    {"AABBCCD", std::nullopt},  // seven digits
    {"00:1G:2B", std::nullopt}, // not hexadecimal
    {" 001A2B", std::nullopt},  // nothing is trimmed
    {"00.1A.2B", std::nullopt},
};

void PrintTo(const PrefixCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class PrefixTextTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(PrefixTextTest, ParsesOrRefuses) {
    const PrefixCase& c = GetParam();
    EXPECT_EQ(IsValidPrefixText(c.text), c.prefix.has_value());
    if (c.prefix) {
        EXPECT_EQ(THWPartItem(c.text).Prefix, *c.prefix);
        return;
    }
    try {
        THWPartItem rule(c.text);
        FAIL() << "accepted, prefix " << PrefixToStr(rule.Prefix, ':');
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(c.text), std::string::npos) << e.Message();
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, PrefixTextTest, ::testing::ValuesIn(prefixCases));

// Restores the program-wide display format.
class MacFormatGuard {
public:
    MacFormatGuard() : saved_(CurrentMacFormat()) {}
    ~MacFormatGuard() { SetMacFormat(saved_); }

private:
    char saved_;
};

TEST(PartItemTest, ToStringFollowsTheDisplayFormat) {
    MacFormatGuard guard;
    THWPartItem rule("00:1a:2b");
    for (auto [format, text] : {std::pair{'-', "00-1A-2B"}, std::pair{':', "00:1A:2B"}, std::pair{'\0', "001A2B"}}) {
        SetMacFormat(format);
        EXPECT_EQ(rule.ToString(), text);
    }
}

// ---- the rule list with its database ------------------------------------------------------------------

class PartialListTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigStorePath(dir_.File("rules.DB"));
        ResetPartialList();
    }
    void TearDown() override {
        ResetPartialList();
        SetConfigStorePath({});
    }

    static int AddRule(const char* prefix, const char* comment) {
        auto rule = std::make_unique<THWPartItem>(prefix);
        rule->Comment = comment;
        return PartialList().Add(std::move(rule));
    }
    // "HWADDR=INFO" per PARTIAL row, in storage order.
    static std::vector<std::string> Rows() {
        TConfigStore& db = ConfigStore();
        return db.WithStatement("SELECT HWADDR, INFO FROM PARTIAL", [&] {
            std::vector<std::string> rows;
            while (db.Step())
                rows.push_back(db.ColumnText(0) + "=" + db.ColumnText(1));
            return rows;
        });
    }
    static std::vector<std::string> Listed() {
        std::vector<std::string> rules;
        for (const THWPartItem& rule : PartialList())
            rules.push_back(PrefixToStr(rule.Prefix, ':') + "=" + rule.Comment);
        return rules;
    }
    static void Reload() {
        ReleaseConfigStore();
        ResetPartialList();
        PartialList().Load();
    }

    TempDir dir_;
};

TEST_F(PartialListTest, MatchComparesTheFirstThreeOctets) {
    AddRule("00:1A:2B", "phones");
    AddRule("AA-BB-CC", "printers");
    struct {
        const char* addr;
        const char* comment; // nullptr: no rule matches
    } const cases[] = {
        {"00:1A:2B:99:88:77", "phones"}, {"AA:BB:CC:00:00:00", "printers"}, {"00:1A:2C:00:00:00", nullptr},
        {"01:1A:2B:00:00:00", nullptr},  {"00:00:00:00:00:00", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addr);
        std::string comment = "left over";
        EXPECT_EQ(PartialList().Match(Addr(c.addr), comment), c.comment != nullptr);
        EXPECT_EQ(comment, c.comment ? c.comment : "");
    }
}

TEST_F(PartialListTest, WithoutRulesNothingMatches) {
    std::string comment = "left over";
    EXPECT_FALSE(PartialList().Match(Addr("00:1A:2B:99:88:77"), comment));
    EXPECT_EQ(comment, "");
}

TEST_F(PartialListTest, AddStoresTheColonFormAndRefusesDuplicates) {
    MacFormatGuard guard;
    SetMacFormat('\0'); // the stored form does not depend on the display format
    EXPECT_EQ(AddRule("00-1a-2b", "phones"), 0);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00:1A:2B=phones"}));

    try {
        AddRule("001A2B", "again");
        FAIL() << "duplicate accepted";
    } catch (const ESQLiteException& e) {
        EXPECT_NE(e.Message().find("Abort due to constraint violation"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(PartialList().Count(), 1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00:1A:2B=phones"}));
    EXPECT_EQ(AddRule("00:1A:2C", ""), 1);
}

TEST_F(PartialListTest, RulesSurviveARestartInTheirOrder) {
    AddRule("CC:00:01", "third vendor");
    AddRule("00:00:02", "");
    AddRule("AA:00:03", "Ünïcode comment");

    Reload();

    EXPECT_EQ(Listed(), (std::vector<std::string>{"CC:00:01=third vendor", "00:00:02=", "AA:00:03=Ünïcode comment"}));
    std::string comment;
    EXPECT_TRUE(PartialList().Match(Addr("AA:00:03:01:02:03"), comment));
    EXPECT_EQ(comment, "Ünïcode comment");
}

TEST_F(PartialListTest, DeleteRemovesTheRowAtOnce) {
    AddRule("00:00:01", "one");
    AddRule("00:00:02", "two");
    PartialList().Delete(PartialList().Items(0));

    EXPECT_EQ(Listed(), (std::vector<std::string>{"00:00:02=two"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00:00:02=two"}));
    Reload();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"00:00:02=two"}));
}

TEST_F(PartialListTest, DeleteOfARuleFromElsewhereTouchesNothing) {
    AddRule("00:00:01", "one");
    THWPartItem stranger("00:00:01");
    PartialList().Delete(stranger);
    EXPECT_EQ(PartialList().Count(), 1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00:00:01=one"}));
}

TEST_F(PartialListTest, FailedDeleteLeavesTheList) {
    AddRule("00:00:01", "one");
    ConfigStore().Exec("DROP TABLE PARTIAL");
    EXPECT_THROW(PartialList().Delete(PartialList().Items(0)), ESQLiteException);
    EXPECT_EQ(PartialList().Count(), 1);
}

// Rows written by other means: keys that name no prefix must not turn into a rule for 00:00:00, and a key
// spelt differently must still be deletable.
TEST_F(PartialListTest, LoadSkipsUnreadableKeysAndDeletesByTheStoredKey) {
    ConfigStore().Exec("INSERT INTO PARTIAL VALUES ('00 1A 2B', 'blanks')");
    ConfigStore().Exec("INSERT INTO PARTIAL VALUES ('001A2B3C', 'four octets')");
    ConfigStore().Exec("INSERT INTO PARTIAL VALUES ('aa-bb-cc', 'lower case')");
    PartialList().Load();

    EXPECT_EQ(Listed(), (std::vector<std::string>{"AA:BB:CC=lower case"}));
    std::string comment;
    EXPECT_FALSE(PartialList().Match(Addr("00:00:00:11:22:33"), comment));

    PartialList().Delete(PartialList().Items(0));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00 1A 2B=blanks", "001A2B3C=four octets"}));
}

} // namespace
