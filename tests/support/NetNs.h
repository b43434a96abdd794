#pragma once
#include <functional>
#include <string>

namespace tarrowin::test {

// What a function run inside a namespace handed back.
struct NetNsResult {
    bool Ok = false;    // the function returned normally
    std::string Output; // its text, or why the child failed
};

// A network namespace of the test's own ("tw-pr-<pid>-<tag>"), deleted with its links and its
// /etc/netns folder when the object goes, also when the test fails.
class NetNs {
public:
    // Why namespace tests cannot run here (not root, no ip netns), or empty when they can.
    static std::string Unavailable();

    explicit NetNs(const std::string& tag); // throws std::runtime_error when it cannot be created
    ~NetNs();
    NetNs(const NetNs&) = delete;
    NetNs& operator=(const NetNs&) = delete;

    const std::string& Name() const { return name_; }
    // Runs a shell script inside the namespace (ip netns exec); throws with its output when it fails.
    void Sh(const std::string& script) const;
    // A file that is bind-mounted over /etc/<file> inside the namespace, as ip netns exec does.
    void WriteEtcFile(const std::string& file, const std::string& content) const;
    // A veth pair from this namespace (ifName) to another one (peerIfName), both ends down.
    void Veth(const std::string& ifName, const NetNs& peer, const std::string& peerIfName) const;
    // Runs fn in a forked child that entered the namespace (with the /etc/netns files in place).
    // fn may drop privileges or start threads: it only changes the child.
    NetNsResult Run(const std::function<std::string()>& fn) const;

private:
    std::string name_;
};

} // namespace tarrowin::test
