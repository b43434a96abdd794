#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The language table built into the program: UTF-8 INI text with one section per language.
std::string_view EmbeddedLanguageText();

struct TLanguageEntry {
    std::string Key;   // the English text
    std::string Value; // its translation
};

struct TLanguageSection {
    std::string Name;
    std::vector<TLanguageEntry> Entries; // in file order, repeated keys included
};

// The language table: turns English texts of the interface into the current language.
class TLanguage {
public:
    TLanguage() = default;
    explicit TLanguage(std::string_view text) { Load(text); }

    // Replaces the table by the sections of an INI text; the current language becomes empty.
    void Load(std::string_view text);

    // The current section's translation of the text, or the text itself when the section or the entry is
    // missing (always while the current language is empty).
    std::string Translate(std::string_view text) const;
    // The languages the Language menu offers.
    void GetLanguages(std::vector<std::string>& list) const;
    // Makes a section current; raises "No such language: %s" when no section of that name has an entry.
    void SetLanguage(const std::string& name);
    const std::string& CurrentLanguage() const { return currentLanguage_; }

    const std::vector<TLanguageSection>& Sections() const { return sections_; }

private:
    // ASCII letters compared without regard to case, on views, so lookups allocate nothing.
    struct TFoldedHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const;
    };
    struct TFoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    // Maps a name to the index of its first occurrence.
    using TFoldedIndex = std::unordered_map<std::string, size_t, TFoldedHash, TFoldedEqual>;

    void AddEntry(size_t section, std::string key, std::string value);
    const TLanguageSection* FindSection(std::string_view name) const;

    static constexpr size_t noSection = static_cast<size_t>(-1);

    std::vector<TLanguageSection> sections_;
    TFoldedIndex sectionIndex_;
    std::vector<TFoldedIndex> keyIndex_; // one per section
    std::string currentLanguage_;
    size_t currentSection_ = noSection;
};

TLanguage& LanguageTable();

// Whether a section's language is written right to left, so that the interface mirrors its layout. The name
// is compared case-blind, as SetLanguage finds sections.
bool IsRightToLeftLanguage(std::string_view name);

// The section name for the user's locale (LC_ALL, then LC_MESSAGES, then LANG); English when none is set.
std::string DefaultLanguageName();
// The Windows-style language identifier of a POSIX locale name ("pt_BR.UTF-8", "sr_RS@latin"): the primary
// language number in the low 10 bits and the sublanguage number in the next 6; 1033 (English, United
// States) for an empty, "C" or "POSIX" locale and for a language the table below does not know.
unsigned LocaleLanguageId(std::string_view locale);
// The section chosen for a language identifier, by its primary language number.
std::string LanguageNameForId(unsigned languageId);
