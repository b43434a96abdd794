#pragma once
#include <linux/netlink.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Minimal rtnetlink reading, without the C macros of the kernel headers (their casts are not C++).

constexpr std::size_t NetlinkAlign(std::size_t size) {
    return (size + 3) & ~std::size_t{3};
}

// The family header (ifinfomsg, rtmsg, ...) of a message, or null when the message is too short.
template <class T> const T* NetlinkBody(const nlmsghdr& message) {
    if (message.nlmsg_len < NetlinkAlign(sizeof(nlmsghdr)) + sizeof(T))
        return nullptr;
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(&message) + NetlinkAlign(sizeof(nlmsghdr)));
}

// The attributes of one message (or of a nested attribute), by type; the last of a type counts.
class TNetlinkAttrs {
public:
    explicit TNetlinkAttrs(std::string_view data);
    TNetlinkAttrs(const nlmsghdr& message, std::size_t familyHeaderSize);

    std::string_view Get(unsigned type) const { return type < values_.size() ? values_[type] : std::string_view(); }
    // Text attributes carry their NUL; the text ends before it.
    std::string Text(unsigned type) const;
    // Copies the attribute into value when it has exactly the value's size.
    template <class T> bool Read(unsigned type, T& value) const {
        std::string_view data = Get(type);
        if (data.size() != sizeof(T))
            return false;
        std::memcpy(&value, data.data(), sizeof(T));
        return true;
    }

private:
    std::vector<std::string_view> values_;
};

// Sends one dump request, the message type with its family header, and hands every answer to visit.
// False when the socket cannot be opened, the kernel reports an error or an answer arrives cut.
bool NetlinkDump(std::uint16_t type, const void* familyHeader, std::size_t size,
                 const std::function<void(const nlmsghdr&)>& visit);
