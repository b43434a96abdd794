#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Texts from devices and files arrive in unknown encodings but leave the program (comments, exports) as UTF-8.

// Length of the well-formed UTF-8 sequence at the start of the text and its code point; 0 when there is none
// (a broken sequence, an overlong form, a surrogate, a value above U+10FFFF or an empty text).
std::size_t DecodeUtf8(std::string_view text, char32_t& code);
bool IsValidUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t code);
// Each byte is the code point of the same value.
std::string Latin1ToUtf8(std::string_view text);
// Windows-1252, with its five unassigned bytes kept as the C1 controls of Latin-1.
std::string Windows1252ToUtf8(std::string_view text);
// Well-formed sequences stay; every other byte is read as Latin-1.
std::string RepairUtf8AsLatin1(std::string_view text);
