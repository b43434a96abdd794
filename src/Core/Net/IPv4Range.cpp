#include "Core/Net/IPv4Range.h"

#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Lang/Language.h"

#include <algorithm>
#include <bit>

namespace {

[[noreturn]] void ThrowInvalidRange(std::string_view text) {
    throw Exception(FormatText(LanguageTable().Translate("%s is not a valid range"), {text}));
}

// Splits at commas; a segment opening with a double quote runs to its closing quote
// (a doubled quote inside stands for one) and loses the quotes.
std::vector<std::string> SplitSegments(std::string_view text) {
    std::vector<std::string> segments;
    size_t i = 0;
    while (true) {
        std::string segment;
        if (i < text.size() && text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        segment += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                segment += text[i++];
            }
        }
        while (i < text.size() && text[i] != ',')
            segment += text[i++];
        segments.push_back(std::move(segment));
        if (i >= text.size())
            break;
        ++i; // the comma; a trailing one yields a final empty segment
    }
    return segments;
}

bool IsScannable(TIPv4 address) {
    std::uint32_t last = address & 0xFF;
    return last != 0 && last != 255;
}

void AppendRange(std::vector<TIPv4>& out, TIPv4 first, TIPv4 last) {
    if (last < first)
        return;
    for (std::uint64_t a = first; a <= last; ++a)
        if (IsScannable(static_cast<TIPv4>(a)))
            out.push_back(static_cast<TIPv4>(a));
}

} // namespace

void TIPv4PairItem::Parse(std::string_view text) {
    size_t dash = text.find('-');
    std::string_view left = dash == std::string_view::npos ? text : text.substr(0, dash);
    std::string_view right = dash == std::string_view::npos ? text : text.substr(dash + 1);
    TIPv4 a = StrToIPv4(Trim(left));
    TIPv4 b = StrToIPv4(Trim(right));
    if (a == 0 || b == 0)
        ThrowInvalidRange(text);
    First = std::min(a, b);
    Last = std::max(a, b);
}

std::string TIPv4PairItem::ToText() const {
    return First == Last ? IPv4ToStr(First) : IPv4ToStr(First) + "-" + IPv4ToStr(Last);
}

std::uint32_t TIPv4PairItem::Count() const { return Last < First ? 0 : Last - First + 1; }

void TIPv4PairList::Parse(std::string_view text) {
    items_.clear();
    if (text.empty())
        return;
    for (const std::string& segment : SplitSegments(text)) {
        TIPv4PairItem item;
        item.Parse(segment);
        items_.push_back(item);
    }
}

std::string TIPv4PairList::ToText() const {
    std::string text;
    for (const TIPv4PairItem& item : items_) {
        if (!text.empty())
            text += ',';
        text += item.ToText();
    }
    return text;
}

std::string TIPv4PairList::ToDisplayText() const {
    return Trim(ReplaceAll(ReplaceAll(ToText(), "-", " - "), ",", ", "));
}

void ValidateCustomRanges(std::string_view text) {
    TIPv4PairList list;
    list.Parse(text);
    if (list.Empty())
        throw Exception(LanguageTable().Translate("No valid custom IP address ranges found"));
    for (const TIPv4PairItem& item : list.Items())
        if (item.Count() > MaxCustomRangeCount)
            throw Exception(LanguageTable().Translate("Too large IP address range entered") + ": " + item.ToText());
}

std::vector<TIPv4> EnumerateScanAddresses(const TIPv4PairList& ranges, const TIfItem& adapter) {
    std::vector<TIPv4> addresses;
    if (!ranges.Empty()) {
        for (const TIPv4PairItem& item : ranges.Items())
            AppendRange(addresses, item.First, item.Last);
        return addresses;
    }
    int ones = std::popcount(adapter.Mask);
    std::uint64_t blockSize = ones == 0 ? 1 : (std::uint64_t{1} << (32 - ones));
    std::uint64_t first = SwapIPv4(adapter.Address & adapter.Mask);
    std::uint64_t last = std::min<std::uint64_t>(first + blockSize - 1, 0xFFFFFFFFu);
    AppendRange(addresses, static_cast<TIPv4>(first), static_cast<TIPv4>(last));
    return addresses;
}
