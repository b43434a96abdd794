// The body of a device's root page, as much of it as the fetch keeps.
#include "Core/Net/PageTitle.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string title;
    if (!ExtractPageTitle(FuzzText(data, size), title)) {
        FUZZ_CHECK(title.empty());
        return 0;
    }
    FUZZ_CHECK(title.size() <= 3 * size); // line ends double at most, Windows-1252 bytes triple
    FUZZ_CHECK(IsUtf8ByIconv(title));
    FUZZ_CHECK(title.empty() ||
               (static_cast<std::uint8_t>(title.front()) > 32 && static_cast<std::uint8_t>(title.back()) > 32));
    // Every line end is CR LF.
    for (std::size_t i = 0; i < title.size(); ++i) {
        if (title[i] == '\r')
            FUZZ_CHECK(i + 1 < title.size() && title[i + 1] == '\n');
        if (title[i] == '\n')
            FUZZ_CHECK(i > 0 && title[i - 1] == '\r');
    }
    return 0;
}
