#pragma once
#include "Core/Net/HWAddr.h"

#include <QTreeWidgetItem>

// The result list's columns, by index.
enum TResultColumn : int { rcAddress, rcMACAddress, rcRTT, rcName, rcInfo, rcVendor };

// A row of the result list with the device it shows. Later work on the row (the MAC format, the known
// marks, the device windows) takes the hardware address from here, never from the cell text.
class TListEntry final : public QTreeWidgetItem {
public:
    static constexpr int EntryType = QTreeWidgetItem::UserType;

    explicit TListEntry(const THWAddr& hwAddr) : QTreeWidgetItem(EntryType), HWAddr(hwAddr) {}

    // The row's entry, or null for a row of another kind.
    static TListEntry* Of(QTreeWidgetItem* row) {
        return row != nullptr && row->type() == EntryType ? static_cast<TListEntry*>(row) : nullptr;
    }

    THWAddr HWAddr;
};
