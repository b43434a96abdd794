#include "Core/Update/Updater.h"
#include "support/QueueDispatcher.h"
#include "support/TempDir.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace tarrowin::test;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 30s; // only guards against a hang
constexpr const char* ExpectedRequestLine = "GET /products/hallwick/version.txt HTTP/1.0";

// An HTTP server on 127.0.0.1 that answers every request with the file of its folder at that
// path (404 when there is none), one connection at a time. It can hold its answers back.
class TFolderServer {
public:
    explicit TFolderServer(std::filesystem::path root) : root_(std::move(root)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof where;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&where), size) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&where), &size) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(where.sin_port));
        thread_ = std::thread([this] { Serve(); });
    }

    ~TFolderServer() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
        close(fd_);
    }

    const std::string& Url() const { return url_; }

    std::vector<std::string> RequestLines() const {
        std::lock_guard lock(mutex_);
        return requestLines_;
    }

    // Requests are read and counted, but answered only after Release.
    void Hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }

    void Release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }

    bool WaitForRequests(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, Patience, [&] { return requestLines_.size() >= count; });
    }

private:
    bool Stopping() const {
        std::lock_guard lock(mutex_);
        return stop_;
    }

    bool WaitReadable(int fd) const {
        pollfd p{fd, POLLIN, 0};
        while (!Stopping())
            if (poll(&p, 1, 50) > 0)
                return true;
        return false;
    }

    std::string ReadRequestLine(int fd) const {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(fd)) {
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        return request.substr(0, request.find("\r\n"));
    }

    std::string Response(const std::string& requestLine) const {
        const std::size_t pathStart = requestLine.find(' ') + 1;
        const std::string path = requestLine.substr(pathStart, requestLine.find(' ', pathStart) - pathStart);
        std::ifstream file(root_ / path.substr(1), std::ios::binary);
        if (path.empty() || !file)
            return "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body;
    }

    void Answer(int client) {
        const std::string requestLine = ReadRequestLine(client);
        std::unique_lock lock(mutex_);
        requestLines_.push_back(requestLine);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_ || stop_; });
        if (stop_)
            return;
        lock.unlock();
        const std::string response = Response(requestLine);
        send(client, response.data(), response.size(), MSG_NOSIGNAL);
    }

    void Serve() {
        while (WaitReadable(fd_)) {
            int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            Answer(client);
            close(client);
        }
    }

    std::filesystem::path root_;
    int fd_ = -1;
    std::string url_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requestLines_;
    bool held_ = false;
    bool stop_ = false;
    std::thread thread_;
};

const TDateTime Start = EncodeDateTime(2024, 5, 1, 12, 0, 0);

class UpdaterTest : public ::testing::Test {
protected:
    // Writes the version file the server offers.
    void Offer(const std::string& content) {
        std::filesystem::create_directories(folder_.File("products/hallwick"));
        std::ofstream(folder_.File("products/hallwick/version.txt"), std::ios::binary) << content;
    }

    std::unique_ptr<TUpdater> MakeUpdater(const std::string& server) {
        return std::make_unique<TUpdater>(
            dispatcher_,
            [this](const std::string& version) {
                shown_.push_back(version);
                shownOnTestThread_ = std::this_thread::get_id() == testThread_;
            },
            server);
    }

    // Runs the dispatcher until the updater's check has been handled.
    bool Finish(TUpdater& updater) {
        return dispatcher_.RunUntil([&] { return !updater.IsChecking(); }, Patience);
    }

    TempDir folder_;
    TFolderServer server_{folder_.Path()};
    TestClock clock_{Start};
    TQueueDispatcher dispatcher_;
    std::vector<std::string> shown_;
    bool shownOnTestThread_ = false;
    const std::thread::id testThread_ = std::this_thread::get_id();
    std::unique_ptr<TUpdater> updater_ = MakeUpdater(server_.Url());
};

// ---- What the server answers ----

struct TAnswerCase {
    const char* Name;
    std::optional<std::string> File; // none: the server answers 404
    bool Succeeds;                   // LastCheck moves to now
    std::optional<std::string> Shown;
};

