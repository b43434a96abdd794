#pragma once
#include "Core/Net/IfItem.h"
#include "Core/Net/IPv4.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An inclusive custom range in host order; a single address has First == Last.
struct TIPv4PairItem {
    TIPv4 First = 0;
    TIPv4 Last = 0;

    // Raises Exception("<text> is not a valid range", translated) for unreadable text.
    void Parse(std::string_view text);
    std::string ToText() const;
    std::uint32_t Count() const;
};

// The custom ranges in the order the user wrote them; overlaps are kept.
class TIPv4PairList {
public:
    // Replaces the content. On an error the ranges parsed before the bad one stay.
    void Parse(std::string_view text);
    std::string ToText() const;
    std::string ToDisplayText() const;

    const std::vector<TIPv4PairItem>& Items() const { return items_; }
    bool Empty() const { return items_.empty(); }
    size_t Size() const { return items_.size(); }
    void Clear() { items_.clear(); }

private:
    std::vector<TIPv4PairItem> items_;
};

// The largest range the settings window accepts.
constexpr std::uint32_t MaxCustomRangeCount = 65535;

// Checks a non-empty custom range text as the settings window does before accepting it;
// raises Exception with the translated message of the first problem found.
void ValidateCustomRanges(std::string_view text);

// The addresses one scan probes, in queue order: the custom ranges when there are any,
// otherwise the adapter's block; addresses ending in .0 or .255 are left out.
std::vector<TIPv4> EnumerateScanAddresses(const TIPv4PairList& ranges, const TIfItem& adapter);
