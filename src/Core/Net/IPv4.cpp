#include "Core/Net/IPv4.h"

#include <charconv>
#include <optional>

namespace {

// A part is a signed whole number in the range 0..255; anything else is unreadable.
std::optional<std::uint32_t> ParseOctet(std::string_view part) {
    if (part.empty())
        return std::nullopt;
    if (part.front() == '+')
        part.remove_prefix(1);
    int value = 0;
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (error != std::errc() || end != part.data() + part.size() || value < 0 || value > 255)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

} // namespace

std::string IPv4ToStr(TIPv4 hostOrder) {
    return std::to_string(hostOrder >> 24) + '.' + std::to_string((hostOrder >> 16) & 0xFF) + '.' +
           std::to_string((hostOrder >> 8) & 0xFF) + '.' + std::to_string(hostOrder & 0xFF);
}

TIPv4 StrToIPv4(std::string_view text) {
    TIPv4 result = 0;
    for (int part = 1; part <= 4; ++part) {
        std::string_view piece = text;
        if (part < 4) {
            size_t dot = text.find('.');
            if (dot == std::string_view::npos)
                return 0;
            piece = text.substr(0, dot);
            text.remove_prefix(dot + 1);
        }
        auto octet = ParseOctet(piece);
        if (!octet)
            return 0;
        result = (result << 8) | *octet;
    }
    return result;
}

int CompareIPv4Text(std::string_view a, std::string_view b) {
    TIPv4 x = StrToIPv4(a);
    TIPv4 y = StrToIPv4(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}
