#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// IPv4 values are host order (first octet most significant) unless a name says otherwise;
// only adapter records and the default gateway carry network order.
using TIPv4 = std::uint32_t;

constexpr TIPv4 SwapIPv4(TIPv4 value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

std::string IPv4ToStr(TIPv4 hostOrder);
// 0 when the text is not four whole numbers from 0 to 255 separated by dots.
TIPv4 StrToIPv4(std::string_view text);
// Orders address texts by their numeric value: negative, zero or positive.
int CompareIPv4Text(std::string_view a, std::string_view b);
