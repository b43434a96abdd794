#include "Core/Lang/Language.h"

#include <algorithm>

#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Common/TextLines.h"

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSectionHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

} // namespace

size_t TLanguage::TFoldedHash::operator()(std::string_view text) const {
    size_t hash = 14695981039346656037ull; // FNV-1a
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(FoldAscii(c))) * 1099511628211ull;
    return hash;
}

bool TLanguage::TFoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return SameTextAscii(a, b);
}

void TLanguage::Load(std::string_view text) {
    sections_.clear();
    sectionIndex_.clear();
    keyIndex_.clear();
    currentLanguage_.clear();
    currentSection_ = noSection;
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());

    size_t section = noSection; // lines before the first header belong to no section
    for (std::string_view rawLine : SplitLines(text)) {
        std::string line = Trim(rawLine);
        if (line.empty() || line.front() == ';')
            continue;
        if (IsSectionHeader(line)) {
            // A repeated header continues the section it repeats, so its first entries still win.
            std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
            auto [found, added] = sectionIndex_.try_emplace(name, sections_.size());
            if (added) {
                sections_.push_back({name, {}});
                keyIndex_.emplace_back();
            }
            section = found->second;
            continue;
        }
        size_t equals = line.find('=');
        if (section == noSection || equals == std::string::npos)
            continue;
        std::string_view entry(line);
        AddEntry(section, Trim(entry.substr(0, equals)), Trim(entry.substr(equals + 1)));
    }
}

void TLanguage::AddEntry(size_t section, std::string key, std::string value) {
    if (key.empty())
        return;
    std::vector<TLanguageEntry>& entries = sections_[section].Entries;
    keyIndex_[section].try_emplace(key, entries.size());
    entries.push_back({std::move(key), std::move(value)});
}

std::string TLanguage::Translate(std::string_view text) const {
    if (currentSection_ == noSection)
        return std::string(text);
    const TFoldedIndex& keys = keyIndex_[currentSection_];
    auto found = keys.find(text);
    if (found == keys.end())
        return std::string(text);
    const std::string& translation = sections_[currentSection_].Entries[found->second].Value;
    // An empty translation is a translator's gap, not a wish to blank the caption.
    return translation.empty() ? std::string(text) : translation;
}

void TLanguage::GetLanguages(std::vector<std::string>& list) const {
    list.clear();
    for (const TLanguageSection& section : sections_)
        if (section.Name == "English" || section.Name == "Japanese")
            list.push_back(section.Name);
    std::sort(list.begin(), list.end(),
              [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); });
}

const TLanguageSection* TLanguage::FindSection(std::string_view name) const {
    auto found = sectionIndex_.find(name);
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

void TLanguage::SetLanguage(const std::string& name) {
    if (name == currentLanguage_)
        return;
    const TLanguageSection* section = FindSection(name);
    if (section == nullptr || section->Entries.empty())
        throw Exception(FormatText("No such language: %s", {name}));
    currentLanguage_ = name;
    currentSection_ = static_cast<size_t>(section - sections_.data());
}

bool IsRightToLeftLanguage(std::string_view name) {
    // Kurdish is the Sorani section, written in Arabic script.
    for (std::string_view rightToLeft : {"Arabic", "Hebrew", "Kurdish", "Persian"})
        if (SameTextAscii(name, rightToLeft))
            return true;
    return false;
}

TLanguage& LanguageTable() {
    static TLanguage table(EmbeddedLanguageText());
    return table;
}
