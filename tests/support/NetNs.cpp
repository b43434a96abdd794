#include "NetNs.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace tarrowin::test {

namespace {

namespace fs = std::filesystem;

fs::path EtcFolder(const std::string& name) {
    return fs::path("/etc/netns") / name;
}

std::string ReadAll(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n > 0)
            text.append(chunk, static_cast<std::size_t>(n));
        else if (errno != EINTR)
            break;
    }
    return text;
}

// Runs a program with stdout and stderr captured; the exit status is 0 on success.
int Command(const std::vector<std::string>& argv, std::string& output) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    output = ReadAll(out[0]);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void MustRun(const std::vector<std::string>& argv) {
    std::string output;
    if (Command(argv, output) != 0) {
        std::string line;
        for (const std::string& arg : argv)
            line += arg + " ";
        throw std::runtime_error(line + "failed: " + output);
    }
}

// What ip netns exec does besides entering the namespace: the namespace's own /etc files.
void MountEtcFiles(const std::string& name) {
    std::error_code error;
    if (!fs::is_directory(EtcFolder(name), error))
        return;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("", "/", nullptr, MS_SLAVE | MS_REC, nullptr) != 0)
        throw std::runtime_error("cannot make a private mount namespace");
    for (const fs::directory_entry& entry : fs::directory_iterator(EtcFolder(name))) {
        fs::path target = fs::path("/etc") / entry.path().filename();
        if (::mount(entry.path().c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
            throw std::runtime_error("cannot bind " + entry.path().string() + " over " + target.string());
    }
}

void EnterNamespace(const std::string& name) {
    int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
        throw std::runtime_error("cannot enter namespace " + name);
    ::close(fd);
    MountEtcFiles(name);
}

// In the child: the function's text, or the reason it failed, prefixed with a status byte.
[[noreturn]] void RunChild(const std::string& name, const std::function<std::string()>& fn, int out) {
    std::string report;
    try {
        ::alarm(120); // a hung probe must not hang the test run
        EnterNamespace(name);
        report = "+" + fn();
    } catch (const std::exception& error) {
        report = std::string("-") + error.what();
    } catch (...) {
        report = "-unknown exception";
    }
    for (std::size_t done = 0; done < report.size();) {
        ssize_t n = ::write(out, report.data() + done, report.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::_exit(0); // no atexit handlers: they belong to the parent's test run
}

} // namespace

std::string NetNs::Unavailable() {
    static const std::string reason = [] {
        if (::geteuid() != 0)
            return std::string("network namespace tests need root");
        try {
            NetNs probe("check");
            return std::string();
        } catch (const std::exception& error) {
            return std::string("network namespaces unavailable: ") + error.what();
        }
    }();
    return reason;
}

NetNs::NetNs(const std::string& tag) : name_("tw-pr-" + std::to_string(::getpid()) + "-" + tag) {
    MustRun({"ip", "netns", "add", name_});
    try {
        Sh("ip link set lo up");
    } catch (...) {
        MustRun({"ip", "netns", "del", name_});
        throw;
    }
}

NetNs::~NetNs() {
    std::string ignored;
    Command({"ip", "netns", "del", name_}, ignored);
    std::error_code error;
    fs::remove_all(EtcFolder(name_), error);
}

void NetNs::Sh(const std::string& script) const {
    MustRun({"ip", "netns", "exec", name_, "sh", "-ec", script});
}

void NetNs::WriteEtcFile(const std::string& file, const std::string& content) const {
    fs::create_directories(EtcFolder(name_));
    std::ofstream(EtcFolder(name_) / file, std::ios::binary) << content;
}

void NetNs::Veth(const std::string& ifName, const NetNs& peer, const std::string& peerIfName) const {
    Sh("ip link add " + ifName + " type veth peer name " + peerIfName + " netns " + peer.Name());
}

NetNsResult NetNs::Run(const std::function<std::string()>& fn) const {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {false, "pipe failed"};
    pid_t child = ::fork();
    if (child < 0)
        return {false, "fork failed"};
    if (child == 0)
        RunChild(name_, fn, out[1]);
    ::close(out[1]);
    std::string report = ReadAll(out[0]);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || report.empty())
        return {false, "child ended without a report (status " + std::to_string(status) + ")"};
    return {report[0] == '+', report.substr(1)};
}

} // namespace tarrowin::test
