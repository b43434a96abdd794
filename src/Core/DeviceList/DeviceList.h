#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Core/Common/DateTime.h"
#include "Core/Common/OwnedItems.h"
#include "Core/DeviceList/DeviceItem.h"
#include "Core/Net/HWAddr.h"

// Every device ever seen, in the order it was added, owned by the list. Lookups go through a hash index from
// the hardware address to the position of the first record with it, so they stay constant-time however many
// devices there are. A listed record's HWAddr is its identity and must not be changed in place.
class TDeviceList {
public:
    using TItems = std::vector<std::unique_ptr<TDeviceItem>>;

    // Appends one record per DEVICE row of ConfigStore(), in storage order, without emptying the list first.
    // On a database error the records read so far remain.
    void Load();

    // Position of the first record with the address, -1 if none.
    int IndexOf(const THWAddr& addr) const;
    bool Contains(const THWAddr& addr) const { return IndexOf(addr) >= 0; }
    // The first record with the address; when there is none, a new one (unknown, no comment, last seen now)
    // is appended in memory only. The reference stays valid until the record is removed.
    TDeviceItem& FindOrAdd(const THWAddr& addr);
    // These two create the record as FindOrAdd does when the address has none.
    bool IsKnown(const THWAddr& addr) { return FindOrAdd(addr).Known; }
    TDateTime LastSeenOf(const THWAddr& addr) { return FindOrAdd(addr).LastSeen; }
    // Disposes of the first record with the address; an address without a record changes nothing.
    void Remove(const THWAddr& addr);
    // Appends without looking for an existing record of the same address.
    int Add(std::unique_ptr<TDeviceItem> record);
    void Clear();

    int Count() const { return static_cast<int>(items_.size()); }
    TDeviceItem& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    TOwnedIterator<TItems::const_iterator, TDeviceItem> begin() const { return {items_.begin()}; }
    TOwnedIterator<TItems::const_iterator, TDeviceItem> end() const { return {items_.end()}; }

private:
    struct THWAddrHash {
        size_t operator()(const THWAddr& addr) const;
    };

    // Positions shift when a record is removed; rather than patching every later entry on each removal (a
    // run of forgotten devices would cost that many passes), the index is marked stale and rebuilt once, at
    // the next lookup.
    void RebuildIndexIfStale() const;
    int LinearIndexOf(const THWAddr& addr) const;

    TItems items_;
    mutable std::unordered_map<THWAddr, int, THWAddrHash> index_;
    mutable bool indexStale_ = false;
};

// The program's device list, created empty on first use.
TDeviceList& DeviceList();
// Releases the list and its records; the next DeviceList() starts empty again (tests).
void ResetDeviceList();
