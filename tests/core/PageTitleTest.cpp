#include "Core/Net/PageTitle.h"
#include "Core/Net/Platform.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tarrowin::test::EnvGuard;

namespace {

// ---- Title extraction ----

struct TExtractCase {
    const char* Name;
    std::string Body;
    bool Found;
    std::string Title;
};

const TExtractCase ExtractCases[] = {
    {"LowerCaseWithBlanksAndLineBreaks", "<html><head>\n<title>\n   My Router \r\n\t</title></head>", true,
     "My Router"},
    {"UpperCase", "<HTML><HEAD><TITLE>NAS</TITLE></HEAD>", true, "NAS"},
    {"MixedCaseKeepsTheTitlesCase", "<Title>Cam Two</tItLe>", true, "Cam Two"},
    {"OpeningTagWithAttributesIsNotFound", "<title lang=\"en\">Printer</title>", false, ""},
    {"ClosingBeforeOpeningGivesEmptyTitle", "</title> junk <title>Late", true, ""},
    {"EmptyTitle", "<title> \r\n </title>", true, ""},
    {"MissingOpeningTag", "<head>Printer</title>", false, ""},
    {"MissingClosingTag", "<title>Printer", false, ""},
    {"EmptyBody", "", false, ""},
    {"FirstTagsWin", "<title>A</title><title>B</title>", true, "A"},
    {"LineEndsInsideBecomeCrLf", "<title>one\ntwo\rthree\r\nfour\n\r</title>", true, "one\r\ntwo\r\nthree\r\nfour"},
    {"NoEntityDecoding", "<title>Tom &amp; Jerry</title>", true, "Tom &amp; Jerry"},
    {"ValidUtf8Kept", "<title>Caf\xC3\xA9 \xE2\x9C\x93</title>", true, "Caf\xC3\xA9 \xE2\x9C\x93"},
    {"Windows1252Converted", "<title>Caf\xE9 \x80 \x93x\x94</title>", true,
     "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
    {"OverlongUtf8Converted", "<title>\xC0\xAF</title>", true, "\xC3\x80\xC2\xAF"},
    {"SurrogateUtf8Converted", "<title>\xED\xA0\x80</title>", true, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
    {"UnassignedWindows1252BytesBecomeC1Controls", "<title>\x81\x9D</title>", true, "\xC2\x81\xC2\x9D"},
};

void PrintTo(const TExtractCase& c, std::ostream* os) {
    *os << c.Name;
}

class ExtractPageTitleTest : public ::testing::TestWithParam<TExtractCase> {};

} // namespace

TEST_P(ExtractPageTitleTest, FindsTheTitleBetweenTheFirstTags) {
    const TExtractCase& c = GetParam();
    std::string title = "stale";
    EXPECT_EQ(ExtractPageTitle(c.Body, title), c.Found);
    EXPECT_EQ(title, c.Title);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractPageTitleTest, ::testing::ValuesIn(ExtractCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- Fetching from real servers on loopback ----

namespace {

// The fetch always goes to port 80, so every server gets an address of its own in 127.88.0.0/16.
enum class TServe {
    Response, // sends the given bytes, then closes
    Silent,   // accepts and never answers
    Trickle,  // sends an endless untitled page one byte at a time
    Endless,  // sends the given bytes, then filler for ever, as fast as the client reads
};

class TLoopbackServer {
public:
    TLoopbackServer(const char* address, TServe mode, std::string bytes = {})
        : address_(StrToIPv4(address)), mode_(mode), bytes_(std::move(bytes)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(80);
        where.sin_addr.s_addr = htonl(address_);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(fd_, 16) != 0) {
            error_ = std::string("cannot listen on ") + address + ":80: " + std::strerror(errno);
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }

    ~TLoopbackServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        close(fd_);
    }

    const std::string& Error() const { return error_; }
    TIPv4 Address() const { return address_; }
    int Connections() const { return connections_; }
    std::string FirstRequest() const {
        std::lock_guard lock(mutex_);
        return firstRequest_;
    }

private:
    // Waits for the socket up to 50 ms at a time, until the server stops.
    bool WaitFor(int fd, short events) const {
        pollfd p{fd, events, 0};
        while (!stop_) {
            if (poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }

    bool SendAll(int fd, std::string_view data) const {
        while (!data.empty()) {
            if (!WaitFor(fd, POLLOUT))
                return false;
            ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    std::string ReadRequest(int fd) const {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && WaitFor(fd, POLLIN)) {
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
        }
        return request;
    }

    void Answer(int fd) const {
        switch (mode_) {
        case TServe::Response:
            SendAll(fd, bytes_);
            shutdown(fd, SHUT_WR);
            [[fallthrough]];
        case TServe::Silent: {
            char sink[4096];
            while (WaitFor(fd, POLLIN) && recv(fd, sink, sizeof sink, 0) > 0) {
            }
            break;
        }
        case TServe::Trickle: {
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head>";
            for (size_t i = 0; SendAll(fd, i < head.size() ? std::string_view(head).substr(i, 1) : " "); ++i)
                std::this_thread::sleep_for(100ms);
            break;
        }
        case TServe::Endless: {
            const std::string filler(64 * 1024, 'x');
            for (bool open = SendAll(fd, bytes_); open; open = SendAll(fd, filler)) {
            }
            break;
        }
        }
    }

    void Serve() {
        while (WaitFor(fd_, POLLIN)) {
            int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            ++connections_;
            std::string request = ReadRequest(client);
            {
                std::lock_guard lock(mutex_);
                if (firstRequest_.empty())
                    firstRequest_ = request;
            }
            Answer(client);
            close(client);
        }
    }

    TIPv4 address_;
    TServe mode_;
    std::string bytes_;
    int fd_ = -1;
    std::string error_;
    std::atomic<bool> stop_ = false;
    std::atomic<int> connections_ = 0;
    mutable std::mutex mutex_;
    std::string firstRequest_;
    std::thread thread_;
};

// Only the page-title fetch of the probe class is real.
class TTitleOnlyPing : public TPlatformPing {
public:
    bool Ping(TIPv4, std::uint32_t, std::uint32_t&) override { return false; }
    bool GetHWAddr(TIPv4, THWAddr&) override { return false; }
};

struct TFetch {
    bool Finished = false;
    bool Found = false;
    std::string Title;
};

// Far above the 15 s cap of a request; only catches a fetch that would hang.
constexpr auto Bound = 60s;

TFetch FetchTitle(TIPv4 address) {
    auto fetch = std::async(std::launch::async, [address] {
        TTitleOnlyPing ping;
        TFetch result;
        result.Found = ping.GetPageTitle(address, result.Title);
        return result;
    });
    if (fetch.wait_for(Bound) != std::future_status::ready)
        std::abort(); // the future's destructor would wait for ever
    TFetch result = fetch.get();
    result.Finished = true;
    return result;
}

std::string HttpResponse(const std::string& status, const std::string& body, const std::string& extraHeaders = "",
                         bool withLength = true) {
    std::string head = "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nServer: test\r\n" + extraHeaders;
    if (withLength)
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

#define SKIP_UNLESS_LISTENING(server)                                                                                  \
    if (!(server).Error().empty())                                                                                     \
    GTEST_SKIP() << (server).Error() << " (needs root to bind port 80)"

struct TServerCase {
    const char* Name;
    const char* Address;
    std::string Response;
    bool Found;
    std::string Title;
};

const TServerCase ServerCases[] = {
    {"TitledPage", "127.88.1.1",
     HttpResponse("200 OK", "<html><head>\r\n  <title>\r\n  Home Router\r\n  </title>\r\n</head></html>"), true,
     "Home Router"},
    {"TitledErrorPage", "127.88.1.2", HttpResponse("404 Not Found", "<html><title>404 - Page Not Found</title></html>"),
     true, "404 - Page Not Found"},
    {"UnauthorizedPage", "127.88.1.3",
     HttpResponse("401 Unauthorized", "<HTML><HEAD><TITLE>Login required</TITLE></HEAD></HTML>"), true,
     "Login required"},
    {"BodyEndsWithTheConnection", "127.88.1.4", HttpResponse("200 OK", "<title>No Length</title>", "", false), true,
     "No Length"},
    {"RedirectIsNotFollowed", "127.88.1.5",
     HttpResponse("302 Found", "<title>Moved</title>", "Location: http://127.88.0.99/\r\n"), true, "Moved"},
    {"TitleWithAttributes", "127.88.1.6", HttpResponse("200 OK", "<title lang=\"en\">Printer</title>"), false, ""},
    {"NoTitle", "127.88.1.7", HttpResponse("200 OK", "<html><body>hello</body></html>"), false, ""},
    {"CutOffBeforeTheClosingTag", "127.88.1.8", "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n<title>Half", false,
     ""},
    {"NotHttpAtAll", "127.88.1.9", "SSH-2.0-OpenSSH_9.2\r\n", false, ""},
};

void PrintTo(const TServerCase& c, std::ostream* os) {
    *os << c.Name;
}

class PageTitleServerTest : public ::testing::TestWithParam<TServerCase> {};

} // namespace

TEST_P(PageTitleServerTest, FetchesTheRootPageOnce) {
    const TServerCase& c = GetParam();
    TLoopbackServer server(c.Address, TServe::Response, c.Response);
    SKIP_UNLESS_LISTENING(server);

    TFetch fetch = FetchTitle(server.Address());
    ASSERT_TRUE(fetch.Finished);
    EXPECT_EQ(fetch.Found, c.Found);
    EXPECT_EQ(fetch.Title, c.Title);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.FirstRequest().rfind("GET / HTTP/1.0\r\n", 0), 0u) << server.FirstRequest();
}

INSTANTIATE_TEST_SUITE_P(Cases, PageTitleServerTest, ::testing::ValuesIn(ServerCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(PageTitleFetchTest, IgnoresProxySettingsOfTheEnvironment) {
    TLoopbackServer device("127.88.2.1", TServe::Response, HttpResponse("200 OK", "<title>Direct</title>"));
    TLoopbackServer proxy("127.88.2.2", TServe::Response, HttpResponse("200 OK", "<title>Proxy</title>"));
    SKIP_UNLESS_LISTENING(device);
    SKIP_UNLESS_LISTENING(proxy);
    EnvGuard httpProxy("http_proxy", "http://127.88.2.2:80");
    EnvGuard allProxy("ALL_PROXY", "http://127.88.2.2:80");
    EnvGuard noProxy("no_proxy", nullptr);

    TFetch fetch = FetchTitle(device.Address());
    EXPECT_TRUE(fetch.Found);
    EXPECT_EQ(fetch.Title, "Direct");
    EXPECT_EQ(proxy.Connections(), 0);
}

TEST(PageTitleFetchTest, ClosedPortGivesFalse) {
    TFetch fetch = FetchTitle(StrToIPv4("127.88.3.1"));
    ASSERT_TRUE(fetch.Finished);
    EXPECT_FALSE(fetch.Found);
    EXPECT_EQ(fetch.Title, "");
}

// A device that accepts and then stalls or trickles must not hold a worker beyond the request cap.
TEST(PageTitleFetchTest, ServerThatNeverAnswersEndsWithinTheCap) {
    TLoopbackServer server("127.88.4.1", TServe::Silent);
    SKIP_UNLESS_LISTENING(server);
    TFetch fetch = FetchTitle(server.Address());
    ASSERT_TRUE(fetch.Finished);
    EXPECT_FALSE(fetch.Found);
}

TEST(PageTitleFetchTest, ServerThatTricklesEndsWithinTheCap) {
    TLoopbackServer server("127.88.4.2", TServe::Trickle);
    SKIP_UNLESS_LISTENING(server);
    TFetch fetch = FetchTitle(server.Address());
    ASSERT_TRUE(fetch.Finished);
    EXPECT_FALSE(fetch.Found);
}

TEST(PageTitleFetchTest, EndlessBodyWithoutTitleStopsAtTheSizeCap) {
    TLoopbackServer server("127.88.4.3", TServe::Endless, "HTTP/1.0 200 OK\r\n\r\n<html><head>");
    SKIP_UNLESS_LISTENING(server);
    const long before = PeakMemoryKiB();
    TFetch fetch = FetchTitle(server.Address());
    ASSERT_TRUE(fetch.Finished);
    EXPECT_FALSE(fetch.Found);
    EXPECT_LT(PeakMemoryKiB() - before, 64 * 1024) << "the body was not capped";
}

TEST(PageTitleFetchTest, EndlessBodyWithTitleStopsOnceTheTitleIsIn) {
    TLoopbackServer server("127.88.4.4", TServe::Endless, "HTTP/1.0 200 OK\r\n\r\n<html><title>Stream</title>");
    SKIP_UNLESS_LISTENING(server);
    TFetch fetch = FetchTitle(server.Address());
    ASSERT_TRUE(fetch.Finished);
    EXPECT_TRUE(fetch.Found);
    EXPECT_EQ(fetch.Title, "Stream");
}

TEST(PageTitleFetchTest, TitleJustInsideTheSizeCapIsFound) {
    std::string body(MaxPageTitleBody - 30, ' ');
    body += "<title>Deep</title>";
    TLoopbackServer server("127.88.4.5", TServe::Response, HttpResponse("200 OK", body));
    SKIP_UNLESS_LISTENING(server);
    TFetch fetch = FetchTitle(server.Address());
    EXPECT_TRUE(fetch.Found);
    EXPECT_EQ(fetch.Title, "Deep");
}

TEST(PageTitleFetchTest, ParallelFetchesShareNothing) {
    std::vector<std::unique_ptr<TLoopbackServer>> servers;
    for (int i = 1; i <= 8; ++i) {
        std::string address = "127.88.5." + std::to_string(i);
        servers.push_back(std::make_unique<TLoopbackServer>(
            address.c_str(), TServe::Response,
            HttpResponse("200 OK", "<title>Device " + std::to_string(i) + "</title>")));
        SKIP_UNLESS_LISTENING(*servers.back());
    }
    std::vector<std::future<TFetch>> fetches;
    for (auto& server : servers)
        fetches.push_back(
            std::async(std::launch::async, [address = server->Address()] { return FetchTitle(address); }));
    for (size_t i = 0; i < fetches.size(); ++i) {
        TFetch fetch = fetches[i].get();
        EXPECT_TRUE(fetch.Found);
        EXPECT_EQ(fetch.Title, "Device " + std::to_string(i + 1));
    }
}
