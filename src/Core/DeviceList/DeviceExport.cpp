#include "Core/DeviceList/DeviceExport.h"

#include "Core/Common/Clock.h"
#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Common/Utf8.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_map>

namespace {

std::string Translated(std::string_view text) {
    return LanguageTable().Translate(text);
}

[[noreturn]] void RaiseFileError(std::string_view format, const std::filesystem::path& file, int error) {
    throw Exception(FormatText(Translated(format), {file.string(), std::strerror(error)}));
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        RaiseFileError("Cannot read %s: %s", file, errno);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        RaiseFileError("Cannot read %s: %s", file, errno);
    return std::move(text).str();
}

void WriteWholeFile(const std::filesystem::path& file, std::string_view text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        RaiseFileError("Cannot write %s: %s", file, errno);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        RaiseFileError("Cannot write %s: %s", file, errno);
}

void ParseDocument(pugi::xml_document& doc, std::string_view text, const std::string& source, unsigned options) {
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size(), options);
    if (!parsed)
        throw Exception(FormatText(Translated("%s is not a well-formed XML file: %s at offset %d"),
                                   {source, parsed.description(), std::to_string(parsed.offset)}));
}

// ---- writing

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

std::string XmlSafeText(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    while (!text.empty()) {
        char32_t code = 0;
        const size_t length = DecodeUtf8(text, code);
        if (length > 0 && IsXmlChar(code))
            safe.append(text.substr(0, length));
        else
            safe.append("\xEF\xBF\xBD");
        text.remove_prefix(length > 0 ? length : 1);
    }
    return safe;
}

void SetAttribute(pugi::xml_node node, const char* name, const std::string& value) {
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        attribute = node.append_attribute(name);
    attribute.set_value(value.c_str());
}

pugi::xml_node ChildElement(pugi::xml_node parent, const char* name) {
    pugi::xml_node child = parent.child(name);
    return child ? child : parent.append_child(name);
}

// The file is written as UTF-8 whatever the earlier one was read as.
void DeclareUtf8(pugi::xml_document& doc) {
    pugi::xml_node declaration = doc.first_child();
    if (declaration.type() != pugi::node_declaration) {
        declaration = doc.prepend_child(pugi::node_declaration);
        SetAttribute(declaration, "version", "1.0");
    }
    SetAttribute(declaration, "encoding", "UTF-8");
}

// The first element of each name below the node, as the paths address them; looked up once, not per record.
std::unordered_map<std::string, pugi::xml_node> ChildrenByName(pugi::xml_node node) {
    std::unordered_map<std::string, pugi::xml_node> children;
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element)
            children.emplace(child.name(), child);
    return children;
}

class TStringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

// ---- CSV

std::string CsvField(const std::string& field, const std::string& separator) {
    if (field.find(separator) == std::string::npos && field.find_first_of("\"\r\n") == std::string::npos)
        return field;
    return '"' + ReplaceAll(field, "\"", "\"\"") + '"';
}

void AppendCsvLine(std::string& text, std::initializer_list<std::string> fields, const std::string& separator) {
    bool first = true;
    for (const std::string& field : fields) {
        if (!first)
            text += separator;
        text += CsvField(field, separator);
        first = false;
    }
    text += "\r\n";
}

// ---- reading

bool ReadDigits(std::string_view text, size_t position, size_t length, int& value) {
    if (text.size() < position + length)
        return false;
    value = 0;
    for (char c : text.substr(position, length)) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool TryISOToDateTime(std::string_view text, TDateTime& result) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    TDateTime date = 0, time = 0;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) || !ReadDigits(text, 8, 2, day) ||
        !ReadDigits(text, 11, 2, hour) || !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second) ||
        !TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time))
        return false;
    result = EncodeDateTime(year, month, day, hour, minute, second);
    return true;
}

TDateTime ReadLastSeen(std::string_view text, const TRegionalFormat& format) {
    TDateTime value = 0;
    if (TryISOToDateTime(text, value) || TryParseRegionalDateTime(text, format, value))
        return value;
    return Now();
}

// A decimal integer with an optional sign; 0 for anything else, numbers beyond 64 bits included.
long long ReadCount(std::string_view text) {
    std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() ? value : 0;
}

// The index of an element named as the path "Item%d" spells it (no sign, no leading zero), -1 otherwise.
long long ItemIndex(std::string_view name) {
    constexpr std::string_view prefix = "Item";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return -1;
    const std::string_view digits = name.substr(prefix.size());
    if (digits.front() < '0' || digits.front() > '9' || (digits.front() == '0' && digits.size() > 1))
        return -1;
    long long index = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    return error == std::errc() && end == digits.data() + digits.size() ? index : -1;
}

struct TStoredItem {
    long long Index;
    pugi::xml_node Node;
};

// The elements Item0 to Item<count - 1> the document holds, by index; the first of a repeated name counts.
std::vector<TStoredItem> StoredItems(pugi::xml_node cache, long long count) {
    std::vector<TStoredItem> items;
    for (pugi::xml_node child : cache.children()) {
        const long long index = child.type() == pugi::node_element ? ItemIndex(child.name()) : -1;
        if (index >= 0 && index < count)
            items.push_back({index, child});
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
    items.erase(
        std::unique(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.Index == b.Index; }),
        items.end());
    return items;
}

// Every index without an element imports the same all-zero entry: the first one creates its record, the last
// one decides its values, and those in between change nothing that the last does not set again.
std::vector<long long> DecisiveMissingIndices(const std::vector<TStoredItem>& items, long long count) {
    const auto stored = static_cast<long long>(items.size());
    if (stored >= count)
        return {};
    long long first = 0;
    while (first < stored && items[static_cast<size_t>(first)].Index == first)
        ++first;
    long long last = count - 1;
    for (auto it = items.rbegin(); it != items.rend() && it->Index == last; ++it)
        --last;
    return first == last ? std::vector<long long>{first} : std::vector<long long>{first, last};
}

