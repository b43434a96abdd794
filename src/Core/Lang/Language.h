#pragma once
#include <string>
#include <string_view>

// The language table: turns English texts of the interface into the current language.
class TLanguage {
public:
    std::string Translate(std::string_view text) const;
};

TLanguage& LanguageTable();
