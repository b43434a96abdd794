#pragma once
#include "Core/Common/DateTime.h"
#include "Core/DeviceList/DeviceItem.h"
#include "Core/Net/HWAddr.h"
#include "SQLiteDB/SQLiteDB.h"

#include <array>
#include <filesystem>
#include <string>

// The application database: settings (CONFIG), devices (DEVICE), partial-match rules (PARTIAL) and the
// hours each device was seen (ACTIVITY). Statement operations take the lock themselves as well, but callers
// still bracket each group of calls with Lock ... Unlock (or TSQLiteLock).
class TConfigStore : public TSQLiteDB {
public:
    explicit TConfigStore(const std::filesystem::path& fileName);

    // A setting is read with the kind of its default; a missing row gives the default itself.
    std::string ReadConfig(const std::string& name, const std::string& defaultValue);
    std::string ReadConfig(const std::string& name, const char* defaultValue);
    int ReadConfig(const std::string& name, int defaultValue);
    bool ReadConfig(const std::string& name, bool defaultValue);
    TDateTime ReadConfig(const std::string& name, TDateTime defaultValue);
    // Replaces the row of the key; booleans are stored as -1 and 0, date-times as 19-character text.
    void WriteConfig(const std::string& name, const std::string& value);
    void WriteConfig(const std::string& name, const char* value);
    void WriteConfig(const std::string& name, int value);
    void WriteConfig(const std::string& name, bool value);
    void WriteConfig(const std::string& name, TDateTime value);

    // Updates the row in place (keeping its activity), inserts it when there is none.
    void SaveDevice(const TDeviceItem& device);
    // Its ACTIVITY rows go with it.
    void DeleteDevice(const THWAddr& address);
    // Notes the current local date and hour; the DEVICE row must exist.
    void AddActivity(const THWAddr& address);
    // Index = hour of the day's date part; true where the device was seen.
    std::array<bool, 24> ReadActivityHours(const THWAddr& address, TDateTime date);
    bool DayHasActivity(const THWAddr& address, TDateTime date);

protected:
    void InitDatabase() override;

private:
    // Binds NAME and reads VALUE through read when the row exists.
    template <class T, class Read> T ReadSetting(const std::string& name, T defaultValue, Read read);
    template <class Bind> void WriteSetting(const std::string& name, Bind bind);
    // Runs the UPDATE or the INSERT of a device and answers the rows it changed.
    int WriteDeviceRow(const std::string& sql, const TDeviceItem& device);
};

// The single instance, opened on first use (the path from ChooseDatabasePath unless one was set).
TConfigStore& ConfigStore();
// Closes the instance; the next ConfigStore() opens it again. Called at program end and by tests.
void ReleaseConfigStore();
// Used by the next opening; an empty path goes back to the default. Releases an open instance.
void SetConfigStorePath(const std::filesystem::path& fileName);

// The file beside the program (its extension replaced by ".DB") when that folder can be written, else
// Tarrowin/Tarrowin.DB in the per-user data folder ($XDG_DATA_HOME, or ~/.local/share).
std::filesystem::path ChooseDatabasePath(const std::filesystem::path& programFile);
// The running program's own file.
std::filesystem::path ProgramFile();