TDeviceItem EntryOf(pugi::xml_node item, const TRegionalFormat& format) {
    TDeviceItem entry;
    entry.HWAddr = StrToHWAddr(item.attribute("HWAddr").value());
    entry.Known = SameTextAscii(item.attribute("Known").value(), "True");
    entry.Comment = item.attribute("Comment").value();
    entry.LastSeen = ReadLastSeen(item.attribute("LastSeen").value(), format);
    return entry;
}

TDeviceItem MissingEntry() {
    TDeviceItem entry;
    entry.LastSeen = Now();
    return entry;
}

} // namespace

std::string DateTimeToISO(TDateTime value, char timeSeparator) {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d%c%02d%c%02d", p.Year, p.Month, p.Day, p.Hour, timeSeparator,
                  p.Minute, timeSeparator, p.Second);
    return text;
}

TDateTime ISOToDateTime(std::string_view text) {
    TDateTime value = 0;
    if (!TryISOToDateTime(text, value))
        throw Exception(FormatText(Translated("%s is not a valid date and time"), {text}));
    return value;
}

std::string ExportXMLText(const TDeviceList& devices, std::string_view existing, char timeSeparator,
                          const std::string& source) {
    pugi::xml_document doc;
    if (!Trim(existing).empty())
        ParseDocument(doc, existing, source, pugi::parse_full);
    DeclareUtf8(doc);
    pugi::xml_node root = doc.document_element();
    if (!root)
        root = doc.append_child("CONFIG");
    pugi::xml_node cache = ChildElement(root, "Cache");
    SetAttribute(cache, "Count", std::to_string(devices.Count()));
    std::unordered_map<std::string, pugi::xml_node> items = ChildrenByName(cache);
    int index = 0;
    for (const TDeviceItem& device : devices) {
        const std::string name = "Item" + std::to_string(index++);
        pugi::xml_node& item = items[name];
        if (!item)
            item = cache.append_child(name.c_str());
        SetAttribute(item, "Known", device.Known ? "True" : "False");
        SetAttribute(item, "HWAddr", HWAddrToStr(device.HWAddr, '\0'));
        SetAttribute(item, "Comment", XmlSafeText(device.Comment));
        SetAttribute(item, "LastSeen", DateTimeToISO(device.LastSeen, timeSeparator));
    }
    TStringWriter writer;
    doc.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return std::move(writer.text);
}

void ExportXML(const std::filesystem::path& file, const TDeviceList& devices, char timeSeparator) {
    std::error_code error;
    const std::string existing = std::filesystem::exists(file, error) ? ReadWholeFile(file) : std::string();
    WriteWholeFile(file, ExportXMLText(devices, existing, timeSeparator, file.string()));
}

std::string ExportCSVText(const TDeviceList& devices, const TRegionalFormat& format) {
    const std::string separator = format.ListSeparator.empty() ? "," : format.ListSeparator;
    std::string text;
    AppendCsvLine(text,
                  {Translated("Info"), Translated("MAC address"), Translated("Your Comment"), Translated("Last Seen")},
                  separator);
    for (const TDeviceItem& device : devices)
        AppendCsvLine(text,
                      {device.Known ? "TRUE" : "FALSE", HWAddrToStr(device.HWAddr, '\0'), device.Comment,
                       FormatRegionalDateTime(device.LastSeen, format)},
                      separator);
    return text;
}

void ExportCSV(const std::filesystem::path& file, const TDeviceList& devices, const TRegionalFormat& format) {
    WriteWholeFile(file, ExportCSVText(devices, format));
}

std::vector<TDeviceItem> ReadImportEntries(std::string_view xml, const TRegionalFormat& format,
                                           const std::string& source) {
    pugi::xml_document doc;
    ParseDocument(doc, xml, source, pugi::parse_default);
    const pugi::xml_node cache = doc.document_element().child("Cache");
    const long long count = ReadCount(cache.attribute("Count").value());
    const std::vector<TStoredItem> items = StoredItems(cache, count);
    const std::vector<long long> missing = DecisiveMissingIndices(items, count);

    std::vector<TDeviceItem> entries;
    entries.reserve(items.size() + missing.size());
    auto stored = items.begin();
    for (long long gap : missing) {
        for (; stored != items.end() && stored->Index < gap; ++stored)
            entries.push_back(EntryOf(stored->Node, format));
        entries.push_back(MissingEntry());
    }
    for (; stored != items.end(); ++stored)
        entries.push_back(EntryOf(stored->Node, format));
    return entries;
}

void MergeDevices(const std::vector<TDeviceItem>& entries, TDeviceList& devices, TConfigStore& store) {
    store.InTransaction([&] {
        for (const TDeviceItem& entry : entries)
            store.SaveDevice(entry);
    });
    for (const TDeviceItem& entry : entries) {
        TDeviceItem& record = devices.FindOrAdd(entry.HWAddr);
        record.Known = entry.Known;
        record.Comment = entry.Comment;
        record.LastSeen = entry.LastSeen;
    }
}

size_t ImportXML(const std::filesystem::path& file, TDeviceList& devices, TConfigStore& store,
                 const TRegionalFormat& format) {
    const std::vector<TDeviceItem> entries = ReadImportEntries(ReadWholeFile(file), format, file.string());
    MergeDevices(entries, devices, store);
    return entries.size();
}
