#include "GUI/MainView/MainWindow.h"
#include "Core/Lang/Language.h"
#include "Core/Net/HWAddr.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using tarrowin::test::TempDir;

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        TUserDialogs::Reset();
        // With an adapter chosen, activation opens no settings window.
        window_.Settings().GenIfName = "lan0";
    }

    template <typename T> T* Find(const char* name) {
        T* found = window_.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QAction* Action(const char* name) { return Find<QAction>(name); }
    QTreeWidget* List() { return Find<QTreeWidget>("lvMainView"); }

    TListEntry* AddRow(const THWAddr& hwAddr, const std::array<const char*, 6>& cells) {
        auto* row = new TListEntry(hwAddr);
        for (int i = 0; i < 6; ++i)
            row->setText(i, QString::fromUtf8(cells[i]));
        List()->addTopLevelItem(row);
        return row;
    }

    static QStringList ActionNames(const QList<QAction*>& actions) {
        QStringList names;
        for (const QAction* action : actions)
            names.append(action->isSeparator() ? QStringLiteral("-") : action->objectName());
        return names;
    }

    tarrowin::test::TempDatabase database_;
    TfmHWKMain window_;
};

const THWAddr deviceA{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const THWAddr deviceB{0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22};

TEST_F(MainWindowTest, ActionsCarryTheirCaptionsHintsAndShortcuts) {
    struct TCase {
        const char* Name;
        const char* Caption;
        const char* Hint; // empty: none designed
        const char* Shortcut;
    };
    const TCase cases[] = {
        {"acScanNow", "Scan Now", "Scan network (refresh display)", ""},
        {"acSettings", "Settings", "Change settings", ""},
        {"acProperties", "Properties", "View device properties", "Ctrl+P"},
        {"acHelp", "Help", "Help", ""},
        {"acShowApp", "Show Tarrowin", "Show Tarrowin", ""},
        {"acQuitApp", "Quit", "", ""},
        {"acCopyLine", "Copy", "Copy to the clipboard", "Ctrl+C"},
        {"acSaveToFile", "Save...", "Save to a file", ""},
        {"acAbout", "About Tarrowin", "Show info about Tarrowin", ""},
        {"acMACDelimNone", "AABBCCDDEEFF", "", ""},
        {"acMACDelimDash", "AA-BB-CC-DD-EE-FF", "", ""},
        {"acMACDelimColon", "AA:BB:CC:DD:EE:FF", "", ""},
        {"acDeviceManager", "All Devices", "See all network devices", ""},
        {"acActivity", "Activity", "", "Ctrl+A"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QAction* action = Action(c.Name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text().toStdString(), c.Caption);
        if (*c.Hint != '\0') {
            EXPECT_EQ(action->toolTip().toStdString(), c.Hint);
        }
        EXPECT_EQ(action->shortcut().toString(QKeySequence::PortableText).toStdString(), c.Shortcut);
    }
    EXPECT_EQ(window_.windowTitle(), QStringLiteral("Pembrid Tarrowin (portable)"));
    EXPECT_FALSE(Action("acScanNow")->icon().isNull());
}

TEST_F(MainWindowTest, ToolbarAndMenusPointToTheActions) {
    const std::pair<const char*, const char*> buttons[] = {{"tbScanNow", "acScanNow"},
                                                           {"tbSettings", "acSettings"},
                                                           {"tbProperties", "acProperties"},
                                                           {"tbWebSite", "acHelp"},
                                                           {"tbDeviceManager", "acDeviceManager"}};
    for (const auto& [button, action] : buttons)
        EXPECT_EQ(Find<QToolButton>(button)->defaultAction(), Action(action)) << button;

    EXPECT_EQ(ActionNames(Find<QMenu>("mmiFile")->actions()),
              QStringList({"acSaveToFile", "acSettings", "acDeviceManager", "-", "acQuitApp"}));
    EXPECT_EQ(ActionNames(Find<QMenu>("mmiMACFormat")->actions()),
              QStringList({"acMACDelimNone", "acMACDelimColon", "acMACDelimDash"}));
    EXPECT_EQ(ActionNames(Find<QMenu>("pmOperations")->actions()),
              QStringList({"acProperties", "acCopyLine", "acActivity"}));
    const auto* tray = Find<QMenu>("pmTrayIcon");
    EXPECT_EQ(ActionNames(tray->actions()),
              QStringList({"acShowApp", "-", "acScanNow", "acSettings", "-", "acQuitApp"}));
    EXPECT_EQ(tray->defaultAction(), Action("acShowApp"));

    QStringList languages;
    for (const QAction* entry : Find<QMenu>("mmiLanguage")->actions())
        languages.append(entry->text());
    EXPECT_EQ(languages, QStringList({"English", "Japanese"}));
}

TEST_F(MainWindowTest, EnableRulesFollowTheRows) {
    const char* const whenRows[] = {"acProperties", "acCopyLine", "acActivity", "acSaveToFile"};
    const char* const always[] = {"acScanNow", "acSettings", "acDeviceManager", "acHelp", "acShowApp", "acQuitApp"};
    for (const char* name : whenRows)
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    for (const char* name : always)
        EXPECT_TRUE(Action(name)->isEnabled()) << name;

    AddRow(deviceA, {"10.0.0.1", "00-1A-2B-3C-4D-5E", "1 ms", "", "", ""});
    EXPECT_TRUE(Action("acSaveToFile")->isEnabled());
    EXPECT_FALSE(Action("acProperties")->isEnabled());
    List()->topLevelItem(0)->setSelected(true);
    for (const char* name : whenRows)
        EXPECT_TRUE(Action(name)->isEnabled()) << name;
}

TEST_F(MainWindowTest, ActionNotEnabledDoesNothingFromCode) {
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    Action("acCopyLine")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    // A rule is checked again on invocation, even when its last evaluation is out of date.
    QTreeWidgetItem* row = AddRow(deviceA, {"10.0.0.1", "00-1A-2B-3C-4D-5E", "", "", "", ""});
    row->setSelected(true);
    ASSERT_TRUE(Action("acCopyLine")->isEnabled());
    {
        const QSignalBlocker quiet(List()->selectionModel());
        List()->clearSelection();
    }
    Action("acCopyLine")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_FALSE(Action("acCopyLine")->isEnabled());

    // Saving an empty list asks for no file.
    delete row;
    TUserDialogs::AnswerNextFileName(QStringLiteral("/nonexistent/never.txt"));
    Action("acSaveToFile")->trigger();
    EXPECT_TRUE(TUserDialogs::Messages().isEmpty());
}

TEST_F(MainWindowTest, SaveWritesTabSeparatedUtf8WithCrLf) {
    AddRow(deviceA, {"10.0.0.1", "00-1A-2B-3C-4D-5E", "1 ms", "router", "Internet gateway", "Vendor A"});
    AddRow(deviceB, {"10.0.0.20", "AA-BB-CC-00-11-22", "---", "Gerät", "", ""});
    const TempDir folder;
    const QString path = QString::fromStdString(folder.File("list.txt").string());
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'x'));
    }
    TUserDialogs::AnswerNextFileName(path);
    Action("acSaveToFile")->trigger();

    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray expected = "IP address\tMAC address\tRTT\tName\tInfo\tVendor\r\n"
                                "==========\t===========\t===\t====\t====\t======\r\n"
                                "10.0.0.1\t00-1A-2B-3C-4D-5E\t1 ms\trouter\tInternet gateway\tVendor A\r\n"
                                "10.0.0.20\tAA-BB-CC-00-11-22\t---\tGer\xC3\xA4t\t\t\r\n";
    EXPECT_EQ(saved.readAll(), expected);
    EXPECT_TRUE(TUserDialogs::Messages().isEmpty());
}

