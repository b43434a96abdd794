#include "Core/Vendor/VendorTable.h"

#include <charconv>
#include <optional>

#include "Core/Common/TextLines.h"

namespace {

constexpr size_t prefixLength = 6;
constexpr size_t nameStart = prefixLength + 1;

std::optional<std::uint32_t> PrefixValue(std::string_view line) {
    if (line.size() < prefixLength)
        return std::nullopt;
    std::uint32_t value = 0;
    const char* end = line.data() + prefixLength;
    auto [stop, error] = std::from_chars(line.data(), end, value, 16);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::uint32_t PrefixValue(const THWAddr& addr) {
    return (static_cast<std::uint32_t>(addr[0]) << 16) | (static_cast<std::uint32_t>(addr[1]) << 8) | addr[2];
}

} // namespace

void TVendorTable::LoadVendorTable() {
    LoadVendorTable(EmbeddedVendorText());
}

void TVendorTable::LoadVendorTable(std::string_view text) {
    text_.assign(text);
    names_.clear();
    std::vector<std::string_view> lines = SplitLines(text_);
    names_.reserve(lines.size());
    for (std::string_view line : lines) {
        std::optional<std::uint32_t> prefix = PrefixValue(line);
        if (!prefix)
            continue;
        TNameSpan name{0, 0};
        if (line.size() > nameStart) {
            name.Offset = static_cast<std::uint32_t>(line.data() - text_.data() + nameStart);
            name.Length = static_cast<std::uint32_t>(line.size() - nameStart);
        }
        names_.try_emplace(*prefix, name);
    }
}

std::string TVendorTable::LookupVendor(const THWAddr& addr) const {
    auto found = names_.find(PrefixValue(addr));
    return found == names_.end() ? std::string() : text_.substr(found->second.Offset, found->second.Length);
}
