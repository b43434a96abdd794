// The custom range text of the settings window. Exception is the documented answer to bad text;
// anything else escaping is a fault.
#include "Core/Common/Exception.h"
#include "Core/Net/IPv4Range.h"
#include "FuzzCheck.h"

namespace {

bool SameItems(const TIPv4PairList& a, const TIPv4PairList& b) {
    if (a.Size() != b.Size())
        return false;
    for (std::size_t i = 0; i < a.Size(); ++i)
        if (a.Items()[i].First != b.Items()[i].First || a.Items()[i].Last != b.Items()[i].Last)
            return false;
    return true;
}

// What the program writes out it must read back unchanged.
void CheckRoundTrip(const TIPv4PairList& list) {
    for (const std::string& text : {list.ToText(), list.ToDisplayText()}) {
        TIPv4PairList again;
        again.Parse(text);
        FUZZ_CHECK(SameItems(list, again));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = FuzzText(data, size);
    TIPv4PairList list;
    try {
        list.Parse(text);
    } catch (const Exception&) {
        return 0;
    }
    FUZZ_CHECK(list.Empty() == text.empty());
    for (const TIPv4PairItem& item : list.Items())
        FUZZ_CHECK(item.First != 0 && item.First <= item.Last);
    CheckRoundTrip(list);
    try {
        ValidateCustomRanges(text);
    } catch (const Exception&) {
    }
    return 0;
}
