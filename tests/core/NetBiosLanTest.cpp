// A node-status query against samba's nmbd, run in a namespace pair that this test builds and removes.
#include "Core/Net/NetBios.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const char* const ServerAddress = "10.213.77.1";
const char* const NetBiosName = "TWNBTEST";

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string FindNmbd() {
    for (const char* path : {"/usr/sbin/nmbd", "/usr/bin/nmbd", "/sbin/nmbd"})
        if (access(path, X_OK) == 0)
            return path;
    return {};
}

// Two namespaces joined by one veth, nothing else: the query cannot leave them.
class TNetBiosLan {
public:
    TNetBiosLan()
        : server_("tw-nb-" + std::to_string(getpid()) + "-a"), client_("tw-nb-" + std::to_string(getpid()) + "-b") {}
    ~TNetBiosLan() {
        if (nmbd_ > 0) {
            kill(nmbd_, SIGTERM);
            waitpid(nmbd_, nullptr, 0);
        }
        Run("ip netns del " + server_);
        Run("ip netns del " + client_);
    }
    TNetBiosLan(const TNetBiosLan&) = delete;
    TNetBiosLan& operator=(const TNetBiosLan&) = delete;

    bool AddNamespaces() { return Run("ip netns add " + server_) && Run("ip netns add " + client_); }

    bool Link() {
        return Run("ip -n " + server_ + " link add nb0 type veth peer name nb0 netns " + client_) &&
               Configure(server_, ServerAddress) && Configure(client_, "10.213.77.2");
    }

    bool StartNmbd(const std::string& nmbd) {
        const std::string config = WriteConfig();
        const std::string output = dir_.File("nmbd.out").string();
        nmbd_ = fork();
        if (nmbd_ == 0) {
            const int log = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            // `ip netns exec` execs nmbd itself, so this pid is the daemon's.
            execlp("ip", "ip", "netns", "exec", server_.c_str(), nmbd.c_str(), "--foreground", "--no-process-group",
                   "-s", config.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return nmbd_ > 0;
    }

    // Queries from the client namespace until nmbd has bound its port (a closed port answers at once).
    bool QueryFromClient(TNetBiosDiscovery& discovery) {
        bool found = false;
        std::thread([&] {
            const int ns = open(("/run/netns/" + client_).c_str(), O_RDONLY | O_CLOEXEC);
            const bool entered = ns >= 0 && setns(ns, CLONE_NEWNET) == 0;
            if (ns >= 0)
                close(ns);
            for (int attempt = 0; entered && !found && attempt < 40; ++attempt) {
                found = discovery.Query(ServerAddress);
                if (!found)
                    std::this_thread::sleep_for(250ms);
            }
        }).join();
        return found;
    }

    std::string NmbdOutput() const {
        std::ifstream in(dir_.File("nmbd.out"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    static bool Configure(const std::string& ns, const std::string& address) {
        return Run("ip -n " + ns + " addr add " + address + "/24 dev nb0") && Run("ip -n " + ns + " link set nb0 up") &&
               Run("ip -n " + ns + " link set lo up");
    }

    std::string WriteConfig() const {
        const std::string root = dir_.Path().string();
        std::ofstream conf(dir_.File("smb.conf"));
        conf << "[global]\n"
             << "netbios name = " << NetBiosName << "\nworkgroup = TWGROUP\n"
             << "interfaces = " << ServerAddress << "/24\nbind interfaces only = yes\n"
             << "local master = no\npreferred master = no\ndomain master = no\ndns proxy = no\n";
        // Everything samba would keep under /var stays in the test's folder.
        const std::pair<const char*, const char*> dirs[] = {{"lock directory", "lock"},   {"state directory", "state"},
                                                            {"cache directory", "cache"}, {"pid directory", "pid"},
                                                            {"private dir", "private"},   {"ncalrpc dir", "ncalrpc"}};
        for (const auto& [key, dir] : dirs) {
            std::filesystem::create_directory(dir_.File(dir));
            conf << key << " = " << root << "/" << dir << "\n";
        }
        conf << "log file = " << root << "/log.%m\n";
        return dir_.File("smb.conf").string();
    }

    tarrowin::test::TempDir dir_;
    std::string server_;
    std::string client_;
    pid_t nmbd_ = -1;
};

TEST(NetBiosLan, RealNmbdNamesItself) {
    if (geteuid() != 0)
        GTEST_SKIP() << "network namespaces need root";
    const std::string nmbd = FindNmbd();
    if (nmbd.empty())
        GTEST_SKIP() << "samba's nmbd is not installed";
    TNetBiosLan lan;
    if (!lan.AddNamespaces())
        GTEST_SKIP() << "ip netns is not available here";
    ASSERT_TRUE(lan.Link());
    ASSERT_TRUE(lan.StartNmbd(nmbd));

    TNetBiosDiscovery discovery;
    ASSERT_TRUE(lan.QueryFromClient(discovery)) << lan.NmbdOutput();
    EXPECT_EQ(discovery.Items()[0].ComputerName, NetBiosName);
    EXPECT_EQ(discovery.Items()[0].GroupName, "TWGROUP");
}

} // namespace
