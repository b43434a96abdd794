#include "GUI/App/CommandLine.h"
#include "GUI/App/QtDispatcher.h"
#include "GUI/App/SingleInstance.h"
#include "GUI/MainView/MainWindow.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace {

using tarrowin::test::TempDir;

TEST(CommandLine, SwitchesNeedTheirPrefixAndCase) {
    struct TCase {
        std::vector<std::string> Arguments;
        bool Hide;
        bool Scan;
    };
    const TCase cases[] = {
        {{}, false, false},         {{"-hide"}, true, false},         {{"/hide"}, true, false},
        {{"-HIDE"}, false, false},  {{"/Hide"}, false, false},        {{"/Scan"}, false, true},
        {{"-SCAN"}, false, true},   {{"-scan", "/hide"}, true, true}, {{"hide", "scan"}, false, false},
        {{"--hide"}, false, false}, {{"-hidden"}, false, false},      {{"", "-", "/"}, false, false},
    };
    for (const TCase& c : cases) {
        const TStartOptions options = ParseCommandLine(c.Arguments);
        EXPECT_EQ(options.Hide, c.Hide) << testing::PrintToString(c.Arguments);
        EXPECT_EQ(options.Scan, c.Scan) << testing::PrintToString(c.Arguments);
    }
}

class SingleInstanceTest : public testing::Test {
protected:
    // FindRunningInstance blocks, so the later start runs on a thread while this one answers.
    bool StartAgain() {
        std::future<bool> found =
            std::async(std::launch::async, [this] { return TSingleInstance(name_).FindRunningInstance(); });
        EXPECT_TRUE(
            QTest::qWaitFor([&found] { return found.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return found.get();
    }

    TempDir folder_;
    const QString name_ = QString::fromStdString(folder_.File("instance.socket").string());
};

TEST_F(SingleInstanceTest, SecondStartShowsTheRunningWindow) {
    EXPECT_FALSE(TSingleInstance(name_).FindRunningInstance());

    const tarrowin::test::TempDatabase database;
    TfmHWKMain window;
    window.Settings().GenIfName = "lan0"; // activation then opens no settings window
    TSingleInstance running(name_);
    ASSERT_TRUE(running.Listen([&window] { window.ShowApp(); }));
    ASSERT_FALSE(window.isVisible());

    EXPECT_TRUE(StartAgain());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(SingleInstanceTest, SocketLeftByADeadCopyIsTakenOver) {
    {
        // A socket file that nobody listens on any more, as a crashed copy leaves it.
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, name_.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        close(fd);
    }
    EXPECT_FALSE(TSingleInstance(name_).FindRunningInstance());

    int shown = 0;
    TSingleInstance running(name_);
    ASSERT_TRUE(running.Listen([&shown] { ++shown; }));
    EXPECT_TRUE(StartAgain());
    EXPECT_EQ(shown, 1);
}

TEST(QtDispatcher, RunsTasksOnTheContextThread) {
    QObject context;
    TQtDispatcher dispatcher(&context);
    std::atomic<QThread*> ranOn{nullptr};
    std::thread worker([&] { dispatcher.Post([&ranOn] { ranOn = QThread::currentThread(); }); });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&ranOn] { return ranOn.load() != nullptr; }));
    EXPECT_EQ(ranOn.load(), QThread::currentThread());
}

TEST(QtDispatcher, DropsTasksOfADestroyedContext) {
    auto context = std::make_unique<QObject>();
    TQtDispatcher dispatcher(context.get());
    int ran = 0;
    dispatcher.Post([&ran] { ++ran; });
    context.reset();
    dispatcher.Post([&ran] { ++ran; });
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ran, 0);
}

} // namespace
