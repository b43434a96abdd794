#include "GUI/DevMan/DevMan.h"

#include "Core/DeviceList/DeviceExport.h"
#include "Core/Vendor/VendorTable.h"
#include "DeviceWindowsSupport.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"
#include "GUI/Properties/Properties.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

using tarrowin::test::DeviceWindowFixture;
using tarrowin::test::WhenModal;

constexpr const char* Laptop = "00:1A:2B:3C:4D:5E";  // known, Acme Networks, 3 days ago
constexpr const char* Printer = "AA:BB:CC:00:11:22"; // unknown, Brother, 40 days ago
constexpr const char* Phone = "0A:0B:0C:0D:0E:0F";   // unknown, ACME networks, today
constexpr const char* Camera = "12:34:56:78:9A:BC";  // known, no vendor, yesterday

class DevManTest : public DeviceWindowFixture {
protected:
    DevManTest() {
        TUserDialogs::Reset();
        SetMacFormat('-');
        vendors_.LoadVendorTable("001A2B Acme Networks\r\n0A0B0C ACME networks\r\nAABBCC Brother\r\n");
        const TDateTime now = clock_.Now();
        AddDevice(Laptop, true, "laptop", now - 3);
        AddDevice(Printer, false, "Printer upstairs", now - 40);
        AddDevice(Phone, false, "phone", EncodeDateTime(2024, 3, 20, 0, 0, 0));
        AddDevice(Camera, true, "", EncodeDateTime(2024, 3, 19, 0, 0, 0));
    }

    TfmDevMan& Window() {
        if (!window_)
            window_ = std::make_unique<TfmDevMan>(nullptr, vendors_);
        return *window_;
    }
    template <typename T> T* Find(const char* name) {
        T* found = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTreeWidget* List() { return Find<QTreeWidget>("lvDevs"); }
    QAction* Action(const char* name) { return Find<QAction>(name); }

    QStringList Column(int column) {
        QStringList texts;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            texts.append(List()->topLevelItem(i)->text(column));
        return texts;
    }
    QStringList Addresses() { return Column(TfmDevMan::dcMACAddress); }
    QTreeWidgetItem* Row(const char* address) {
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (SameHWAddr(TListEntry::Of(List()->topLevelItem(i))->HWAddr, StrToHWAddr(address)))
                return List()->topLevelItem(i);
        ADD_FAILURE() << "no row for " << address;
        return nullptr;
    }
    void Select(std::initializer_list<const char*> addresses) {
        List()->clearSelection();
        for (const char* address : addresses)
            Row(address)->setSelected(true);
    }
    static QString Dashed(const char* address) { return QString::fromLatin1(address).replace(QLatin1Char(':'), '-'); }
    static QStringList DashedList(std::initializer_list<const char*> addresses) {
        QStringList list;
        for (const char* address : addresses)
            list.append(Dashed(address));
        return list;
    }
    static bool RowKnown(const QTreeWidgetItem* row) { return row->data(0, Qt::UserRole).toInt() == 2; }
    static const TDeviceItem& Record(const char* address) {
        return DeviceList().Items(DeviceList().IndexOf(StrToHWAddr(address)));
    }
    static TDeviceItem Stored(const char* address) {
        TDeviceList stored;
        stored.Load();
        return stored.Items(stored.IndexOf(StrToHWAddr(address)));
    }

    TVendorTable vendors_;
    std::unique_ptr<TfmDevMan> window_;
};

TEST_F(DevManTest, RowsShowAddressVendorAgeAndCommentInListOrder) {
    EXPECT_EQ(Addresses(), DashedList({Laptop, Printer, Phone, Camera}));
    EXPECT_EQ(Column(TfmDevMan::dcVendor), (QStringList{"Acme Networks", "Brother", "ACME networks", ""}));
    EXPECT_EQ(Column(TfmDevMan::dcLastSeen), (QStringList{"3 days ago", "1 months ago", "Today", "Yesterday"}));
    EXPECT_EQ(Column(TfmDevMan::dcInfo), (QStringList{"laptop", "Printer upstairs", "phone", ""}));
    EXPECT_TRUE(RowKnown(Row(Laptop)));
    EXPECT_FALSE(RowKnown(Row(Printer)));
    EXPECT_FALSE(Row(Laptop)->icon(0).isNull());
    EXPECT_EQ(List()->headerItem()->text(2), "Last Seen");
    EXPECT_EQ(Window().windowTitle(), "All devices ever seen on the network");
}

TEST_F(DevManTest, FilterShowsKnownOrUnknownAndIsKeptAcrossOpenings) {
    QComboBox* filter = Find<QComboBox>("cmbDevFilter");
    ASSERT_EQ(filter->count(), 3);
    EXPECT_EQ(filter->itemText(2), "Unknown devices");
    filter->setCurrentIndex(1);
    EXPECT_EQ(Addresses(), DashedList({Laptop, Camera}));
    filter->setCurrentIndex(2);
    EXPECT_EQ(Addresses(), DashedList({Printer, Phone}));
    Find<QPushButton>("btClose")->click();
    EXPECT_EQ(ConfigStore().ReadConfig("DeviceFilter", -1), 2);
    window_.reset();
    EXPECT_EQ(Find<QComboBox>("cmbDevFilter")->currentIndex(), 2);
    EXPECT_EQ(Addresses(), DashedList({Printer, Phone}));
}

TEST_F(DevManTest, EscapePressesCloseWhichEndsWithOK) {
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    QTest::keyClick(List(), Qt::Key_Escape);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Window().result(), QDialog::Accepted);
}

