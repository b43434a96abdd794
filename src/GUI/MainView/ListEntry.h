#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Scan/Detection.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

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

    // The list's sort rule, ascending; the list reverses it for the descending direction.
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        return CompareResultCells(column, text(column).toStdString(), other.text(column).toStdString()) < 0;
    }

    THWAddr HWAddr;
};
