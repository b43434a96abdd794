#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Net/IfItem.h"
#include "Core/Net/Platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tarrowin::test {

// The probe of a scripted device that raises an error instead of answering.
enum class TScriptedFault { None, Ping, HWAddr, HostName, PageTitle };

// How one address answers. An address without an entry answers nothing at all.
struct TScriptedDevice {
    bool Echo = false;                    // answers the echo with success status
    std::uint32_t RTT = 0;                // reply time reported with the echo
    std::optional<THWAddr> HWAddr;        // its neighbour-table entry
    std::string HostName;                 // empty: no name is found
    std::optional<std::string> PageTitle; // empty optional: no titled root page
    TScriptedFault Fault = TScriptedFault::None;
};

// What the probes were asked about one address.
struct TScriptedCalls {
    int Ping = 0;
    int HWAddr = 0;
    int HostName = 0;
    int PageTitle = 0;
    int PingsDestroyed = 0; // echo objects destroyed after they probed this address
    std::string IfName;     // the echo object's IfName at its last echo
};

// A probe factory answering from a table instead of the network. Thread-safe; it must outlive
// every probe object it created.
class TScriptedProbeFactory : public TProbeFactory {
public:
    void SetDevice(TIPv4 address, TScriptedDevice device);
    // What the adapter table and the default route report; an empty list reads as failure.
    void SetInterfaces(TIfList interfaces);
    void SetGateway(std::optional<TIPv4> networkOrder);

    TScriptedCalls Calls(TIPv4 address) const;
    // Echo and host-name objects created and not yet destroyed.
    int LiveProbes() const;

    // While held, every echo waits until released; lets a test catch workers mid-probe.
    void HoldEchoes();
    void ReleaseEchoes();
    // Waits until at least count echoes are waiting at once; false when the limit passed.
    bool WaitForHeldEchoes(int count, std::chrono::milliseconds limit);

    std::unique_ptr<TPlatformInetConfig> CreateInetConfig() override;
    std::unique_ptr<TPlatformPing> CreatePing() override;
    std::unique_ptr<TPlatformHostInfo> CreateHostInfo() override;

private:
    friend class TScriptedPing;
    friend class TScriptedHostInfo;
    friend class TScriptedInetConfig;

    // Counts the call and returns the device's script (a default one when none is set).
    TScriptedDevice Record(TIPv4 address, int TScriptedCalls::*counter, TScriptedFault fault);
    void WaitWhileHeld(TIPv4 address, const std::string& ifName);
    void ProbeDestroyed(std::optional<TIPv4> probed);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<TIPv4, TScriptedDevice> devices_;
    std::map<TIPv4, TScriptedCalls> calls_;
    TIfList interfaces_;
    std::optional<TIPv4> gateway_;
    int liveProbes_ = 0;
    bool holding_ = false;
    int heldEchoes_ = 0;
};

} // namespace tarrowin::test
