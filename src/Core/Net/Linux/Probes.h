#pragma once
#include "Core/Net/Platform.h"

#include <cstdint>

// The Linux probe classes: rtnetlink for adapters, routes and neighbours, ICMP sockets for echo,
// the system resolver for names.

class TInetConfig final : public TPlatformInetConfig {
public:
    // Every interface but loopback, in kernel index order; false when the kernel tables cannot be read.
    bool GetInterfaces(TIfList& list) override;
    // The gateway of the first default route of the main routing table.
    bool GetDefaultGateway(TIPv4& address) override;
};

// Echo over an unprivileged ICMP datagram socket where the system allows it, else over a raw socket.
// One socket per object, so each worker sees only the traffic meant for it.
class TPing final : public TPlatformPing {
public:
    TPing();
    ~TPing() override;
    TPing(const TPing&) = delete;
    TPing& operator=(const TPing&) = delete;

    bool Ping(TIPv4 address, std::uint32_t timeoutMs, std::uint32_t& rttMs) override;
    // Complete or permanent IPv4 neighbour entries only, restricted to IfName when it is set.
    bool GetHWAddr(TIPv4 address, THWAddr& hwAddr) override;
    TEchoAccess EchoAccess() const override { return access_; }

private:
    enum class TReply { Other, Success, Failure };
    struct TRequest {
        std::uint32_t Target; // network order
        std::uint16_t Identifier;
        std::uint16_t Sequence;
    };

    bool OpenDatagram();
    bool OpenRaw();
    bool Send(const TRequest& request) const;
    TReply ReadPacket(const TRequest& request) const;
    TReply ReadQueuedError(const TRequest& request) const;

    int socket_ = -1;
    TEchoAccess access_ = TEchoAccess::Denied;
    std::uint16_t identifier_ = 0;
    std::uint16_t sequence_ = 0;
};

class THostInfo final : public TPlatformHostInfo {
public:
    // The resolver's name (hosts file, DNS), else the NetBIOS answer of the base class; always UTF-8.
    bool GetHostName(TIPv4 address, std::string& name) override;
};

// Linux interface names are what users know them by, so the map stays empty.
class TIfNameMap final : public TPlatformIfNameMap {
public:
    TIfNameMap() { Refresh(); }
};
