// A device file given to the all-devices window's import, and the same document as the target of an export.
// Exception is the documented answer to a file that is not well-formed.
#include "Core/Common/Exception.h"
#include "Core/DeviceList/DeviceExport.h"
#include "Core/DeviceList/DeviceList.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = FuzzText(data, size);
    const TRegionalFormat format;
    std::vector<TDeviceItem> entries;
    try {
        entries = ReadImportEntries(text, format);
    } catch (const Exception&) {
        return 0;
    }
    // Merged as the import does, minus the database.
    TDeviceList devices;
    for (const TDeviceItem& entry : entries) {
        TDeviceItem& record = devices.FindOrAdd(entry.HWAddr);
        record.Known = entry.Known;
        record.Comment = entry.Comment;
        record.LastSeen = entry.LastSeen;
    }
    // Exported into the document it came from, the list reads back record for record. The export reads the
    // declaration, comments and doctype that the import skips, so it may still refuse the document.
    std::string exported;
    try {
        exported = ExportXMLText(devices, text, ':');
    } catch (const Exception&) {
        return 0;
    }
    const std::vector<TDeviceItem> again = ReadImportEntries(exported, format);
    FUZZ_CHECK(again.size() == static_cast<std::size_t>(devices.Count()));
    for (int i = 0; i < devices.Count(); ++i) {
        FUZZ_CHECK(SameHWAddr(again[static_cast<std::size_t>(i)].HWAddr, devices.Items(i).HWAddr));
        FUZZ_CHECK(again[static_cast<std::size_t>(i)].Known == devices.Items(i).Known);
    }
    return 0;
}
