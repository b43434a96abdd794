#include "Core/DeviceList/DeviceRows.h"

#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"

#include <cmath>

namespace {

constexpr double daysPerMonth = 30.4375;
// Keeps a whole number of days that arrives a hair short of itself from counting one day less.
constexpr double epsilon = 2.2204460493e-16;

std::string CountText(std::string_view format, double count) {
    return FormatText(LanguageTable().Translate(format), {std::to_string(static_cast<long long>(count))});
}

} // namespace

TDeviceFilter DeviceFilterOf(int stored) {
    return stored == dfKnownDevices || stored == dfUnknownDevices ? static_cast<TDeviceFilter>(stored) : dfAllDevices;
}

bool PassesFilter(TDeviceFilter filter, const TDeviceItem& device) {
    return filter == dfAllDevices || (filter == dfKnownDevices) == device.Known;
}

std::string AgeText(TDateTime lastSeen, TDateTime now) {
    const TDateTime today = DateOf(now);
    if (lastSeen >= today && lastSeen < today + 1)
        return LanguageTable().Translate("Today");
    if (lastSeen >= today - 1 && lastSeen < today)
        return LanguageTable().Translate("Yesterday");
    const double days = std::fabs(now - lastSeen);
    const double months = std::floor((days + epsilon) / daysPerMonth);
    if (months > 0)
        return CountText("%d months ago", months);
    return CountText("%d days ago", std::floor(days + epsilon));
}

std::string FoldedSortKey(std::string_view text) {
    return UpperAscii(text);
}

int CompareFoldedText(std::string_view a, std::string_view b) {
    const int order = FoldedSortKey(a).compare(FoldedSortKey(b));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

long long LastSeenSortKey(TDateTime lastSeen) {
    return std::llround(lastSeen * MillisecondsPerDay);
}

void ChangeDevice(TDeviceList& devices, TConfigStore& store, const THWAddr& address,
                  const std::function<void(TDeviceItem&)>& change) {
    TDeviceItem& record = devices.FindOrAdd(address);
    TDeviceItem changed = record;
    change(changed);
    store.SaveDevice(changed);
    record = changed;
}

void ForgetDevices(TDeviceList& devices, TConfigStore& store, const std::vector<THWAddr>& addresses) {
    store.InTransaction([&] {
        for (const THWAddr& address : addresses)
            store.DeleteDevice(address);
    });
    for (const THWAddr& address : addresses)
        devices.Remove(address);
}
