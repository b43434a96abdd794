#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Net/IfItem.h"
#include "Core/Net/IPv4.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TVendorTable;
class TWorkerThread;

// What one worker found, copied out of it on the owner's thread.
struct TProbeResult {
    TIPv4 Address = 0;
    THWAddr HWAddr{};
    std::uint32_t RTT = 0;
    std::string HostName;
    std::string PageTitle;
    std::uint8_t ProbeFlags = 0;

    static TProbeResult From(const TWorkerThread& worker);
};

// What the scan learnt at its start, for the rules that approve devices by address.
struct TScanContext {
    TIfItem Adapter;          // Address and Mask in network order
    bool GatewayFound = false;
    TIPv4 Gateway = 0;        // network order
};

// The columns of the result list.
enum TResultColumn { rcAddress, rcHWAddr, rcRTT, rcName, rcInfo, rcVendor, rcColumnCount };

// One row of the result list; HWAddr is the row's identity, never its cell text.
struct TResultRow {
    THWAddr HWAddr{};
    bool Known = false;
    std::array<std::string, rcColumnCount> Cells;
};

// At scan start: the own computer is known as "This computer" unless it already has a record.
void MarkOwnComputer(const TIfItem& adapter);

// Turns a result into a row and the device's record: approves a new device by partial-match rule or as the
// gateway, takes a page title as the comment of an unnamed unknown device, notes last seen, stores the
// record and the hour of presence. No row for a result without a usable hardware address (the own address
// excepted). Database failures propagate after the in-memory record was updated.
std::optional<TResultRow> HandleProbeResult(const TProbeResult& result, const TScanContext& context,
                                            const TVendorTable& vendors);

// The RTT cell: "12 ms" ("ms" translated) for an answered echo, else "---".
std::string RTTCellText(const TProbeResult& result);

// The result list's sort rule for one column, ascending: addresses numerically, RTT by the number before
// its first blank ("---" and other text count as -1), other columns as text without regard to ASCII case.
int CompareResultCells(int column, const std::string& a, const std::string& b);
