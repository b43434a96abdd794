#include "Core/Scan/Detection.h"

#include "Core/Common/Clock.h"
#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Lang/Language.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "Core/ThreadPool/WorkerThread.h"
#include "Core/Vendor/VendorTable.h"

#include <charconv>

namespace {

// Creates the record of a new device, known with the given comment, and stores it.
void ApproveNewDevice(const THWAddr& address, const std::string& comment) {
    TDeviceItem& device = DeviceList().FindOrAdd(address);
    device.Known = true;
    device.Comment = comment;
    TSQLiteLock guard(ConfigStore());
    ConfigStore().SaveDevice(device);
}

bool IsAccepted(const TProbeResult& result, TIPv4 ownAddress) {
    bool usable = result.ProbeFlags != 0 && !IsZeroHWAddr(result.HWAddr) && !IsBroadcastHWAddr(result.HWAddr);
    return usable || result.Address == ownAddress;
}

int RTTSortKey(const std::string& cell) {
    std::string_view number(cell);
    number = number.substr(0, number.find(' '));
    int value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    return (error == std::errc() && end == number.data() + number.size() && !number.empty()) ? value : -1;
}

int Sign(int value) { return (value > 0) - (value < 0); }

int CompareTextAscii(const std::string& a, const std::string& b) {
    return Sign(UpperAscii(a).compare(UpperAscii(b)));
}

} // namespace

TProbeResult TProbeResult::From(const TWorkerThread& worker) {
    return {worker.Address, worker.HWAddr, worker.RTT, worker.HostName, worker.PageTitle, worker.ProbeFlags};
}

void MarkOwnComputer(const TIfItem& adapter) {
    if (!DeviceList().Contains(adapter.HWAddr))
        ApproveNewDevice(adapter.HWAddr, LanguageTable().Translate("This computer"));
}

std::optional<TResultRow> HandleProbeResult(const TProbeResult& result, const TScanContext& context,
                                            const TVendorTable& vendors) {
    TIPv4 ownAddress = SwapIPv4(context.Adapter.Address);
    if (!IsAccepted(result, ownAddress))
        return std::nullopt;
    TResultRow row;
    row.HWAddr = result.Address == ownAddress ? context.Adapter.HWAddr : result.HWAddr;

    std::string ruleComment;
    if (PartialList().Match(row.HWAddr, ruleComment) && !DeviceList().Contains(row.HWAddr))
        ApproveNewDevice(row.HWAddr, ruleComment);
    if (!DeviceList().Contains(row.HWAddr) && context.GatewayFound && result.Address == SwapIPv4(context.Gateway))
        ApproveNewDevice(row.HWAddr, LanguageTable().Translate("Internet gateway"));

    TDeviceItem& device = DeviceList().FindOrAdd(row.HWAddr);
    if ((result.ProbeFlags & pfTitle) && !device.Known && device.Comment.empty())
        device.Comment = result.PageTitle;
    device.LastSeen = Now();

    row.Known = device.Known;
    row.Cells = {IPv4ToStr(result.Address), HWAddrToDisplay(row.HWAddr), RTTCellText(result), result.HostName,
                 device.Comment,            vendors.LookupVendor(row.HWAddr)};

    // One transaction for the pair: the hour is never stored without its device, and one commit costs half
    // of two on the GUI thread.
    ConfigStore().InTransaction([&] {
        ConfigStore().SaveDevice(device);
        ConfigStore().AddActivity(row.HWAddr);
    });
    return row;
}

std::string RTTCellText(const TProbeResult& result) {
    if (!(result.ProbeFlags & pfEcho))
        return "---";
    return std::to_string(result.RTT) + " " + LanguageTable().Translate("ms");
}

int CompareResultCells(int column, const std::string& a, const std::string& b) {
    switch (column) {
    case rcAddress:
        return CompareIPv4Text(a, b);
    case rcRTT:
        return Sign(RTTSortKey(a) - RTTSortKey(b));
    default:
        return CompareTextAscii(a, b);
    }
}
