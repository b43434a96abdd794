#include "GUI/DevMan/DevMan.h"

#include "Core/Common/Clock.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/DeviceList/DeviceRows.h"
#include "Core/Vendor/VendorTable.h"
#include "GUI/App/Icons.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/DevMan/LocaleFormat.h"
#include "GUI/MainView/ListEntry.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {

constexpr int margin = 10;
constexpr int buttonWidth = 90;
constexpr int imageRole = Qt::UserRole;
constexpr int unknownImage = 1;
constexpr int knownImage = 2;
// The designed client area is 750 x 487; the list takes what the filter and the buttons leave.
constexpr int listWidth = 750 - 2 * margin - buttonWidth - margin;
constexpr int listHeight = 435;

struct TColumnSpec {
    const char* Caption;
    int Width;
};

constexpr std::array<TColumnSpec, TfmDevMan::ColumnCount> columns{{
    {"MAC address", 150},
    {"Vendor", 160},
    {"Last Seen", 110},
    {"Info", 150},
}};

constexpr std::array<const char*, 3> filterItems{"All devices", "Known devices", "Unknown devices"};

} // namespace

TfmDevMan::TfmDevMan(QWidget* owner, const TVendorTable& vendors)
    : TfmBaseDialog(owner), vendors_(vendors), regional_(RegionalFormatOf()) {
    setObjectName(QStringLiteral("fmDevMan"));
    setWindowTitle(QStringLiteral("All devices ever seen on the network"));
    for (int image : {unknownImage, knownImage})
        deviceImages_[static_cast<size_t>(image)] = DeviceImage(image);
    CreateActions();
    CreateControls();
    CreatePopupMenu();
    LoadFilter();
    FillList();
    UpdateActions();
}

bool TfmDevMan::Execute(QWidget* owner, const TVendorTable& vendors, int& sortColumn, int& sortDesc) {
    TfmDevMan window(owner, vendors);
    window.SetSort(sortColumn, sortDesc != 0);
    window.exec();
    sortColumn = window.SortColumn();
    sortDesc = window.SortDescending() ? 1 : 0;
    return window.Changed();
}

void TfmDevMan::CreateControls() {
    auto* body = new QHBoxLayout(this);
    body->setSpacing(margin);

    auto* listColumn = new QVBoxLayout;
    cmbDevFilter_ = new QComboBox(this);
    cmbDevFilter_->setObjectName(QStringLiteral("cmbDevFilter"));
    for (const char* item : filterItems)
        cmbDevFilter_->addItem(QString::fromUtf8(item));
    listColumn->addWidget(cmbDevFilter_);
    CreateList();
    listColumn->addWidget(lvDevs_, 1);
    body->addLayout(listColumn, 1);

    auto* buttonColumn = new QVBoxLayout;
    CreateButtons(buttonColumn);
    body->addLayout(buttonColumn);
}

void TfmDevMan::CreateList() {
    lvDevs_ = new QTreeWidget(this);
    lvDevs_->setObjectName(QStringLiteral("lvDevs"));
    lvDevs_->setMinimumSize(listWidth, listHeight);
    lvDevs_->setColumnCount(ColumnCount);
    QTreeWidgetItem* header = lvDevs_->headerItem();
    for (int i = 0; i < ColumnCount; ++i) {
        header->setText(i, QString::fromUtf8(columns[static_cast<size_t>(i)].Caption));
        lvDevs_->setColumnWidth(i, columns[static_cast<size_t>(i)].Width);
    }
    lvDevs_->setRootIsDecorated(false);
    lvDevs_->setUniformRowHeights(true);
    lvDevs_->setAllColumnsShowFocus(true);
    lvDevs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvDevs_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDevs_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDevs_->setIconSize(QSize(16, 16));
    lvDevs_->header()->setSectionsClickable(true);
    lvDevs_->header()->setSortIndicatorShown(true);
    lvDevs_->header()->setSortIndicator(sortColumn_, Qt::AscendingOrder);

    // The message lies over the list's client area and lets clicks through to it.
    lbNoDevices_ = new QLabel(lvDevs_->viewport());
    lbNoDevices_->setObjectName(QStringLiteral("lbNoDevices"));
    lbNoDevices_->setAlignment(Qt::AlignCenter);
    lbNoDevices_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* overlay = new QVBoxLayout(lvDevs_->viewport());
    overlay->addWidget(lbNoDevices_);

    connect(lvDevs_->header(), &QHeaderView::sectionClicked, this, &TfmDevMan::lvDevsHeaderClick);
    connect(lvDevs_, &QTreeWidget::itemSelectionChanged, this, &TfmDevMan::UpdateActions);
    // Bound to the message's life: the list resets its rows once more while it is being destroyed.
    const QAbstractItemModel* rows = lvDevs_->model();
    const auto update = [this] { UpdateEmptyMessage(); };
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(rows, signal, lbNoDevices_, update);
    connect(rows, &QAbstractItemModel::modelReset, lbNoDevices_, update);
}

