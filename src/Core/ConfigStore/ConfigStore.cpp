#include "Core/ConfigStore/ConfigStore.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ColonText(const THWAddr& address) {
    return HWAddrToStr(address, ':');
}

// The file holds the SMTP password: owner only, before SQLite first writes to it. SQLite gives its -wal and
// -shm companions the mode of the main file; companions left by an earlier run are tightened here as well.
std::string PrivateDatabaseFile(const std::filesystem::path& fileName) {
    std::error_code ignored;
    std::filesystem::create_directories(fileName.parent_path(), ignored);
    const int fd = open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        fchmod(fd, 0600);
        close(fd);
    }
    for (const char* suffix : {"-wal", "-shm"})
        chmod((fileName.string() + suffix).c_str(), 0600);
    return fileName.string();
}

bool FolderWritable(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path UserDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return dataHome;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/tmp";
    }
    return std::filesystem::path(home) / ".local" / "share";
}

std::unique_ptr<TConfigStore> instance;
std::filesystem::path configuredPath;

} // namespace

TConfigStore::TConfigStore(const std::filesystem::path& fileName)
    : TSQLiteDB(PrivateDatabaseFile(fileName), "TConfigStore") {
    InitDatabase();
}

void TConfigStore::InitDatabase() {
    Exec("PRAGMA temp_store = 2");
    Exec("PRAGMA foreign_keys = ON");
    Exec("PRAGMA journal_mode = WAL");
    Exec("PRAGMA synchronous = NORMAL");
    Exec("CREATE TABLE IF NOT EXISTS CONFIG (NAME NOT NULL PRIMARY KEY, VALUE)");
    Exec("CREATE TABLE IF NOT EXISTS DEVICE (HWADDR CHAR(17) NOT NULL PRIMARY KEY, KNOWN BOOLEAN NOT NULL, "
         "INFO TEXT NOT NULL, LAST_SEEN DATETIME NOT NULL)");
    Exec("CREATE TABLE IF NOT EXISTS PARTIAL (HWADDR CHAR(8) NOT NULL PRIMARY KEY, INFO TEXT NOT NULL)");
    Exec("CREATE TABLE IF NOT EXISTS ACTIVITY (HWADDR CHAR(17) NOT NULL, DAY DATE NOT NULL, "
         "HOUR INTEGER NOT NULL CHECK (HOUR BETWEEN 0 AND 23), PRIMARY KEY(HWADDR, DAY, HOUR), "
         "FOREIGN KEY(HWADDR) REFERENCES DEVICE(HWADDR) ON UPDATE CASCADE ON DELETE CASCADE)");
}

template <class T, class Read> T TConfigStore::ReadSetting(const std::string& name, T defaultValue, Read read) {
    return WithStatement("SELECT VALUE FROM CONFIG WHERE NAME = :NAME", [&]() -> T {
        ParamAsString("NAME", name);
        return Step() ? read() : defaultValue;
    });
}

std::string TConfigStore::ReadConfig(const std::string& name, const std::string& defaultValue) {
    return ReadSetting(name, defaultValue, [this] { return FieldAsString("VALUE"); });
}

std::string TConfigStore::ReadConfig(const std::string& name, const char* defaultValue) {
    return ReadConfig(name, std::string(defaultValue));
}

int TConfigStore::ReadConfig(const std::string& name, int defaultValue) {
    return ReadSetting(name, defaultValue, [this] { return FieldAsInteger("VALUE"); });
}

bool TConfigStore::ReadConfig(const std::string& name, bool defaultValue) {
    return ReadSetting(name, defaultValue, [this] { return FieldAsInteger("VALUE") != 0; });
}

TDateTime TConfigStore::ReadConfig(const std::string& name, TDateTime defaultValue) {
    return ReadSetting(name, defaultValue, [this] { return FieldAsDateTime("VALUE"); });
}

template <class Bind> void TConfigStore::WriteSetting(const std::string& name, Bind bind) {
    WithStatement("INSERT OR REPLACE INTO CONFIG VALUES (:NAME, :VALUE)", [&] {
        ParamAsString("NAME", name);
        bind();
        ExecPrepared();
    });
}

void TConfigStore::WriteConfig(const std::string& name, const std::string& value) {
    WriteSetting(name, [&] { ParamAsString("VALUE", value); });
}

