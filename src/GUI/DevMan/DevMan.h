#pragma once
#include "Core/Common/DateTime.h"
#include "Core/DeviceList/RegionalFormat.h"
#include "GUI/App/BoundActions.h"
#include "GUI/BaseDialog/BaseDialog.h"

#include <QIcon>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class TListEntry;
class TVendorTable;
struct TDeviceItem;

// Every device ever recorded: filter by known mark, edit, mark, forget, copy, activity, export and import.
// One file per role: DevMan.cpp the window and its rows, DevManActions.cpp the actions.
class TfmDevMan final : public TfmBaseDialog {
    Q_OBJECT

public:
    enum TColumn : int { dcMACAddress, dcVendor, dcLastSeen, dcInfo, ColumnCount };

    // The vendor table stays the main window's; the window only looks names up in it.
    TfmDevMan(QWidget* owner, const TVendorTable& vendors);

    // The main window's All Devices action: the window, modal, sorted by the given column and direction (0
    // ascending, 1 descending), which come back as the user left them. True when a device record was
    // changed, added or removed, so that the main list's marks and comments want refreshing.
    static bool Execute(QWidget* owner, const TVendorTable& vendors, int& sortColumn, int& sortDesc);

    // Sorts the rows; a header click does the same (the current column reverses, another ascends).
    void SetSort(int column, bool descending);
    int SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return sortDescending_; }
    // Negative, zero or positive: the order of two rows under the current sort column and direction.
    int lvDevsCompare(QTreeWidgetItem* a, QTreeWidgetItem* b) const;

    // Rebuilds the rows from the device list, in its order, through the filter.
    void FillList();
    bool Changed() const { return changed_; }
    // The regional formats of the device files; the system locale's unless set.
    void SetRegionalFormat(const TRegionalFormat& format) { regional_ = format; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    using TEnableRule = bool (TfmDevMan::*)() const;
    struct TActionSpec;
    // What a row sorts by under the current column: its folded text or its last-seen millisecond.
    struct TRowKey {
        std::string Text;
        long long Time = 0;
    };

    // DevMan.cpp
    void CreateControls();
    void CreateList();
    void CreateButtons(QVBoxLayout* column);
    void LoadFilter();
    void SaveFilter();
    TListEntry* NewRow(const TDeviceItem& device, TDateTime now) const;
    void SetRowImage(QTreeWidgetItem* row, bool known) const;
    static bool RowShowsKnown(const QTreeWidgetItem* row);
    static TDateTime LastSeenOf(const TListEntry& row);
    TRowKey KeyOf(QTreeWidgetItem* row) const;
    int CompareKeys(const TRowKey& a, const TRowKey& b) const;
    void SortRows();
    void lvDevsHeaderClick(int column);
    // The empty-list message: shown over the list whenever it has no rows.
    void UpdateEmptyMessage();
    QList<QTreeWidgetItem*> SelectedRowsInOrder() const;
    // Deletes the rows (and their entries).
    void RemoveRows(const QList<QTreeWidgetItem*>& removed);

    // DevManActions.cpp
    void CreateActions();
    void CreatePopupMenu();
    void Bind(QAction* action, TEnableRule rule, std::function<void()> execute);
    void UpdateActions();
    // Runs a command; an error it raises reaches the user as a message.
    void RunGuarded(const std::function<void()>& command);
    bool ActionEnabledAlways() const;
    bool ActionEnabledWhenSingleItemSelected() const;
    bool ActionEnabledWhenManyItemsSelected() const;
    bool ActionEnabledWhenThereAreItems() const;
    void acEditExecute();
    void acForgetExecute();
    void acMarkAsKnownExecute();
    void acMarkAsUnknownExecute();
    void acExportExecute();
    void acImportExecute();
    void acCopyExecute();
    void acActivityExecute();
    void MarkSelected(bool known);

    const TVendorTable& vendors_;
    TRegionalFormat regional_;
    int sortColumn_ = dcMACAddress;
    bool sortDescending_ = false;
    bool changed_ = false;
    std::array<QIcon, 3> deviceImages_;

    QComboBox* cmbDevFilter_ = nullptr;
    QTreeWidget* lvDevs_ = nullptr;
    QLabel* lbNoDevices_ = nullptr;
    QPushButton* btClose_ = nullptr;
    QMenu* pmMain_ = nullptr;
    QAction* acEdit_ = nullptr;
    QAction* acForget_ = nullptr;
    QAction* acMarkAsKnown_ = nullptr;
    QAction* acMarkAsUnknown_ = nullptr;
    QAction* acExport_ = nullptr;
    QAction* acImport_ = nullptr;
    QAction* acCopy_ = nullptr;
    QAction* acActivity_ = nullptr;
    TBoundActions actions_{this};
};