void TfmDevMan::CreateButtons(QVBoxLayout* column) {
    btClose_ = new QPushButton(QStringLiteral("Close"), this);
    btClose_->setObjectName(QStringLiteral("btClose"));
    btClose_->setMinimumWidth(buttonWidth);
    connect(btClose_, &QPushButton::clicked, this, &QDialog::accept);
    column->addWidget(btClose_);
    column->addSpacing(margin);

    const std::pair<const char*, QAction*> bound[] = {{"btActivity", acActivity_},
                                                      {"btEdit", acEdit_},
                                                      {"btDelete", acForget_},
                                                      {"btExport", acExport_},
                                                      {"btImport", acImport_}};
    for (const auto& [name, action] : bound) {
        auto* button = new QPushButton(action->text(), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setMinimumWidth(buttonWidth);
        button->setAutoDefault(false);
        // The button shows its action: enabled with it, and a click invokes it.
        connect(action, &QAction::changed, button,
                [button, action = action] { button->setEnabled(action->isEnabled()); });
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        column->addWidget(button);
    }
    column->addStretch(1);
}

void TfmDevMan::LoadFilter() {
    TConfigStore& store = ConfigStore();
    TSQLiteLock guard(store);
    cmbDevFilter_->setCurrentIndex(DeviceFilterOf(store.ReadConfig("DeviceFilter", 0)));
    connect(cmbDevFilter_, &QComboBox::currentIndexChanged, this, [this] { RunGuarded([this] { FillList(); }); });
}

void TfmDevMan::SaveFilter() {
    TConfigStore& store = ConfigStore();
    TSQLiteLock guard(store);
    store.WriteConfig("DeviceFilter", cmbDevFilter_->currentIndex());
}

// Esc presses Close, so the window ends with OK as Close ends it.
void TfmDevMan::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btClose_->click();
        return;
    }
    TfmBaseDialog::keyPressEvent(event);
}

void TfmDevMan::done(int result) {
    RunGuarded([this] { SaveFilter(); });
    TfmBaseDialog::done(result);
}

void TfmDevMan::FillList() {
    lvDevs_->setUpdatesEnabled(false);
    lvDevs_->clear();
    const TDeviceFilter filter = DeviceFilterOf(cmbDevFilter_->currentIndex());
    const TDateTime now = Now();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(DeviceList().Count());
    for (const TDeviceItem& device : DeviceList())
        if (PassesFilter(filter, device))
            rows.append(NewRow(device, now));
    lvDevs_->addTopLevelItems(rows);
    lvDevs_->setUpdatesEnabled(true);
    UpdateEmptyMessage();
    UpdateActions();
}

TListEntry* TfmDevMan::NewRow(const TDeviceItem& device, TDateTime now) const {
    auto* row = new TListEntry(device.HWAddr);
    row->setText(dcMACAddress, QString::fromStdString(HWAddrToDisplay(device.HWAddr)));
    row->setText(dcVendor, QString::fromStdString(vendors_.LookupVendor(device.HWAddr)));
    row->setText(dcLastSeen, QString::fromStdString(AgeText(device.LastSeen, now)));
    row->setText(dcInfo, QString::fromStdString(device.Comment));
    SetRowImage(row, device.Known);
    return row;
}

void TfmDevMan::SetRowImage(QTreeWidgetItem* row, bool known) const {
    const int image = known ? knownImage : unknownImage;
    row->setIcon(dcMACAddress, deviceImages_[static_cast<size_t>(image)]);
    row->setData(dcMACAddress, imageRole, image);
}

// The record's time without LastSeenOf's side effect of adding a record for a row whose device is gone.
TDateTime TfmDevMan::LastSeenOf(const TListEntry& row) {
    const int position = DeviceList().IndexOf(row.HWAddr);
    return position >= 0 ? DeviceList().Items(position).LastSeen : 0;
}

bool TfmDevMan::RowShowsKnown(const QTreeWidgetItem* row) {
    return row->data(dcMACAddress, imageRole) == knownImage;
}

