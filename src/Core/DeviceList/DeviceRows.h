#pragma once
#include "Core/Common/DateTime.h"
#include "Core/DeviceList/DeviceItem.h"
#include "Core/Net/HWAddr.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TConfigStore;
class TDeviceList;

// What the all-devices window shows of the device list and how its edits reach the database.

// The stored CONFIG value DeviceFilter and the item index of the window's filter list.
enum TDeviceFilter : int { dfAllDevices = 0, dfKnownDevices = 1, dfUnknownDevices = 2 };
// A stored value outside the three reads as all devices.
TDeviceFilter DeviceFilterOf(int stored);
bool PassesFilter(TDeviceFilter filter, const TDeviceItem& device);

// "Today", "Yesterday", "%d months ago" or "%d days ago" (translated) for a local last-seen time. Past the
// two calendar days the age counts elapsed 24-hour days, months being 30.4375 of them; a time ahead of now
// counts the same way.
std::string AgeText(TDateTime lastSeen, TDateTime now);

// The key under which a text sorts: its bytes with the ASCII letters a to z folded to upper case. Keys
// compare byte by byte as unsigned values (std::string's own order), a prefix first.
std::string FoldedSortKey(std::string_view text);
// Negative, zero or positive as the two texts' keys compare.
int CompareFoldedText(std::string_view a, std::string_view b);
// The key under which a last-seen time sorts, the earlier first: its millisecond, so that times apart by
// float noise only sort as equal (a key, unlike a tolerance, keeps the order transitive).
long long LastSeenSortKey(TDateTime lastSeen);

// Applies the change to a copy of the address's record (found or added as FindOrAdd does), stores the copy
// and only then takes it into the list, so a failed save leaves the record as it was.
void ChangeDevice(TDeviceList& devices, TConfigStore& store, const THWAddr& address,
                  const std::function<void(TDeviceItem&)>& change);
// Deletes the addresses' DEVICE rows (their ACTIVITY rows go with them) in one transaction, then their
// records. On a failure the database is rolled back, the list is untouched, and the error passes.
void ForgetDevices(TDeviceList& devices, TConfigStore& store, const std::vector<THWAddr>& addresses);
