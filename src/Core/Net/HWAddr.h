#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Six bytes in transmission order; bytes 0 to 2 are the vendor prefix.
using THWAddr = std::array<std::uint8_t, 6>;

// delimiter: '\0' for none, otherwise the character put between the bytes.
std::string HWAddrToStr(const THWAddr& addr, char delimiter);
// Accepts the three text forms in either case; unreadable text gives the all-zero address.
THWAddr StrToHWAddr(std::string_view text);
bool SameHWAddr(const THWAddr& a, const THWAddr& b);
bool IsZeroHWAddr(const THWAddr& addr);
bool IsBroadcastHWAddr(const THWAddr& addr);

// The program-wide display format: '\0', '-' or ':'. Starts as '-'.
char CurrentMacFormat();
// '-' and ':' select those forms; anything else the form without separator.
void SetMacFormat(char delimiter);
// The address in the current display format.
std::string HWAddrToDisplay(const THWAddr& addr);