void TConfigStore::WriteConfig(const std::string& name, const char* value) {
    WriteConfig(name, std::string(value));
}

void TConfigStore::WriteConfig(const std::string& name, int value) {
    WriteSetting(name, [&] { ParamAsInteger("VALUE", value); });
}

void TConfigStore::WriteConfig(const std::string& name, bool value) {
    WriteSetting(name, [&] { ParamAsInteger("VALUE", value ? -1 : 0); });
}

void TConfigStore::WriteConfig(const std::string& name, TDateTime value) {
    WriteSetting(name, [&] { ParamAsDateTime("VALUE", value); });
}

int TConfigStore::WriteDeviceRow(const std::string& sql, const TDeviceItem& device) {
    return WithStatement(sql, [&] {
        ParamAsString("HWADDR", ColonText(device.HWAddr));
        ParamAsBoolean("KNOWN", device.Known);
        ParamAsString("INFO", device.Comment);
        ParamAsDateTime("LAST_SEEN", device.LastSeen);
        ExecPrepared();
        return Changes();
    });
}

void TConfigStore::SaveDevice(const TDeviceItem& device) {
    // UPDATE first: a replacing INSERT would delete the row and cascade away its activity.
    TSQLiteLock guard(*this);
    if (WriteDeviceRow("UPDATE DEVICE SET KNOWN = :KNOWN, INFO = :INFO, LAST_SEEN = :LAST_SEEN WHERE HWADDR = :HWADDR",
                       device) > 0)
        return;
    WriteDeviceRow("INSERT OR REPLACE INTO DEVICE (HWADDR, KNOWN, INFO, LAST_SEEN) "
                   "VALUES (:HWADDR, :KNOWN, :INFO, :LAST_SEEN)",
                   device);
}

void TConfigStore::DeleteDevice(const THWAddr& address) {
    WithStatement("DELETE FROM DEVICE WHERE HWADDR = :HWADDR", [&] {
        ParamAsString("HWADDR", ColonText(address));
        ExecPrepared();
    });
}

void TConfigStore::AddActivity(const THWAddr& address) {
    // One reading of the clock, so the day and the hour always belong together.
    const TDateTime now = Now();
    WithStatement("INSERT OR IGNORE INTO ACTIVITY (HWADDR, DAY, HOUR) VALUES (:HWADDR, :DAY, :HOUR)", [&] {
        ParamAsString("HWADDR", ColonText(address));
        ParamAsDate("DAY", now);
        ParamAsInteger("HOUR", HourOf(now));
        ExecPrepared();
    });
}

std::array<bool, 24> TConfigStore::ReadActivityHours(const THWAddr& address, TDateTime date) {
    std::array<bool, 24> hours{};
    WithStatement("SELECT HOUR FROM ACTIVITY WHERE HWADDR = :HWADDR AND DAY = :DAY", [&] {
        ParamAsString("HWADDR", ColonText(address));
        ParamAsDate("DAY", date);
        while (Step()) {
            const int hour = FieldAsInteger("HOUR");
            if (hour >= 0 && hour < 24)
                hours[static_cast<size_t>(hour)] = true;
        }
    });
    return hours;
}

bool TConfigStore::DayHasActivity(const THWAddr& address, TDateTime date) {
    return WithStatement("SELECT 1 FROM ACTIVITY WHERE HWADDR = :HWADDR AND DAY = :DAY", [&] {
        BindText(1, ColonText(address));
        BindDate(2, date);
        return Step();
    });
}

TConfigStore& ConfigStore() {
    if (!instance) {
        const std::filesystem::path file = configuredPath.empty() ? ChooseDatabasePath(ProgramFile()) : configuredPath;
        auto store = std::make_unique<TConfigStore>(file);
        store->SetBusyTimeout(60);
        instance = std::move(store);
    }
    return *instance;
}

void ReleaseConfigStore() {
    instance.reset();
}

void SetConfigStorePath(const std::filesystem::path& fileName) {
    ReleaseConfigStore();
    configuredPath = fileName;
}

std::filesystem::path ChooseDatabasePath(const std::filesystem::path& programFile) {
    std::filesystem::path beside = programFile;
    beside.replace_extension(".DB");
    if (FolderWritable(beside.parent_path()))
        return beside;
    return UserDataFolder() / "Tarrowin" / "Tarrowin.DB";
}

std::filesystem::path ProgramFile() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}