TEST_F(MainWindowTest, SaveFailureIsReportedAndLeavesTheListAlone) {
    AddRow(deviceA, {"10.0.0.1", "00-1A-2B-3C-4D-5E", "", "", "", ""});
    const TempDir folder;
    TUserDialogs::AnswerNextFileName(QString::fromStdString(folder.File("missing/list.txt").string()));
    Action("acSaveToFile")->trigger();
    ASSERT_EQ(TUserDialogs::Messages().size(), 1);
    EXPECT_TRUE(TUserDialogs::Messages().constFirst().contains(QStringLiteral("missing/list.txt")));
    EXPECT_EQ(List()->topLevelItemCount(), 1);
}

TEST_F(MainWindowTest, CopyPutsTheRowOrOneCellOnTheClipboard) {
    AddRow(deviceB, {"10.0.0.20", "AA-BB-CC-00-11-22", "---", "", "", ""});
    // The list sorts its rows, so the selected row is held by its pointer.
    QTreeWidgetItem* selected = AddRow(deviceA, {"10.0.0.1", "00-1A-2B-3C-4D-5E", "3 ms", "nas", "Backups", "Vendor A"});
    selected->setSelected(true);

    Action("acCopyLine")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("10.0.0.1\t00-1A-2B-3C-4D-5E\t3 ms\tnas\tBackups\tVendor A"));

    const QList<QAction*> columns = Find<QMenu>("pmiCopy")->actions();
    ASSERT_EQ(columns.size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(columns[i]->text(), List()->headerItem()->text(i));
        columns[i]->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), selected->text(i)) << i;
    }
}

