#include "Core/Common/Text.h"

#include <algorithm>

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

std::string Trim(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::string UpperAscii(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), FoldUpper);
    return result;
}

std::string LowerAscii(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), FoldLower);
    return result;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldUpper(x) == FoldUpper(y);
           });
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string result;
    result.reserve(format.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            char spec = format[i + 1];
            if (spec == '%') {
                result += '%';
                ++i;
                continue;
            }
            if (spec == 's' || spec == 'd' || spec == 'u') {
                if (next != args.end())
                    result += *next++;
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
    if (what.empty())
        return text;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + with.size()))
        text.replace(pos, what.size(), with);
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
