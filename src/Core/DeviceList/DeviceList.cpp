#include "Core/DeviceList/DeviceList.h"

#include <algorithm>

#include "Core/ConfigStore/ConfigStore.h"

namespace {

std::unique_ptr<TDeviceList> instance;

} // namespace

size_t TDeviceList::THWAddrHash::operator()(const THWAddr& addr) const {
    std::uint64_t value = 0;
    for (std::uint8_t byte : addr)
        value = value << 8 | byte;
    // Addresses of one vendor differ only in their low bytes; the multiply spreads them over all bits.
    value *= 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(value ^ value >> 32);
}

void TDeviceList::Load() {
    TConfigStore& db = ConfigStore();
    db.WithStatement("SELECT * FROM DEVICE", [&] {
        while (db.Step()) {
            auto record = std::make_unique<TDeviceItem>();
            record->HWAddr = StrToHWAddr(db.FieldAsString("HWADDR"));
            record->Known = db.FieldAsBoolean("KNOWN");
            record->Comment = db.FieldAsString("INFO");
            record->LastSeen = db.FieldAsDateTime("LAST_SEEN");
            Add(std::move(record));
        }
    });
}

int TDeviceList::IndexOf(const THWAddr& addr) const {
    RebuildIndexIfStale();
    auto it = index_.find(addr);
    return it == index_.end() ? -1 : it->second;
}

TDeviceItem& TDeviceList::FindOrAdd(const THWAddr& addr) {
    int pos = IndexOf(addr);
    if (pos >= 0)
        return *items_[static_cast<size_t>(pos)];
    auto record = std::make_unique<TDeviceItem>();
    record->HWAddr = addr;
    return Items(Add(std::move(record)));
}

void TDeviceList::Remove(const THWAddr& addr) {
    int pos = indexStale_ ? LinearIndexOf(addr) : IndexOf(addr);
    if (pos < 0)
        return;
    items_.erase(items_.begin() + pos);
    indexStale_ = true;
}

int TDeviceList::Add(std::unique_ptr<TDeviceItem> record) {
    int pos = Count();
    items_.push_back(std::move(record));
    // emplace keeps an existing entry: the first record of an address is the one found.
    if (!indexStale_)
        index_.emplace(items_.back()->HWAddr, pos);
    return pos;
}

void TDeviceList::Clear() {
    items_.clear();
    index_.clear();
    indexStale_ = false;
}

void TDeviceList::RebuildIndexIfStale() const {
    if (!indexStale_)
        return;
    index_.clear();
    index_.reserve(items_.size());
    for (size_t pos = 0; pos < items_.size(); ++pos)
        index_.emplace(items_[pos]->HWAddr, static_cast<int>(pos));
    indexStale_ = false;
}

int TDeviceList::LinearIndexOf(const THWAddr& addr) const {
    auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& item) { return SameHWAddr(item->HWAddr, addr); });
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TDeviceList& DeviceList() {
    if (!instance)
        instance = std::make_unique<TDeviceList>();
    return *instance;
}

void ResetDeviceList() {
    instance.reset();
}
