#include "AppRunner.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Net/HWAddr.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarrowin::test {

namespace {

const std::string SimLanScript = std::string(TARROWIN_LAN_DIR) + "/simlan.py";
constexpr int SimLanUnavailable = 77;

// The line of `up`'s output that names the truth file (its log lines come on the same stream).
std::string TruthFileLine(const std::string& output) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 11 && line.compare(line.size() - 11, 11, "/truth.json") == 0)
            return line;
    return {};
}

} // namespace

std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, out};
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- TSimLan ----

std::string TSimLan::Up(const std::string& name, const std::string& options) {
    if (geteuid() != 0) {
        skipped_ = true;
        return "needs root for network namespaces";
    }
    prefix_ = name + std::to_string(getpid()) + "-";
    const auto [status, out] = Shell(SimLanScript + " up --prefix " + prefix_ + " --owner " + std::to_string(getpid()) +
                                     " " + options + " 2>&1");
    if (status == SimLanUnavailable) {
        skipped_ = true;
        return "the simulated LAN cannot run here: " + out;
    }
    if (status != 0)
        return "simlan up failed: " + out;
    std::ifstream truthFile(TruthFileLine(out));
    truth_ = nlohmann::json::parse(truthFile, nullptr, false);
    return truth_.is_object() ? "" : "no truth file: " + out;
}

TSimLan::~TSimLan() {
    if (!prefix_.empty())
        Shell(SimLanScript + " down --prefix " + prefix_ + " >/dev/null 2>&1");
}

std::string TSimLan::DeviceNamespace(int index) const {
    char name[8];
    std::snprintf(name, sizeof name, "d%02d", index);
    return prefix_ + name;
}

int TSimLan::InScanner(const std::string& command) const {
    return Shell("ip netns exec " + ScannerNamespace() + " " + command + " >/dev/null 2>&1").first;
}

std::set<std::string> TSimLan::Macs() const {
    std::set<std::string> macs;
    for (const nlohmann::json& host : truth_["devices"])
        macs.insert(host["mac"].get<std::string>());
    return macs;
}

// ---- TChild ----

TChild::~TChild() {
    Kill();
}

void TChild::Start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                   const std::filesystem::path& out, const std::filesystem::path& err) {
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    if (pid < 0) {
        close(in[1]);
        return;
    }
    pid_ = pid;
    input_ = in[1];
}

void TChild::Signal(int signal) const {
    if (pid_ > 0)
        kill(pid_, signal);
}

bool TChild::WaitForExit(std::chrono::milliseconds limit, int& status) {
    const bool ended = WaitUntil(limit, [&] { return pid_ <= 0 || waitpid(pid_, &status, WNOHANG) == pid_; });
    if (ended) {
        pid_ = -1;
        if (input_ >= 0)
            close(input_);
        input_ = -1;
    }
    return ended;
}

bool TChild::Terminate(std::chrono::milliseconds limit, int& status) {
    if (input_ >= 0)
        close(input_); // a server that waits for its input to close ends here
    input_ = -1;
    Signal(SIGTERM);
    if (WaitForExit(limit, status))
        return true;
    Kill();
    return false;
}

void TChild::Kill() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& condition) {
    for (auto end = std::chrono::steady_clock::now() + limit;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// ---- TProgramCopy ----

TProgramCopy::TProgramCopy(const std::filesystem::path& folder)
    : program_(folder / "tarrowin"), database_(folder / "tarrowin.DB") {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(TARROWIN_APP, program_, std::filesystem::copy_options::overwrite_existing);
}

void TProgramCopy::Preset(const nlohmann::json& settings) const {
    SetConfigStorePath(database_);
    for (const auto& [key, value] : settings.items()) {
        if (value.is_boolean())
            ConfigStore().WriteConfig(key, value.get<bool>());
        else if (value.is_number_integer())
            ConfigStore().WriteConfig(key, value.get<int>());
        else
            ConfigStore().WriteConfig(key, value.get<std::string>());
    }
    SetConfigStorePath({});
}

void TProgramCopy::Start(TChild& child, const std::string& netns, const std::vector<std::string>& args,
                         const std::vector<std::string>& wrapper,
                         std::vector<std::pair<std::string, std::string>> env) {
    std::vector<std::string> argv = launcher_;
    argv.insert(argv.end(), {"ip", "netns", "exec", netns});
    argv.insert(argv.end(), wrapper.begin(), wrapper.end());
    argv.push_back((programInside_.empty() ? program_ : programInside_).string());
    argv.insert(argv.end(), args.begin(), args.end());
    env.insert(env.begin(), {{"QT_QPA_PLATFORM", "offscreen"},
                             {"TARROWIN_UNATTENDED", "1"},
                             {"XDG_RUNTIME_DIR", Logs().string()}}); // its own single-instance socket
    ++runs_;
    child.Start(argv, env, Logs() / ("run" + std::to_string(runs_) + ".out"),
                Logs() / ("run" + std::to_string(runs_) + ".err"));
}

std::string TProgramCopy::LastOutput() const {
    const std::string run = "run" + std::to_string(runs_);
    return ReadText(Logs() / (run + ".out")) + ReadText(Logs() / (run + ".err"));
}

void TProgramCopy::RunThrough(std::vector<std::string> launcher, std::filesystem::path programInside,
                              std::filesystem::path logs) {
    launcher_ = std::move(launcher);
    programInside_ = std::move(programInside);
    logs_ = std::move(logs);
}

// ---- the database from outside ----

std::map<std::string, TDeviceItem> StoredDevices(const std::filesystem::path& database) {
    SetConfigStorePath(database);
    ResetDeviceList();
    DeviceList().Load();
    std::map<std::string, TDeviceItem> devices;
    for (const TDeviceItem& device : DeviceList())
        devices[HWAddrToStr(device.HWAddr, ':')] = device;
    ResetDeviceList();
    SetConfigStorePath({});
    return devices;
}

std::vector<std::string> DeviceRows(const std::filesystem::path& database) {
    std::istringstream lines(
        Shell("sqlite3 -readonly " + ShellQuoted(database.string()) + " 'SELECT * FROM DEVICE ORDER BY 1' 2>&1")
            .second);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    return rows;
}

std::string IntegrityCheck(const std::filesystem::path& database) {
    std::string out =
        Shell("sqlite3 -readonly " + ShellQuoted(database.string()) + " 'PRAGMA integrity_check' 2>&1").second;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace tarrowin::test
