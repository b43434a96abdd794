// The e-mail alert: the message and envelope built without a network, then delivered to a loopback SMTP
// server (python3-aiosmtpd) that serves one profile per port and records every connection.
#include "Core/Common/Base64.h"
#include "Core/Common/DateTime.h"
#include "Core/Common/Text.h"
#include "Core/Mail/MailMessage.h"
#include "Core/Mail/MailSender.h"

#include "support/TempDir.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using nlohmann::json;
using tarrowin::test::EnvGuard;
using tarrowin::test::TempDir;
using tarrowin::test::TestClock;
namespace fs = std::filesystem;

// ---- composition ----

TEST(Base64Test, EncodesTheStandardVectors) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"},
                                                           {"\xff\xfe\x80", "//6A"}};
    for (const auto& [bytes, text] : vectors)
        EXPECT_EQ(Base64Encode(bytes), text) << bytes;
}

struct TRecipientsCase {
    const char* recipients;
    std::vector<std::string> envelope;
};

class RecipientsTest : public testing::TestWithParam<TRecipientsCase> {};

TEST_P(RecipientsTest, WalksTheEntries) {
    const TRecipientsCase& c = GetParam();
    EXPECT_EQ(EnvelopeRecipients(c.recipients), c.envelope);
    EXPECT_EQ(SenderAddress(c.recipients), c.envelope.empty() ? "" : c.envelope.front());
}

INSTANTIATE_TEST_SUITE_P(
    Mail, RecipientsTest,
    testing::Values(TRecipientsCase{R"(ops@x.test, "Doe, John" <john@x.test>)", {"ops@x.test", "john@x.test"}},
                    TRecipientsCase{R"("Ops, Night" <ops@x.test>,b@x.test)", {"ops@x.test", "b@x.test"}},
                    TRecipientsCase{" a@x.test ,, b@x.test ", {"a@x.test", "b@x.test"}},
                    TRecipientsCase{"a@x.test, Nobody <>, b@x.test,", {"a@x.test", "b@x.test"}},
                    TRecipientsCase{"Half <a@x.test, b@x.test>", {"a@x.test", "b@x.test"}},
                    TRecipientsCase{" , b@x.test", {}}, TRecipientsCase{"Nobody <>, b@x.test", {}},
                    TRecipientsCase{"", {}}));

TEST(MailServerTest, HostAndOptionalPort) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"mail.x.test:587", "mail.x.test", "587"},     {"mail.x.test ", "mail.x.test", "25"},
        {" mail.x.test : 465 ", "mail.x.test", "465"}, {"mail.x.test: ", "mail.x.test", "25"},
        {"mail.x.test:25:26", "mail.x.test", "25:26"}, {"", "", "25"}};
    for (const auto& [text, host, port] : cases) {
        const TMailServer server = ParseMailServer(text);
        EXPECT_EQ(server.Host, host) << text;
        EXPECT_EQ(server.Port, port) << text;
    }
}

// TZ for the guard's lifetime, applied to the C library's local time.
class TimeZoneGuard {
public:
    explicit TimeZoneGuard(const char* zone) : env_("TZ", zone) { tzset(); }
    ~TimeZoneGuard() { tzset(); }

private:
    EnvGuard env_;
};

TEST(MailDateTest, LocalTimeWithItsOffset) {
    struct TCase {
        const char* zone;
        TDateTime time;
        const char* date;
    };
    const TCase cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2025, 12, 9, 14, 5, 9), "Tue, 9 Dec 2025 14:05:09 +0100"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2025, 7, 13, 0, 0, 0), "Sun, 13 Jul 2025 00:00:00 +0200"},
        {"NST3:30", EncodeDateTime(2024, 2, 29, 23, 59, 59), "Thu, 29 Feb 2024 23:59:59 -0330"},
        {"UTC0", EncodeDateTime(2026, 1, 31, 7, 8, 9), "Sat, 31 Jan 2026 07:08:09 +0000"},
    };
    for (const TCase& c : cases) {
        TimeZoneGuard zone(c.zone);
        EXPECT_EQ(MailDate(c.time), c.date) << c.zone;
    }
}

std::vector<std::string> SplitCrLf(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos; text.remove_prefix(end + 2))
        lines.emplace_back(text.substr(0, end));
    EXPECT_TRUE(text.empty()) << "text after the last CR LF: " << text;
    return lines;
}