TEST_F(DevManTest, StoredFilterOutsideTheThreeShowsAllDevices) {
    for (int stored : {-1, 3, 42}) {
        ConfigStore().WriteConfig("DeviceFilter", stored);
        window_.reset();
        EXPECT_EQ(Find<QComboBox>("cmbDevFilter")->currentIndex(), 0) << stored;
        EXPECT_EQ(List()->topLevelItemCount(), 4) << stored;
    }
}

struct TSortCase {
    int Column;
    bool Descending;
    std::vector<const char*> Expected;
};

class DevManSortTest : public DevManTest, public testing::WithParamInterface<TSortCase> {};

TEST_P(DevManSortTest, SortsByTheColumnInTheDirection) {
    Window().SetSort(GetParam().Column, GetParam().Descending);
    QStringList expected;
    for (const char* address : GetParam().Expected)
        expected.append(Dashed(address));
    EXPECT_EQ(Addresses(), expected);
    EXPECT_EQ(List()->header()->sortIndicatorSection(), GetParam().Column);
}

// Vendor: the empty vendor first; "Acme Networks" and "ACME networks" are equal and keep the list's order.
// Last Seen: by the times, so "1 months ago" (40 days) comes before "3 days ago".
const TSortCase sortCases[] = {
    {TfmDevMan::dcMACAddress, false, {Laptop, Phone, Camera, Printer}},
    {TfmDevMan::dcMACAddress, true, {Printer, Camera, Phone, Laptop}},
    {TfmDevMan::dcVendor, false, {Camera, Laptop, Phone, Printer}},
    {TfmDevMan::dcVendor, true, {Printer, Laptop, Phone, Camera}},
    {TfmDevMan::dcLastSeen, false, {Printer, Laptop, Camera, Phone}},
    {TfmDevMan::dcLastSeen, true, {Phone, Camera, Laptop, Printer}},
    {TfmDevMan::dcInfo, false, {Camera, Laptop, Phone, Printer}},
    {TfmDevMan::dcInfo, true, {Printer, Phone, Laptop, Camera}},
};

void PrintTo(const TSortCase& c, std::ostream* out) {
    *out << "column " << c.Column << (c.Descending ? " desc" : "");
}

INSTANTIATE_TEST_SUITE_P(Columns, DevManSortTest, testing::ValuesIn(sortCases));

TEST_F(DevManTest, HeaderClicksSortAndReverseKeepingTheSelection) {
    Window().show();
    QHeaderView* header = List()->header();
    auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    Select({Printer, Camera});
    click(TfmDevMan::dcLastSeen);
    EXPECT_EQ(Addresses(), DashedList({Printer, Laptop, Camera, Phone}));
    click(TfmDevMan::dcLastSeen);
    EXPECT_EQ(Addresses(), DashedList({Phone, Camera, Laptop, Printer}));
    EXPECT_TRUE(Window().SortDescending());
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(TfmDevMan::dcInfo);
    EXPECT_EQ(Window().SortColumn(), TfmDevMan::dcInfo);
    EXPECT_FALSE(Window().SortDescending());
    EXPECT_EQ(header->sortIndicatorSection(), TfmDevMan::dcInfo);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_TRUE(Row(Printer)->isSelected() && Row(Camera)->isSelected());
    EXPECT_FALSE(Row(Laptop)->isSelected() || Row(Phone)->isSelected());
}

