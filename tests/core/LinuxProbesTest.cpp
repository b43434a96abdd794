// The Linux probes against real kernel state. Everything but the loopback echo runs inside network
// namespaces that the tests build (addresses 10.214.x.0/24), so no packet reaches a real network.
#include "Core/Net/Linux/Probes.h"
#include "support/NetNs.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using tarrowin::test::NetNs;

namespace {

constexpr std::uint32_t NotWritten = std::numeric_limits<std::uint32_t>::max();

std::string Describe(const TIfList& list) {
    std::string text;
    for (const TIfItem& item : list)
        text += item.Name + " " + IPv4ToStr(SwapIPv4(item.Address)) + "/" + IPv4ToStr(SwapIPv4(item.Mask)) + " " +
                HWAddrToStr(item.HWAddr, ':') + "\n";
    return text;
}

// One echo, as text: "success" or "failure", with " +rtt" when a reply time was written.
std::string Echo(TPing& ping, const char* address, std::uint32_t timeoutMs = 1000) {
    std::uint32_t rtt = NotWritten;
    bool success = ping.Ping(StrToIPv4(address), timeoutMs, rtt);
    std::string text = success ? "success" : "failure";
    if (rtt != NotWritten)
        text += rtt <= timeoutMs ? " +rtt" : " rtt-beyond-timeout";
    return text;
}

// Braced lists are evaluated in order, unlike the operands of +.
std::string Join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

std::string Neighbour(const char* address, const std::string& ifName = "") {
    TPing ping;
    ping.IfName = ifName;
    THWAddr mac{};
    return ping.GetHWAddr(StrToIPv4(address), mac) ? HWAddrToStr(mac, ':') : "none";
}

void DropRoot() {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
        throw std::runtime_error("cannot drop root");
}

const char* AccessName(TEchoAccess access) {
    switch (access) {
    case TEchoAccess::Datagram:
        return "datagram";
    case TEchoAccess::Raw:
        return "raw";
    case TEchoAccess::Denied:
        return "denied";
    }
    return "?";
}

class LinuxProbesNsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = NetNs::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
    }

    // The child's text; a child that failed fails the test.
    static std::string RunIn(const NetNs& ns, const std::function<std::string()>& fn) {
        tarrowin::test::NetNsResult result = ns.Run(fn);
        EXPECT_TRUE(result.Ok) << result.Output;
        return result.Output;
    }
};

std::string ListInterfaces() {
    TIfList list;
    bool read = TInetConfig().GetInterfaces(list);
    return (read ? "read\n" : "failed\n") + Describe(list);
}

using LinuxInetConfigTest = LinuxProbesNsTest;

TEST_F(LinuxInetConfigTest, ListsInterfacesInIndexOrderWithTheirLastAddressAndWithoutLoopback) {
    NetNs ns("if");
    // Port-less bridges stand in for dummy interfaces, which not every kernel has. Names against index
    // order; a second primary address with another mask; a secondary address; a link switched off.
    ns.Sh("ip link add name zz0 address 02:14:01:00:00:01 type bridge\n"
          "ip link add name aa1 address 02:14:01:00:00:02 type bridge\n"
          "ip link add name mm2 address 02:14:01:00:00:03 type bridge\n"
          "ip link add name dn3 address 02:14:01:00:00:04 type bridge\n"
          "ip addr add 10.214.1.5/24 dev zz0\n"
          "ip addr add 10.214.1.9/25 dev zz0\n"
          "ip addr add 10.214.2.5/24 dev mm2\n"
          "ip addr add 10.214.2.6/24 dev mm2\n"
          "ip addr add 10.214.3.5/24 dev dn3\n"
          "ip link set zz0 up\n"
          "ip link set aa1 up\n"
          "ip link set mm2 up");
    EXPECT_EQ(RunIn(ns, ListInterfaces), "read\n"
                                         "zz0 10.214.1.9/255.255.255.128 02:14:01:00:00:01\n"
                                         "aa1 0.0.0.0/0.0.0.0 02:14:01:00:00:02\n"
                                         "mm2 10.214.2.6/255.255.255.0 02:14:01:00:00:03\n");
}

TEST_F(LinuxInetConfigTest, OnlyLoopbackGivesAnEmptyListThatWasRead) {
    NetNs ns("lo");
    EXPECT_EQ(RunIn(ns, ListInterfaces), "read\n");
}

struct GatewayCase {
    const char* Name;
    const char* Routes;
    const char* Expected;
};

void PrintTo(const GatewayCase& value, std::ostream* out) {
    *out << value.Name;
}

