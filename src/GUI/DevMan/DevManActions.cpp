#include "GUI/DevMan/DevMan.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceExport.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/DeviceList/DeviceRows.h"
#include "GUI/Activity/Activity.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"
#include "GUI/Properties/Properties.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTreeWidget>

#include <exception>
#include <filesystem>
#include <string>
#include <utility>

namespace {

std::filesystem::path PathOf(const QString& fileName) {
    return std::filesystem::path(fileName.toStdString());
}

// A menu entry of its own name that shows the action it stands for and invokes it.
void AddMenuEntry(QMenu* menu, const char* name, QAction* action) {
    QAction* entry = menu->addAction(action->text());
    entry->setObjectName(QString::fromLatin1(name));
    entry->setShortcut(action->shortcut());
    entry->setShortcutContext(Qt::WidgetShortcut); // the window's action owns the key
    QObject::connect(action, &QAction::changed, entry, [entry, action] {
        entry->setText(action->text());
        entry->setEnabled(action->isEnabled());
    });
    QObject::connect(entry, &QAction::triggered, action, &QAction::trigger);
}

} // namespace

// The designed form of an action: English texts, turned into the current language whenever the window
// becomes active.
struct TfmDevMan::TActionSpec {
    QAction* TfmDevMan::*Member;
    const char* Name;
    const char* Caption;
    const char* Shortcut;
    TEnableRule Rule;
    void (TfmDevMan::*Execute)();
};

void TfmDevMan::CreateActions() {
    using T = TfmDevMan;
    static const TActionSpec specs[] = {
        {&T::acEdit_, "acEdit", "Edit", "", &T::ActionEnabledWhenSingleItemSelected, &T::acEditExecute},
        {&T::acForget_, "acForget", "Forget", "", &T::ActionEnabledWhenManyItemsSelected, &T::acForgetExecute},
        {&T::acMarkAsKnown_, "acMarkAsKnown", "Mark as Known", "", &T::ActionEnabledWhenManyItemsSelected,
         &T::acMarkAsKnownExecute},
        {&T::acMarkAsUnknown_, "acMarkAsUnknown", "Mark as Unknown", "", &T::ActionEnabledWhenManyItemsSelected,
         &T::acMarkAsUnknownExecute},
        {&T::acExport_, "acExport", "Export...", "", &T::ActionEnabledWhenThereAreItems, &T::acExportExecute},
        {&T::acImport_, "acImport", "Import...", "", &T::ActionEnabledAlways, &T::acImportExecute},
        {&T::acCopy_, "acCopy", "Copy", "Ctrl+C", &T::ActionEnabledWhenManyItemsSelected, &T::acCopyExecute},
        {&T::acActivity_, "acActivity", "Activity", "Ctrl+A", &T::ActionEnabledWhenSingleItemSelected,
         &T::acActivityExecute},
    };
    for (const TActionSpec& spec : specs) {
        auto* action = new QAction(QString::fromUtf8(spec.Caption), this);
        action->setObjectName(QString::fromLatin1(spec.Name));
        if (*spec.Shortcut != '\0')
            action->setShortcut(QKeySequence(QString::fromLatin1(spec.Shortcut), QKeySequence::PortableText));
        addAction(action);
        this->*spec.Member = action;
        Bind(action, spec.Rule, [this, execute = spec.Execute] { (this->*execute)(); });
    }
    // The rules are evaluated whenever the interface is idle, as well as after each change of the rows.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TfmDevMan::UpdateActions);
}

void TfmDevMan::CreatePopupMenu() {
    pmMain_ = new QMenu(this);
    pmMain_->setObjectName(QStringLiteral("pmMain"));
    const std::pair<const char*, QAction*> entries[] = {{"pmiEdit", acEdit_},
                                                        {"pmiDelete", acForget_},
                                                        {"pmiActivity", acActivity_},
                                                        {"pmiMarkAsKnown", acMarkAsKnown_},
                                                        {"pmiMarkAsUnknown", acMarkAsUnknown_},
                                                        {"pmiCopy", acCopy_}};
    for (const auto& [name, action] : entries)
        AddMenuEntry(pmMain_, name, action);
    lvDevs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvDevs_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmMain_->popup(lvDevs_->viewport()->mapToGlobal(at)); });
    connect(lvDevs_, &QTreeWidget::itemDoubleClicked, acEdit_, &QAction::trigger);
}

void TfmDevMan::Bind(QAction* action, TEnableRule rule, std::function<void()> execute) {
    actions_.Bind(action, [this, rule] { return (this->*rule)(); }, std::move(execute));
}

void TfmDevMan::UpdateActions() {
    actions_.Update();
}

void TfmDevMan::RunGuarded(const std::function<void()>& command) {
    ::RunGuarded(this, command);
}

