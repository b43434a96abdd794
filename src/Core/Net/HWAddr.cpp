#include "Core/Net/HWAddr.h"

#include "Core/Common/Text.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<char> macFormat{'-'};

} // namespace

std::string HWAddrToStr(const THWAddr& addr, char delimiter) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(17);
    for (size_t i = 0; i < addr.size(); ++i) {
        if (i > 0 && delimiter != '\0')
            text += delimiter;
        text += digits[addr[i] >> 4];
        text += digits[addr[i] & 0x0F];
    }
    return text;
}

THWAddr StrToHWAddr(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text)
        if (c != '-' && c != ':')
            digits += c;
    THWAddr addr{};
    if (digits.size() != 12)
        return addr;
    for (size_t i = 0; i < addr.size(); ++i) {
        int high = HexDigitValue(digits[2 * i]);
        int low = HexDigitValue(digits[2 * i + 1]);
        addr[i] = (high < 0 || low < 0) ? 0 : static_cast<std::uint8_t>(high * 16 + low);
    }
    return addr;
}

bool SameHWAddr(const THWAddr& a, const THWAddr& b) { return a == b; }

bool IsZeroHWAddr(const THWAddr& addr) {
    return std::all_of(addr.begin(), addr.end(), [](std::uint8_t b) { return b == 0x00; });
}

bool IsBroadcastHWAddr(const THWAddr& addr) {
    return std::all_of(addr.begin(), addr.end(), [](std::uint8_t b) { return b == 0xFF; });
}

char CurrentMacFormat() { return macFormat.load(); }

void SetMacFormat(char delimiter) { macFormat = (delimiter == '-' || delimiter == ':') ? delimiter : '\0'; }

std::string HWAddrToDisplay(const THWAddr& addr) { return HWAddrToStr(addr, CurrentMacFormat()); }
