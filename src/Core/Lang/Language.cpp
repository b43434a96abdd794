#include "Core/Lang/Language.h"

std::string TLanguage::Translate(std::string_view text) const { return std::string(text); }

TLanguage& LanguageTable() {
    static TLanguage table;
    return table;
}