bool TfmDevMan::ActionEnabledAlways() const {
    return true;
}

bool TfmDevMan::ActionEnabledWhenSingleItemSelected() const {
    return lvDevs_ != nullptr && lvDevs_->selectionModel()->selectedRows().size() == 1;
}

bool TfmDevMan::ActionEnabledWhenManyItemsSelected() const {
    return lvDevs_ != nullptr && lvDevs_->selectionModel()->hasSelection();
}

bool TfmDevMan::ActionEnabledWhenThereAreItems() const {
    return lvDevs_ != nullptr && lvDevs_->topLevelItemCount() > 0;
}

void TfmDevMan::acEditExecute() {
    QTreeWidgetItem* row = SelectedRowsInOrder().constFirst();
    const THWAddr hwAddr = TListEntry::Of(row)->HWAddr;
    TfmProperties dialog(this);
    dialog.SetDevice(hwAddr, row->text(dcMACAddress), row->text(dcVendor));
    const QTreeWidgetItem* header = lvDevs_->headerItem();
    dialog.SetTitles({header->text(dcMACAddress), header->text(dcVendor), header->text(dcLastSeen)});
    dialog.SetValues({row->text(dcMACAddress), row->text(dcVendor), row->text(dcLastSeen)});
    dialog.SetKnown(RowShowsKnown(row));
    dialog.SetComment(row->text(dcInfo));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool known = dialog.Known();
    const QString comment = dialog.Comment();
    ChangeDevice(DeviceList(), ConfigStore(), hwAddr, [&](TDeviceItem& device) {
        device.Known = known;
        device.Comment = comment.toStdString();
    });
    changed_ = true;
    SetRowImage(row, known);
    row->setText(dcInfo, comment);
}

void TfmDevMan::acMarkAsKnownExecute() {
    MarkSelected(true);
}

void TfmDevMan::acMarkAsUnknownExecute() {
    MarkSelected(false);
}

// Each record is stored by itself; a failure part-way leaves the rows before it marked, and the rest as
// they were, in the list as in the database.
void TfmDevMan::MarkSelected(bool known) {
    TConfigStore& store = ConfigStore();
    TSQLiteLock guard(store);
    const QList<QTreeWidgetItem*> rows = SelectedRowsInOrder();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        ChangeDevice(DeviceList(), store, TListEntry::Of(*it)->HWAddr,
                     [known](TDeviceItem& device) { device.Known = known; });
        changed_ = true;
        SetRowImage(*it, known);
    }
}

void TfmDevMan::acForgetExecute() {
    const QList<QTreeWidgetItem*> rows = SelectedRowsInOrder();
    const QString question = TrFormat("Forget %d selected device(s)?", {std::to_string(rows.size())});
    if (!TUserDialogs::ShowMessage(this, TMessageKind::Confirmation, question, true))
        return;
    std::vector<THWAddr> addresses;
    addresses.reserve(static_cast<size_t>(rows.size()));
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        addresses.push_back(TListEntry::Of(*it)->HWAddr);
    // The rows go only once the database has let the devices go.
    ForgetDevices(DeviceList(), ConfigStore(), addresses);
    changed_ = true;
    RemoveRows(rows);
}

void TfmDevMan::acCopyExecute() {
    QString text;
    for (const QTreeWidgetItem* row : SelectedRowsInOrder()) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0)
                text += QLatin1Char('\t');
            text += row->text(column);
        }
        text += QStringLiteral("\r\n");
    }
    QApplication::clipboard()->setText(text);
}

void TfmDevMan::acActivityExecute() {
    QTreeWidgetItem* row = SelectedRowsInOrder().constFirst();
    TfmActivity::ShowActivity(TListEntry::Of(row)->HWAddr, row->text(dcMACAddress), row->text(dcVendor));
}

// The file type follows the name: ".csv" writes CSV, any other name XML (the default suffix).
void TfmDevMan::acExportExecute() {
    const QString fileName = TUserDialogs::GetSaveFileName(this, QStringLiteral("XML, CSV"),
                                                           QStringLiteral("*.xml *.csv"), QStringLiteral("xml"));
    if (fileName.isEmpty())
        return;
    if (fileName.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        ExportCSV(PathOf(fileName), DeviceList(), regional_);
    else
        ExportXML(PathOf(fileName), DeviceList(), TimeSeparatorOf(regional_));
}

void TfmDevMan::acImportExecute() {
    const QString fileName = TUserDialogs::GetOpenFileName(this, QStringLiteral("XML"), QStringLiteral("*.xml"));
    if (fileName.isEmpty())
        return;
    ImportXML(PathOf(fileName), DeviceList(), ConfigStore(), regional_);
    changed_ = true;
    FillList();
}
