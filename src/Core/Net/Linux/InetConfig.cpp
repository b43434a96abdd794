#include "Core/Net/Linux/Netlink.h"
#include "Core/Net/Linux/Probes.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace {

TIPv4 PrefixToMask(unsigned prefixLength) {
    TIPv4 hostOrder = prefixLength == 0 ? 0 : ~TIPv4{0} << (32 - std::min(prefixLength, 32u));
    return htonl(hostOrder);
}

// Interfaces by kernel index: the dump order of links is not guaranteed to be the index order.
using TIfByIndex = std::map<int, TIfItem>;

bool ReadLinks(TIfByIndex& interfaces) {
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    return NetlinkDump(RTM_GETLINK, &request, sizeof request, [&](const nlmsghdr& message) {
        const auto* link = NetlinkBody<ifinfomsg>(message);
        // A link switched off is no adapter to scan, as a disabled adapter is none on other systems: the scan
        // then reports it unavailable instead of probing through a dead interface.
        if (message.nlmsg_type != RTM_NEWLINK || !link || (link->ifi_flags & IFF_LOOPBACK) ||
            !(link->ifi_flags & IFF_UP))
            return;
        TNetlinkAttrs attrs(message, sizeof(ifinfomsg));
        TIfItem& item = interfaces[link->ifi_index];
        item.Name = attrs.Text(IFLA_IFNAME);
        // Only Ethernet-like six-byte addresses; tunnels and the like keep the all-zero address.
        attrs.Read(IFLA_ADDRESS, item.HWAddr);
    });
}

// The kernel lists an interface's addresses in its own order; the last one wins.
bool ReadAddresses(TIfByIndex& interfaces) {
    ifaddrmsg request{};
    request.ifa_family = AF_INET;
    return NetlinkDump(RTM_GETADDR, &request, sizeof request, [&](const nlmsghdr& message) {
        const auto* addr = NetlinkBody<ifaddrmsg>(message);
        if (message.nlmsg_type != RTM_NEWADDR || !addr || addr->ifa_family != AF_INET)
            return;
        auto found = interfaces.find(static_cast<int>(addr->ifa_index));
        if (found == interfaces.end())
            return;
        TNetlinkAttrs attrs(message, sizeof(ifaddrmsg));
        TIPv4 local = 0; // IFA_ADDRESS is the peer on point-to-point links, IFA_LOCAL always our own
        if (!attrs.Read(IFA_LOCAL, local) && !attrs.Read(IFA_ADDRESS, local))
            return;
        found->second.Address = local;
        found->second.Mask = PrefixToMask(addr->ifa_prefixlen);
    });
}

TIPv4 NonZeroGateway(const TNetlinkAttrs& attrs) {
    TIPv4 gateway = 0;
    attrs.Read(RTA_GATEWAY, gateway);
    return gateway;
}

// A multipath route carries its gateways in its next hops; the first one with a gateway counts.
TIPv4 MultipathGateway(std::string_view hops) {
    while (hops.size() >= sizeof(rtnexthop)) {
        rtnexthop hop;
        std::memcpy(&hop, hops.data(), sizeof hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > hops.size())
            break;
        std::size_t headerSize = NetlinkAlign(sizeof(rtnexthop));
        TIPv4 gateway = NonZeroGateway(TNetlinkAttrs(hops.substr(headerSize, hop.rtnh_len - headerSize)));
        if (gateway != 0)
            return gateway;
        hops.remove_prefix(std::min(hops.size(), NetlinkAlign(hop.rtnh_len)));
    }
    return 0;
}

// The gateway of a default unicast route of the main table, or 0.
TIPv4 DefaultRouteGateway(const nlmsghdr& message) {
    const auto* route = NetlinkBody<rtmsg>(message);
    if (message.nlmsg_type != RTM_NEWROUTE || !route || route->rtm_family != AF_INET || route->rtm_dst_len != 0 ||
        route->rtm_type != RTN_UNICAST)
        return 0;
    TNetlinkAttrs attrs(message, sizeof(rtmsg));
    std::uint32_t table = route->rtm_table; // tables above 255 only come as an attribute
    attrs.Read(RTA_TABLE, table);
    if (table != RT_TABLE_MAIN)
        return 0;
    TIPv4 gateway = NonZeroGateway(attrs);
    return gateway != 0 ? gateway : MultipathGateway(attrs.Get(RTA_MULTIPATH));
}

} // namespace

bool TInetConfig::GetInterfaces(TIfList& list) {
    TIfByIndex interfaces;
    if (!ReadLinks(interfaces) || !ReadAddresses(interfaces))
        return false;
    for (auto& [index, item] : interfaces)
        list.push_back(std::move(item));
    return true;
}

bool TInetConfig::GetDefaultGateway(TIPv4& address) {
    rtmsg request{};
    request.rtm_family = AF_INET;
    std::optional<TIPv4> first;
    // The kernel keeps routes to one prefix ordered by metric, so the first is the one in use.
    bool read = NetlinkDump(RTM_GETROUTE, &request, sizeof request, [&](const nlmsghdr& message) {
        TIPv4 gateway = first ? 0 : DefaultRouteGateway(message);
        if (gateway != 0)
            first = gateway;
    });
    if (!read || !first)
        return false;
    address = *first;
    return true;
}
