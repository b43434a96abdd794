#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Net/IfItem.h"
#include "Core/Net/IPv4.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// Everything the system asks of the operating system's network stack goes through these
// classes; each platform supplies one concrete set. No operation raises an error for an
// unreachable or silent address.

class TPlatformInetConfig {
public:
    virtual ~TPlatformInetConfig() = default;
    // Appends one item per adapter in the system's order; false when the table cannot be read.
    virtual bool GetInterfaces(TIfList& list) = 0;
    // The first default route's gateway, network order.
    virtual bool GetDefaultGateway(TIPv4& address) = 0;
};

// Why echo requests can or cannot be sent on this system.
enum class TEchoAccess {
    Datagram, // unprivileged ICMP datagram socket
    Raw,      // raw socket (needs CAP_NET_RAW)
    Denied,   // neither could be opened: every echo fails at once
};

class TPlatformPing {
public:
    virtual ~TPlatformPing() = default;
    // One echo request with the given timeout; true only for a reply with success status.
    // rttMs is written whenever a matching reply arrived, also one with another status.
    virtual bool Ping(TIPv4 address, std::uint32_t timeoutMs, std::uint32_t& rttMs) = 0;
    // Looks the address up in the neighbour table; sends nothing itself.
    virtual bool GetHWAddr(TIPv4 address, THWAddr& hwAddr) = 0;
    // Title of the device's root web page (virtual so that tests can script it).
    virtual bool GetPageTitle(TIPv4 address, std::string& title);
    virtual TEchoAccess EchoAccess() const { return TEchoAccess::Datagram; }

    std::string IfName; // the chosen adapter's Name, set before the worker starts
};

class TPlatformHostInfo {
public:
    virtual ~TPlatformHostInfo() = default;
    // The base implementation asks the device itself with a NetBIOS node-status query.
    virtual bool GetHostName(TIPv4 address, std::string& name);
};

// Maps adapter names to friendly names for display.
class TPlatformIfNameMap {
public:
    virtual ~TPlatformIfNameMap() = default;
    virtual void Refresh() { values_.clear(); }
    void SetValue(const std::string& name, const std::string& value) { values_[name] = value; }
    // The mapped name (or the name itself) cut to 32 characters, before the last blank when cut.
    std::string DisplayName(const std::string& name) const;

private:
    std::map<std::string, std::string> values_;
};

// Creates the probe objects, so that tests can replace the real network with scripted answers.
class TProbeFactory {
public:
    virtual ~TProbeFactory() = default;
    virtual std::unique_ptr<TPlatformInetConfig> CreateInetConfig() = 0;
    virtual std::unique_ptr<TPlatformPing> CreatePing() = 0;
    virtual std::unique_ptr<TPlatformHostInfo> CreateHostInfo() = 0;
    // The platform's interface-name map, already refreshed; the base map stays empty.
    virtual std::unique_ptr<TPlatformIfNameMap> CreateIfNameMap() { return std::make_unique<TPlatformIfNameMap>(); }
};

// The factory of this platform's real probes.
TProbeFactory& PlatformProbeFactory();
