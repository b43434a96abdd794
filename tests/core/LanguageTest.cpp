#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <utility>

#include "Core/Common/Exception.h"
#include "Core/Common/TextLines.h"
#include "Core/Lang/Language.h"
#include "support/TempDir.h"

namespace {

using tarrowin::test::EnvGuard;

std::vector<std::string> ReadFixtureLines(const std::string& name) {
    std::ifstream file(std::string(TARROWIN_FIXTURES) + "/lang/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> SectionNames(const TLanguage& language) {
    std::vector<std::string> names;
    for (const TLanguageSection& section : language.Sections())
        names.push_back(section.Name);
    return names;
}

std::vector<std::string> Placeholders(const std::string& text) {
    static const std::regex placeholder("%[sdu]");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

// Each reading rule has a line here that breaks it.
const std::string parsingFixture = "\xEF\xBB\xBF[First]\r\n"
                                   "Key = first section\r\n"
                                   "[Testish]\r\n"
                                   "  ; Indented = a comment, not an entry\r\n"
                                   "\r\n"
                                   "   Scan Now   =   Jetzt scannen   \r\n"
                                   "Equation = a = b\r\n"
                                   "Quoted = \"in quotes\"\r\n"
                                   "Partial MATCH = Teilweise\r\n"
                                   "partial match = the first entry wins\r\n"
                                   "A line without an equals sign\r\n"
                                   "Blank =\r\n"
                                   "[  Spaced Name  ]\n"
                                   "X = Y\n"
                                   "[Only comments]\r\n"
                                   "; nothing to translate\r\n"
                                   "[TESTISH]\r\n"
                                   "Later = continues the first Testish\r\n";

TEST(LanguageParsing, SectionsInFileOrderWithRepeatedHeadersMerged) {
    TLanguage language("; before any section\r\nOrphan = ignored\r\n" + parsingFixture.substr(3));
    EXPECT_EQ(SectionNames(language), (std::vector<std::string>{"First", "Testish", "Spaced Name", "Only comments"}));
    EXPECT_EQ(language.CurrentLanguage(), "");
}

TEST(LanguageParsing, ByteOrderMarkDoesNotHideTheFirstHeader) {
    TLanguage language(parsingFixture);
    language.SetLanguage("First");
    EXPECT_EQ(language.Translate("Key"), "first section");
}

TEST(LanguageParsing, LinesBeforeTheFirstSectionAreIgnored) {
    TLanguage language("Orphan = ignored\r\n[Only]\r\nKey = value\r\n");
    ASSERT_EQ(language.Sections().size(), 1u);
    EXPECT_EQ(language.Sections()[0].Entries.size(), 1u);
}

struct TTranslateCase {
    const char* Text;
    const char* Expected;
    friend std::ostream& operator<<(std::ostream& out, const TTranslateCase& c) { return out << c.Text; }
};

class LanguageEntries : public ::testing::TestWithParam<TTranslateCase> {};

TEST_P(LanguageEntries, FollowTheReadingRules) {
    TLanguage language(parsingFixture);
    language.SetLanguage("Testish");
    EXPECT_EQ(language.Translate(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, LanguageEntries,
                         ::testing::Values(TTranslateCase{"Scan Now", "Jetzt scannen"},  // key and value trimmed
                                           TTranslateCase{"SCAN now", "Jetzt scannen"},  // keys match case-blind
                                           TTranslateCase{"Equation", "a = b"},          // the first "=" splits
                                           TTranslateCase{"Quoted", "\"in quotes\""},    // quotes are kept
                                           TTranslateCase{"Partial match", "Teilweise"}, // the first entry wins
                                           TTranslateCase{"Later", "continues the first Testish"},
                                           TTranslateCase{"; Indented", "; Indented"}, // comment lines are no entries
                                           TTranslateCase{"A line without an equals sign",
                                                          "A line without an equals sign"},
                                           TTranslateCase{"Blank", "Blank"}, // an empty translation falls back
                                           TTranslateCase{"Key", "Key"},     // other sections do not leak in
                                           TTranslateCase{"My printer", "My printer"})); // no key at all

TEST(LanguageParsing, RepeatedKeysStayVisibleInFileOrder) {
    TLanguage language(parsingFixture);
    const TLanguageSection& testish = language.Sections()[1];
    auto partial = std::count_if(testish.Entries.begin(), testish.Entries.end(),
                                 [](const TLanguageEntry& e) { return e.Key == "partial match"; });
    EXPECT_EQ(partial, 1);
    EXPECT_EQ(testish.Entries.back().Key, "Later");
}

TEST(LanguageSelection, EmptyCurrentLanguageTranslatesNothing) {
    TLanguage language(EmbeddedLanguageText());
    EXPECT_EQ(language.Translate("Scan Now"), "Scan Now");
    language.SetLanguage("English");
    EXPECT_EQ(language.Translate("Scan Now"), "Scan Now");
    EXPECT_EQ(language.Translate("Living-room TV"), "Living-room TV");
}

TEST(LanguageSelection, NameIsFoundCaseBlindAndKeptAsPassed) {
    TLanguage language(EmbeddedLanguageText());
    language.SetLanguage("japanese");
    EXPECT_EQ(language.CurrentLanguage(), "japanese");
    EXPECT_EQ(language.Translate("Scan Now"), "今すぐスキャン");
    EXPECT_EQ(language.Translate("Partial Match"), "部分一致");
}

TEST(LanguageSelection, UnknownOrEmptySectionRaisesAndKeepsTheCurrentLanguage) {
    TLanguage language(parsingFixture);
    language.SetLanguage("Testish");
    for (const char* name : {"Klingon", "Only comments", ""}) {
        try {
            language.SetLanguage(name);
            ADD_FAILURE() << "no error for " << name;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), std::string("No such language: ") + name);
        }
        EXPECT_EQ(language.CurrentLanguage(), "Testish");
        EXPECT_EQ(language.Translate("Scan Now"), "Jetzt scannen");
    }
}

TEST(LanguageSelection, TheCurrentNameAgainIsNoChange) {
    TLanguage language; // no sections at all, yet the empty start is current already
    EXPECT_NO_THROW(language.SetLanguage(""));
}

TEST(LanguageMenu, OffersExactlyEnglishAndJapaneseSorted) {
    std::vector<std::string> list{"left over"};
    TLanguage("[Zulu]\r\na = b\r\n[Japanese]\r\na = b\r\n[japanese]\r\na = b\r\n[English]\r\na = b\r\n")
        .GetLanguages(list);
    EXPECT_EQ(list, (std::vector<std::string>{"English", "Japanese"}));

    TLanguage(EmbeddedLanguageText()).GetLanguages(list);
    EXPECT_EQ(list, (std::vector<std::string>{"English", "Japanese"}));
}

TEST(LanguageMenu, LanguageTableIsTheBuiltInResource) {
    EXPECT_EQ(LanguageTable().Sections().size(), 41u);
    EXPECT_EQ(LanguageTable().CurrentLanguage(), "");
}

// The built-in resource.
class LanguageData : public ::testing::Test {
protected:
    TLanguage language_{EmbeddedLanguageText()};
    std::vector<std::string> keys_ = ReadFixtureLines("keys.txt");
};

TEST_F(LanguageData, IsUtf8WithByteOrderMarkAndCrLfLines) {
    std::string_view text = EmbeddedLanguageText();
    EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF"));
    EXPECT_TRUE(text.ends_with("\r\n"));
    for (size_t pos = text.find('\n'); pos != std::string_view::npos; pos = text.find('\n', pos + 1))
        ASSERT_EQ(text[pos - 1], '\r') << "bare LF at byte " << pos;
    EXPECT_TRUE(SplitLines(text)[0].ends_with("; Tarrowin language file"));
}

TEST_F(LanguageData, HoldsTheFortyOneSectionsInOrder) {
    EXPECT_EQ(SectionNames(language_), ReadFixtureLines("sections.txt"));
}

TEST_F(LanguageData, EverySectionTranslatesEveryKeyOnceInKeyOrder) {
    ASSERT_EQ(keys_.size(), 117u);
    for (const TLanguageSection& section : language_.Sections()) {
        std::vector<std::string> keys;
        for (const TLanguageEntry& entry : section.Entries) {
            keys.push_back(entry.Key);
            EXPECT_FALSE(entry.Value.empty()) << section.Name << ": " << entry.Key;
        }
        EXPECT_EQ(keys, keys_) << section.Name;
    }
}

TEST_F(LanguageData, TranslationsKeepPlaceholdersInOrderAndProductNames) {
    for (const TLanguageSection& section : language_.Sections()) {
        for (const TLanguageEntry& entry : section.Entries) {
            EXPECT_EQ(Placeholders(entry.Value), Placeholders(entry.Key)) << section.Name << ": " << entry.Key;
            for (const char* name : {"Tarrowin", "Hallwick"}) {
                if (entry.Key.find(name) != std::string::npos) {
                    EXPECT_NE(entry.Value.find(name), std::string::npos) << section.Name << ": " << entry.Key;
                }
            }
        }
    }
}

// A section copied from English and left untranslated would pass every check above.
TEST_F(LanguageData, EverySectionButEnglishIsMostlyTranslated) {
    for (const TLanguageSection& section : language_.Sections()) {
        if (section.Name == "English")
            continue;
        auto same = std::count_if(section.Entries.begin(), section.Entries.end(),
                                  [](const TLanguageEntry& e) { return e.Value == e.Key; });
        EXPECT_LT(static_cast<size_t>(same), keys_.size() / 4) << section.Name; // "OK", "RTT", "E-mail" may stay
    }
}

TEST_F(LanguageData, EnglishTranslatesEveryKeyToItself) {
    language_.SetLanguage("English");
    for (const std::string& key : keys_)
        EXPECT_EQ(language_.Translate(key), key);
}

TEST_F(LanguageData, GroupLabelsStandBeforeTheSameKeysInEverySection) {
    std::vector<std::string> lines;
    for (std::string_view line : SplitLines(EmbeddedLanguageText()))
        lines.emplace_back(line);
    for (auto [label, key] : {std::pair{";About dialog", "Version %s ="}, std::pair{";Email function", "E-mail ="}}) {
        auto labels = std::count(lines.begin(), lines.end(), label);
        EXPECT_EQ(labels, 41) << label;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i] == label) {
                EXPECT_TRUE(lines[i + 1].starts_with(key)) << label << " before " << lines[i + 1];
            }
        }
    }
}

