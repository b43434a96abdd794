#include "Core/Settings/OldSettings.h"

#include "Core/Common/Clock.h"
#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <optional>
#include <vector>

namespace {

// Reads values by paths such as "General/RescanFreq": the attribute after the last "/" on the element
// reached by the names before it, below the root CONFIG.
class TOldConfig {
public:
    explicit TOldConfig(const pugi::xml_document& doc) : root_(doc.child("CONFIG")) {}

    std::optional<std::string> Text(std::string_view path) const {
        size_t slash = path.rfind('/');
        pugi::xml_node node = root_;
        std::string_view elements = path.substr(0, slash);
        while (!elements.empty()) {
            size_t next = elements.find('/');
            node = node.child(std::string(elements.substr(0, next)).c_str());
            elements = next == std::string_view::npos ? std::string_view() : elements.substr(next + 1);
        }
        pugi::xml_attribute attribute = node.attribute(std::string(path.substr(slash + 1)).c_str());
        if (!attribute)
            return std::nullopt;
        return std::string(attribute.value());
    }

    std::string String(std::string_view path, const std::string& fallback) const {
        return Text(path).value_or(fallback);
    }

    int Integer(std::string_view path, int fallback) const {
        auto text = Text(path);
        int value = 0;
        if (!text || text->empty())
            return fallback;
        auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        return (error == std::errc() && end == text->data() + text->size()) ? value : fallback;
    }

    bool Boolean(std::string_view path, bool fallback) const {
        auto text = Text(path);
        if (text && SameTextAscii(*text, "True"))
            return true;
        if (text && SameTextAscii(*text, "False"))
            return false;
        return fallback;
    }

    // Date-times were written in the system's date and time format; 0 when they do not parse.
    std::optional<TDateTime> DateTime(std::string_view path) const {
        auto text = Text(path);
        if (!text)
            return std::nullopt;
        for (const char* format : {"%x %X", "%Y-%m-%d %H:%M:%S", "%x"}) {
            std::tm parts{};
            const char* end = strptime(text->c_str(), format, &parts);
            if (end && *end == '\0')
                return FromLocalTm(parts);
        }
        return std::nullopt;
    }

private:
    pugi::xml_node root_;
};

std::string Path(std::string_view format, int index) { return FormatText(format, {std::to_string(index)}); }

void ReadSettingsFrom(const TOldConfig& old, TSettings& s) {
    s.GenRescanFreq = old.Integer("General/RescanFreq", 30);
    s.GenNextRescan = old.DateTime("General/NextRescan").value_or(0);
    s.GenIfName = old.String("General/IfName", "");
    s.GenMaxThreads = std::clamp(old.Integer("General/MaxThreads", 16), MinThreads, MaxThreads);
    s.GenMinToTray = old.Boolean("General/MinToTray", false);
    s.GenSortColumn = old.Integer("General/SortColumn", 0);
    s.GenSoundAlert = old.String("General/SoundAlert", "");
    s.GenExecCommand = old.String("General/ExecCommand", "");
    s.DevManSortColumn = old.Integer("DevMan/SortColumn", 0);
    s.Language = old.String("General/Language", DefaultLanguageName());
    s.AutoUpdateEnabled = old.Boolean("AutoUpdate/Enabled", true);
    s.AutoUpdateChecked = old.DateTime("AutoUpdate/Checked").value_or(0);
    try {
        s.AdvCustRange.Parse(old.String("Advanced/CustRange", ""));
    } catch (const Exception&) {
        // Keep the ranges before the unreadable one rather than lose the whole migration.
    }
    s.AdvGetPageTitle = old.Boolean("Advanced/GetPageTitle", false);
    s.AdvEnableMail = old.Boolean("Advanced/EnableMail", false);
    s.AdvMailServer = old.String("Advanced/MailServer", "");
    s.AdvRecipients = old.String("Advanced/Recipients", "");
    s.AdvMailUserName = old.String("Advanced/MailUserName", "");
    s.AdvMailPassword = old.String("Advanced/MailPassword", "");
    s.AdvMailConnection = static_cast<std::uint8_t>(old.Integer("Advanced/MailConnection", 0));
    std::string delimiter = old.String("View/MACDelim", "-");
    s.ViewMACDelim = delimiter.empty() ? '\0' : delimiter.front();
}

void ReadLayoutFrom(const TOldConfig& old, TWindowLayout& layout) {
    for (int column = 0; column < ResultColumnCount; ++column) {
        int& width = layout.ColumnWidths[static_cast<size_t>(column)];
        width = old.Integer(Path("View/ColWidth%d", column), width);
    }
    layout.Left = old.Integer("Window/Left", layout.Left);
    layout.Top = old.Integer("Window/Top", layout.Top);
    layout.Width = old.Integer("Window/Width", layout.Width);
    layout.Height = old.Integer("Window/Height", layout.Height);
    layout.Maximized = old.Boolean("Window/Maximized", false);
}

// The indices i of the elements Cache/Item<i> that exist, ascending and below count. Walking what the file
// holds rather than 0 to Count - 1 keeps a huge Count from running for ever, and an index without an item
// from becoming a record of the all-zero address.
std::vector<int> StoredItemIndices(const pugi::xml_document& doc, int count) {
    std::vector<int> indices;
    for (pugi::xml_node item : doc.child("CONFIG").child("Cache").children()) {
        std::string_view name = item.name();
        int index = -1;
        if (name.size() <= 4 || name.substr(0, 4) != "Item")
            continue;
        auto [end, error] = std::from_chars(name.data() + 4, name.data() + name.size(), index);
        if (error == std::errc() && end == name.data() + name.size() && index >= 0 && index < count)
            indices.push_back(index);
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

// FindOrAdd rather than a plain append: an address listed twice in the old file (or a migration repeated
// after a failed delete) must not give the list two records of one device.
void ReadDevicesFrom(const pugi::xml_document& doc, const TOldConfig& old, TConfigStore& store,
                     TDeviceList& devices) {
    devices.Clear();
    std::vector<int> indices = StoredItemIndices(doc, old.Integer("Cache/Count", 0));
    store.InTransaction([&] {
        for (int i : indices) {
            THWAddr address = StrToHWAddr(old.String(Path("Cache/Item%d/HWAddr", i), ""));
            if (IsZeroHWAddr(address))
                continue;
            TDeviceItem& device = devices.FindOrAdd(address);
            device.Known = old.Boolean(Path("Cache/Item%d/Known", i), false);
            device.Comment = old.String(Path("Cache/Item%d/Comment", i), "");
            device.LastSeen = old.DateTime(Path("Cache/Item%d/LastSeen", i)).value_or(Now());
            store.SaveDevice(device);
        }
    });
}

} // namespace

std::filesystem::path OldSettingsPath(const std::filesystem::path& programFile) {
    std::filesystem::path path = programFile;
    return path.replace_extension(".xml");
}

bool MigrateOldSettings(const std::filesystem::path& xmlFile, TSettings& settings, TWindowLayout& layout,
                        TConfigStore& store, TDeviceList& devices) {
    std::error_code error;
    if (!std::filesystem::exists(xmlFile, error) || std::filesystem::file_size(xmlFile, error) == 0 || error)
        return false;
    pugi::xml_document doc;
    doc.load_file(xmlFile.c_str()); // unreadable values take their defaults
    TOldConfig old(doc);
    ReadSettingsFrom(old, settings);
    ReadLayoutFrom(old, layout);
    ReadDevicesFrom(doc, old, store, devices);
    return std::filesystem::remove(xmlFile, error);
}
