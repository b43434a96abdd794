#include "Core/Net/Linux/Probes.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <span>

// Replies are told apart by identifier, sequence and address. A datagram socket gets only the
// replies to its own identifier (the kernel sets it to the socket's port) and learns of ICMP errors
// for its requests through its error queue (IP_RECVERR). A raw socket sees every ICMP packet of the
// host, so it matches echo replies and the quoted request inside error messages itself, and waits
// on past packets meant for others.

namespace {

using TClock = std::chrono::steady_clock;

constexpr char Payload[] = "abcdefghijklmnopqrstuvwabcdefghi";
constexpr std::size_t PayloadSize = sizeof Payload - 1;
constexpr std::size_t IcmpHeaderSize = 8;
constexpr std::size_t RequestSize = IcmpHeaderSize + PayloadSize;

std::uint16_t ReadBE16(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

std::uint32_t ReadAddress(std::span<const std::uint8_t> data, std::size_t at) {
    std::uint32_t address;
    std::memcpy(&address, data.data() + at, sizeof address);
    return address;
}

std::uint16_t InternetChecksum(std::span<const std::uint8_t> data) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        sum += ReadBE16(data, i);
    if (data.size() % 2)
        sum += static_cast<std::uint32_t>(data.back() << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

// The IP header's length, or 0 when the data cannot hold that header.
std::size_t IpHeaderLength(std::span<const std::uint8_t> packet) {
    if (packet.empty())
        return 0;
    std::size_t length = (packet[0] & 0x0F) * 4u;
    return length >= 20 && packet.size() >= length ? length : 0;
}

// Raw sockets get these only: replies and the errors that quote a request.
void FilterRawTypes(int socket) {
    icmp_filter filter{};
    filter.data =
        ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    ::setsockopt(socket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
}

// Raw sockets share the host's identifier space with other programs; spread our start value.
std::uint16_t NextRawIdentifier() {
    static std::atomic<std::uint16_t> next{static_cast<std::uint16_t>(::getpid() * 2654435761u >> 16)};
    return next.fetch_add(1);
}

std::uint32_t ElapsedMs(TClock::time_point start) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start);
    return static_cast<std::uint32_t>(elapsed.count());
}

} // namespace

TPing::TPing() {
    if (OpenDatagram())
        access_ = TEchoAccess::Datagram;
    else if (OpenRaw())
        access_ = TEchoAccess::Raw;
}

TPing::~TPing() {
    if (socket_ >= 0)
        ::close(socket_);
}

bool TPing::OpenDatagram() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    socklen_t length = sizeof local;
    // Binding to port 0 picks a free identifier now, so that replies can be checked against it.
    if (::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::close(fd);
        return false;
    }
    socket_ = fd;
    identifier_ = ntohs(local.sin_port);
    return true;
}

bool TPing::OpenRaw() {
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    FilterRawTypes(fd);
    socket_ = fd;
    identifier_ = NextRawIdentifier();
    return true;
}

bool TPing::Send(const TRequest& request) const {
    std::array<std::uint8_t, RequestSize> packet{};
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<std::uint8_t>(request.Identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(request.Identifier);
    packet[6] = static_cast<std::uint8_t>(request.Sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(request.Sequence);
    std::memcpy(packet.data() + IcmpHeaderSize, Payload, PayloadSize);
    std::uint16_t checksum = InternetChecksum(packet);
    packet[2] = static_cast<std::uint8_t>(checksum >> 8);
    packet[3] = static_cast<std::uint8_t>(checksum);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = request.Target;
    return ::sendto(socket_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                    sizeof target) == static_cast<ssize_t>(packet.size());
}

namespace {

bool QuotesRequest(std::span<const std::uint8_t> icmp, std::uint16_t identifier, std::uint16_t sequence) {
    return icmp.size() >= IcmpHeaderSize && ReadBE16(icmp, 4) == identifier && ReadBE16(icmp, 6) == sequence;
}

// An ICMP error quotes the IP header and the first 8 bytes of the packet that caused it.
bool ErrorQuotesRequest(std::span<const std::uint8_t> icmp, std::uint32_t target, std::uint16_t identifier,
                        std::uint16_t sequence) {
    std::span<const std::uint8_t> quoted = icmp.subspan(IcmpHeaderSize);
    std::size_t headerLength = IpHeaderLength(quoted);
    if (headerLength == 0 || quoted[9] != IPPROTO_ICMP || ReadAddress(quoted, 16) != target)
        return false;
    std::span<const std::uint8_t> request = quoted.subspan(headerLength);
    return !request.empty() && request[0] == ICMP_ECHO && QuotesRequest(request, identifier, sequence);
}

} // namespace

TPing::TReply TPing::ReadPacket(const TRequest& request) const {
    std::array<std::uint8_t, 1500> buffer;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t received = ::recvfrom(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received <= 0)
        return TReply::Other;
    std::span<const std::uint8_t> icmp(buffer.data(), static_cast<std::size_t>(received));
    if (access_ == TEchoAccess::Raw) {
        std::size_t headerLength = IpHeaderLength(icmp);
        if (headerLength == 0)
            return TReply::Other;
        icmp = icmp.subspan(headerLength);
    }
    if (icmp.size() < IcmpHeaderSize)
        return TReply::Other;
    if (icmp[0] == ICMP_ECHOREPLY)
        return from.sin_addr.s_addr == request.Target && QuotesRequest(icmp, request.Identifier, request.Sequence)
                   ? TReply::Success
                   : TReply::Other;
    // Only raw sockets get error messages as packets.
    return icmp[0] != ICMP_ECHO && ErrorQuotesRequest(icmp, request.Target, request.Identifier, request.Sequence)
               ? TReply::Failure
               : TReply::Other;
}

// The error queue of a datagram socket holds the request an error answers, addressed to its target.
// Any error for our request fails it: an ICMP error from a router or one of the local stack (a
// neighbour that never answered ARP); the kind of error does not matter here.
TPing::TReply TPing::ReadQueuedError(const TRequest& request) const {
    std::array<std::uint8_t, 576> buffer;
    sockaddr_in target{};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen = sizeof target;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received = ::recvmsg(socket_, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (received < 0) {
        // A pending socket error without a queued message; reading it clears it.
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length);
        return TReply::Other;
    }
    std::span<const std::uint8_t> quoted(buffer.data(), static_cast<std::size_t>(received));
    bool ours = target.sin_addr.s_addr == request.Target && !quoted.empty() && quoted[0] == ICMP_ECHO &&
                QuotesRequest(quoted, request.Identifier, request.Sequence);
    return ours ? TReply::Failure : TReply::Other;
}

bool TPing::Ping(TIPv4 address, std::uint32_t timeoutMs, std::uint32_t& rttMs) {
    if (socket_ < 0)
        return false;
    const TRequest request{htonl(address), identifier_, ++sequence_};
    const TClock::time_point start = TClock::now();
    if (!Send(request))
        return false;
    const TClock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
    for (TClock::time_point now = start; now < deadline; now = TClock::now()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd wait{socket_, POLLIN, 0};
        int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        TReply reply = (wait.revents & POLLERR) ? ReadQueuedError(request) : ReadPacket(request);
        if (reply != TReply::Other) {
            rttMs = ElapsedMs(start);
            return reply == TReply::Success;
        }
    }
    return false;
}
