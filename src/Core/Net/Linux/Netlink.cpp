#include "Core/Net/Linux/Netlink.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

constexpr std::size_t HeaderSize = NetlinkAlign(sizeof(nlmsghdr));
constexpr unsigned AttrTypeMask = 0x3FFF; // without the nested and byte-order flags

class TSocket {
public:
    TSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~TSocket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

bool SendRequest(int fd, std::uint16_t type, std::uint32_t sequence, const void* familyHeader, std::size_t size) {
    std::vector<char> request(HeaderSize + NetlinkAlign(size));
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(request.size());
    header.nlmsg_type = type;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = sequence;
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + HeaderSize, familyHeader, size);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) ==
           static_cast<ssize_t>(request.size());
}

enum class TBatch { More, Done, Failed };

// Walks the messages of one datagram from the kernel.
TBatch VisitBatch(const char* data, std::size_t size, std::uint32_t sequence,
                  const std::function<void(const nlmsghdr&)>& visit) {
    for (std::size_t offset = 0; offset + sizeof(nlmsghdr) <= size;) {
        const auto& message = *reinterpret_cast<const nlmsghdr*>(data + offset);
        if (message.nlmsg_len < sizeof(nlmsghdr) || offset + message.nlmsg_len > size)
            return TBatch::Failed;
        offset += NetlinkAlign(message.nlmsg_len);
        if (message.nlmsg_seq != sequence)
            continue;
        if (message.nlmsg_type == NLMSG_ERROR)
            return TBatch::Failed;
        if (message.nlmsg_type == NLMSG_DONE) {
            // A dump that the kernel had to interrupt ends with a negative error code.
            const int* status = NetlinkBody<int>(message);
            return status && *status < 0 ? TBatch::Failed : TBatch::Done;
        }
        visit(message);
    }
    return TBatch::More;
}

} // namespace

TNetlinkAttrs::TNetlinkAttrs(std::string_view data) {
    while (data.size() >= sizeof(nlattr)) {
        nlattr attr;
        std::memcpy(&attr, data.data(), sizeof attr);
        if (attr.nla_len < sizeof(nlattr) || attr.nla_len > data.size())
            break;
        unsigned type = attr.nla_type & AttrTypeMask;
        if (type >= values_.size())
            values_.resize(type + 1);
        values_[type] = data.substr(NetlinkAlign(sizeof(nlattr)), attr.nla_len - NetlinkAlign(sizeof(nlattr)));
        data.remove_prefix(std::min(data.size(), NetlinkAlign(attr.nla_len)));
    }
}

TNetlinkAttrs::TNetlinkAttrs(const nlmsghdr& message, std::size_t familyHeaderSize)
    : TNetlinkAttrs(
          message.nlmsg_len < HeaderSize + NetlinkAlign(familyHeaderSize)
              ? std::string_view()
              : std::string_view(reinterpret_cast<const char*>(&message) + HeaderSize + NetlinkAlign(familyHeaderSize),
                                 message.nlmsg_len - HeaderSize - NetlinkAlign(familyHeaderSize))) {}

std::string TNetlinkAttrs::Text(unsigned type) const {
    std::string_view data = Get(type);
    return std::string(data.substr(0, data.find('\0')));
}

bool NetlinkDump(std::uint16_t type, const void* familyHeader, std::size_t size,
                 const std::function<void(const nlmsghdr&)>& visit) {
    constexpr std::uint32_t sequence = 1; // one request per socket
    TSocket socket;
    if (socket.Fd() < 0)
        return false;
    // The kernel answers at once; the limit only guards against a stack that never finishes a dump.
    timeval limit{2, 0};
    ::setsockopt(socket.Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (!SendRequest(socket.Fd(), type, sequence, familyHeader, size))
        return false;
    std::vector<char> buffer(65536); // heap memory is aligned for nlmsghdr
    for (;;) {
        iovec part{buffer.data(), buffer.size()};
        msghdr reply{};
        reply.msg_iov = &part;
        reply.msg_iovlen = 1;
        ssize_t received = ::recvmsg(socket.Fd(), &reply, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0 || (reply.msg_flags & MSG_TRUNC))
            return false;
        TBatch batch = VisitBatch(buffer.data(), static_cast<std::size_t>(received), sequence, visit);
        if (batch != TBatch::More)
            return batch == TBatch::Done;
    }
}
