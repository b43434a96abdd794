#include "Core/Update/Updater.h"

#include "Core/Common/Clock.h"
#include "Core/Common/Curl.h"
#include "Core/Common/Text.h"

#include <cmath>

namespace {

constexpr long ConnectTimeoutMs = 10000;

// Collects the body up to the cap; a longer body makes the transfer fail.
struct TBodyReader {
    std::string Body;

    static std::size_t Write(char* data, std::size_t, std::size_t count, void* reader) noexcept {
        auto& body = static_cast<TBodyReader*>(reader)->Body;
        if (count > TUpdater::MaxVersionFileSize - body.size())
            return 0;
        try {
            body.append(data, count);
            return count;
        } catch (...) {
            return 0;
        }
    }
};

// Called about once a second even while nothing arrives, so a cancel takes effect soon.
int AbortWhenCancelled(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    return static_cast<const std::atomic<bool>*>(cancelled)->load() ? 1 : 0;
}

std::string WithoutTrailingSlash(std::string server) {
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server;
}

} // namespace

std::string TUpdater::DefaultServer() {
    return TARROWIN_UPDATE_SERVER;
}

TUpdater::TUpdater(TDispatcher& dispatcher, TShowUpdate showUpdate, std::string server)
    : dispatcher_(dispatcher), showUpdate_(std::move(showUpdate)), server_(WithoutTrailingSlash(std::move(server))) {}

TUpdater::~TUpdater() {
    cancelled_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool TUpdater::IsDue() const {
    return Enabled && std::trunc(std::fabs(Now() - LastCheck)) > DaysBetweenChecks;
}

void TUpdater::Check() {
    if (checking_ || !IsDue())
        return;
    // The previous request thread posted its answer as its last act; it has ended or is about to.
    if (thread_.joinable())
        thread_.join();
    checking_ = true;
    thread_ = std::thread(&TUpdater::Run, this);
}

std::string TUpdater::DownloadUrl() const {
    return server_ + DownloadPath;
}

bool TUpdater::GetLatestVersion(std::string& version) const {
    version.clear();
    try {
        TCurlHandle curl = NewCurlHandle();
        if (!curl)
            return false;
        const std::string url = server_ + VersionPath;
        TBodyReader reader;
        CURL* c = curl.get();
        SetDirectHttpGet(c, url, "http,https", ConnectTimeoutMs, RequestTimeoutMs);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &TBodyReader::Write);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &reader);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &AbortWhenCancelled);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &cancelled_);
        if (curl_easy_perform(c) != CURLE_OK)
            return false;
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200)
            return false;
        version = Trim(reader.Body);
        return true;
    } catch (...) {
        version.clear();
        return false;
    }
}

void TUpdater::Run() {
    std::string version;
    const bool found = GetLatestVersion(version);
    if (cancelled_)
        return;
    try {
        dispatcher_.Post([this, found, version, alive = std::weak_ptr<void>(alive_)] {
            if (!alive.expired())
                Deliver(found, version, alive);
        });
    } catch (...) {
        // A dispatcher that refuses work is shutting down; the answer does not matter any more.
    }
}

void TUpdater::Deliver(bool found, const std::string& version, const std::weak_ptr<void>& alive) {
    if (found) {
        LastCheck = Now();
        if (!SameTextAscii(version, OwnVersion)) {
            showUpdate_(version);
            // The window runs its own event loop, in which the owner may have gone away.
            if (alive.expired())
                return;
        }
    }
    checking_ = false;
}
