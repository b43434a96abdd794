#pragma once
#include "Core/Common/DateTime.h"
#include "Core/ThreadPool/Dispatcher.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Asks the maker's web server now and then which version is current and lets the GUI offer a
// newer (or any other) one.
//
// Everything but GetLatestVersion runs on the dispatcher's thread (the GUI thread), and so do
// the ShowUpdate callback and every write of LastCheck: the request thread only reads the
// answer and posts it back, so LastCheck and Enabled need no lock. The dispatcher must outlive
// the updater.
//
// At most one check runs at a time: Check does nothing until the previous answer (and the window
// it may have shown) has been handled, so the window can never show twice. Destroying the
// updater while a request runs cancels the request and waits for its thread, which takes about
// a second at most; an answer already posted is then dropped unrun.
class TUpdater {
public:
    // Shows the update window for the version the server named; runs on the dispatcher's thread.
    using TShowUpdate = std::function<void(const std::string& version)>;

    static constexpr const char* OwnVersion = TARROWIN_VERSION;
    static constexpr const char* VersionPath = "/products/hallwick/version.txt";
    static constexpr const char* DownloadPath = "/products/hallwick/?from=nver";
    // A version file is a few bytes; anything longer is not one, and a slow server must not
    // hold the check for long.
    static constexpr std::size_t MaxVersionFileSize = 64 * 1024;
    static constexpr long RequestTimeoutMs = 30000;
    static constexpr int DaysBetweenChecks = 7;

    // The maker's server of this build, as scheme and host ("http://www.example.com").
    static std::string DefaultServer();

    // server: scheme, host and optional port of the web server; tests name a local one.
    TUpdater(TDispatcher& dispatcher, TShowUpdate showUpdate, std::string server = DefaultServer());
    ~TUpdater();
    TUpdater(const TUpdater&) = delete;
    TUpdater& operator=(const TUpdater&) = delete;

    // When the last successful check ended; 0 for never.
    TDateTime LastCheck = 0;
    bool Enabled = true;

    // Enabled, and more than seven whole days lie between now and LastCheck, in either direction.
    bool IsDue() const;
    // Starts a check on a thread of its own when one is due and none is under way; returns at once.
    void Check();
    // True from the start of a check until its answer has been handled.
    bool IsChecking() const { return checking_; }
    // Fetches the version file and gives its content trimmed of codes up to 32; false for any
    // failure (no answer, a status other than 200, an oversized body, a cancelled request).
    // Blocks; may run on any thread.
    bool GetLatestVersion(std::string& version) const;
    // The page the update window's download button opens.
    std::string DownloadUrl() const;

private:
    void Run();
    void Deliver(bool found, const std::string& version, const std::weak_ptr<void>& alive);

    TDispatcher& dispatcher_;
    TShowUpdate showUpdate_;
    const std::string server_;
    bool checking_ = false;
    std::atomic<bool> cancelled_ = false;
    // Expires with the updater, so an answer delivered after that is dropped.
    std::shared_ptr<void> alive_ = std::make_shared<int>(0);
    std::thread thread_;
};
