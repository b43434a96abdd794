#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Common/DateTime.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using tarrowin::test::EnvGuard;
using tarrowin::test::TempDatabase;
using tarrowin::test::TempDir;

namespace {

const THWAddr Printer{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

std::string QueryText(TSQLiteDB& db, const std::string& sql) {
    return db.WithStatement(sql, [&] { return db.Step() ? db.ColumnText(0) : "<no row>"; });
}

int FileMode(const std::filesystem::path& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
}

class ConfigStoreTest : public testing::Test {
protected:
    std::string Query(const std::string& sql) { return QueryText(ConfigStore(), sql); }

    TDeviceItem Device(const THWAddr& address, const std::string& comment, bool known) {
        TDeviceItem item;
        item.HWAddr = address;
        item.Comment = comment;
        item.Known = known;
        item.LastSeen = EncodeDateTime(2017, 8, 24, 16, 21, 36, 900);
        return item;
    }

    TempDatabase database_;
};

TEST_F(ConfigStoreTest, FirstOpeningCreatesPrivateFileWithTablesAndWriteAheadLog) {
    const mode_t oldMask = umask(0);
    ConfigStore();
    umask(oldMask);
    EXPECT_EQ(Query("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master WHERE type = 'table' "
                    "ORDER BY name)"),
              "ACTIVITY,CONFIG,DEVICE,PARTIAL");
    EXPECT_EQ(Query("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(Query("PRAGMA foreign_keys"), "1");
    ConfigStore().WriteConfig("GenMaxThreads", 8);
    const std::string file = database_.File().string();
    for (const std::string& name : {file, file + "-wal", file + "-shm"})
        EXPECT_EQ(FileMode(name), 0600) << name;
}

TEST_F(ConfigStoreTest, ExistingReadableFileIsMadePrivateAndKeepsItsData) {
    ConfigStore().WriteConfig("SmtpPassword", "secret");
    ReleaseConfigStore();
    chmod(database_.File().c_str(), 0644);
    EXPECT_EQ(ConfigStore().ReadConfig("SmtpPassword", ""), "secret");
    EXPECT_EQ(FileMode(database_.File()), 0600);
}

TEST_F(ConfigStoreTest, SettingsReadWithTheKindOfTheirDefault) {
    TConfigStore& db = ConfigStore();
    EXPECT_EQ(db.ReadConfig("Never", "fallback"), "fallback");
    EXPECT_EQ(db.ReadConfig("Never", 42), 42);
    EXPECT_TRUE(db.ReadConfig("Never", true));
    EXPECT_EQ(db.ReadConfig("Never", 1.5), 1.5);

    db.WriteConfig("Text", "stored");
    db.WriteConfig("Text", "replaced");
    db.WriteConfig("Count", 7);
    db.WriteConfig("On", true);
    db.WriteConfig("Off", false);
    db.WriteConfig("When", EncodeDateTime(2017, 8, 24, 16, 21, 36, 900));
    EXPECT_EQ(db.ReadConfig("Text", "other"), "replaced");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM CONFIG WHERE NAME = 'Text'"), "1");
    EXPECT_EQ(db.ReadConfig("Count", 0), 7);
    EXPECT_TRUE(db.ReadConfig("Count", false));
    EXPECT_TRUE(db.ReadConfig("On", false));
    EXPECT_FALSE(db.ReadConfig("Off", true));
    EXPECT_EQ(db.ReadConfig("When", 0.0), EncodeDateTime(2017, 8, 24, 16, 21, 36));
    EXPECT_EQ(Query("SELECT group_concat(V) FROM (SELECT typeof(VALUE) || ':' || VALUE AS V FROM CONFIG "
                    "WHERE NAME IN ('On', 'Off', 'When') ORDER BY NAME)"),
              "integer:0,integer:-1,text:2017-08-24 16:21:36");
}

TEST_F(ConfigStoreTest, StoredValueWinsOverTheDefaultEvenWhenUnreadable) {
    TConfigStore& db = ConfigStore();
    db.Exec("INSERT INTO CONFIG VALUES ('Null', NULL), ('BadDate', '24.08.2017')");
    EXPECT_EQ(db.ReadConfig("Null", "default"), "");
    EXPECT_EQ(db.ReadConfig("Null", 9), 0);
    EXPECT_FALSE(db.ReadConfig("Null", true));
    EXPECT_EQ(db.ReadConfig("BadDate", EncodeDate(2020, 1, 1)), 0);
}

TEST_F(ConfigStoreTest, SettingsSurviveReopening) {
    ConfigStore().WriteConfig("DeviceFilter", "printer");
    ReleaseConfigStore();
    EXPECT_EQ(ConfigStore().ReadConfig("DeviceFilter", ""), "printer");
}

TEST_F(ConfigStoreTest, SavingADeviceAgainUpdatesInPlaceAndKeepsItsActivity) {
    TConfigStore& db = ConfigStore();
    db.SaveDevice(Device(Printer, "", false));
    EXPECT_EQ(Query("SELECT typeof(INFO) || '|' || INFO || '|' || KNOWN || '|' || LAST_SEEN FROM DEVICE"),
              "text||0|2017-08-24 16:21:36");
    db.AddActivity(Printer);
    db.SaveDevice(Device(Printer, "Printer upstairs", true));
    EXPECT_EQ(Query("SELECT COUNT(*) || '|' || HWADDR || '|' || KNOWN || '|' || INFO FROM DEVICE"),
              "1|00:1A:2B:3C:4D:5E|1|Printer upstairs");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM ACTIVITY"), "1");
}

TEST_F(ConfigStoreTest, ForgettingDevicesInATransactionRemovesTheirActivity) {
    TConfigStore& db = ConfigStore();
    const THWAddr phone{0x02, 0, 0, 0, 0, 0x01};
    db.SaveDevice(Device(Printer, "a", false));
    db.SaveDevice(Device(phone, "b", false));
    db.AddActivity(Printer);
    db.AddActivity(phone);
    db.InTransaction([&] {
        db.DeleteDevice(Printer);
        db.DeleteDevice(phone);
    });
    EXPECT_EQ(Query("SELECT (SELECT COUNT(*) FROM DEVICE) || '|' || (SELECT COUNT(*) FROM ACTIVITY)"), "0|0");
}

TEST_F(ConfigStoreTest, ActivityForAnUnsavedDeviceRaisesTheForeignKeyError) {
    int raised = 0;
    try {
        ConfigStore().AddActivity(Printer);
    } catch (const ESQLiteException& e) {
        ++raised;
        EXPECT_STREQ(e.what(), "TConfigStore: Abort due to constraint violation: FOREIGN KEY constraint failed");
    }
    EXPECT_EQ(raised, 1);
}

TEST_F(ConfigStoreTest, FailedSettingsSaveLosesNothingStored) {
    TConfigStore& db = ConfigStore();
    db.WriteConfig("GenMaxThreads", 8);
    EXPECT_THROW(db.InTransaction([&] {
        db.WriteConfig("GenMaxThreads", 16);
        db.AddActivity(Printer); // fails: no such device
    }),
                 ESQLiteException);
    EXPECT_EQ(db.ReadConfig("GenMaxThreads", 0), 8);
}

TEST_F(ConfigStoreTest, BusyDatabaseGivesTheLockedErrorAndKeepsTheOldValue) {
    ConfigStore().WriteConfig("Key", 1);
    TConfigStore other(database_.File());
    other.Exec("BEGIN IMMEDIATE");
    try {
        ConfigStore().WriteConfig("Key", 2);
        ADD_FAILURE() << "wrote while another connection held the write lock";
    } catch (const ESQLiteException& e) {
        EXPECT_THAT(e.what(), testing::StartsWith("TConfigStore: The database file is locked: "));
    }
    other.Exec("ROLLBACK");
    EXPECT_EQ(ConfigStore().ReadConfig("Key", 0), 1);
}

TEST(DatabasePath, BesideTheProgramWithExtensionDB) {
    TempDir dir;
    EXPECT_EQ(ChooseDatabasePath(dir.File("tarrowin")), dir.File("tarrowin.DB"));
    EXPECT_EQ(ChooseDatabasePath(dir.File("tarrowin.bin")), dir.File("tarrowin.DB"));
    EXPECT_EQ(ProgramFile().filename(), "core_config_store_test");
}

TEST(DatabasePath, UnwritableProgramFolderFallsBackToTheUserDataFolder) {
    TempDir dir;
    std::ofstream(dir.File("not-a-folder")) << "x";
    // Even root cannot create a folder below a plain file.
    const std::filesystem::path program = dir.File("not-a-folder") / "bin" / "tarrowin";
    {
        EnvGuard dataHome("XDG_DATA_HOME", dir.File("data").c_str());
        EXPECT_EQ(ChooseDatabasePath(program), dir.File("data") / "Tarrowin" / "Tarrowin.DB");
    }
    EnvGuard noDataHome("XDG_DATA_HOME", nullptr);
    EnvGuard home("HOME", dir.File("home").c_str());
    const std::filesystem::path fallback = ChooseDatabasePath(program);
    EXPECT_EQ(fallback, dir.File("home") / ".local" / "share" / "Tarrowin" / "Tarrowin.DB");

    SetConfigStorePath(fallback);
    ConfigStore().WriteConfig("Started", true);
    EXPECT_EQ(FileMode(fallback), 0600);
    SetConfigStorePath({});
}

TEST(DatabasePath, ReadOnlyProgramFolderFallsBack) {
    if (geteuid() == 0)
        GTEST_SKIP() << "folder permissions do not bind root; the plain-file case covers the fallback";
    TempDir dir;
    std::filesystem::create_directory(dir.File("bin"));
    chmod(dir.File("bin").c_str(), 0555);
    EnvGuard dataHome("XDG_DATA_HOME", dir.File("data").c_str());
    EXPECT_EQ(ChooseDatabasePath(dir.File("bin") / "tarrowin"), dir.File("data") / "Tarrowin" / "Tarrowin.DB");
    chmod(dir.File("bin").c_str(), 0755);
}

} // namespace
