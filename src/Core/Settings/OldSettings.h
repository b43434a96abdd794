#pragma once
#include "Core/Settings/Settings.h"

#include <filesystem>

class TConfigStore;
class TDeviceList;

// The XML file in which older versions kept settings and devices: the program file with ".xml".
std::filesystem::path OldSettingsPath(const std::filesystem::path& programFile);

// Takes the old file's settings and devices over, once. The layout passed in holds the defaults (the
// window's centred position and current size). The devices are stored in one transaction, so a failure
// leaves the old file for the next start and no half of it in the database. True when the old file was
// read to the end and deleted.
bool MigrateOldSettings(const std::filesystem::path& xmlFile, TSettings& settings, TWindowLayout& layout,
                        TConfigStore& store, TDeviceList& devices);

// Start-up: the old file's settings when it can be taken over (they are saved at once), otherwise those of
// CONFIG; they are applied, then the device list and the partial-match rules are loaded. True when the
// layout came from the old file (else the caller reads it with ReadLayout each time the window shows).
bool LoadSettings(TSettings& settings, TWindowLayout& layout, const std::filesystem::path& oldFile);
