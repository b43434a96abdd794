#include "Core/Mail/MailMessage.h"

#include "Core/Common/Base64.h"
#include "Core/Common/Text.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

std::string_view CutRecipient(std::string_view& recipients) {
    bool quoted = false;
    std::size_t i = 0;
    for (; i < recipients.size(); ++i) {
        if (recipients[i] == '"')
            quoted = !quoted;
        else if (recipients[i] == ',' && !quoted)
            break;
    }
    const std::string_view entry = recipients.substr(0, i);
    recipients.remove_prefix(i < recipients.size() ? i + 1 : i);
    return entry;
}

std::string RecipientAddress(std::string_view entry) {
    std::string_view address = entry;
    if (const std::size_t open = address.find('<'); open != std::string_view::npos)
        address.remove_prefix(open + 1);
    if (const std::size_t close = address.find('>'); close != std::string_view::npos)
        address = address.substr(0, close);
    return Trim(address);
}

std::string SenderAddress(std::string_view recipients) {
    return RecipientAddress(CutRecipient(recipients));
}

std::vector<std::string> EnvelopeRecipients(std::string_view recipients) {
    std::vector<std::string> addresses;
    if (SenderAddress(recipients).empty())
        return addresses;
    while (!recipients.empty())
        if (std::string address = RecipientAddress(CutRecipient(recipients)); !address.empty())
            addresses.push_back(std::move(address));
    return addresses;
}

TMailServer ParseMailServer(std::string_view server) {
    TMailServer result;
    const std::size_t colon = server.find(':');
    result.Host = Trim(server.substr(0, colon));
    if (colon != std::string_view::npos)
        if (std::string port = Trim(server.substr(colon + 1)); !port.empty())
            result.Port = std::move(port);
    return result;
}

std::string MailDate(TDateTime localTime) {
    static constexpr const char* DayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm wallClock = ToLocalTm(localTime);
    // The zone rules give the offset of that wall-clock time; a time in the hour skipped by a change to
    // summer time comes back moved to a real one.
    const std::time_t moment = std::mktime(&wallClock);
    std::tm local{};
    localtime_r(&moment, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", DayNames[local.tm_wday],
                  local.tm_mday, MonthNames[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offsetMinutes < 0 ? '-' : '+', std::labs(offsetMinutes) / 60,
                  std::labs(offsetMinutes) % 60);
    return text;
}

namespace {

// SMTP refuses lines over 1000 characters, so a long body in one base64 line would never be delivered;
// MIME's 76 characters a line keep any number of devices deliverable.
constexpr std::size_t Base64LineLength = 76;

std::vector<std::string> WrappedBase64(std::string_view bytes) {
    const std::string encoded = Base64Encode(bytes);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < encoded.size(); at += Base64LineLength)
        lines.push_back(encoded.substr(at, Base64LineLength));
    return lines;
}

} // namespace

std::string ComposeAlertMessage(const std::vector<std::string>& body, std::string_view subject,
                                std::string_view recipients, TDateTime localTime) {
    std::string bodyText;
    for (const std::string& line : body)
        bodyText.append(line).append("\r\n");
    std::vector<std::string> lines = {
        "From: " + SenderAddress(recipients),
        "To: " + std::string(recipients),
        "Date: " + MailDate(localTime),
        "Subject: =?utf-8?B?" + Base64Encode(subject) + "?=",
        "Content-Type: text/plain; charset=utf-8",
        "Content-Transfer-Encoding: base64",
        "",
    };
    const std::vector<std::string> encoded = WrappedBase64(bodyText);
    lines.insert(lines.end(), encoded.begin(), encoded.end());
    std::string message;
    for (const std::string& line : lines)
        message.append(line).append("\r\n");
    return message;
}