class LinuxGatewayTest : public LinuxProbesNsTest, public ::testing::WithParamInterface<GatewayCase> {};

TEST_P(LinuxGatewayTest, TakesTheFirstDefaultRouteOfTheMainTable) {
    NetNs ns("gw");
    ns.Sh(std::string("ip link add name d0 type bridge\n"
                      "ip addr add 10.214.1.254/24 dev d0\n"
                      "ip link set d0 up\n") +
          GetParam().Routes);
    EXPECT_EQ(RunIn(ns,
                    [] {
                        TIPv4 gateway = 0;
                        return TInetConfig().GetDefaultGateway(gateway) ? IPv4ToStr(SwapIPv4(gateway))
                                                                        : std::string("none");
                    }),
              GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, LinuxGatewayTest,
    ::testing::Values(GatewayCase{"NoDefaultRoute", "", "none"},
                      GatewayCase{"LowestMetricAddedLast",
                                  "ip route add default via 10.214.1.1 metric 200\n"
                                  "ip route add default via 10.214.1.2 metric 100\n",
                                  "10.214.1.2"},
                      GatewayCase{"OtherTableOnly", "ip route add default via 10.214.1.3 table 100\n", "none"},
                      GatewayCase{"OtherTableIgnored",
                                  "ip route add default via 10.214.1.3 table 100\n"
                                  "ip route add default via 10.214.1.4 metric 500\n",
                                  "10.214.1.4"},
                      GatewayCase{"UnreachableDefaultSkipped",
                                  "ip route add unreachable default metric 10\n"
                                  "ip route add default via 10.214.1.7 metric 20\n",
                                  "10.214.1.7"},
                      GatewayCase{"Multipath", "ip route add default nexthop via 10.214.1.5 nexthop via 10.214.1.6\n",
                                  "10.214.1.5"}),
    [](const ::testing::TestParamInfo<GatewayCase>& info) { return std::string(info.param.Name); });

class LinuxNeighbourTest : public LinuxProbesNsTest {
protected:
    void SetUp() override {
        LinuxProbesNsTest::SetUp();
        if (IsSkipped())
            return;
        ns_ = std::make_unique<NetNs>("nb");
        ns_->Sh("ip link add n0 type veth peer name n0p\n"
                "ip link add n1 type veth peer name n1p\n"
                "for i in n0 n0p n1 n1p; do ip link set $i up; done");
    }

    std::unique_ptr<NetNs> ns_;
};

TEST_F(LinuxNeighbourTest, OnlyCompleteAndPermanentEntriesMatch) {
    struct {
        const char* Entry;
        const char* Expected;
    } cases[] = {
        {"lladdr 02:14:06:00:00:20 nud permanent", "02:14:06:00:00:20"},
        {"lladdr 02:14:06:00:00:21 nud reachable", "02:14:06:00:00:21"},
        {"lladdr 02:14:06:00:00:22 nud stale", "02:14:06:00:00:22"},
        {"lladdr 02:14:06:00:00:23 nud probe", "02:14:06:00:00:23"},
        {"lladdr 02:14:06:00:00:24 nud noarp", "02:14:06:00:00:24"},
        {"lladdr 02:14:06:00:00:25 nud incomplete", "none"},
        {"lladdr 02:14:06:00:00:26 nud failed", "none"},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.Entry);
        ns_->Sh("ip neigh del 10.214.6.20 dev n0 2>/dev/null || true\n"
                "ip neigh add 10.214.6.20 dev n0 " +
                std::string(entry.Entry));
        EXPECT_EQ(RunIn(*ns_, [] { return Neighbour("10.214.6.20"); }), entry.Expected);
    }
}

TEST_F(LinuxNeighbourTest, IfNameRestrictsTheLookupToThatInterface) {
    ns_->Sh("ip neigh add 10.214.6.30 dev n0 lladdr 02:14:06:00:30:00 nud permanent\n"
            "ip neigh add 10.214.6.30 dev n1 lladdr 02:14:06:00:30:01 nud permanent\n"
            "ip neigh add 10.214.6.31 dev n1 lladdr 02:14:06:00:31:01 nud permanent");
    EXPECT_EQ(RunIn(*ns_,
                    [] {
                        return Join({Neighbour("10.214.6.30", "n0"), Neighbour("10.214.6.30", "n1"),
                                     Neighbour("10.214.6.31", "n0"), Neighbour("10.214.6.30", "nosuch9")});
                    }),
              "02:14:06:00:30:00, 02:14:06:00:30:01, none, none");
    std::string anyInterface = RunIn(*ns_, [] { return Neighbour("10.214.6.30"); });
    EXPECT_TRUE(anyInterface == "02:14:06:00:30:00" || anyInterface == "02:14:06:00:30:01") << anyInterface;
}

