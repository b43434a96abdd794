#include "Core/Net/NetBios.h"

#include "Core/Common/Text.h"
#include "Core/Common/Utf8.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t NetBiosPort = 137;
constexpr std::size_t NameTableOffset = 57; // the name count is the byte before it
constexpr std::size_t NameEntrySize = 18;   // 15 name bytes, suffix, 2 flag bytes
constexpr std::uint8_t GroupFlag = 0x80;
constexpr std::uint8_t WorkstationSuffix = 0x00;
constexpr std::uint8_t MessengerSuffix = 0x03;

class TUdpSocket {
public:
    TUdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~TUdpSocket() {
        if (fd_ >= 0)
            close(fd_);
    }
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// Datagrams as they arrived, kept apart so that one never borrows bytes from the next.
struct TReceived {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> ends;

    std::span<const std::uint8_t> Datagram(std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : ends[index - 1];
        return std::span(bytes).subspan(begin, ends[index] - begin);
    }
};

bool ConnectTo(int fd, const std::string& address) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(NetBiosPort);
    return inet_pton(AF_INET, address.c_str(), &peer.sin_addr) == 1 &&
           connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
}

// Collects datagrams until the line stays quiet, the overall deadline passes, the buffer is full
// or the socket reports an error (an ICMP port-unreachable answer among them).
TReceived Receive(int fd) {
    using namespace std::chrono;
    TReceived received;
    received.bytes.resize(TNetBiosDiscovery::MaxBuffered);
    std::size_t used = 0;
    const auto deadline = steady_clock::now() + TNetBiosDiscovery::TotalTimeout;
    while (used < received.bytes.size()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left <= milliseconds::zero())
            break;
        pollfd waiter{fd, POLLIN, 0};
        const int ready = poll(&waiter, 1, static_cast<int>(std::min(left, TNetBiosDiscovery::QuietTimeout).count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t size = recv(fd, received.bytes.data() + used, received.bytes.size() - used, MSG_DONTWAIT);
        if (size < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (size < 0)
            break;
        used += static_cast<std::size_t>(size);
        received.ends.push_back(used);
    }
    received.bytes.resize(used);
    return received;
}

TReceived Exchange(const std::string& address, const TNetBiosRequest& request) {
    const TUdpSocket sock;
    if (sock.Fd() < 0 || !ConnectTo(sock.Fd(), address) ||
        send(sock.Fd(), request.data(), request.size(), 0) != static_cast<ssize_t>(request.size()))
        return {};
    return Receive(sock.Fd());
}

std::string StoredName(const TNetBiosNameItem& item) {
    const std::string_view raw(item.Name.data(), item.Name.size());
    return Trim(raw.substr(0, raw.find('\0')));
}

void AddName(TNetBiosReplyItem& reply, std::span<const std::uint8_t> entry) {
    TNetBiosNameItem item;
    std::copy_n(entry.begin(), item.Name.size(), reinterpret_cast<std::uint8_t*>(item.Name.data()));
    item.Suffix = entry[15];
    const bool group = (entry[16] & GroupFlag) != 0;
    reply.Names.push_back(item);
    if (item.Suffix == WorkstationSuffix)
        (group ? reply.GroupName : reply.ComputerName) = StoredName(item);
    else if (item.Suffix == MessengerSuffix)
        reply.MessengerName = StoredName(item);
}

} // namespace

TNetBiosRequest TNetBiosDiscovery::BuildRequest(TNetBiosId id) {
    TNetBiosRequest request{};
    request[0] = id[0];
    request[1] = id[1];
    request[3] = 0x10; // broadcast bit
    request[5] = 0x01; // one question
    request[12] = 0x20;
    // "*" and fifteen zero bytes in first-level encoding: 0x2A gives "CK", each 0x00 gives "AA".
    request[13] = 'C';
    request[14] = 'K';
    std::fill(request.begin() + 15, request.begin() + 45, static_cast<std::uint8_t>('A'));
    request[47] = 0x21; // NBSTAT
    request[49] = 0x01; // IN
    return request;
}

std::optional<TNetBiosReplyItem> TNetBiosDiscovery::ParseReply(std::span<const std::uint8_t> datagram, TNetBiosId id) {
    if (datagram.size() <= NameTableOffset || datagram[0] != id[0] || datagram[1] != id[1] ||
        (datagram[3] & 0xF0) != 0 || (datagram[6] == 0 && datagram[7] == 0))
        return std::nullopt;
    const std::size_t count = datagram[NameTableOffset - 1];
    TNetBiosReplyItem reply;
    for (std::size_t i = 0; i < count && NameTableOffset + (i + 1) * NameEntrySize <= datagram.size(); ++i)
        AddName(reply, datagram.subspan(NameTableOffset + i * NameEntrySize, NameEntrySize));
    const std::size_t unitOffset = NameTableOffset + count * NameEntrySize;
    if (unitOffset + reply.HWAddr.size() > datagram.size())
        return std::nullopt;
    std::copy_n(datagram.begin() + static_cast<std::ptrdiff_t>(unitOffset), reply.HWAddr.size(), reply.HWAddr.begin());
    return reply;
}

bool TNetBiosDiscovery::Query(const std::string& address) {
    receivedBytes_ = 0;
    try {
        const TNetBiosId id = IdBytes(static_cast<std::uint16_t>(++TransactionId));
        const TReceived received = Exchange(address, BuildRequest(id));
        receivedBytes_ = received.bytes.size();
        // A stray or broken datagram must not hide the answer that follows it.
        for (std::size_t i = 0; i < received.ends.size(); ++i) {
            if (auto reply = ParseReply(received.Datagram(i), id)) {
                items_.push_back(std::move(*reply));
                break;
            }
        }
    } catch (const std::exception&) {
        // Memory exhaustion is the only thing that can throw here; the device simply stays nameless.
    }
    return !items_.empty();
}

std::string NetBiosNameToUtf8(std::string_view name) {
    std::string text = IsValidUtf8(name) ? std::string(name) : Latin1ToUtf8(name);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<std::uint8_t>(c) < 32 || c == 0x7F; }, '?');
    return text;
}
