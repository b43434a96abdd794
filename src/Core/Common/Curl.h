#pragma once
#include <curl/curl.h>

#include <memory>

struct TCurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlCleanup>;

// A new easy handle (null when libcurl cannot make one). libcurl's global set-up runs once, before the
// first handle, from whichever thread comes first: workers, the update check and e-mail all share it.
TCurlHandle NewCurlHandle();
