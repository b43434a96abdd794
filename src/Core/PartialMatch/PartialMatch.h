#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Core/Common/OwnedItems.h"
#include "Core/Net/HWAddr.h"

// The vendor part of a hardware address: its first three bytes.
using THWPrefix = std::array<std::uint8_t, 3>;

// A text of hexadecimal digits (either case), "-" and ":" holding exactly six digits: AABBCC, AA:BB:CC,
// aa-bb-cc, AABB:CC. Blanks and any other characters are refused.
bool IsValidPrefixText(std::string_view text);

// The prefix with the delimiter between the bytes ('\0' for none), upper-case hexadecimal.
std::string PrefixToStr(const THWPrefix& prefix, char delimiter);

// A rule: devices whose hardware address starts with Prefix are approved with Comment.
class THWPartItem {
public:
    // Raises Exception for text that IsValidPrefixText refuses, so a typing slip can never become a rule
    // for some other prefix.
    explicit THWPartItem(std::string_view prefixText);

    // The prefix in the current display format, as the settings window lists it.
    std::string ToString() const;
    bool Matches(const THWAddr& addr) const;

    THWPrefix Prefix{};
    std::string Comment;

private:
    friend class THWPartList;
    // HWADDR of the rule's PARTIAL row: normally "00:1A:2B", but a row written by other means may spell
    // the same prefix differently, and deleting must hit that row.
    std::string rowKey_;
};

// The rules in the order they were added. Load, Add and Delete use ConfigStore() under its lock; the
// database is changed first, the list second, so a rule is listed only once its row is stored.
class THWPartList {
public:
    using TItems = std::vector<std::unique_ptr<THWPartItem>>;

    // Appends one rule per PARTIAL row; rows whose key is no valid prefix are left in the table unused.
    void Load();
    // Stores the rule, then appends it and returns its position. A prefix that is already stored raises the
    // database's constraint error and the rule is discarded.
    int Add(std::unique_ptr<THWPartItem> rule);
    // Removes the rule's row, then the rule itself. A rule that is not in this list is left alone.
    void Delete(const THWPartItem& rule);

    // True and the rule's comment when a rule's prefix begins the address; false and "" otherwise.
    bool Match(const THWAddr& addr, std::string& comment) const;

    int Count() const { return static_cast<int>(items_.size()); }
    THWPartItem& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    TOwnedIterator<TItems::const_iterator, THWPartItem> begin() const { return {items_.begin()}; }
    TOwnedIterator<TItems::const_iterator, THWPartItem> end() const { return {items_.end()}; }

private:
    TItems items_;
};

// The program's rule list, created empty on first use.
THWPartList& PartialList();
// Releases the list; the next PartialList() starts empty again (tests).
void ResetPartialList();
