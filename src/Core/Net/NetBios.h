#pragma once
#include "Core/Net/HWAddr.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One entry of a node-status name table, as received (the name is blank-padded by the sender).
struct TNetBiosNameItem {
    std::array<char, 15> Name{};
    std::uint8_t Suffix = 0; // the 16th byte: 0x00 workstation or domain, 0x03 messenger, ...
};

// One parsed node-status answer. The names are cut at the first NUL and trimmed; bytes above
// 127 stay as received, so they need not be valid UTF-8.
struct TNetBiosReplyItem {
    std::vector<TNetBiosNameItem> Names;
    THWAddr HWAddr{}; // the unit identifier after the name table
    std::string GroupName;
    std::string MessengerName;
    std::string ComputerName;
};

// The two identifier bytes a reply must echo, in the order they are sent.
using TNetBiosId = std::array<std::uint8_t, 2>;
using TNetBiosRequest = std::array<std::uint8_t, 50>;

// Asks one device for its NetBIOS name table (NBSTAT to UDP port 137).
class TNetBiosDiscovery {
public:
    // A device that keeps sending must not hold a probe worker forever nor fill its memory.
    static constexpr std::chrono::milliseconds QuietTimeout{2000}; // after the last datagram
    static constexpr std::chrono::milliseconds TotalTimeout{6000}; // after sending, in all
    static constexpr std::size_t MaxBuffered = 64 * 1024;

    static TNetBiosId IdBytes(std::uint16_t id) {
        return {static_cast<std::uint8_t>(id & 0xFF), static_cast<std::uint8_t>(id >> 8)};
    }
    static TNetBiosRequest BuildRequest(TNetBiosId id);
    // The reply in one datagram, or nothing when it is not an answer to the request with that id.
    static std::optional<TNetBiosReplyItem> ParseReply(std::span<const std::uint8_t> datagram, TNetBiosId id);

    // Sends one request to the dotted address and collects the answer; true when a reply is held
    // afterwards. Never throws.
    bool Query(const std::string& address);

    const std::vector<TNetBiosReplyItem>& Items() const { return items_; }
    // Bytes the last query received, at most MaxBuffered.
    std::size_t ReceivedBytes() const { return receivedBytes_; }

    std::atomic<std::uint32_t> TransactionId{0}; // low 16 bits identify a query

private:
    std::vector<TNetBiosReplyItem> items_;
    std::size_t receivedBytes_ = 0;
};

// A received name as valid UTF-8 for storing and export: text that already is valid UTF-8 is
// kept, anything else is read as Latin-1; control characters become '?' so that tab-separated
// and XML exports stay intact.
std::string NetBiosNameToUtf8(std::string_view name);
