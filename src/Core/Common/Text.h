#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

// Removes characters with codes up to 32 at both ends.
std::string Trim(std::string_view text);
// Folds ASCII letters only; other bytes (UTF-8 included) stay as they are.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
// Replaces each %s, %d or %u of the format, in order, by the next argument; %% gives one %.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);
// The value of a hexadecimal digit in either case, -1 for any other character.
int HexDigitValue(char c);
// Replaces every occurrence of what by with.
std::string ReplaceAll(std::string text, std::string_view what, std::string_view with);