std::vector<char32_t> CodePoints(std::string_view utf8) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        points.push_back(point);
        i += length;
    }
    return points;
}

bool HasLetterOf(std::string_view text, char32_t first, char32_t last) {
    std::vector<char32_t> points = CodePoints(text);
    return std::any_of(points.begin(), points.end(), [&](char32_t c) { return c >= first && c <= last; });
}

struct TScriptCase {
    const char* Section;
    char32_t First, Last; // the block of the section's script
    bool Required;        // every translated text holds a letter of it, or none may
    friend std::ostream& operator<<(std::ostream& out, const TScriptCase& c) { return out << c.Section; }
};

class LanguageScript : public ::testing::TestWithParam<TScriptCase> {};

// Serbian comes in two scripts that must not mix; the right-to-left sections must really be in their script.
TEST_P(LanguageScript, TextsAreWrittenInTheSectionsScript) {
    const TScriptCase& script = GetParam();
    const TLanguage& language = LanguageTable();
    auto section = std::find_if(language.Sections().begin(), language.Sections().end(),
                                [&](const TLanguageSection& s) { return s.Name == script.Section; });
    ASSERT_NE(section, language.Sections().end());
    for (const TLanguageEntry& entry : section->Entries) {
        if (entry.Value != entry.Key) {
            EXPECT_EQ(HasLetterOf(entry.Value, script.First, script.Last), script.Required) << entry.Value;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sections, LanguageScript,
                         ::testing::Values(TScriptCase{"Serbian (Latin)", 0x0400, 0x04FF, false},
                                           TScriptCase{"Serbian (Cyrillic)", 0x0400, 0x04FF, true},
                                           TScriptCase{"Croatian", 0x0400, 0x04FF, false},
                                           TScriptCase{"Persian", 0x0600, 0x06FF, true},
                                           TScriptCase{"Kurdish", 0x0600, 0x06FF, true},
                                           TScriptCase{"Arabic", 0x0600, 0x06FF, true},
                                           TScriptCase{"Hebrew", 0x0590, 0x05FF, true}));

struct TDirectionCase {
    const char* Name;
    bool RightToLeft;
    friend std::ostream& operator<<(std::ostream& out, const TDirectionCase& c) { return out << '"' << c.Name << '"'; }
};

class LanguageDirection : public ::testing::TestWithParam<TDirectionCase> {};

TEST_P(LanguageDirection, MirrorsOnlyTheRightToLeftSections) {
    EXPECT_EQ(IsRightToLeftLanguage(GetParam().Name), GetParam().RightToLeft);
}

// Names are compared as SetLanguage finds sections: case-blind, but whole.
INSTANTIATE_TEST_SUITE_P(Names, LanguageDirection,
                         ::testing::Values(TDirectionCase{"Persian", true}, TDirectionCase{"Hebrew", true},
                                           TDirectionCase{"Arabic", true}, TDirectionCase{"Kurdish", true},
                                           TDirectionCase{"arabic", true}, TDirectionCase{"HEBREW", true},
                                           TDirectionCase{"English", false}, TDirectionCase{"Japanese", false},
                                           TDirectionCase{"Turkish", false}, TDirectionCase{"Azerbaijani", false},
                                           TDirectionCase{"", false}, TDirectionCase{"Arabic ", false}));

TEST(LanguageDirection, OnlyFourSectionsOfTheTableAreRightToLeft) {
    int rightToLeft = 0;
    for (const TLanguageSection& section : LanguageTable().Sections())
        rightToLeft += IsRightToLeftLanguage(section.Name);
    EXPECT_EQ(rightToLeft, 4);
}

struct TLocaleCase {
    const char* Locale;
    const char* Language;
    friend std::ostream& operator<<(std::ostream& out, const TLocaleCase& c) { return out << '"' << c.Locale << '"'; }
};

class LocaleLanguage : public ::testing::TestWithParam<TLocaleCase> {};

TEST_P(LocaleLanguage, ChoosesTheSectionByPrimaryLanguage) {
    EXPECT_EQ(LanguageNameForId(LocaleLanguageId(GetParam().Locale)), GetParam().Language) << GetParam().Locale;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LocaleLanguage,
    ::testing::Values(
        TLocaleCase{"", "English"}, TLocaleCase{"C", "English"}, TLocaleCase{"POSIX", "English"},
        TLocaleCase{"C.UTF-8", "English"}, TLocaleCase{"en_GB.UTF-8", "English"}, TLocaleCase{"de_DE.UTF-8", "German"},
        TLocaleCase{"de_AT", "German"}, TLocaleCase{"ja_JP.UTF-8", "Japanese"}, TLocaleCase{"ja", "Japanese"},
        TLocaleCase{"pt_BR.UTF-8", "Portuguese (Brazil)"}, TLocaleCase{"pt_PT", "Portuguese (Brazil)"},
        TLocaleCase{"zh_TW.UTF-8", "Chinese (Traditional)"}, TLocaleCase{"zh_CN.GB18030", "Chinese (Simplified)"},
        TLocaleCase{"zh_HK.UTF-8", "Chinese (Simplified)"}, TLocaleCase{"zh_SG", "Chinese (Simplified)"},
        TLocaleCase{"zh", "Chinese (Simplified)"}, TLocaleCase{"zh_XX", "Chinese (Simplified)"},
        TLocaleCase{"hr_HR.UTF-8", "Croatian"}, TLocaleCase{"sr_RS@latin", "Croatian"},
        TLocaleCase{"sr_RS", "Croatian"}, TLocaleCase{"nb_NO.UTF-8", "Norwegian"}, TLocaleCase{"nn_NO", "Norwegian"},
        TLocaleCase{"he_IL", "Hebrew"}, TLocaleCase{"fa_IR", "Persian"}, TLocaleCase{"ar_EG.UTF-8", "Arabic"},
        TLocaleCase{"ca_ES@valencia", "Catalan"}, TLocaleCase{"es-MX", "Spanish"}, TLocaleCase{"FR_fr", "French"},
        TLocaleCase{"uk_UA", "Ukrainian"}, TLocaleCase{"vi_VN", "Vietnamese"}, TLocaleCase{"lt_LT", "Lithuanian"},
        // never chosen from the locale
        TLocaleCase{"ku_TR", "English"}, TLocaleCase{"az_AZ", "English"}, TLocaleCase{"tl_PH", "English"},
        TLocaleCase{"fil_PH", "English"}, TLocaleCase{"is_IS", "English"}));

TEST(LocaleLanguageId, UsesTheWindowsNumbers) {
    EXPECT_EQ(LocaleLanguageId(""), 1033u);
    EXPECT_EQ(LocaleLanguageId("en_US.UTF-8"), 1033u);
    EXPECT_EQ(LocaleLanguageId("ja_JP"), 0x0411u);
    EXPECT_EQ(LocaleLanguageId("zh_TW"), 0x0404u);
    EXPECT_EQ(LocaleLanguageId("zh_CN"), 0x0804u);
    EXPECT_EQ(LocaleLanguageId("zh_HK"), 0x0C04u);
    EXPECT_EQ(LocaleLanguageId("zh_SG"), 0x1004u);
    // the sort bits of a full locale identifier are no part of the sublanguage
    EXPECT_EQ(LanguageNameForId(0x00010404), "Chinese (Traditional)");
}

TEST(DefaultLanguageName, ReadsLcAllThenLcMessagesThenLang) {
    {
        EnvGuard all("LC_ALL", "ja_JP.UTF-8"), messages("LC_MESSAGES", "fr_FR"), lang("LANG", "de_DE");
        EXPECT_EQ(DefaultLanguageName(), "Japanese");
    }
    {
        EnvGuard all("LC_ALL", ""), messages("LC_MESSAGES", "fr_FR"), lang("LANG", "de_DE");
        EXPECT_EQ(DefaultLanguageName(), "French");
    }
    {
        EnvGuard all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(DefaultLanguageName(), "German");
    }
    {
        EnvGuard all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", nullptr);
        EXPECT_EQ(DefaultLanguageName(), "English");
    }
}

} // namespace
