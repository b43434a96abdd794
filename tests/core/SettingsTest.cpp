#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"
#include "Core/Net/HWAddr.h"
#include "Core/Settings/OldSettings.h"
#include "Core/Settings/Settings.h"
#include "SQLiteDB/SQLiteDB.h"

#include "support/TempDatabase.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

#include <fstream>

using tarrowin::test::TempDatabase;

namespace {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override { ResetDeviceList(); }
    void TearDown() override {
        ResetDeviceList();
        SetMacFormat('-');
    }

    void WriteOldFile(const std::string& xml) {
        std::ofstream(oldFile_) << xml;
    }

    TempDatabase db_;
    std::filesystem::path oldFile_ = db_.Dir().File("tarrowin.xml");
};

TSettings EveryKeyChanged() {
    TSettings s;
    s.GenRescanFreq = 7;
    s.GenNextRescan = EncodeDateTime(2026, 12, 11, 15, 30, 0);
    s.GenIfName = "eth7";
    s.GenMaxThreads = 32;
    s.GenMinToTray = true;
    s.GenSortColumn = 4;
    s.GenSortDesc = 1;
    s.GenSoundAlert = "/tmp/a.wav";
    s.GenExecCommand = "/tmp/run me";
    s.DevManSortColumn = 3;
    s.DevManSortDesc = 1;
    s.Language = "Japanese";
    s.AutoUpdateEnabled = false;
    s.AutoUpdateChecked = EncodeDateTime(2026, 1, 2, 3, 4, 5);
    s.AdvCustRange.Parse("10.0.0.1-10.0.0.9,10.0.1.5");
    s.AdvGetPageTitle = true;
    s.AdvEnableMail = true;
    s.AdvMailServer = "mail.example:2525";
    s.AdvRecipients = "\"Doe, J\" <j@example>";
    s.AdvMailUserName = "user";
    s.AdvMailPassword = "pässword";
    s.AdvMailConnection = 2;
    s.ViewMACDelim = ':';
    return s;
}

TEST_F(SettingsTest, FreshDatabaseGivesEveryDefault) {
    TSettings s = ReadSettings(ConfigStore());
    EXPECT_EQ(s.GenRescanFreq, 30);
    EXPECT_EQ(s.GenNextRescan, 0);
    EXPECT_EQ(s.GenMaxThreads, 16);
    EXPECT_FALSE(s.GenMinToTray);
    EXPECT_TRUE(s.AutoUpdateEnabled);
    EXPECT_TRUE(s.AdvCustRange.Empty());
    EXPECT_EQ(s.ViewMACDelim, '-');
    EXPECT_EQ(s.Language, DefaultLanguageName());
}

