#include "Core/Net/NetBios.h"
#include "Core/Net/Platform.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const TNetBiosId FirstId = TNetBiosDiscovery::IdBytes(1);
const THWAddr UnitId{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

struct TEntry {
    std::string name; // padded to 15 bytes with blanks
    std::uint8_t suffix;
    std::uint8_t flags; // first flag byte: 0x80 group, 0x04 active
};

const std::vector<TEntry> WindowsTable = {
    {"NAME", 0x00, 0x04}, {"WORKGROUP", 0x00, 0x84}, {"NAME", 0x20, 0x04}, {"NAME", 0x03, 0x04}, {"USER", 0x03, 0x04},
};

struct TReply {
    std::vector<TEntry> entries = WindowsTable;
    TNetBiosId id = FirstId;
    std::uint8_t byte3 = 0x00;
    std::uint16_t answers = 1;
    std::optional<std::uint8_t> count; // the entries' number unless set
    std::size_t statisticsBytes = 40;  // what Windows sends after the unit identifier

    Bytes Build() const {
        const auto answersHigh = static_cast<std::uint8_t>(answers >> 8);
        const auto answersLow = static_cast<std::uint8_t>(answers & 0xFF);
        Bytes bytes = {id[0], id[1], 0x84, byte3, 0, 0, answersHigh, answersLow, 0, 0, 0, 0, 0x20};
        bytes.insert(bytes.end(), {'C', 'K'});
        bytes.insert(bytes.end(), 30, 'A');
        bytes.insert(bytes.end(), {0x00, 0x00, 0x21, 0x00, 0x01, 0, 0, 0, 0, 0, 0});
        bytes.push_back(count.value_or(static_cast<std::uint8_t>(entries.size())));
        for (const TEntry& entry : entries) {
            std::string name = entry.name;
            name.resize(15, ' ');
            bytes.insert(bytes.end(), name.begin(), name.end());
            bytes.insert(bytes.end(), {entry.suffix, entry.flags, 0x00});
        }
        bytes.insert(bytes.end(), UnitId.begin(), UnitId.end());
        bytes.insert(bytes.end(), statisticsBytes, 0);
        return bytes;
    }
};

// A well-formed reply to somebody else's query.
Bytes StrayReply() {
    TReply reply;
    reply.id = {0x55, 0xAA};
    return reply.Build();
}

std::optional<TNetBiosReplyItem> Parse(const Bytes& bytes, TNetBiosId id = FirstId) {
    return TNetBiosDiscovery::ParseReply(bytes, id);
}

TEST(NetBiosRequest, IsTheFiftyByteWildcardNodeStatusQuery) {
    const TNetBiosRequest expected = {0x34, 0x12, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20,
                                      'C',  'K',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',
                                      'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',  'A',
                                      'A',  'A',  'A',  'A',  'A',  'A',  0x00, 0x00, 0x21, 0x00, 0x01};
    EXPECT_EQ(TNetBiosDiscovery::BuildRequest(TNetBiosDiscovery::IdBytes(0x1234)), expected);
}

TEST(NetBiosReply, WindowsNameTable) {
    const auto reply = Parse(TReply{}.Build());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ComputerName, "NAME");
    EXPECT_EQ(reply->GroupName, "WORKGROUP");
    EXPECT_EQ(reply->MessengerName, "USER");
    EXPECT_EQ(reply->HWAddr, UnitId);
    ASSERT_EQ(reply->Names.size(), 5u);
    EXPECT_EQ(std::string(reply->Names[1].Name.data(), 15), "WORKGROUP      ");
    EXPECT_EQ(reply->Names[2].Suffix, 0x20);
}

TEST(NetBiosReply, NamesAreCutAtNulAndTrimmedButKeepHighBytes) {
    TReply fixture;
    fixture.entries = {{std::string("  PC\0JUNK", 9), 0x00, 0x04}, {"K\xD6NIG\t", 0x03, 0x04}, {"", 0x00, 0x84}};
    const auto reply = Parse(fixture.Build());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ComputerName, "PC");
    EXPECT_EQ(reply->MessengerName, "K\xD6NIG");
    EXPECT_EQ(reply->GroupName, "");
}

TEST(NetBiosReply, NoNamesButAUnitIdentifier) {
    TReply fixture;
    fixture.entries.clear();
    fixture.statisticsBytes = 0;
    const Bytes bytes = fixture.Build();
    ASSERT_EQ(bytes.size(), 63u);
    const auto reply = Parse(bytes);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->Names.empty());
    EXPECT_EQ(reply->ComputerName, "");
    EXPECT_EQ(reply->HWAddr, UnitId);
}

TEST(NetBiosReply, ResponseCodeIsNotExamined) {
    TReply fixture;
    fixture.byte3 = 0x0F;
    EXPECT_TRUE(Parse(fixture.Build()));
}

struct TRejectCase {
    const char* label;
    Bytes bytes;
};

