#include "Core/Mail/MailSender.h"

#include "Core/Common/Clock.h"
#include "Core/Common/Curl.h"
#include "Core/Common/Text.h"
#include "Core/Mail/MailMessage.h"

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// Every step of the conversation may take this long: the login (connect, TLS handshake, greeting, EHLO,
// STARTTLS, AUTH), each later reply, and the message data, which must move at least a byte in that time.
constexpr long StepTimeoutSeconds = 60;
// The mechanisms offered to libcurl; among them it prefers CRAM-MD5, then PLAIN, then LOGIN.
constexpr const char* AuthMechanisms = "AUTH=CRAM-MD5;AUTH=PLAIN;AUTH=LOGIN";

struct TUrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TCurlList = std::unique_ptr<curl_slist, TListCleanup>;

std::string LocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, HOST_NAME_MAX) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

bool SetPart(CURLU* url, CURLUPart part, const std::string& value, unsigned int flags = 0) {
    return curl_url_set(url, part, value.c_str(), flags) == CURLUE_OK;
}

// libcurl greets with the URL's path, so the path carries the local host name.
std::unique_ptr<CURLU, TUrlCleanup> MailUrl(const TMailServer& server, int connection) {
    std::unique_ptr<CURLU, TUrlCleanup> url(curl_url());
    if (!url || server.Host.empty() || !SetPart(url.get(), CURLUPART_SCHEME, connection == mcTls ? "smtps" : "smtp") ||
        !SetPart(url.get(), CURLUPART_HOST, server.Host) || !SetPart(url.get(), CURLUPART_PORT, server.Port) ||
        !SetPart(url.get(), CURLUPART_PATH, "/" + LocalHostName(), CURLU_URLENCODE))
        return nullptr;
    return url;
}

// Hands the message to libcurl, which dot-stuffs it and ends it with the final ".".
struct TMessageReader {
    std::string_view rest;

    static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* reader) noexcept {
        std::string_view& rest = static_cast<TMessageReader*>(reader)->rest;
        const std::size_t taken = std::min(size * count, rest.size());
        std::memcpy(buffer, rest.data(), taken);
        rest.remove_prefix(taken);
        return taken;
    }
};

// Asked to upgrade only when the server offers STARTTLS (CURLUSESSL_TRY), libcurl also carries on in plain
// when the server offers it and then refuses it, and would send the password in the clear. The replies show
// it: the second answers EHLO, and when that offers STARTTLS the third answers STARTTLS and must be 220.
class TStartTlsWatch {
public:
    // False ends the conversation before anything else is sent.
    bool Line(std::string_view line) {
        const bool lastOfReply = line.size() < 4 || line[3] != '-';
        if (replies_ == 1 && line.starts_with("250") && line.size() > 4 &&
            SameTextAscii(Trim(line.substr(4)), "STARTTLS"))
            offered_ = true;
        if (replies_ == 2 && offered_ && lastOfReply && !line.starts_with("220"))
            return false;
        if (lastOfReply)
            ++replies_;
        return true;
    }

    static std::size_t Header(char* buffer, std::size_t size, std::size_t count, void* watch) noexcept {
        return static_cast<TStartTlsWatch*>(watch)->Line(std::string_view(buffer, size * count)) ? size * count : 0;
    }

private:
    int replies_ = 0;
    bool offered_ = false;
};

TCurlList RecipientList(const std::vector<std::string>& addresses) {
    curl_slist* list = nullptr;
    for (const std::string& address : addresses) {
        curl_slist* longer = curl_slist_append(list, address.c_str());
        if (!longer) {
            curl_slist_free_all(list);
            return nullptr;
        }
        list = longer;
    }
    return TCurlList(list);
}

void SetSecurity(CURL* curl, int connection, TStartTlsWatch& watch) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // This libcurl reads a CA bundle fixed at its build and ignores OpenSSL's SSL_CERT_FILE; honour it here.
    if (const char* caFile = std::getenv("SSL_CERT_FILE"); caFile && *caFile)
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
    if (connection == mcStartTls) {
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &TStartTlsWatch::Header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &watch);
    }
}

void SetTimeouts(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, StepTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, StepTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, StepTimeoutSeconds);
}

} // namespace

bool SendEmailAlert(const std::vector<std::string>& body, std::string_view subject, std::string_view recipients,
                    std::string_view server, std::string_view userName, std::string_view password, int connection) {
    // The To header repeats the text as typed: a line break in it would start headers or commands of its own.
    if (recipients.find_first_of("\r\n") != std::string_view::npos)
        return false;
    const std::vector<std::string> addresses = EnvelopeRecipients(recipients);
    if (addresses.empty())
        return false;
    const TCurlHandle curl = NewCurlHandle();
    const auto url = MailUrl(ParseMailServer(server), connection);
    TCurlList rcpt = RecipientList(addresses);
    if (!url || !curl || !rcpt)
        return false;

    const std::string message = ComposeAlertMessage(body, subject, recipients, Now());
    TMessageReader reader{message};
    TStartTlsWatch watch;
    curl_easy_setopt(curl.get(), CURLOPT_CURLU, url.get());
    SetSecurity(curl.get(), connection, watch);
    SetTimeouts(curl.get());
    if (!userName.empty() || !password.empty()) {
        curl_easy_setopt(curl.get(), CURLOPT_USERNAME, std::string(userName).c_str());
        curl_easy_setopt(curl.get(), CURLOPT_PASSWORD, std::string(password).c_str());
        curl_easy_setopt(curl.get(), CURLOPT_LOGIN_OPTIONS, AuthMechanisms);
    }
    // The first address is the sender; libcurl stops at the first refused recipient (no MAIL_RCPT_ALLOWFAILS).
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_FROM, addresses.front().c_str());
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, &TMessageReader::Read);
    curl_easy_setopt(curl.get(), CURLOPT_READDATA, &reader);
    // Gives MAIL FROM its SIZE when the server announced the extension.
    curl_easy_setopt(curl.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    return curl_easy_perform(curl.get()) == CURLE_OK;
}

bool SecureMailAvailable() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && (info->features & CURL_VERSION_SSL) != 0;
}