TEST_F(SettingsTest, EveryKeySurvivesSaveAndLoad) {
    TSettings saved = EveryKeyChanged();
    TWindowLayout layout;
    layout.ColumnWidths = {11, 22, 33, 44, 55, 66};
    layout.Left = -1000;
    layout.Top = 20;
    layout.Width = 640;
    layout.Height = 480;
    WriteSettings(ConfigStore(), saved, layout);
    ReleaseConfigStore();

    TSettings s = ReadSettings(ConfigStore());
    EXPECT_EQ(s.GenRescanFreq, 7);
    EXPECT_EQ(FormatDBDateTime(s.GenNextRescan, true), "2026-12-11 15:30:00");
    EXPECT_EQ(s.GenIfName, "eth7");
    EXPECT_EQ(s.GenMaxThreads, 32);
    EXPECT_TRUE(s.GenMinToTray);
    EXPECT_EQ(s.GenSortColumn, 4);
    EXPECT_EQ(s.GenSortDesc, 1);
    EXPECT_EQ(s.GenSoundAlert, "/tmp/a.wav");
    EXPECT_EQ(s.GenExecCommand, "/tmp/run me");
    EXPECT_EQ(s.DevManSortColumn, 3);
    EXPECT_EQ(s.DevManSortDesc, 1);
    EXPECT_EQ(s.Language, "Japanese");
    EXPECT_FALSE(s.AutoUpdateEnabled);
    EXPECT_EQ(FormatDBDateTime(s.AutoUpdateChecked, true), "2026-01-02 03:04:05");
    EXPECT_EQ(s.AdvCustRange.ToText(), "10.0.0.1-10.0.0.9,10.0.1.5");
    EXPECT_TRUE(s.AdvGetPageTitle);
    EXPECT_TRUE(s.AdvEnableMail);
    EXPECT_EQ(s.AdvMailServer, "mail.example:2525");
    EXPECT_EQ(s.AdvRecipients, "\"Doe, J\" <j@example>");
    EXPECT_EQ(s.AdvMailUserName, "user");
    EXPECT_EQ(s.AdvMailPassword, "pässword");
    EXPECT_EQ(s.AdvMailConnection, 2);
    EXPECT_EQ(s.ViewMACDelim, ':');

    TWindowLayout l = ReadLayout(ConfigStore(), TWindowLayout{});
    EXPECT_EQ(l.ColumnWidths, layout.ColumnWidths);
    EXPECT_EQ(l.Left, -1000);
    EXPECT_EQ(l.Top, 20);
    EXPECT_EQ(l.Width, 640);
    EXPECT_EQ(l.Height, 480);
    EXPECT_FALSE(l.Maximized);
}

TEST_F(SettingsTest, StoredFormsOfBooleansAndDelimiters) {
    TSettings s;
    s.GenMinToTray = true;
    s.ViewMACDelim = '\0';
    WriteSettings(ConfigStore(), s, TWindowLayout{});
    EXPECT_EQ(ConfigStore().ReadConfig("GenMinToTray", 0), -1);
    EXPECT_EQ(ConfigStore().ReadConfig("ViewMACDelim", "x"), "");
    EXPECT_EQ(ReadSettings(ConfigStore()).ViewMACDelim, '\0');
}

TEST_F(SettingsTest, OutOfRangeThreadCountIsClamped) {
    for (auto [stored, expected] : {std::pair{0, 1}, {-5, 1}, {33, 32}, {1000, 32}, {8, 8}}) {
        ConfigStore().WriteConfig("GenMaxThreads", stored);
        EXPECT_EQ(ReadSettings(ConfigStore()).GenMaxThreads, expected) << stored;
    }
}

TEST_F(SettingsTest, MaximisedWindowKeepsItsLastNormalGeometry) {
    TWindowLayout normal;
    normal.Left = 40;
    normal.Width = 900;
    WriteSettings(ConfigStore(), TSettings{}, normal);
    TWindowLayout maximised = normal;
    maximised.Left = 0;
    maximised.Width = 1920;
    maximised.Maximized = true;
    WriteSettings(ConfigStore(), TSettings{}, maximised);
    TWindowLayout l = ReadLayout(ConfigStore(), TWindowLayout{});
    EXPECT_EQ(l.Left, 40);
    EXPECT_EQ(l.Width, 900);
    EXPECT_TRUE(l.Maximized);
}