std::vector<TRejectCase> RejectCases() {
    auto with = [](auto change) {
        TReply fixture;
        change(fixture);
        return fixture.Build();
    };
    Bytes cutUnitId = with([](TReply& r) { r.statisticsBytes = 0; });
    cutUnitId.pop_back();
    Bytes fiftySeven = with([](TReply&) {});
    fiftySeven.resize(57);
    return {
        {"ForeignIdentifier", with([](TReply& r) { r.id = TNetBiosDiscovery::IdBytes(0x0100); })},
        {"BroadcastFlag", with([](TReply& r) { r.byte3 = 0x10; })},
        {"RecursionAvailable", with([](TReply& r) { r.byte3 = 0x80; })},
        {"NoAnswerRecord", with([](TReply& r) { r.answers = 0; })},
        {"OnlyTheHeader", fiftySeven},
        {"UnitIdentifierCutOff", cutUnitId},
        {"CountClaimsMoreThanPresent", with([](TReply& r) {
             r.count = 7;
             r.statisticsBytes = 0;
         })},
        {"CountLargerThanTheDatagram", with([](TReply& r) { r.count = 255; })},
    };
}

void PrintTo(const TRejectCase& param, std::ostream* out) {
    *out << param.label;
}

class NetBiosRejected : public testing::TestWithParam<TRejectCase> {};

TEST_P(NetBiosRejected, YieldsNoReply) {
    EXPECT_FALSE(Parse(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Replies, NetBiosRejected, testing::ValuesIn(RejectCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(NetBiosNameText, BecomesValidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"PC-01", "PC-01"},
        {"K\xD6NIG", "K\xC3\x96NIG"},                 // Latin-1 byte
        {"K\xC3\x96NIG", "K\xC3\x96NIG"},             // already UTF-8
        {"\xC0\x80", "\xC3\x80\xC2\x80"},             // overlong form is not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}, // nor is a surrogate
        {"A\xE2\x82", "A\xC3\xA2\xC2\x82"},           // cut-off sequence
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},     // four-byte sequence kept
        {"A\tB\x7F", "A?B?"},                         // controls would break exports
    };
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(NetBiosNameToUtf8(raw), expected) << raw;
}

// A NetBIOS peer on a loopback address of its own, so parallel tests never share a port.
class TUdpPeer {
public:
    using TBehaviour = std::function<void(TUdpPeer&, const Bytes& request)>;

    TUdpPeer(const std::string& address, TBehaviour behaviour) : behaviour_(std::move(behaviour)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(137);
        inet_pton(AF_INET, address.c_str(), &local.sin_addr);
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            throw std::runtime_error("cannot bind UDP " + address + ":137");
        thread_ = std::thread([this] { Serve(); });
    }
    ~TUdpPeer() {
        Stop();
        close(fd_);
    }

    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool Stopping() const { return stop_; }
    void Send(const Bytes& bytes) {
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&client_), sizeof client_);
    }
    std::vector<Bytes> Requests() {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd waiter{fd_, POLLIN, 0};
            if (poll(&waiter, 1, 50) <= 0)
                continue;
            Bytes request(2048);
            socklen_t length = sizeof client_;
            const ssize_t size =
                recvfrom(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&client_), &length);
            if (size < 0)
                continue;
            request.resize(static_cast<std::size_t>(size));
            {
                const std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            behaviour_(*this, request);
        }
    }

    TBehaviour behaviour_;
    int fd_ = -1;
    sockaddr_in client_{};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

// Answers every request with the given reply, its identifier taken from the request.
TUdpPeer::TBehaviour Answer(std::vector<TReply> datagrams) {
    return [datagrams](TUdpPeer& peer, const Bytes& request) {
        for (TReply datagram : datagrams) {
            datagram.id = {request[0], request[1]};
            peer.Send(datagram.Build());
        }
    };
}

TEST(NetBiosQuery, ReceivesAndParsesTheReply) {
    TUdpPeer peer("127.77.0.1", Answer({TReply{}}));
    TNetBiosDiscovery discovery;
    ASSERT_TRUE(discovery.Query("127.77.0.1"));
    ASSERT_EQ(discovery.Items().size(), 1u);
    EXPECT_EQ(discovery.Items()[0].ComputerName, "NAME");
    EXPECT_EQ(discovery.Items()[0].HWAddr, UnitId);
    EXPECT_EQ(discovery.ReceivedBytes(), TReply{}.Build().size());

    EXPECT_TRUE(discovery.Query("127.77.0.1"));
    EXPECT_EQ(discovery.Items().size(), 2u);
    EXPECT_EQ(discovery.TransactionId, 2u);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (std::uint16_t id : {1, 2}) {
        const TNetBiosRequest expected = TNetBiosDiscovery::BuildRequest(TNetBiosDiscovery::IdBytes(id));
        EXPECT_EQ(requests[id - 1], Bytes(expected.begin(), expected.end()));
    }
}