const TAnswerCase AnswerCases[] = {
    {"OwnVersion", "2.0.0", true, std::nullopt},
    {"OwnVersionWithBlanksAndLineBreaks", " \t2.0.0\r\n\n", true, std::nullopt},
    {"OlderVersion", "1.9.9", true, "1.9.9"},
    {"NewerVersionWithLineBreak", "2.0.1\n", true, "2.0.1"},
    {"InnerBlankMakesItDifferent", "2.0.0 beta\n", true, "2.0.0 beta"},
    {"EmptyFile", "", true, ""},
    {"OnlyBlanks", " \r\n\t", true, ""},
    {"LargestAcceptedFile", std::string(TUpdater::MaxVersionFileSize, '9'), true,
     std::string(TUpdater::MaxVersionFileSize, '9')},
    {"OversizedFile", std::string(TUpdater::MaxVersionFileSize + 1, '9'), false, std::nullopt},
    {"NotFound", std::nullopt, false, std::nullopt},
};

void PrintTo(const TAnswerCase& c, std::ostream* os) {
    *os << c.Name;
}

class UpdaterAnswerTest : public UpdaterTest, public ::testing::WithParamInterface<TAnswerCase> {};

} // namespace

TEST_P(UpdaterAnswerTest, ShowsAnyOtherVersionAndRecordsOnlySuccess) {
    const TAnswerCase& c = GetParam();
    if (c.File)
        Offer(*c.File);
    updater_->Check();
    ASSERT_TRUE(Finish(*updater_));

    EXPECT_EQ(server_.RequestLines(), std::vector<std::string>{ExpectedRequestLine});
    EXPECT_EQ(updater_->LastCheck, c.Succeeds ? Start : 0);
    if (c.Shown) {
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0], *c.Shown);
        EXPECT_TRUE(shownOnTestThread_);
    } else {
        EXPECT_TRUE(shown_.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterAnswerTest, ::testing::ValuesIn(AnswerCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(UpdaterTest, FailedCheckIsRetriedAtTheNextCall) {
    updater_->Check();
    ASSERT_TRUE(Finish(*updater_));
    EXPECT_EQ(updater_->LastCheck, 0);

    Offer("1.9.9");
    clock_.AdvanceMinutes(1);
    updater_->Check();
    ASSERT_TRUE(Finish(*updater_));
    EXPECT_EQ(server_.RequestLines().size(), 2u);
    EXPECT_EQ(updater_->LastCheck, clock_.Now());
    EXPECT_EQ(shown_, std::vector<std::string>{"1.9.9"});
}

TEST_F(UpdaterTest, NoServerIsSilent) {
    std::string deadUrl;
    {
        TFolderServer gone(folder_.Path());
        deadUrl = gone.Url();
    }
    Offer("1.9.9");
    auto updater = MakeUpdater(deadUrl);
    updater->Check();
    ASSERT_TRUE(Finish(*updater));
    EXPECT_EQ(updater->LastCheck, 0);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(UpdaterTest, ProxyOfTheEnvironmentIsNotUsed) {
    EnvGuard proxy("http_proxy", "http://127.0.0.1:9");
    EnvGuard upperProxy("HTTP_PROXY", "http://127.0.0.1:9");
    EnvGuard all("ALL_PROXY", "http://127.0.0.1:9");
    Offer("2.0.0");
    std::string version;
    EXPECT_TRUE(updater_->GetLatestVersion(version));
    EXPECT_EQ(version, "2.0.0");
}

TEST_F(UpdaterTest, DisabledMakesNoRequest) {
    Offer("1.9.9");
    updater_->Enabled = false;
    updater_->Check();
    EXPECT_FALSE(updater_->IsChecking());
    updater_.reset();
    EXPECT_EQ(dispatcher_.RunPending(), 0u);
    EXPECT_TRUE(server_.RequestLines().empty());
}

TEST_F(UpdaterTest, CheckNotDueMakesNoRequest) {
    Offer("1.9.9");
    updater_->LastCheck = Start - 7;
    updater_->Check();
    EXPECT_FALSE(updater_->IsChecking());
    updater_.reset();
    EXPECT_TRUE(server_.RequestLines().empty());
}

TEST_F(UpdaterTest, SecondCheckWhileOneRunsDoesNothing) {
    Offer("1.9.9");
    server_.Hold();
    updater_->Check();
    ASSERT_TRUE(server_.WaitForRequests(1));
    updater_->Check();
    server_.Release();
    ASSERT_TRUE(Finish(*updater_));
    updater_.reset(); // waits for any request thread
    EXPECT_EQ(server_.RequestLines().size(), 1u);
    EXPECT_EQ(shown_, std::vector<std::string>{"1.9.9"});
}

TEST_F(UpdaterTest, CheckDuringTheWindowDoesNothing) {
    Offer("1.9.9");
    TUpdater* updater = nullptr;
    auto checkAgain = std::make_unique<TUpdater>(
        dispatcher_,
        [&](const std::string& version) {
            shown_.push_back(version);
            // Activations reach the main window while the modal window runs its event loop.
            updater->LastCheck = 0;
            updater->Check();
        },
        server_.Url());
    updater = checkAgain.get();
    updater->Check();
    ASSERT_TRUE(Finish(*updater));
    checkAgain.reset();
    EXPECT_EQ(server_.RequestLines().size(), 1u);
    EXPECT_EQ(shown_.size(), 1u);
}

TEST_F(UpdaterTest, DestroyedWhileTheRequestRunsShowsNothing) {
    Offer("1.9.9");
    server_.Hold();
    updater_->Check();
    ASSERT_TRUE(server_.WaitForRequests(1));
    updater_.reset(); // cancels the request rather than waiting for the server
    server_.Release();
    dispatcher_.RunPending();
    EXPECT_TRUE(shown_.empty());
}

TEST_F(UpdaterTest, DestroyedBeforeTheAnswerIsDeliveredShowsNothing) {
    Offer("1.9.9");
    updater_->Check();
    ASSERT_TRUE(dispatcher_.WaitUntilQueued(1, Patience));
    updater_.reset();
    dispatcher_.RunPending();
    EXPECT_TRUE(shown_.empty());
}

TEST_F(UpdaterTest, DownloadPageIsOnTheSameServer) {
    TUpdater updater(dispatcher_, nullptr, "http://127.0.0.1:8080/");
    EXPECT_EQ(updater.DownloadUrl(), "http://127.0.0.1:8080/products/hallwick/?from=nver");
    EXPECT_EQ(TUpdater::DefaultServer().rfind("http", 0), 0u);
}

// ---- When a check is due ----

namespace {

struct TDueCase {
    const char* Name;
    bool Enabled;
    TDateTime LastCheck; // relative to now, in days; Never: 0, the first start
    bool Due;
};

constexpr double Hour = 1.0 / 24;
constexpr double Never = -1e9;

const TDueCase DueCases[] = {
    {"NeverChecked", true, Never, true},
    {"SevenDaysTwentyThreeHoursAgo", true, -(7 + 23 * Hour), false},
    {"EightDaysAgo", true, -8, true},
    {"SevenDaysAgo", true, -7, false},
    {"JustChecked", true, 0, false},
    {"SevenDaysTwentyThreeHoursAhead", true, 7 + 23 * Hour, false},
    {"EightDaysAhead", true, 8, true},
    {"DisabledNeverChecked", false, Never, false},
    {"DisabledEightDaysAgo", false, -8, false},
};

void PrintTo(const TDueCase& c, std::ostream* os) {
    *os << c.Name;
}

class UpdaterDueTest : public ::testing::TestWithParam<TDueCase> {};

} // namespace

TEST_P(UpdaterDueTest, MoreThanSevenWholeDaysEitherWay) {
    const TDueCase& c = GetParam();
    TestClock clock(Start);
    TQueueDispatcher dispatcher;
    TUpdater updater(dispatcher, nullptr, "http://127.0.0.1:9");
    updater.Enabled = c.Enabled;
    updater.LastCheck = c.LastCheck == Never ? 0 : Start + c.LastCheck;
    EXPECT_EQ(updater.IsDue(), c.Due);
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterDueTest, ::testing::ValuesIn(DueCases),
                         [](const auto& info) { return std::string(info.param.Name); });
