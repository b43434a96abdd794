#include "GUI/MainView/MainWindow.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/DevMan/DevMan.h"
#include "GUI/MainView/ListEntry.h"
#include "GUI/Properties/Properties.h"

#include "DeviceWindowsSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QTreeWidget>

namespace {

using tarrowin::test::WhenModal;

const THWAddr printer{0x00, 0x1A, 0x2B, 0x00, 0x00, 0x07};

// The main window opening the device windows for its rows.
class DeviceWiringTest : public testing::Test {
protected:
    void SetUp() override {
        TUserDialogs::Reset();
        ResetDeviceList();
        window_.Settings().GenIfName = "lan0";
        TDeviceItem& record = DeviceList().FindOrAdd(printer);
        ConfigStore().SaveDevice(record);
        // One device answering at two addresses gives two rows.
        for (const char* address : {"10.0.0.7", "10.0.0.8"}) {
            auto* row = new TListEntry(printer);
            row->setText(rcAddress, QString::fromLatin1(address));
            row->setText(rcHWAddr, QStringLiteral("00-1A-2B-00-00-07"));
            List()->addTopLevelItem(row);
        }
    }
    void TearDown() override { ResetDeviceList(); }

    QTreeWidget* List() { return window_.findChild<QTreeWidget*>(QStringLiteral("lvMainView")); }
    QAction* Action(const char* name) { return window_.findChild<QAction*>(QString::fromLatin1(name)); }

    tarrowin::test::TempDatabase database_;
    TfmHWKMain window_;
};

TEST_F(DeviceWiringTest, PropertiesOfARowUpdateEveryRowOfTheDevice) {
    List()->setCurrentItem(List()->topLevelItem(0));
    bool scansHeld = false;
    WhenModal<TfmProperties>([&](TfmProperties* dialog) {
        scansHeld = !window_.AutomaticScansAllowed();
        dialog->findChild<QCheckBox*>(QStringLiteral("cbKnownDevice"))->setChecked(true);
        dialog->SetComment("Office printer");
        dialog->findChild<QPushButton*>(QStringLiteral("btOK"))->click();
    });
    window_.AllowAutomaticScans(true);
    Action("acProperties")->trigger();
    EXPECT_TRUE(scansHeld);
    EXPECT_TRUE(window_.AutomaticScansAllowed());
    EXPECT_TRUE(DeviceList().FindOrAdd(printer).Known);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(List()->topLevelItem(i)->text(rcInfo), "Office printer");
}

TEST_F(DeviceWiringTest, AllDevicesWindowHoldsScansAndRefreshesTheMarks) {
    DeviceList().FindOrAdd(printer).Comment = "changed meanwhile";
    bool scansHeld = false;
    WhenModal<TfmDevMan>([&](TfmDevMan* dialog) {
        scansHeld = !window_.AutomaticScansAllowed();
        dialog->reject();
    });
    window_.AllowAutomaticScans(true);
    Action("acDeviceManager")->trigger();
    EXPECT_TRUE(scansHeld);
    EXPECT_TRUE(window_.AutomaticScansAllowed());
    EXPECT_EQ(List()->topLevelItem(1)->text(rcInfo), "changed meanwhile");
}

TEST(LanguageDirectionTest, RightToLeftLanguagesMirrorTheLayout) {
    LanguageTable().SetLanguage("Arabic");
    ApplyLanguageDirection();
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    LanguageTable().SetLanguage("English");
    ApplyLanguageDirection();
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
}

} // namespace
