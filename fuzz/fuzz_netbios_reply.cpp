// A node-status answer as it arrives from any device on the LAN; the first two bytes double as the
// request id so that most inputs get past the id check.
#include "Core/Net/NetBios.h"
#include "FuzzCheck.h"

namespace {

void CheckName(const std::string& name) {
    const std::string stored = NetBiosNameToUtf8(name);
    FUZZ_CHECK(IsUtf8ByIconv(stored));
    for (char c : stored)
        FUZZ_CHECK(static_cast<std::uint8_t>(c) >= 32 && c != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> datagram(data, size);
    const TNetBiosId id = size >= 2 ? TNetBiosId{data[0], data[1]} : TNetBiosId{};
    const auto reply = TNetBiosDiscovery::ParseReply(datagram, id);
    if (!reply)
        return 0;
    constexpr std::size_t nameTable = 57;
    constexpr std::size_t entrySize = 18;
    FUZZ_CHECK(reply->Names.size() <= data[nameTable - 1]);
    FUZZ_CHECK(nameTable + reply->Names.size() * entrySize + reply->HWAddr.size() <= size);
    for (const std::string& name : {reply->GroupName, reply->MessengerName, reply->ComputerName})
        CheckName(name);
    return 0;
}