TEST_F(SettingsTest, FailedSaveLeavesConfigAsItWas) {
    TSettings before;
    before.GenRescanFreq = 5;
    WriteSettings(ConfigStore(), before, TWindowLayout{});
    ConfigStore().Exec("CREATE TRIGGER refuse BEFORE INSERT ON CONFIG WHEN NEW.NAME = 'WindowMaximized' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    TSettings after;
    after.GenRescanFreq = 50;
    EXPECT_THROW(WriteSettings(ConfigStore(), after, TWindowLayout{}), ESQLiteException);
    EXPECT_EQ(ConfigStore().ReadConfig("GenRescanFreq", 0), 5);
}

TEST(VirtualDesktopTest, EdgesOutsideTheDesktopAreRefused) {
    EXPECT_FALSE(WithinVirtualDesktop(5000, 0, 1920));
    EXPECT_TRUE(WithinVirtualDesktop(-1000, -1920, 3840));
    EXPECT_TRUE(WithinVirtualDesktop(0, 0, 1920));
    EXPECT_FALSE(WithinVirtualDesktop(-1, 0, 1920));
}

TEST_F(SettingsTest, NoOrEmptyOldFileMeansNoMigration) {
    TSettings s;
    TWindowLayout l;
    EXPECT_FALSE(MigrateOldSettings(oldFile_, s, l, ConfigStore(), DeviceList()));
    WriteOldFile("");
    EXPECT_FALSE(MigrateOldSettings(oldFile_, s, l, ConfigStore(), DeviceList()));
}

TEST_F(SettingsTest, MigrationTakesSettingsAndDevicesOverAndDeletesTheFile) {
    tarrowin::test::TestClock clock(EncodeDateTime(2026, 12, 11, 9, 0, 0));
    WriteOldFile(R"(<?xml version="1.0"?>
<CONFIG>
  <General RescanFreq="12" IfName="wlan0" MaxThreads="99" MinToTray="TRUE" SoundAlert="/s.wav"/>
  <Advanced CustRange="10.0.0.1-10.0.0.5" EnableMail="yes" MailConnection="1"/>
  <View MACDelim=":" ColWidth2="77"/>
  <Window Left="33" Maximized="True"/>
  <Cache Count="1000000000">
    <Item0 Known="True" HWAddr="00-1A-2B-3C-4D-5E" Comment="Printer" LastSeen="2026-11-01 10:20:30"/>
    <Item1 HWAddr="001a2b3c4d5f"/>
    <Item3 HWAddr="00:1A:2B:3C:4D:5E" Comment="Printer again"/>
  </Cache>
</CONFIG>)");
    TSettings s;
    TWindowLayout l;
    ASSERT_TRUE(MigrateOldSettings(oldFile_, s, l, ConfigStore(), DeviceList()));
    EXPECT_FALSE(std::filesystem::exists(oldFile_));
    EXPECT_EQ(s.GenRescanFreq, 12);
    EXPECT_EQ(s.GenIfName, "wlan0");
    EXPECT_EQ(s.GenMaxThreads, 32);
    EXPECT_TRUE(s.GenMinToTray);
    EXPECT_FALSE(s.AdvEnableMail); // "yes" is no boolean of the old file
    EXPECT_EQ(s.AdvMailConnection, 1);
    EXPECT_EQ(s.AdvCustRange.ToText(), "10.0.0.1-10.0.0.5");
    EXPECT_EQ(s.ViewMACDelim, ':');
    EXPECT_EQ(l.ColumnWidths[2], 77);
    EXPECT_EQ(l.Left, 33);
    EXPECT_TRUE(l.Maximized);

    ASSERT_EQ(DeviceList().Count(), 2);
    const TDeviceItem& printer = DeviceList().Items(0);
    EXPECT_EQ(printer.Comment, "Printer again");
    EXPECT_FALSE(printer.Known);
    EXPECT_EQ(FormatDBDateTime(DeviceList().Items(1).LastSeen, true), "2026-12-11 09:00:00");

    ResetDeviceList();
    DeviceList().Load();
    EXPECT_EQ(DeviceList().Count(), 2);
}

TEST_F(SettingsTest, LoadSettingsSavesWhatItMigrated) {
    WriteOldFile(R"(<CONFIG><General RescanFreq="9"/></CONFIG>)");
    TSettings s;
    TWindowLayout l;
    EXPECT_TRUE(LoadSettings(s, l, oldFile_));
    EXPECT_EQ(ConfigStore().ReadConfig("GenRescanFreq", 0), 9);
    TSettings again;
    EXPECT_FALSE(LoadSettings(again, l, oldFile_));
    EXPECT_EQ(again.GenRescanFreq, 9);
}

} // namespace