TEST_F(DevManTest, CompareIsNegatedWhenDescending) {
    Window().SetSort(TfmDevMan::dcLastSeen, false);
    EXPECT_LT(Window().lvDevsCompare(Row(Printer), Row(Laptop)), 0);
    EXPECT_EQ(Window().lvDevsCompare(Row(Laptop), Row(Laptop)), 0);
    Window().SetSort(TfmDevMan::dcLastSeen, true);
    EXPECT_GT(Window().lvDevsCompare(Row(Printer), Row(Laptop)), 0);
    Window().SetSort(TfmDevMan::ColumnCount + 1, false);
    EXPECT_EQ(Window().lvDevsCompare(Row(Printer), Row(Laptop)), 0);
}

TEST_F(DevManTest, ActionsFollowTheSelection) {
    struct TCase {
        std::vector<const char*> Selected;
        bool Single, Many;
    };
    const TCase cases[] = {{{}, false, false}, {{Laptop}, true, true}, {{Laptop, Phone}, false, true}};
    for (const TCase& c : cases) {
        List()->clearSelection();
        for (const char* address : c.Selected)
            Row(address)->setSelected(true);
        for (const char* name : {"acEdit", "acActivity", "btEdit", "btActivity", "pmiEdit", "pmiActivity"})
            EXPECT_EQ(Find<QObject>(name)->property("enabled").toBool(), c.Single) << name << c.Selected.size();
        for (const char* name : {"acForget", "acMarkAsKnown", "acMarkAsUnknown", "acCopy", "btDelete", "pmiCopy"})
            EXPECT_EQ(Find<QObject>(name)->property("enabled").toBool(), c.Many) << name << c.Selected.size();
        EXPECT_TRUE(Action("acExport")->isEnabled());
        EXPECT_TRUE(Action("acImport")->isEnabled());
    }
    // A disabled action does nothing, also when invoked from code.
    List()->clearSelection();
    Action("acForget")->trigger();
    EXPECT_TRUE(TUserDialogs::Messages().isEmpty());
    EXPECT_EQ(List()->topLevelItemCount(), 4);
}

TEST_F(DevManTest, PopupMenuOffersTheEntriesInOrder) {
    QStringList names;
    for (const QAction* entry : Find<QMenu>("pmMain")->actions())
        names.append(entry->objectName());
    EXPECT_EQ(names,
              (QStringList{"pmiEdit", "pmiDelete", "pmiActivity", "pmiMarkAsKnown", "pmiMarkAsUnknown", "pmiCopy"}));
    EXPECT_EQ(Find<QAction>("pmiMarkAsKnown")->text(), "Mark as Known");
}

TEST_F(DevManTest, EmptyListShowsTheTwoLineMessageWithExportDisabled) {
    for (const char* address : {Laptop, Camera})
        DeviceList().FindOrAdd(StrToHWAddr(address)).Known = false;
    EXPECT_FALSE(Find<QLabel>("lbNoDevices")->isVisibleTo(List()));
    Find<QComboBox>("cmbDevFilter")->setCurrentIndex(1); // known devices: there are none
    QLabel* message = Find<QLabel>("lbNoDevices");
    EXPECT_TRUE(message->isVisibleTo(List()));
    EXPECT_EQ(message->text(), "No devices have been detected yet.\nPlease scan your network first.");
    EXPECT_FALSE(Action("acExport")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("btExport")->isEnabled());
    EXPECT_TRUE(Action("acImport")->isEnabled());

    ResetDeviceList();
    window_.reset();
    ConfigStore().WriteConfig("DeviceFilter", 0);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(Find<QLabel>("lbNoDevices")->isVisibleTo(List()));
    EXPECT_FALSE(Action("acExport")->isEnabled());
}

TEST_F(DevManTest, MarkingChangesIconsRecordsAndRowsButKeepsFilteredRows) {
    Find<QComboBox>("cmbDevFilter")->setCurrentIndex(1);
    Select({Laptop, Camera});
    Action("acMarkAsUnknown")->trigger();
    EXPECT_EQ(Addresses(), DashedList({Laptop, Camera})); // not refiltered
    for (const char* address : {Laptop, Camera}) {
        EXPECT_FALSE(RowKnown(Row(address))) << address;
        EXPECT_FALSE(Record(address).Known) << address;
        EXPECT_FALSE(Stored(address).Known) << address;
    }
    EXPECT_TRUE(Window().Changed());
    Select({Laptop});
    Action("acMarkAsKnown")->trigger();
    EXPECT_TRUE(RowKnown(Row(Laptop)) && Record(Laptop).Known && Stored(Laptop).Known);
    EXPECT_EQ(Stored(Laptop).Comment, "laptop");
}

