#pragma once
#include <string>
#include <string_view>
#include <vector>

// The connection choices of the settings (AdvMailConnection); any other value is taken as regular.
enum TMailConnection : int {
    mcRegular = 0,  // plain SMTP
    mcStartTls = 1, // upgraded with STARTTLS when the server offers it, plain otherwise
    mcTls = 2,      // TLS from the first byte
};

// Composes the alert message from the body lines and the subject and delivers it over SMTP to the server
// ("host" or "host:port", port 25 by default), authenticating when a user name or password is given. The
// first recipient is the sender. True only when the server accepted the message; every failure (no
// connection, refused login, recipient or message, an untrusted certificate) gives false. Blocks for the
// whole conversation, each network step bounded by 60 seconds.
bool SendEmailAlert(const std::vector<std::string>& body, std::string_view subject, std::string_view recipients,
                    std::string_view server, std::string_view userName, std::string_view password, int connection);

// Whether the secure connection types can work at all: the TLS library is present.
bool SecureMailAvailable();
