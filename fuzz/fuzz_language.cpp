// A language file: INI text, possibly with a byte-order mark, from the program's folder.
#include "Core/Common/Exception.h"
#include "Core/Lang/Language.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TLanguage language;
    language.Load(FuzzText(data, size));
    std::vector<std::string> offered;
    language.GetLanguages(offered);
    for (const TLanguageSection& section : language.Sections()) {
        try {
            language.SetLanguage(section.Name);
        } catch (const Exception&) {
            FUZZ_CHECK(section.Entries.empty());
            continue;
        }
        // A key that is in the section never translates to an empty caption.
        for (const TLanguageEntry& entry : section.Entries)
            FUZZ_CHECK(!language.Translate(entry.Key).empty());
    }
    return 0;
}
