#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "Core/Settings/OldSettings.h"

bool LoadSettings(TSettings& settings, TWindowLayout& layout, const std::filesystem::path& oldFile) {
    TConfigStore& store = ConfigStore();
    if (MigrateOldSettings(oldFile, settings, layout, store, DeviceList())) {
        ApplySettings(settings);
        WriteSettings(store, settings, layout);
        return true;
    }
    TSQLiteLock guard(store);
    settings = ReadSettings(store);
    ApplySettings(settings);
    // A migration whose old file could not be deleted already filled the list from that file; the
    // database holds the same devices, so start from it alone.
    DeviceList().Clear();
    DeviceList().Load();
    PartialList().Load();
    return false;
}
