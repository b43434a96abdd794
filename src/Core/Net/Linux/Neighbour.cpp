#include "Core/Net/Linux/Netlink.h"
#include "Core/Net/Linux/Probes.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <algorithm>

namespace {

// Entries whose hardware address the kernel has confirmed or was given; incomplete and failed
// entries never qualify (the kernel does not even report an address for them).
constexpr unsigned UsableStates = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP;

} // namespace

bool TPing::GetHWAddr(TIPv4 address, THWAddr& hwAddr) {
    int onlyIndex = 0;
    if (!IfName.empty()) {
        onlyIndex = static_cast<int>(::if_nametoindex(IfName.c_str()));
        if (onlyIndex == 0)
            return false;
    }
    const std::uint32_t target = htonl(address);
    ndmsg request{};
    request.ndm_family = AF_INET;
    bool found = false;
    bool read = NetlinkDump(RTM_GETNEIGH, &request, sizeof request, [&](const nlmsghdr& message) {
        const auto* entry = NetlinkBody<ndmsg>(message);
        if (message.nlmsg_type != RTM_NEWNEIGH || !entry || entry->ndm_family != AF_INET ||
            !(entry->ndm_state & UsableStates) || (onlyIndex != 0 && entry->ndm_ifindex != onlyIndex))
            return;
        TNetlinkAttrs attrs(message, sizeof(ndmsg));
        std::uint32_t destination = 0;
        std::string_view link = attrs.Get(NDA_LLADDR);
        if (!attrs.Read(NDA_DST, destination) || destination != target || link.empty())
            return;
        // The last match wins, as when several interfaces know the address.
        hwAddr.fill(0);
        std::copy_n(link.begin(), std::min(link.size(), hwAddr.size()), hwAddr.begin());
        found = true;
    });
    return read && found;
}