// How echo requests leave the process: the namespace's ping_group_range and the child's rights.
struct EchoMode {
    const char* Name;
    const char* PingGroupRange;
    bool DropRoot;
    TEchoAccess Expected;
};

void PrintTo(const EchoMode& value, std::ostream* out) {
    *out << value.Name;
}

// A scanner namespace with a live peer (10.214.3.2), a peer that ignores echo (10.214.4.2) and a
// router (10.214.5.2) that rejects 10.214.9.0/24 with ICMP host unreachable.
class LinuxEchoTest : public LinuxProbesNsTest, public ::testing::WithParamInterface<EchoMode> {
protected:
    void SetUp() override {
        LinuxProbesNsTest::SetUp();
        if (IsSkipped())
            return;
        scanner_ = std::make_unique<NetNs>("s");
        peer_ = std::make_unique<NetNs>("p");
        silent_ = std::make_unique<NetNs>("q");
        router_ = std::make_unique<NetNs>("r");
        Link(*peer_, "10.214.3", "02:14:03:00:00:02");
        Link(*silent_, "10.214.4", "02:14:04:00:00:02");
        Link(*router_, "10.214.5", "02:14:05:00:00:02");
        silent_->Sh("sysctl -qw net.ipv4.icmp_echo_ignore_all=1");
        router_->Sh("sysctl -qw net.ipv4.ip_forward=1\n"
                    "ip route add unreachable 10.214.9.0/24");
        scanner_->Sh("ip route add 10.214.9.0/24 via 10.214.5.2");
    }

    // The scanner side is x.1, the peer side x.2 with a fixed hardware address.
    void Link(const NetNs& peer, const std::string& net, const std::string& mac) {
        std::string side = "to-" + net.substr(net.rfind('.') + 1);
        scanner_->Veth(side, peer, "eth0");
        scanner_->Sh("ip addr add " + net + ".1/24 dev " + side + "\nip link set " + side + " up");
        peer.Sh("ip link set eth0 address " + mac + "\nip addr add " + net + ".2/24 dev eth0\nip link set eth0 up");
    }

    // Runs fn in the scanner with the mode's access; the text starts with the access found.
    std::string InScanner(const EchoMode& mode, const std::function<std::string()>& fn) {
        scanner_->Sh(std::string("sysctl -qw net.ipv4.ping_group_range='") + mode.PingGroupRange + "'");
        return RunIn(*scanner_, [&] {
            if (mode.DropRoot)
                DropRoot();
            return std::string(AccessName(TPing().EchoAccess())) + ": " + fn();
        });
    }

    std::string Expect(const std::string& results) const { return AccessName(GetParam().Expected) + (": " + results); }

    std::unique_ptr<NetNs> scanner_, peer_, silent_, router_;
};

TEST_P(LinuxEchoTest, AnsweredEchoSucceedsWithItsTime) {
    EXPECT_EQ(InScanner(GetParam(),
                        [] {
                            TPing ping;
                            return Join({Echo(ping, "10.214.3.2"), Echo(ping, "10.214.3.2"), Echo(ping, "10.214.3.1"),
                                         Echo(ping, "127.0.0.1")});
                        }),
              Expect("success +rtt, success +rtt, success +rtt, success +rtt"));
}

TEST_P(LinuxEchoTest, SilentAddressesFailButAnIcmpIgnoringPeerIsInTheNeighbourTable) {
    EXPECT_EQ(InScanner(GetParam(),
                        [] {
                            TPing ping;
                            return Join({Echo(ping, "10.214.3.50"), Neighbour("10.214.4.2"), Echo(ping, "10.214.4.2"),
                                         Neighbour("10.214.4.2")});
                        }),
              Expect("failure, none, failure, 02:14:04:00:00:02"));
}

TEST_P(LinuxEchoTest, ErrorReplyFailsWithItsTime) {
    EXPECT_EQ(InScanner(GetParam(),
                        [] {
                            TPing ping;
                            return Echo(ping, "10.214.9.1");
                        }),
              Expect("failure +rtt"));
}

