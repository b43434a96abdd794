#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Core/Net/HWAddr.h"

// The vendor text built into the program: one line "PREFIX Name" per IEEE MA-L assignment, CR LF after each.
std::string_view EmbeddedVendorText();

// Names the maker of a hardware address by its first three bytes.
class TVendorTable {
public:
    // Builds the table from the built-in vendor text.
    void LoadVendorTable();
    // Builds the table from text in the same line format: characters 1 to 6 are the prefix, 8 to the end
    // the name as written. Where a prefix repeats (in any letter case) its first line counts.
    void LoadVendorTable(std::string_view text);

    // The vendor name, or an empty text for a prefix the table lacks.
    std::string LookupVendor(const THWAddr& addr) const;

    size_t Count() const { return names_.size(); }

private:
    struct TNameSpan {
        std::uint32_t Offset;
        std::uint32_t Length;
    };

    // The text is kept whole and names point into it: a megabyte of small strings would dominate the load.
    std::string text_;
    // Keyed by the prefix's value, which makes the match blind to letter case; a line whose prefix is no
    // hexadecimal number could never match and is left out.
    std::unordered_map<std::uint32_t, TNameSpan> names_;
};