TEST(ComposeTest, SevenHeaderLinesThenOneLineOfBase64) {
    TimeZoneGuard zone("UTC0");
    const std::string message = ComposeAlertMessage({"a", "b"}, "Tarrowin", R"(ops@x.test, "Doe, J" <j@x.test>)",
                                                    EncodeDateTime(2025, 12, 9, 14, 5, 9));
    const std::vector<std::string> expected = {
        "From: ops@x.test",
        R"(To: ops@x.test, "Doe, J" <j@x.test>)",
        "Date: Tue, 9 Dec 2025 14:05:09 +0000",
        "Subject: =?utf-8?B?VGFycm93aW4=?=",
        "Content-Type: text/plain; charset=utf-8",
        "Content-Transfer-Encoding: base64",
        "",
        "YQ0KYg0K", // "a\r\nb\r\n"
    };
    EXPECT_EQ(SplitCrLf(message), expected);
}

// One base64 line would pass SMTP's 1000-character limit from about a dozen devices on.
TEST(ComposeTest, LongBodyWrapsAt76Characters) {
    const std::vector<std::string> body(50, "192.168.1.20\t00:11:22:33:44:55\t2025-12-09 14:05\tdevice");
    std::string bodyText;
    for (const std::string& line : body)
        bodyText += line + "\r\n";
    const std::vector<std::string> lines = SplitCrLf(ComposeAlertMessage(body, "s", "a@x.test", 45000));
    ASSERT_GT(lines.size(), 8u);
    std::string joined;
    for (std::size_t i = 7; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 76u) << i;
        EXPECT_TRUE(i + 1 == lines.size() || lines[i].size() == 76u) << i;
        joined += lines[i];
    }
    EXPECT_EQ(joined, Base64Encode(bodyText));
}

// ---- delivery ----

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// A test CA, another CA, and three server certificates: trusted, from the other CA, and for another host.
bool MakeCertificates(const fs::path& dir) {
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
    auto ca = [&](const std::string& name) {
        return Run("openssl req -x509" + key + " -keyout " + Quoted(dir / (name + ".key")) + " -out " +
                   Quoted(dir / (name + ".pem")) + " -subj /CN=" + name);
    };
    auto leaf = [&](const std::string& name, const std::string& issuer, const std::string& names) {
        return Run("openssl req -x509" + key + " -CA " + Quoted(dir / (issuer + ".pem")) + " -CAkey " +
                   Quoted(dir / (issuer + ".key")) + " -keyout " + Quoted(dir / (name + ".key")) + " -out " +
                   Quoted(dir / (name + ".pem")) + " -subj /CN=tarrowin-test -addext subjectAltName=" + names +
                   " -addext basicConstraints=critical,CA:FALSE");
    };
    return ca("ca") && ca("otherca") && leaf("server", "ca", "IP:127.0.0.1,DNS:localhost") &&
           leaf("untrusted", "otherca", "IP:127.0.0.1,DNS:localhost") &&
           leaf("wronghost", "ca", "DNS:mail.elsewhere.test");
}

