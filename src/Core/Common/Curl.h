#pragma once
#include <curl/curl.h>

#include <memory>
#include <string>

struct TCurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlCleanup>;

// A new easy handle (null when libcurl cannot make one). libcurl's global set-up runs once, before the
// first handle, from whichever thread comes first: workers, the update check and e-mail all share it.
TCurlHandle NewCurlHandle();

// An HTTP/1.0 GET of the URL straight to its server: no proxy from the environment, no redirects, no signals,
// bounded in time. The caller sets where the body goes.
void SetDirectHttpGet(CURL* curl, const std::string& url, const char* protocols, long connectTimeoutMs,
                      long timeoutMs);
