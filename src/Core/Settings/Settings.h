#pragma once
#include "Core/Common/DateTime.h"
#include "Core/Net/IPv4Range.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

class TConfigStore;

// Every user setting kept in CONFIG, under the key of the same name.
struct TSettings {
    int GenRescanFreq = 30; // minutes; 0 turns automatic scans off
    TDateTime GenNextRescan = 0;
    std::string GenIfName;
    int GenMaxThreads = 16;
    bool GenMinToTray = false;
    int GenSortColumn = 0;
    int GenSortDesc = 0;
    std::string GenSoundAlert;
    std::string GenExecCommand;
    int DevManSortColumn = 0;
    int DevManSortDesc = 0;
    std::string Language; // empty: the locale's language
    bool AutoUpdateEnabled = true;
    TDateTime AutoUpdateChecked = 0;
    TIPv4PairList AdvCustRange;
    bool AdvGetPageTitle = false;
    bool AdvEnableMail = false;
    std::string AdvMailServer;
    std::string AdvRecipients;
    std::string AdvMailUserName;
    std::string AdvMailPassword;
    std::uint8_t AdvMailConnection = 0; // 0 regular, 1 STARTTLS, 2 TLS
    char ViewMACDelim = '-';            // '\0', '-' or ':'
};

constexpr int MinThreads = 1;
constexpr int MaxThreads = 32;
constexpr int ResultColumnCount = 6;

// The main window's layout; the defaults are the window's current geometry, supplied by the window.
struct TWindowLayout {
    std::array<int, ResultColumnCount> ColumnWidths{100, 130, 70, 130, 160, 150};
    int Left = 0;
    int Top = 0;
    int Width = 800;
    int Height = 500;
    bool Maximized = false;
    // Position and size are saved only from the normal state, so a maximised window keeps its old place.
    bool NormalState = true;
};

// Reads every setting with its default, in key order, under the database lock. A thread count outside
// 1 to 32 is clamped; a stored custom range text that no longer parses keeps the ranges before the fault.
TSettings ReadSettings(TConfigStore& store);
// Writes every setting and the layout in one transaction: on a failure nothing changes and the error passes.
void WriteSettings(TConfigStore& store, const TSettings& settings, const TWindowLayout& layout);
// The stored layout, each value defaulting to the one given.
TWindowLayout ReadLayout(TConfigStore& store, const TWindowLayout& defaults);
// Whether a stored left (or top) edge lies within the virtual desktop's closed interval [origin, extent].
bool WithinVirtualDesktop(int edge, int origin, int extent);

// Makes the settings current: language (its locale default when unset) and hardware-address format.
void ApplySettings(TSettings& settings);