void TfmDevMan::SetSort(int column, bool descending) {
    sortColumn_ = column;
    sortDescending_ = descending;
    lvDevs_->header()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    SortRows();
}

void TfmDevMan::lvDevsHeaderClick(int column) {
    SetSort(column, column == sortColumn_ && !sortDescending_);
}

TfmDevMan::TRowKey TfmDevMan::KeyOf(QTreeWidgetItem* row) const {
    switch (sortColumn_) {
    case dcMACAddress:
    case dcVendor:
    case dcInfo:
        return {FoldedSortKey(row->text(sortColumn_).toStdString())};
    case dcLastSeen:
        return {{}, LastSeenSortKey(LastSeenOf(*TListEntry::Of(row)))};
    default:
        return {};
    }
}

int TfmDevMan::CompareKeys(const TRowKey& a, const TRowKey& b) const {
    const int order = sortColumn_ == dcLastSeen ? (a.Time < b.Time   ? -1
                                                   : a.Time > b.Time ? 1
                                                                     : 0)
                                                : a.Text.compare(b.Text);
    const int sign = order < 0 ? -1 : order > 0 ? 1 : 0;
    return sortDescending_ ? -sign : sign;
}

int TfmDevMan::lvDevsCompare(QTreeWidgetItem* a, QTreeWidgetItem* b) const {
    return CompareKeys(KeyOf(a), KeyOf(b));
}

// The keys are taken once per row rather than once per comparison, and the rows leave the list and come
// back in one piece each way: row by row, moving thousands of rows would cost time in their square.
void TfmDevMan::SortRows() {
    struct TKeyed {
        TRowKey Key;
        QTreeWidgetItem* Row;
    };
    QTreeWidgetItem* current = lvDevs_->currentItem();
    const QList<QTreeWidgetItem*> selectedList = lvDevs_->selectedItems();
    const QSet<QTreeWidgetItem*> selected(selectedList.begin(), selectedList.end());
    std::vector<TKeyed> keyed;
    keyed.reserve(static_cast<size_t>(lvDevs_->topLevelItemCount()));
    for (int i = 0; i < lvDevs_->topLevelItemCount(); ++i)
        keyed.push_back({KeyOf(lvDevs_->topLevelItem(i)), lvDevs_->topLevelItem(i)});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [this](const TKeyed& a, const TKeyed& b) { return CompareKeys(a.Key, b.Key) < 0; });

    lvDevs_->setUpdatesEnabled(false);
    lvDevs_->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(keyed.size()));
    for (const TKeyed& entry : keyed)
        rows.append(entry.Row);
    lvDevs_->addTopLevelItems(rows);

    if (current != nullptr)
        lvDevs_->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    QItemSelection selection;
    for (int i = 0; i < rows.size(); ++i) {
        if (!selected.contains(rows[i]))
            continue;
        const int first = i;
        while (i + 1 < rows.size() && selected.contains(rows[i + 1]))
            ++i;
        const QModelIndex top = lvDevs_->model()->index(first, 0);
        const QModelIndex bottom = lvDevs_->model()->index(i, ColumnCount - 1);
        selection.select(top, bottom);
    }
    lvDevs_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    lvDevs_->setUpdatesEnabled(true);
}

void TfmDevMan::UpdateEmptyMessage() {
    const bool empty = lvDevs_->topLevelItemCount() == 0;
    if (empty)
        lbNoDevices_->setText(Tr("No devices have been detected yet.") + QLatin1Char('\n') +
                              Tr("Please scan your network first."));
    lbNoDevices_->setVisible(empty);
}

QList<QTreeWidgetItem*> TfmDevMan::SelectedRowsInOrder() const {
    QModelIndexList indexes = lvDevs_->selectionModel()->selectedRows();
    std::sort(indexes.begin(), indexes.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<QTreeWidgetItem*> rows;
    rows.reserve(indexes.size());
    for (const QModelIndex& index : indexes)
        rows.append(lvDevs_->topLevelItem(index.row()));
    return rows;
}

// As in sorting, the rows that stay go back in one piece.
void TfmDevMan::RemoveRows(const QList<QTreeWidgetItem*>& removed) {
    const QSet<QTreeWidgetItem*> gone(removed.begin(), removed.end());
    lvDevs_->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> rows = lvDevs_->invisibleRootItem()->takeChildren();
    rows.removeIf([&gone](QTreeWidgetItem* row) { return gone.contains(row); });
    lvDevs_->addTopLevelItems(rows);
    qDeleteAll(removed);
    lvDevs_->setUpdatesEnabled(true);
    UpdateEmptyMessage();
}
