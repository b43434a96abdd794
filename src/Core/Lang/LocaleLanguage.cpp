// The initial language from the POSIX locale, through the Windows language numbers that decide it.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "Core/Common/Text.h"
#include "Core/Lang/Language.h"

namespace {

constexpr unsigned englishUnitedStates = 1033;
constexpr unsigned primaryMask = 0x3FF;
constexpr unsigned sublanguageShift = 10;
constexpr unsigned sublanguageMask = 0x3F;
constexpr unsigned defaultSublanguage = 1;
constexpr unsigned primaryChinese = 4;
constexpr unsigned chineseTraditional = 1;

// ISO 639 language codes onto Windows primary language numbers; codes not listed read as English.
constexpr std::array<std::pair<std::string_view, unsigned>, 44> primaryByCode{{
    {"ar", 1},  {"bg", 2},  {"ca", 3},  {"zh", 4},  {"cs", 5},  {"da", 6},   {"de", 7},    {"el", 8},   {"en", 9},
    {"es", 10}, {"fi", 11}, {"fr", 12}, {"he", 13}, {"iw", 13}, {"hu", 14},  {"it", 16},   {"ja", 17},  {"ko", 18},
    {"nl", 19}, {"nb", 20}, {"nn", 20}, {"no", 20}, {"pl", 21}, {"pt", 22},  {"ro", 24},   {"ru", 25},  {"hr", 26},
    {"sr", 26}, {"bs", 26}, {"sk", 27}, {"sv", 29}, {"th", 30}, {"tr", 31},  {"id", 33},   {"in", 33},  {"uk", 34},
    {"sl", 36}, {"lt", 39}, {"fa", 41}, {"vi", 42}, {"az", 44}, {"tl", 100}, {"fil", 100}, {"ku", 146},
}};

struct TSublanguage {
    std::string_view Language;
    std::string_view Country;
    unsigned Number;
};

// Only where the sublanguage changes the section: Chinese is Traditional for Taiwan alone. An empty country
// stands for every country the language has no row for.
constexpr std::array<TSublanguage, 6> sublanguages{{
    {"zh", "TW", 1},
    {"zh", "CN", 2},
    {"zh", "HK", 3},
    {"zh", "SG", 4},
    {"zh", "MO", 5},
    {"zh", "", 2},
}};

constexpr std::array<std::pair<unsigned, std::string_view>, 33> sectionByPrimary{{
    {1, "Arabic"},      {2, "Bulgarian"},  {3, "Catalan"},     {4, "Chinese (Simplified)"},
    {5, "Czech"},       {6, "Danish"},     {7, "German"},      {8, "Greek"},
    {10, "Spanish"},    {11, "Finnish"},   {12, "French"},     {13, "Hebrew"},
    {14, "Hungarian"},  {16, "Italian"},   {17, "Japanese"},   {18, "Korean"},
    {19, "Dutch"},      {20, "Norwegian"}, {21, "Polish"},     {22, "Portuguese (Brazil)"},
    {24, "Romanian"},   {25, "Russian"},   {26, "Croatian"},   {27, "Slovak"},
    {29, "Swedish"},    {30, "Thai"},      {31, "Turkish"},    {33, "Indonesian"},
    {34, "Ukrainian"},  {36, "Slovenian"}, {39, "Lithuanian"}, {41, "Persian"},
    {42, "Vietnamese"},
}};

// "ll_CC.codeset@modifier" (or "ll-CC") into its language and country parts.
std::pair<std::string, std::string> SplitLocale(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    size_t separator = locale.find_first_of("_-");
    if (separator == std::string_view::npos)
        return {LowerAscii(locale), ""};
    return {LowerAscii(locale.substr(0, separator)), UpperAscii(locale.substr(separator + 1))};
}

unsigned Sublanguage(std::string_view language, std::string_view country) {
    for (const TSublanguage& entry : sublanguages)
        if (entry.Language == language && (entry.Country == country || entry.Country.empty()))
            return entry.Number;
    return defaultSublanguage;
}

const char* ProcessLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "";
}

} // namespace

unsigned LocaleLanguageId(std::string_view locale) {
    auto [language, country] = SplitLocale(locale);
    // Captured by name: clang before 16 cannot capture a structured binding.
    auto primary = std::find_if(primaryByCode.begin(), primaryByCode.end(),
                                [&language = language](const auto& entry) { return entry.first == language; });
    if (primary == primaryByCode.end())
        return englishUnitedStates;
    return (Sublanguage(language, country) << sublanguageShift) | primary->second;
}

std::string LanguageNameForId(unsigned languageId) {
    unsigned primary = languageId & primaryMask;
    if (primary == primaryChinese && ((languageId >> sublanguageShift) & sublanguageMask) == chineseTraditional)
        return "Chinese (Traditional)";
    for (const auto& [number, name] : sectionByPrimary)
        if (number == primary)
            return std::string(name);
    return "English";
}

std::string DefaultLanguageName() {
    return LanguageNameForId(LocaleLanguageId(ProcessLocale()));
}
