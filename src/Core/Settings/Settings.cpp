#include "Core/Settings/Settings.h"

#include "Core/Common/Exception.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Lang/Language.h"
#include "Core/Net/HWAddr.h"

#include <algorithm>

namespace {

std::string ColumnWidthKey(int column) { return "ViewColWidth" + std::to_string(column); }

std::string DelimiterText(char delimiter) { return delimiter == '\0' ? std::string() : std::string(1, delimiter); }

char DelimiterFromText(const std::string& text) { return text.empty() ? '\0' : text.front(); }

void ParseRangesKeepingWhatParses(TIPv4PairList& list, const std::string& text) {
    try {
        list.Parse(text);
    } catch (const Exception&) {
        // Only the settings window writes this key and it validates first; a hand-edited database must
        // not keep the program from starting.
    }
}

} // namespace

TSettings ReadSettings(TConfigStore& store) {
    TSQLiteLock guard(store);
    TSettings s;
    s.GenRescanFreq = store.ReadConfig("GenRescanFreq", s.GenRescanFreq);
    s.GenNextRescan = store.ReadConfig("GenNextRescan", s.GenNextRescan);
    s.GenIfName = store.ReadConfig("GenIfName", s.GenIfName);
    s.GenMaxThreads = std::clamp(store.ReadConfig("GenMaxThreads", s.GenMaxThreads), MinThreads, MaxThreads);
    s.GenMinToTray = store.ReadConfig("GenMinToTray", s.GenMinToTray);
    s.GenSortColumn = store.ReadConfig("GenSortColumn", s.GenSortColumn);
    s.GenSortDesc = store.ReadConfig("GenSortDesc", s.GenSortDesc);
    s.GenSoundAlert = store.ReadConfig("GenSoundAlert", s.GenSoundAlert);
    s.GenExecCommand = store.ReadConfig("GenExecCommand", s.GenExecCommand);
    s.DevManSortColumn = store.ReadConfig("DevManSortColumn", s.DevManSortColumn);
    s.DevManSortDesc = store.ReadConfig("DevManSortDesc", s.DevManSortDesc);
    s.Language = store.ReadConfig("Language", DefaultLanguageName());
    s.AutoUpdateEnabled = store.ReadConfig("AutoUpdateEnabled", s.AutoUpdateEnabled);
    s.AutoUpdateChecked = store.ReadConfig("AutoUpdateChecked", s.AutoUpdateChecked);
    ParseRangesKeepingWhatParses(s.AdvCustRange, store.ReadConfig("AdvCustRange", ""));
    s.AdvGetPageTitle = store.ReadConfig("AdvGetPageTitle", s.AdvGetPageTitle);
    s.AdvEnableMail = store.ReadConfig("AdvEnableMail", s.AdvEnableMail);
    s.AdvMailServer = store.ReadConfig("AdvMailServer", s.AdvMailServer);
    s.AdvRecipients = store.ReadConfig("AdvRecipients", s.AdvRecipients);
    s.AdvMailUserName = store.ReadConfig("AdvMailUserName", s.AdvMailUserName);
    s.AdvMailPassword = store.ReadConfig("AdvMailPassword", s.AdvMailPassword);
    s.AdvMailConnection = static_cast<std::uint8_t>(store.ReadConfig("AdvMailConnection", 0));
    s.ViewMACDelim = DelimiterFromText(store.ReadConfig("ViewMACDelim", "-"));
    return s;
}

void WriteSettings(TConfigStore& store, const TSettings& s, const TWindowLayout& layout) {
    store.InTransaction([&] {
        store.WriteConfig("GenRescanFreq", s.GenRescanFreq);
        store.WriteConfig("GenNextRescan", s.GenNextRescan);
        store.WriteConfig("GenIfName", s.GenIfName);
        store.WriteConfig("GenMaxThreads", s.GenMaxThreads);
        store.WriteConfig("GenMinToTray", s.GenMinToTray);
        store.WriteConfig("GenSortColumn", s.GenSortColumn);
        store.WriteConfig("GenSortDesc", s.GenSortDesc);
        store.WriteConfig("GenSoundAlert", s.GenSoundAlert);
        store.WriteConfig("GenExecCommand", s.GenExecCommand);
        store.WriteConfig("DevManSortColumn", s.DevManSortColumn);
        store.WriteConfig("DevManSortDesc", s.DevManSortDesc);
        store.WriteConfig("Language", s.Language);
        store.WriteConfig("AutoUpdateEnabled", s.AutoUpdateEnabled);
        store.WriteConfig("AutoUpdateChecked", s.AutoUpdateChecked);
        store.WriteConfig("AdvCustRange", s.AdvCustRange.ToText());
        store.WriteConfig("AdvGetPageTitle", s.AdvGetPageTitle);
        store.WriteConfig("AdvEnableMail", s.AdvEnableMail);
        store.WriteConfig("AdvMailServer", s.AdvMailServer);
        store.WriteConfig("AdvRecipients", s.AdvRecipients);
        store.WriteConfig("AdvMailUserName", s.AdvMailUserName);
        store.WriteConfig("AdvMailPassword", s.AdvMailPassword);
        store.WriteConfig("AdvMailConnection", int{s.AdvMailConnection});
        store.WriteConfig("ViewMACDelim", DelimiterText(s.ViewMACDelim));
        for (int column = 0; column < ResultColumnCount; ++column)
            store.WriteConfig(ColumnWidthKey(column), layout.ColumnWidths[static_cast<size_t>(column)]);
        if (layout.NormalState && !layout.Maximized) {
            store.WriteConfig("WindowLeft", layout.Left);
            store.WriteConfig("WindowTop", layout.Top);
            store.WriteConfig("WindowWidth", layout.Width);
            store.WriteConfig("WindowHeight", layout.Height);
        }
        store.WriteConfig("WindowMaximized", layout.Maximized);
    });
}

TWindowLayout ReadLayout(TConfigStore& store, const TWindowLayout& defaults) {
    TSQLiteLock guard(store);
    TWindowLayout layout = defaults;
    for (int column = 0; column < ResultColumnCount; ++column) {
        int& width = layout.ColumnWidths[static_cast<size_t>(column)];
        width = store.ReadConfig(ColumnWidthKey(column), width);
    }
    layout.Left = store.ReadConfig("WindowLeft", defaults.Left);
    layout.Top = store.ReadConfig("WindowTop", defaults.Top);
    layout.Width = store.ReadConfig("WindowWidth", defaults.Width);
    layout.Height = store.ReadConfig("WindowHeight", defaults.Height);
    layout.Maximized = store.ReadConfig("WindowMaximized", defaults.Maximized);
    return layout;
}

bool WithinVirtualDesktop(int edge, int origin, int extent) { return edge >= origin && edge <= extent; }

void ApplySettings(TSettings& settings) {
    if (settings.Language.empty())
        settings.Language = DefaultLanguageName();
    try {
        LanguageTable().SetLanguage(settings.Language);
    } catch (const Exception&) {
        // A language this build does not carry falls back to the English texts.
        settings.Language = "English";
        LanguageTable().SetLanguage(settings.Language);
    }
    SetMacFormat(settings.ViewMACDelim);
}
