#pragma once
#include "Core/DeviceList/DeviceItem.h"
#include "Core/DeviceList/RegionalFormat.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class TConfigStore;
class TDeviceList;

// The device files of the all-devices window. The XML form holds, below the root element, one element
// Cache (attribute Count) with one element Item<i> per record (attributes Known "True"/"False", HWAddr as
// twelve hexadecimal digits, Comment, LastSeen). Files are read and written whole; a failure raises
// Exception with the file's name and the reason.

// "yyyy-mm-ddThh:mm:ss" (no fraction, no zone) with the given character between the parts of the time.
std::string DateTimeToISO(TDateTime value, char timeSeparator = ':');
// Reads the parts at fixed positions (year 1-4, month 6-7, day 9-10, hour 12-13, minute 15-16, second
// 18-19), whatever stands between them; raises Exception for a text that names no valid date and time.
TDateTime ISOToDateTime(std::string_view text);

// The export set into the document 'existing' (empty or blank: a new document with root CONFIG): the values
// at the paths above are replaced or added, everything else in the document stays, surplus Item elements
// of an earlier, longer export included. Characters that XML 1.0 cannot carry (control characters, broken
// UTF-8) are written as U+FFFD, so the file always reads back. Raises Exception when 'existing' is not
// well-formed XML; source names it in the message.
std::string ExportXMLText(const TDeviceList& devices, std::string_view existing, char timeSeparator,
                          const std::string& source = "XML");
// Reads an existing file first (see ExportXMLText) and leaves it untouched when that fails.
void ExportXML(const std::filesystem::path& file, const TDeviceList& devices, char timeSeparator);

// A header line and one line per record, each ended by CR LF: the known mark "TRUE"/"FALSE", the address as
// twelve hexadecimal digits, the comment, the last-seen time in the regional short date and long time
// (the time left out at midnight). Fields are parted by the list separator ("," when it is empty); a field
// holding the separator, a double quote or a line break is quoted as RFC 4180 says.
std::string ExportCSVText(const TDeviceList& devices, const TRegionalFormat& format);
void ExportCSV(const std::filesystem::path& file, const TDeviceList& devices, const TRegionalFormat& format);

// The entries of an XML device file in the order an import applies them: Item0 to Item<Count - 1>, where an
// index without its element is the all-zero address, unknown, without comment, last seen now. Only the
// elements the text holds are visited (and two of the indices it lacks, the first and the last, which is
// all such entries can change), so a huge Count costs no more than the text's length. A LastSeen that is not
// the ISO form is read in the regional format, failing that it is now. Raises Exception for text that is
// not well-formed XML; source names it in the message.
std::vector<TDeviceItem> ReadImportEntries(std::string_view xml, const TRegionalFormat& format,
                                           const std::string& source = "XML");
// Stores the entries in one transaction (a later entry for the same address wins), then merges them into
// the list: a failure rolls the database back and leaves the list as it was.
void MergeDevices(const std::vector<TDeviceItem>& entries, TDeviceList& devices, TConfigStore& store);
// ReadImportEntries and MergeDevices of a file's text; answers the number of entries applied.
size_t ImportXML(const std::filesystem::path& file, TDeviceList& devices, TConfigStore& store,
                 const TRegionalFormat& format);
