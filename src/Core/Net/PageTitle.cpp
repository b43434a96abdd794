#include "Core/Net/PageTitle.h"

#include "Core/Common/Curl.h"
#include "Core/Common/Text.h"
#include "Core/Common/Utf8.h"
#include "Core/Net/Platform.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

constexpr std::string_view OpenTag = "<TITLE>";
constexpr std::string_view CloseTag = "</TITLE>";
// A device that accepts and then stalls or trickles must not hold its worker for long.
constexpr long ConnectTimeoutMs = 4000;
constexpr long RequestTimeoutMs = 15000;

char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Position of the upper-case tag in the text with ASCII letters folded, or npos.
std::size_t FindTag(std::string_view text, std::string_view tag, std::size_t from = 0) {
    auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), tag.begin(), tag.end(),
                             [](char a, char b) { return UpperChar(a) == b; });
    return found == text.end() ? std::string_view::npos : static_cast<std::size_t>(found - text.begin());
}

// Line ends CR, LF and CR LF all become CR LF.
std::string NormalizeLineEnds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            result += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

// Collects the body up to the cap and stops as soon as both tags are in it.
struct TBodyReader {
    std::string Body;
    bool OpenSeen = false;
    bool CloseSeen = false;

    bool HasTitle() const { return OpenSeen && CloseSeen; }

    // The number of bytes taken; anything else makes the transfer stop.
    std::size_t Take(const char* data, std::size_t count) {
        std::size_t taken = std::min(count, MaxPageTitleBody - Body.size());
        // A tag may straddle two chunks.
        std::size_t scanFrom = Body.size() >= CloseTag.size() ? Body.size() - CloseTag.size() + 1 : 0;
        Body.append(data, taken);
        OpenSeen = OpenSeen || FindTag(Body, OpenTag, scanFrom) != std::string_view::npos;
        CloseSeen = CloseSeen || FindTag(Body, CloseTag, scanFrom) != std::string_view::npos;
        return HasTitle() ? 0 : taken;
    }

    static std::size_t Write(char* data, std::size_t, std::size_t count, void* reader) noexcept {
        try {
            return static_cast<TBodyReader*>(reader)->Take(data, count);
        } catch (...) {
            return 0;
        }
    }
};

// One HTTP/1.0 GET of the device's root page, straight to the device; any status counts.
bool FetchRootPage(TIPv4 address, TBodyReader& reader) {
    TCurlHandle curl = NewCurlHandle();
    if (!curl)
        return false;
    const std::string url = "http://" + IPv4ToStr(address) + "/";
    CURL* c = curl.get();
    SetDirectHttpGet(c, url, "http", ConnectTimeoutMs, RequestTimeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &TBodyReader::Write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reader);
    CURLcode result = curl_easy_perform(c);
    // Stopping early once the title is in hand is not a failure.
    return result == CURLE_OK || (result == CURLE_WRITE_ERROR && reader.HasTitle());
}

} // namespace

bool ExtractPageTitle(std::string_view body, std::string& title) {
    title.clear();
    std::size_t open = FindTag(body, OpenTag);
    std::size_t close = FindTag(body, CloseTag);
    if (open == std::string_view::npos || close == std::string_view::npos)
        return false;
    std::size_t start = open + OpenTag.size();
    if (close > start) {
        title = Trim(NormalizeLineEnds(body.substr(start, close - start)));
        if (!IsValidUtf8(title))
            title = Windows1252ToUtf8(title);
    }
    return true;
}

bool TPlatformPing::GetPageTitle(TIPv4 address, std::string& title) {
    title.clear();
    try {
        TBodyReader reader;
        return FetchRootPage(address, reader) && ExtractPageTitle(reader.Body, title);
    } catch (...) {
        title.clear();
        return false;
    }
}
