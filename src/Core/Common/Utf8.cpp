#include "Core/Common/Utf8.h"

std::size_t DecodeUtf8(std::string_view text, char32_t& code) {
    if (text.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || length > text.size())
        return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3F);
    }
    static constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < shortest[length] || surrogate || code > 0x10FFFF ? 0 : length;
}

bool IsValidUtf8(std::string_view text) {
    while (!text.empty()) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, code);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size() * 2);
    for (const char c : text)
        AppendUtf8(result, static_cast<unsigned char>(c));
    return result;
}

std::string Windows1252ToUtf8(std::string_view text) {
    static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string result;
    result.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(result, byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : byte);
    }
    return result;
}

std::string RepairUtf8AsLatin1(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        char32_t code = 0;
        std::size_t length = DecodeUtf8(text, code);
        if (length == 0) {
            AppendUtf8(result, static_cast<unsigned char>(text[0]));
            length = 1;
        } else {
            result.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return result;
}
