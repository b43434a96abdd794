#include "Core/Net/NetBios.h"
#include "Core/Net/Platform.h"

bool TPlatformHostInfo::GetHostName(TIPv4 address, std::string& name) {
    try {
        TNetBiosDiscovery discovery;
        if (!discovery.Query(IPv4ToStr(address)) || discovery.Items().front().ComputerName.empty())
            return false;
        name = NetBiosNameToUtf8(discovery.Items().front().ComputerName);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
