#include "Core/Net/Linux/Probes.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace {

void AppendCodePoint(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else {
        text += static_cast<char>(0xC0 | code >> 6);
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::size_t LeadLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    std::size_t length = LeadLength(lead);
    if (length == 0 || text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0) || (lead == 0xF0 && byte(1) < 0x90) ||
        (lead == 0xF4 && byte(1) >= 0x90))
        return 0;
    return length;
}

// Hosts files may still be written in Latin-1: bytes that are not UTF-8 are read as Latin-1.
std::string AsUtf8(std::string_view text) {
    std::string result;
    while (!text.empty()) {
        std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            AppendCodePoint(result, static_cast<unsigned char>(text[0]));
            length = 1;
        } else {
            result.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return result;
}

} // namespace

bool THostInfo::GetHostName(TIPv4 address, std::string& name) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    char host[NI_MAXHOST];
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD) == 0) {
        name = AsUtf8(host);
        return true;
    }
    name.clear();
    return TPlatformHostInfo::GetHostName(address, name);
}
