#pragma once
#include "Core/Common/DateTime.h"

#include <string>
#include <string_view>
#include <vector>

// The e-mail alert's message and envelope, built from the texts the user typed; no network here.

// Cuts the first entry off a comma-separated recipient list and returns it untrimmed; a comma inside double
// quotes does not separate, and the quotes stay part of the entry. The list keeps what follows the comma.
std::string_view CutRecipient(std::string_view& recipients);
// The address of one entry: what lies between "<" and ">" (either may be missing), trimmed.
std::string RecipientAddress(std::string_view entry);
// The first entry's address: the sender in the From header and in the envelope.
std::string SenderAddress(std::string_view recipients);
// The envelope recipients in order. An entry without an address is skipped, except the first: with no sender
// there is nothing to send, and the list is empty.
std::vector<std::string> EnvelopeRecipients(std::string_view recipients);

struct TMailServer {
    std::string Host;
    std::string Port = "25";
};
// "host" or "host:port", both parts trimmed; an empty port keeps 25.
TMailServer ParseMailServer(std::string_view server);

// An RFC 5322 date of a local time with its offset from UTC: "Tue, 9 Dec 2025 14:05:09 +0100".
std::string MailDate(TDateTime localTime);

// The whole message as sent, every line ended by CR LF: From, To, Date, Subject (one UTF-8 encoded word),
// Content-Type, Content-Transfer-Encoding, an empty line, and the body lines (each ended by CR LF) in
// base64, 76 characters a line (SMTP refuses lines over 1000).
std::string ComposeAlertMessage(const std::vector<std::string>& body, std::string_view subject,
                                std::string_view recipients, TDateTime localTime);