TEST_F(DevManTest, ForgetAsksThenRemovesRowsRecordsAndDatabaseRows) {
    AddActivity(Laptop, clock_.Now());
    AddActivity(Phone, clock_.Now());
    Select({Laptop, Printer, Phone});
    TUserDialogs::AnswerNextMessage(false);
    Action("acForget")->trigger();
    EXPECT_EQ(TUserDialogs::Messages(), QStringList{"Forget 3 selected device(s)?"});
    EXPECT_EQ(List()->topLevelItemCount(), 4);
    EXPECT_EQ(DeviceList().Count(), 4);
    EXPECT_EQ(Rows("ACTIVITY", StrToHWAddr(Laptop)), 1);

    TUserDialogs::AnswerNextMessage(true);
    Action("acForget")->trigger();
    EXPECT_EQ(Addresses(), DashedList({Camera}));
    EXPECT_EQ(DeviceList().Count(), 1);
    for (const char* address : {Laptop, Printer, Phone}) {
        EXPECT_FALSE(DeviceList().Contains(StrToHWAddr(address))) << address;
        EXPECT_EQ(Rows("DEVICE", StrToHWAddr(address)), 0) << address;
        EXPECT_EQ(Rows("ACTIVITY", StrToHWAddr(address)), 0) << address;
    }
    EXPECT_EQ(Rows("DEVICE", StrToHWAddr(Camera)), 1);
}

TEST_F(DevManTest, FailedForgetShowsTheErrorAndKeepsRowsAndRecords) {
    ConfigStore().Exec("CREATE TRIGGER refuse BEFORE DELETE ON DEVICE WHEN OLD.HWADDR = '" + std::string(Laptop) +
                       "' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    Select({Laptop, Printer});
    TUserDialogs::AnswerNextMessage(true);
    Action("acForget")->trigger();
    ASSERT_EQ(TUserDialogs::Messages().size(), 2);
    EXPECT_TRUE(TUserDialogs::Messages()[1].contains("refused")) << TUserDialogs::Messages()[1].toStdString();
    EXPECT_EQ(List()->topLevelItemCount(), 4);
    EXPECT_EQ(DeviceList().Count(), 4);
    EXPECT_EQ(Rows("DEVICE", StrToHWAddr(Printer)), 1);
}

TEST_F(DevManTest, CopyPutsTheSelectedRowsInScreenOrder) {
    Window().SetSort(TfmDevMan::dcLastSeen, true);
    Select({Printer, Phone});
    Action("acCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "0A-0B-0C-0D-0E-0F\tACME networks\tToday\tphone\r\n"
                                                 "AA-BB-CC-00-11-22\tBrother\t1 months ago\tPrinter upstairs\r\n");
}

TEST_F(DevManTest, CopyAndActivityShortcutsWorkFromTheList) {
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    List()->setFocus();
    Select({Phone});
    QApplication::clipboard()->clear();
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "0A-0B-0C-0D-0E-0F\tACME networks\tToday\tphone\r\n");
    QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(ActivityWindows().size(), 1u);
    EXPECT_TRUE(SameHWAddr(ActivityWindows()[0]->HWAddr(), StrToHWAddr(Phone)));
    EXPECT_EQ(List()->selectedItems().size(), 1); // the shortcut did not select all rows
}

TEST_F(DevManTest, EditGoesThroughThePropertiesDialog) {
    Select({Printer});
    WhenModal<TfmProperties>([](TfmProperties* dialog) {
        EXPECT_EQ(dialog->findChild<QLabel*>("lbIPTitle")->text(), "MAC address");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbMACTitle")->text(), "Vendor");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbHostNameTitle")->text(), "Last Seen");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbIPValue")->text(), "AA-BB-CC-00-11-22");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbMACValue")->text(), "Brother");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbHostNameValue")->text(), "1 months ago");
        EXPECT_FALSE(dialog->Known());
        EXPECT_EQ(dialog->Comment(), "Printer upstairs");
        dialog->findChild<QCheckBox*>("cbKnownDevice")->setChecked(true);
        dialog->findChild<QPlainTextEdit*>("mmComment")->setPlainText("Office printer");
        dialog->findChild<QPushButton*>("btOK")->click();
    });
    const TDateTime lastSeen = Record(Printer).LastSeen;
    Action("acEdit")->trigger();
    EXPECT_TRUE(RowKnown(Row(Printer)));
    EXPECT_EQ(Row(Printer)->text(TfmDevMan::dcInfo), "Office printer");
    EXPECT_TRUE(Record(Printer).Known);
    EXPECT_EQ(Record(Printer).Comment, "Office printer");
    EXPECT_EQ(Stored(Printer).Comment, "Office printer");
    EXPECT_TRUE(Stored(Printer).Known);
    EXPECT_DOUBLE_EQ(Record(Printer).LastSeen, lastSeen);
    EXPECT_TRUE(Window().Changed());
}

