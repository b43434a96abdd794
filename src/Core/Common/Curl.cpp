#include "Core/Common/Curl.h"

#include <mutex>

TCurlHandle NewCurlHandle() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return TCurlHandle(curl_easy_init());
}
