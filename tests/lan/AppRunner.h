// Shared pieces of the tests that run the real program over the simulated LAN (simlan.py): the LAN's
// lifetime, a program copy with its database beside it, child processes inside the scanner namespace,
// and deadline waits.
#pragma once
#include "Core/DeviceList/DeviceItem.h"

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarrowin::test {

// The standard output of a shell command and its exit status (-1 when it did not exit normally).
std::pair<int, std::string> Shell(const std::string& command);
std::string ShellQuoted(const std::string& text);
std::string ReadText(const std::filesystem::path& file);

// A simulated LAN for the lifetime of the object, torn down by the destructor even after a failure.
class TSimLan {
public:
    // Empty on success; otherwise why the LAN is not up (Skipped() tells a machine that cannot host it).
    std::string Up(const std::string& name, const std::string& options = "");
    ~TSimLan();
    bool Skipped() const { return skipped_; }
    const nlohmann::json& Truth() const { return truth_; }
    const std::string& Prefix() const { return prefix_; }
    std::string ScannerNamespace() const { return prefix_ + "sc"; }
    std::string DeviceNamespace(int index) const;
    // Runs a command inside the scanner namespace and answers its exit status.
    int InScanner(const std::string& command) const;
    std::set<std::string> Macs() const;

private:
    std::string prefix_;
    nlohmann::json truth_;
    bool skipped_ = false;
};

// A child process with its standard input on a pipe and its outputs in files; killed when destroyed.
class TChild {
public:
    TChild() = default;
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    void Start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
               const std::filesystem::path& out, const std::filesystem::path& err);
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // Waits for the end; false (still running) after the limit. Status is the waitpid status.
    bool WaitForExit(std::chrono::milliseconds limit, int& status);
    // SIGTERM and the wait; false when it did not end in time (it is killed then).
    bool Terminate(std::chrono::milliseconds limit, int& status);
    void Kill();

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// True as soon as the condition holds, polled every 100 ms; false at the deadline.
bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& condition);

// A folder holding a copy of the program, whose database (tarrowin.DB) lies beside it.
class TProgramCopy {
public:
    explicit TProgramCopy(const std::filesystem::path& folder);
    const std::filesystem::path& Program() const { return program_; }
    const std::filesystem::path& Database() const { return database_; }
    // Writes the settings into the database (strings, ints and booleans by their JSON kind).
    void Preset(const nlohmann::json& settings) const;
    // The program with the arguments inside the namespace, offscreen and unattended; `wrapper` goes between
    // the namespace entry and the program (setpriv ...). Output lands in the folder's run<N>.out/.err.
    void Start(TChild& child, const std::string& netns, const std::vector<std::string>& args,
               const std::vector<std::string>& wrapper = {}, std::vector<std::pair<std::string, std::string>> env = {});
    std::string LastOutput() const; // the stdout and stderr of the latest start
    std::filesystem::path Folder() const { return program_.parent_path(); }
    // For a copy in another mount namespace: the command that enters it (nsenter ...), the program's path
    // as seen there, and a folder for the outputs and the runtime files.
    void RunThrough(std::vector<std::string> launcher, std::filesystem::path programInside, std::filesystem::path logs);

private:
    std::filesystem::path Logs() const { return logs_.empty() ? Folder() : logs_; }

    std::vector<std::string> launcher_;
    std::filesystem::path programInside_;
    std::filesystem::path logs_;
    std::filesystem::path program_;
    std::filesystem::path database_;
    int runs_ = 0;
};

// The DEVICE rows of a database file by MAC text (with ':'), read through the core.
std::map<std::string, TDeviceItem> StoredDevices(const std::filesystem::path& database);
// Every DEVICE row as text, for before/after comparisons that must not depend on the core's reading.
std::vector<std::string> DeviceRows(const std::filesystem::path& database);
// What PRAGMA integrity_check says ("ok" for a sound file).
std::string IntegrityCheck(const std::filesystem::path& database);

} // namespace tarrowin::test