TEST_P(LinuxEchoTest, LateReplyToAnEarlierRequestIsNotTaken) {
    // Rate-limited echo replies: the peer answers a short burst (six on current kernels) and then
    // stays silent for ten seconds. The replies to the requests given up at once wait in the socket
    // while the last, unanswered request waits for its own.
    peer_->Sh("sysctl -qw net.ipv4.icmp_ratemask=1 net.ipv4.icmp_ratelimit=10000");
    constexpr int givenUp = 10;
    std::string expected;
    for (int i = 0; i < givenUp; ++i)
        expected += "failure, ";
    EXPECT_EQ(InScanner(GetParam(),
                        [] {
                            TPing ping;
                            std::string text;
                            for (int i = 0; i < givenUp; ++i)
                                text += Echo(ping, "10.214.3.2", 0) + ", ";
                            return text + Echo(ping, "10.214.3.2");
                        }),
              Expect(expected + "failure"));
}

TEST_P(LinuxEchoTest, ConcurrentPingsTakeOnlyTheirOwnReplies) {
    EXPECT_EQ(InScanner(GetParam(),
                        [] {
                            const char* targets[] = {"10.214.3.2",  "10.214.3.2", "10.214.3.50", "10.214.3.51",
                                                     "10.214.3.52", "10.214.4.2", "10.214.9.1",  "10.214.9.2"};
                            std::vector<std::string> results(std::size(targets));
                            std::vector<std::thread> threads;
                            for (std::size_t i = 0; i < std::size(targets); ++i)
                                threads.emplace_back([&, i] {
                                    TPing ping;
                                    results[i] = Echo(ping, targets[i]);
                                });
                            std::string text;
                            for (std::size_t i = 0; i < threads.size(); ++i) {
                                threads[i].join();
                                text += (i ? ", " : "") + results[i];
                            }
                            return text;
                        }),
              Expect("success +rtt, success +rtt, failure, failure, failure, failure, failure +rtt, failure +rtt"));
}

INSTANTIATE_TEST_SUITE_P(Access, LinuxEchoTest,
                         ::testing::Values(EchoMode{"DatagramAsRoot", "0 2147483647", false, TEchoAccess::Datagram},
                                           EchoMode{"RawAsRoot", "1 0", false, TEchoAccess::Raw},
                                           EchoMode{"DatagramAsNobody", "0 2147483647", true, TEchoAccess::Datagram}),
                         [](const ::testing::TestParamInfo<EchoMode>& info) { return std::string(info.param.Name); });

TEST_F(LinuxProbesNsTest, WithoutEchoRightsEveryPingFailsAtOnce) {
    NetNs ns("deny");
    ns.Sh("ip link add name d0 type bridge\nip addr add 10.214.8.1/24 dev d0\nip link set d0 up\n"
          "sysctl -qw net.ipv4.ping_group_range='1 0'");
    EXPECT_EQ(RunIn(ns,
                    [] {
                        DropRoot();
                        TPing ping;
                        return std::string(AccessName(ping.EchoAccess())) + ": " +
                               Join({Echo(ping, "127.0.0.1"), Echo(ping, "10.214.8.1")});
                    }),
              "denied: failure, failure");
}

TEST_F(LinuxProbesNsTest, ReverseNamesComeFromTheResolverAsUtf8) {
    NetNs ns("dns");
    ns.Sh("ip link add name d0 type bridge\nip addr add 10.214.7.1/24 dev d0\nip link set d0 up");
    ns.WriteEtcFile("hosts", "127.0.0.1 localhost\n"
                             "10.214.7.2 peer-one.test peer-one\n"
                             "10.214.7.3 ger\xc3\xa4t.test\n"
                             "10.214.7.4 caf\xe9.test\n");
    // A resolver that asks nobody outside the namespace.
    ns.WriteEtcFile("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");
    EXPECT_EQ(RunIn(ns,
                    [] {
                        std::string text;
                        for (const char* address : {"10.214.7.2", "10.214.7.3", "10.214.7.4", "10.214.7.99"}) {
                            std::string name = "stale";
                            text += (THostInfo().GetHostName(StrToIPv4(address), name) ? "" : "none:") + name + " ";
                        }
                        return text;
                    }),
              "peer-one.test ger\xc3\xa4t.test caf\xc3\xa9.test none: ");
}

// Loopback is the one address the tests ping outside a namespace.
TEST(LinuxLoopbackEchoTest, PingsLoopbackWhenEchoIsAllowed) {
    TPing ping;
    if (ping.EchoAccess() == TEchoAccess::Denied)
        GTEST_SKIP() << "this user may open neither an ICMP datagram nor a raw socket";
    EXPECT_EQ(Echo(ping, "127.0.0.1"), "success +rtt");
}

} // namespace
