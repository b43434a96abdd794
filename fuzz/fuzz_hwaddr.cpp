// MAC address texts from imports, settings and the user.
#include "Core/Net/HWAddr.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const THWAddr addr = StrToHWAddr(FuzzText(data, size));
    // Each of the three written forms reads back as the same address.
    for (char delimiter : {'\0', '-', ':'}) {
        const std::string text = HWAddrToStr(addr, delimiter);
        FUZZ_CHECK(text.size() == (delimiter == '\0' ? 12u : 17u));
        FUZZ_CHECK(SameHWAddr(StrToHWAddr(text), addr));
    }
    return 0;
}