TEST_F(DevManTest, CancelledEditChangesNothing) {
    Select({Laptop});
    bool editShown = false;
    WhenModal<TfmProperties>([&editShown](TfmProperties* dialog) {
        editShown = true;
        dialog->SetKnown(false);
        dialog->SetComment("edited");
        dialog->reject();
    });
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    // A double click as the system delivers it: a click, then the second press as a double click.
    const QPoint at = List()->visualItemRect(Row(Laptop)).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(Window().Changed());
    EXPECT_TRUE(editShown);
    EXPECT_TRUE(RowKnown(Row(Laptop)));
    EXPECT_EQ(Row(Laptop)->text(TfmDevMan::dcInfo), "laptop");
    EXPECT_EQ(Stored(Laptop).Comment, "laptop");
    EXPECT_FALSE(Window().Changed());
}

TEST_F(DevManTest, ExportByTheChosenNameAndImportRefillsTheList) {
    const QString folder = QString::fromStdString(db_.Dir().Path().string());
    const QString xml = QDir(folder).filePath("devices.xml");
    const QString csv = QDir(folder).filePath("devices.CSV");
    TUserDialogs::AnswerNextFileName(xml);
    Action("acExport")->trigger();
    TUserDialogs::AnswerNextFileName(csv);
    Action("acExport")->trigger();
    ASSERT_TRUE(TUserDialogs::Messages().isEmpty()) << TUserDialogs::Messages().join("\n").toStdString();
    std::stringstream csvText;
    csvText << std::ifstream(csv.toStdString()).rdbuf();
    EXPECT_EQ(csvText.str().rfind("Info,MAC address,Your Comment,Last Seen\r\nTRUE,001A2B3C4D5E,laptop,", 0), 0u)
        << csvText.str();

    std::ofstream(xml.toStdString(), std::ios::trunc)
        << R"(<CONFIG><Cache Count="2"><Item0 Known="True" HWAddr="AABBCC001122" Comment="merged"/>)"
        << R"(<Item1 Known="False" HWAddr="AABBCCFFFFFF" Comment="new"/></Cache></CONFIG>)";
    TUserDialogs::AnswerNextFileName(xml);
    Action("acImport")->trigger();
    EXPECT_EQ(List()->topLevelItemCount(), 5);
    EXPECT_EQ(Row(Printer)->text(TfmDevMan::dcInfo), "merged");
    EXPECT_TRUE(RowKnown(Row(Printer)));
    EXPECT_EQ(Row("AA:BB:CC:FF:FF:FF")->text(TfmDevMan::dcVendor), "Brother");
    EXPECT_TRUE(Window().Changed());
}

TEST_F(DevManTest, ImportOfABrokenFileShowsTheErrorAndChangesNothing) {
    const std::string file = db_.Dir().File("broken.xml").string();
    std::ofstream(file) << "<CONFIG><Cache Count=\"1\">";
    TUserDialogs::AnswerNextFileName(QString::fromStdString(file));
    Action("acImport")->trigger();
    ASSERT_EQ(TUserDialogs::Messages().size(), 1);
    EXPECT_TRUE(TUserDialogs::Messages()[0].contains("broken.xml"));
    EXPECT_EQ(List()->topLevelItemCount(), 4);
    EXPECT_FALSE(Window().Changed());
}

TEST_F(DevManTest, ExecuteHandsTheSortBack) {
    int column = TfmDevMan::dcLastSeen;
    int descending = 1;
    WhenModal<TfmDevMan>([this](TfmDevMan* window) {
        QTreeWidget* list = window->findChild<QTreeWidget*>("lvDevs");
        EXPECT_EQ(list->topLevelItem(0)->text(0), Dashed(Phone));
        emit list->header()->sectionClicked(TfmDevMan::dcVendor);
        window->findChild<QPushButton*>("btClose")->click();
    });
    EXPECT_FALSE(TfmDevMan::Execute(nullptr, vendors_, column, descending));
    EXPECT_EQ(column, TfmDevMan::dcVendor);
    EXPECT_EQ(descending, 0);
}

// With TARROWIN_SCREENSHOTS naming a folder, the window is saved there for the documentation.
TEST_F(DevManTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TARROWIN_SCREENSHOTS names no folder";
    Window().SetSort(TfmDevMan::dcLastSeen, true);
    Select({Printer});
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    EXPECT_TRUE(Window().grab().save(QDir(folder).filePath("all-devices.png")));
}

} // namespace