// The server process: it prints its ports when every listener is up and ends when its input closes.
class TSmtpServer {
public:
    ~TSmtpServer() {
        if (input_ >= 0)
            close(input_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    // An empty text on success, otherwise what went wrong.
    std::string Start(const fs::path& certDir, const fs::path& recordDir, const fs::path& log) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return "pipe failed";
        const std::string script = TARROWIN_FIXTURES "/mail/smtp_server.py";
        // Debian's python3-aiosmtpd belongs to the system interpreter, which a PATH may shadow.
        const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            if (FILE* err = std::fopen(log.c_str(), "w"))
                dup2(fileno(err), STDERR_FILENO);
            close(in[1]);
            close(out[0]);
            execlp(python, python, script.c_str(), certDir.c_str(), recordDir.c_str(), nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        const std::string line = ReadLine(out[0]);
        close(out[0]);
        ports_ = json::parse(line, nullptr, false);
        return ports_.is_object()
                   ? ""
                   : "the SMTP server did not start (python3-aiosmtpd missing?); its log: " + ReadFile(log);
    }

    std::string Port(const std::string& profile) const { return std::to_string(ports_.at(profile).get<int>()); }

    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    static std::string ReadLine(int fd) {
        std::string line;
        pollfd ready{fd, POLLIN, 0};
        char c;
        while (poll(&ready, 1, 30000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    json ports_;
};

struct TDelivery {
    const char* name;
    const char* profile;
    int connection;
    bool login = false;         // alice with her password, or no credentials
    const char* mechanism = ""; // the AUTH mechanism the server saw, "" for none
    bool tls = false;           // whether the session ran over TLS
    const char* serverText = "127.0.0.1:%s";
};

struct TRefusal {
    const char* name;
    const char* profile;
    int connection;
    bool recorded;             // the server kept a record of the session (not so when its TLS handshake failed)
    const char* password = ""; // with alice as the user name when not empty
    const char* serverText = "127.0.0.1:%s";
};

// Parameters print as their case names rather than as bytes.
void PrintTo(const TDelivery& c, std::ostream* out) {
    *out << c.name;
}
void PrintTo(const TRefusal& c, std::ostream* out) {
    *out << c.name;
}

class MailDeliveryTest : public testing::Test {
public:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        fs::create_directory(RecordDir());
        server_ = std::make_unique<TSmtpServer>();
        if (!MakeCertificates(dir_->Path()))
            startError_ = "openssl could not make the test certificates";
        else
            startError_ = server_->Start(dir_->Path(), RecordDir(), dir_->File("server.log"));
        // The test CA is trusted through the standard variable; nothing else is.
        trust_ = std::make_unique<EnvGuard>("SSL_CERT_FILE", dir_->File("ca.pem").c_str());
    }

    static void TearDownTestSuite() {
        trust_.reset();
        server_.reset();
        dir_.reset();
    }

protected:
    void SetUp() override {
        ASSERT_EQ(startError_, "");
        for (const auto& entry : fs::directory_iterator(RecordDir()))
            fs::remove(entry.path());
    }

    static fs::path RecordDir() { return dir_->File("records"); }

    static std::string Server(const char* profile, const char* text = "127.0.0.1:%s") {
        return FormatText(text, {server_->Port(profile)});
    }

    // The record the server writes when the connection of that profile has ended.
    static json Record(const std::string& profile) {
        for (int attempt = 0; attempt < 400; ++attempt) {
            for (const auto& entry : fs::directory_iterator(RecordDir())) {
                if (entry.path().extension() != ".json")
                    continue;
                json record = json::parse(TSmtpServer::ReadFile(entry.path()));
                if (record["profile"] == profile)
                    return record;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "no record of a connection to " << profile
                      << "; server log: " << TSmtpServer::ReadFile(dir_->File("server.log"));
        return json::object();
    }

private:
    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<TSmtpServer> server_;
    static inline std::unique_ptr<EnvGuard> trust_;
    static inline std::string startError_;
};

class MailDeliveryCaseTest : public MailDeliveryTest, public testing::WithParamInterface<TDelivery> {};

TEST_P(MailDeliveryCaseTest, Delivers) {
    const TDelivery& c = GetParam();
    ASSERT_TRUE(SendEmailAlert({"line"}, "subject", "ops@x.test", Server(c.profile, c.serverText),
                               c.login ? "alice" : "", c.login ? "s3cret" : "", c.connection));
    const json record = Record(c.profile);
    EXPECT_EQ(record["messages"].size(), 1u);
    EXPECT_EQ(record["tls"], c.tls);
    EXPECT_TRUE(record["quit"].get<bool>());
    if (*c.mechanism) {
        ASSERT_EQ(record["auth"].size(), 1u);
        EXPECT_EQ(record["auth"][0]["mechanism"], c.mechanism);
        EXPECT_TRUE(record["auth"][0]["ok"].get<bool>());
        EXPECT_EQ(record["auth"][0]["tls"], c.tls) << "the password went over the session as it was then";
    } else {
        EXPECT_TRUE(record["auth"].empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mail, MailDeliveryCaseTest,
    testing::Values(TDelivery{"PlainWithoutLogin", "plain", mcRegular},
                    TDelivery{"PrefersCramMd5", "plain", mcRegular, true, "CRAM-MD5"},
                    TDelivery{"ThenPlain", "plain-no-cram", mcRegular, true, "PLAIN"},
                    TDelivery{"ThenLogin", "plain-login-only", mcRegular, true, "LOGIN"},
                    TDelivery{"ServerTextWithBlanks", "plain", mcRegular, false, "", false, " 127.0.0.1 : %s "},
                    TDelivery{"UnknownConnectionIsRegular", "starttls", 7},
                    TDelivery{"StartTls", "starttls", mcStartTls, true, "CRAM-MD5", true},
                    TDelivery{"StartTlsNotOfferedGoesPlain", "plain-no-cram", mcStartTls, true, "PLAIN", false},
                    TDelivery{"TlsFromFirstByte", "tls", mcTls, true, "CRAM-MD5", true}),
    [](const testing::TestParamInfo<TDelivery>& info) { return std::string(info.param.name); });

class MailRefusalTest : public MailDeliveryTest, public testing::WithParamInterface<TRefusal> {};

TEST_P(MailRefusalTest, FailsWithoutAMessage) {
    const TRefusal& c = GetParam();
    EXPECT_FALSE(SendEmailAlert({"line"}, "subject", "ops@x.test", Server(c.profile, c.serverText),
                                *c.password ? "alice" : "", c.password, c.connection));
    if (!c.recorded)
        return;
    const json record = Record(c.profile);
    EXPECT_TRUE(record["messages"].empty());
    for (const json& auth : record["auth"])
        EXPECT_FALSE(auth["ok"].get<bool>());
}

INSTANTIATE_TEST_SUITE_P(
    Mail, MailRefusalTest,
    testing::Values(TRefusal{"TlsToPlainServer", "plain-login-only", mcTls, true},
                    TRefusal{"UntrustedCertificate", "tls-untrusted", mcTls, false, "s3cret"},
                    TRefusal{"UntrustedCertificateAfterStartTls", "starttls-untrusted", mcStartTls, true, "s3cret"},
                    TRefusal{"CertificateForAnotherHost", "tls-wrong-host", mcTls, false, "s3cret"},
                    TRefusal{"RefusedLogin", "plain-no-cram", mcRegular, true, "wrong"},
                    TRefusal{"NothingListening", "plain", mcRegular, false, "", "127.0.0.1:1"},
                    TRefusal{"PortNotANumber", "plain", mcRegular, false, "", "127.0.0.1:smtp%s"},
                    TRefusal{"NoHost", "plain", mcRegular, false, "", " :%s"}),
    [](const testing::TestParamInfo<TRefusal>& info) { return std::string(info.param.name); });

TEST_F(MailDeliveryTest, RefusedStartTlsEndsBeforeTheLogin) {
    EXPECT_FALSE(
        SendEmailAlert({"line"}, "subject", "ops@x.test", Server("starttls-refused"), "alice", "s3cret", mcStartTls));
    const json record = Record("starttls-refused");
    EXPECT_EQ(record["starttls"], "refused");
    EXPECT_TRUE(record["auth"].empty()) << "the password must not follow a refused upgrade in the clear";
    EXPECT_TRUE(record["messages"].empty());
}

TEST_F(MailDeliveryTest, RefusedRecipientStopsTheWalkAndSendsNothing) {
    EXPECT_FALSE(SendEmailAlert({"line"}, "subject", "ops@x.test, refused@x.test, late@x.test", Server("plain"), "", "",
                                mcRegular));
    const json record = Record("plain");
    EXPECT_EQ(record["rcpt"], json({"ops@x.test", "refused@x.test"}));
    EXPECT_TRUE(record["messages"].empty());
    EXPECT_TRUE(record["quit"].get<bool>());
}

TEST_F(MailDeliveryTest, RecipientsWithALineBreakAreRefusedBeforeConnecting) {
    EXPECT_FALSE(
        SendEmailAlert({"line"}, "subject", "ops@x.test\r\nBcc: spy@x.test", Server("plain"), "", "", mcRegular));
}

TEST_F(MailDeliveryTest, MessageArrivesAsComposed) {
    TestClock clock(EncodeDateTime(2025, 12, 9, 14, 5, 9));
    const std::string recipients = R"(ops@x.test, "Doe, John" <john@x.test>)";
    const std::string subject = "Tarrowin: 3 unbekannte Geräte – ½ 日本";
    ASSERT_TRUE(SendEmailAlert({"first line", "zweite Zeile äöü", "third\tline"}, subject, recipients,
                               Server("starttls"), "alice", "s3cret", mcStartTls));

    const json record = Record("starttls");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(record["ehlo"].front(), std::string(host));
    EXPECT_EQ(record["mail_from"], "ops@x.test");
    EXPECT_EQ(record["rcpt"], json({"ops@x.test", "john@x.test"}));
    ASSERT_EQ(record["messages"].size(), 1u);
    const json& message = record["messages"][0];
    EXPECT_EQ(message["subject"], subject);
    EXPECT_EQ(message["body"], "first line\r\nzweite Zeile äöü\r\nthird\tline\r\n");

    const std::string raw = message["raw"];
    EXPECT_EQ(record["mail_options"], json({"SIZE=" + std::to_string(raw.size())}));
    const std::vector<std::string> lines = SplitCrLf(raw);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "From: ops@x.test");
    EXPECT_EQ(lines[1], "To: " + recipients);
    EXPECT_EQ(lines[2], "Date: " + MailDate(EncodeDateTime(2025, 12, 9, 14, 5, 9)));
    EXPECT_TRUE(lines[3].starts_with("Subject: =?utf-8?B?")) << lines[3];
    EXPECT_EQ(lines[4], "Content-Type: text/plain; charset=utf-8");
    EXPECT_EQ(lines[5], "Content-Transfer-Encoding: base64");
    EXPECT_EQ(lines[6], "");
}

TEST(MailTlsTest, TheTlsLibraryIsThere) {
    EXPECT_TRUE(SecureMailAvailable());
}

} // namespace