TEST_F(MainWindowTest, MacFormatRewritesTheRowsFromTheirDevice) {
    AddRow(deviceA, {"10.0.0.1", "stale text", "", "", "", ""});
    Action("acMACDelimColon")->trigger();
    EXPECT_EQ(CurrentMacFormat(), ':');
    EXPECT_EQ(List()->topLevelItem(0)->text(rcHWAddr), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_TRUE(Action("acMACDelimColon")->isChecked());
    EXPECT_FALSE(Action("acMACDelimDash")->isChecked());

    Action("acMACDelimNone")->trigger();
    EXPECT_EQ(List()->topLevelItem(0)->text(rcHWAddr), QStringLiteral("001A2B3C4D5E"));
    Action("acMACDelimDash")->trigger();
    EXPECT_EQ(CurrentMacFormat(), '-');
}

TEST_F(MainWindowTest, ActivationTranslatesTheWindow) {
    struct TLanguageGuard {
        ~TLanguageGuard() { LanguageTable().SetLanguage("English"); }
    } restore;
    LanguageTable().SetLanguage("Japanese");
    const std::string settings = LanguageTable().Translate("Settings");
    const std::string file = LanguageTable().Translate("File");
    ASSERT_NE(settings, "Settings");

    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    EXPECT_EQ(Action("acSettings")->text().toStdString(), settings);
    EXPECT_EQ(Find<QMenu>("mmiFile")->title().toStdString(), file);
    // Row data is no interface text.
    EXPECT_EQ(Find<QMenu>("mmiLanguage")->actions().constFirst()->text(), QStringLiteral("English"));
}

// Minimising or closing hides the window only where a notification area can bring it back.
class TrayTest : public testing::TestWithParam<bool> {
protected:
    static TMainWindowContext WithTray() {
        TMainWindowContext context;
        context.TrayAvailable = [] { return GetParam(); };
        return context;
    }
    TrayTest() : window_(WithTray()) {
        window_.Settings().GenMinToTray = true;
        window_.Settings().GenIfName = "lan0";
        window_.UpdateTrayIcon();
        window_.show();
    }

    tarrowin::test::TempDatabase database_;
    TfmHWKMain window_;
    QSignalSpy closed_{&window_, &TfmHWKMain::Closed};
};

TEST_P(TrayTest, CloseHidesOnlyWithANotificationArea) {
    const bool trayAvailable = GetParam();
    window_.close();
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(closed_.count(), trayAvailable ? 0 : 1);
    if (trayAvailable) {
        window_.ShowApp();
        EXPECT_TRUE(window_.isVisible());
        window_.findChild<QAction*>(QStringLiteral("acQuitApp"))->trigger();
        EXPECT_EQ(closed_.count(), 1);
    }
}

TEST_P(TrayTest, MinimiseHidesOnlyWithANotificationArea) {
    const bool trayAvailable = GetParam();
    window_.setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_EQ(window_.isVisible(), !trayAvailable);
    EXPECT_EQ(window_.isMinimized(), !trayAvailable);
    window_.ShowApp();
    EXPECT_TRUE(window_.isVisible());
    EXPECT_FALSE(window_.isMinimized());
}

INSTANTIATE_TEST_SUITE_P(Tray, TrayTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Available" : "Missing"; });

} // namespace