TEST(NetBiosQuery, BrokenDatagramDoesNotHideTheAnswerAfterIt) {
    TReply truncated; // claims more names than it carries
    truncated.entries = {{"GARBAGE", 0x00, 0x04}};
    truncated.count = 5;
    truncated.statisticsBytes = 0;
    TUdpPeer peer("127.77.0.2", Answer({truncated, TReply{}}));
    TNetBiosDiscovery discovery;
    ASSERT_TRUE(discovery.Query("127.77.0.2"));
    ASSERT_EQ(discovery.Items().size(), 1u);
    EXPECT_EQ(discovery.Items()[0].ComputerName, "NAME");
    EXPECT_EQ(discovery.Items()[0].Names.size(), 5u);
}

TEST(NetBiosQuery, ForeignIdentifierIsIgnored) {
    TUdpPeer peer("127.77.0.3", [](TUdpPeer& p, const Bytes&) { p.Send(StrayReply()); });
    TNetBiosDiscovery discovery;
    EXPECT_FALSE(discovery.Query("127.77.0.3"));
    EXPECT_GT(discovery.ReceivedBytes(), 0u);
}

TEST(NetBiosQuery, SilentPeerAndClosedPortGiveFalse) {
    TUdpPeer silent("127.77.0.4", [](TUdpPeer&, const Bytes&) {});
    for (const char* address : {"127.77.0.4", "127.77.0.250", "not an address", "300.1.1.1"}) {
        TNetBiosDiscovery discovery;
        EXPECT_FALSE(discovery.Query(address)) << address;
        EXPECT_TRUE(discovery.Items().empty()) << address;
    }
    EXPECT_EQ(silent.Requests().size(), 1u);
}

// Runs the query on its own thread so that a query that never ends fails the test instead of hanging it.
bool GuardedQuery(TNetBiosDiscovery& discovery, const std::string& address, TUdpPeer& peer) {
    auto result = std::async(std::launch::async, [&] { return discovery.Query(address); });
    const bool ended = result.wait_for(20s) == std::future_status::ready;
    peer.Stop(); // a stuck query ends once the peer falls silent
    EXPECT_TRUE(ended) << "the query did not stop while the peer kept sending";
    return result.get();
}

TEST(NetBiosQuery, FloodIsCutOffAtTheBufferLimit) {
    TReply large;
    large.statisticsBytes = 1400;
    TUdpPeer peer("127.77.0.5", [large](TUdpPeer& p, const Bytes& request) mutable {
        large.id = {request[0], request[1]};
        const Bytes bytes = large.Build();
        while (!p.Stopping()) {
            p.Send(bytes);
            std::this_thread::sleep_for(1ms);
        }
    });
    TNetBiosDiscovery discovery;
    EXPECT_TRUE(GuardedQuery(discovery, "127.77.0.5", peer));
    EXPECT_EQ(discovery.ReceivedBytes(), TNetBiosDiscovery::MaxBuffered);
    ASSERT_EQ(discovery.Items().size(), 1u);
    EXPECT_EQ(discovery.Items()[0].ComputerName, "NAME");
}

TEST(NetBiosQuery, TrickleIsCutOffByTheOverallDeadline) {
    TUdpPeer peer("127.77.0.6", [](TUdpPeer& p, const Bytes&) {
        const Bytes stray = StrayReply();
        while (!p.Stopping()) {
            p.Send(stray);
            std::this_thread::sleep_for(100ms);
        }
    });
    TNetBiosDiscovery discovery;
    EXPECT_FALSE(GuardedQuery(discovery, "127.77.0.6", peer));
    EXPECT_GT(discovery.ReceivedBytes(), 0u);
    EXPECT_LT(discovery.ReceivedBytes(), TNetBiosDiscovery::MaxBuffered);
}

struct THostNameCase {
    const char* label;
    const char* address;
    std::vector<TEntry> entries;
    bool found;
    std::string name;
};

void PrintTo(const THostNameCase& param, std::ostream* out) {
    *out << param.label;
}

class NetBiosHostName : public testing::TestWithParam<THostNameCase> {};

TEST_P(NetBiosHostName, TakesTheComputerNameAsUtf8) {
    TReply reply;
    reply.entries = GetParam().entries;
    TUdpPeer peer(GetParam().address, Answer({reply}));
    TPlatformHostInfo hostInfo;
    std::string name;
    EXPECT_EQ(hostInfo.GetHostName(StrToIPv4(GetParam().address), name), GetParam().found);
    EXPECT_EQ(name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, NetBiosHostName,
    testing::Values(THostNameCase{"Windows", "127.77.1.1", WindowsTable, true, "NAME"},
                    THostNameCase{"Latin1", "127.77.1.2", {{"K\xD6NIG", 0x00, 0x04}}, true, "K\xC3\x96NIG"},
                    THostNameCase{"NoNames", "127.77.1.3", {}, false, ""},
                    THostNameCase{"OnlyAGroup", "127.77.1.4", {{"WORKGROUP", 0x00, 0x84}}, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
