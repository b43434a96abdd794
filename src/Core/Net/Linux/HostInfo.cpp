#include "Core/Net/Linux/Probes.h"

#include "Core/Common/Utf8.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

bool THostInfo::GetHostName(TIPv4 address, std::string& name) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    char host[NI_MAXHOST];
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD) == 0) {
        name = RepairUtf8AsLatin1(host);
        return true;
    }
    name.clear();
    return TPlatformHostInfo::GetHostName(address, name);
}
