#include "Core/Install/Autostart.h"
#include "Core/Common/Exception.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tarrowin::test;

namespace {

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

class AutostartTest : public ::testing::Test {
protected:
    TempDir config_;
    EnvGuard configHome_{"XDG_CONFIG_HOME", config_.Path().c_str()};
    const std::filesystem::path entry_ = config_.File("autostart/Tarrowin.desktop");
    TXdgAutostart autostart_{"/opt/tarrowin/bin/tarrowin"};
};

} // namespace

TEST_F(AutostartTest, OnWritesTheEntryThatStartsTheProgramHidden) {
    EXPECT_FALSE(autostart_.IsAutostartEnabled());
    autostart_.SetAutostart(true);
    EXPECT_TRUE(autostart_.IsAutostartEnabled());
    EXPECT_EQ(autostart_.EntryFile(), entry_);
    EXPECT_EQ(ReadFile(entry_), "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Tarrowin\n"
                                "Exec=\"/opt/tarrowin/bin/tarrowin\" /hide\n"
                                "Terminal=false\n");

    autostart_.SetAutostart(false);
    EXPECT_FALSE(autostart_.IsAutostartEnabled());
    EXPECT_FALSE(std::filesystem::exists(entry_));
}

TEST_F(AutostartTest, ForeignEntryIsKeptByOnAndDeletedByOff) {
    WriteFile(entry_, "[Desktop Entry]\nExec=/somewhere/else\n");
    EXPECT_TRUE(autostart_.IsAutostartEnabled());
    autostart_.SetAutostart(true);
    EXPECT_EQ(ReadFile(entry_), "[Desktop Entry]\nExec=/somewhere/else\n");
    autostart_.SetAutostart(false);
    EXPECT_FALSE(std::filesystem::exists(entry_));
}

TEST_F(AutostartTest, EmptyEntryCountsAsOn) {
    WriteFile(entry_, "");
    EXPECT_TRUE(autostart_.IsAutostartEnabled());
}

TEST_F(AutostartTest, OffWithoutEntryOrFolderIsFine) {
    EXPECT_NO_THROW(autostart_.SetAutostart(false));
    EXPECT_FALSE(std::filesystem::exists(config_.File("autostart")));
}

TEST_F(AutostartTest, HomeConfigFolderWhenXdgConfigHomeIsUnsetOrRelative) {
    EnvGuard home("HOME", config_.Path().c_str());
    for (const char* configHome : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        EnvGuard xdg("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(autostart_.EntryFile(), config_.File(".config/autostart/Tarrowin.desktop"));
    }
}

TEST_F(AutostartTest, WriteFailureRaisesAndLeavesItOff) {
    // Root may write anywhere, but not below a regular file.
    WriteFile(config_.File("plain-file"), "x");
    EnvGuard blocked("XDG_CONFIG_HOME", config_.File("plain-file").c_str());
    EXPECT_FALSE(autostart_.IsAutostartEnabled());
    try {
        autostart_.SetAutostart(true);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_THAT(e.Message(), ::testing::HasSubstr("Cannot create the autostart entry"));
        EXPECT_THAT(e.Message(), ::testing::HasSubstr("plain-file/autostart/Tarrowin.desktop"));
    }
    EXPECT_FALSE(autostart_.IsAutostartEnabled());
}

TEST_F(AutostartTest, DeleteFailureRaisesAndLeavesItOn) {
    // A non-empty folder by the entry's name cannot be removed as a file.
    WriteFile(entry_ / "inside", "x");
    ASSERT_TRUE(autostart_.IsAutostartEnabled());
    try {
        autostart_.SetAutostart(false);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_THAT(e.Message(), ::testing::HasSubstr("Cannot delete the autostart entry"));
    }
    EXPECT_TRUE(autostart_.IsAutostartEnabled());
}

TEST_F(AutostartTest, DanglingLinkIsAnEntry) {
    std::filesystem::create_directories(entry_.parent_path());
    std::filesystem::create_symlink(config_.File("missing.desktop"), entry_);
    EXPECT_TRUE(autostart_.IsAutostartEnabled());
    autostart_.SetAutostart(true);
    EXPECT_FALSE(std::filesystem::exists(config_.File("missing.desktop")));
    autostart_.SetAutostart(false);
    EXPECT_FALSE(std::filesystem::is_symlink(entry_));
}

// ---- Exec quoting ----

namespace {

struct TExecCase {
    const char* Name;
    const char* ProgramFile;
    const char* ExecLine;
};

const TExecCase ExecCases[] = {
    {"Plain", "/usr/bin/tarrowin", R"(Exec="/usr/bin/tarrowin" /hide)"},
    {"Blank", "/home/me/My Apps/tarrowin", R"(Exec="/home/me/My Apps/tarrowin" /hide)"},
    {"DoubleQuote", "/opt/a\"b/tarrowin", R"(Exec="/opt/a\\"b/tarrowin" /hide)"},
    {"Backquote", "/opt/a`b/tarrowin", R"(Exec="/opt/a\\`b/tarrowin" /hide)"},
    {"Dollar", "/opt/$HOME/tarrowin", R"(Exec="/opt/\\$HOME/tarrowin" /hide)"},
    {"Backslash", "/opt/a\\b/tarrowin", R"(Exec="/opt/a\\\\b/tarrowin" /hide)"},
    {"Percent", "/opt/100%/tarrowin", R"(Exec="/opt/100%%/tarrowin" /hide)"},
    {"SingleQuoteAndShellSigns", "/opt/it's;&|<>*?#()~/t", R"(Exec="/opt/it's;&|<>*?#()~/t" /hide)"},
    {"LineBreakAndTab", "/opt/a\nb\tc/t", R"(Exec="/opt/a\nb\tc/t" /hide)"},
    {"Utf8", "/opt/caf\xC3\xA9/t", "Exec=\"/opt/caf\xC3\xA9/t\" /hide"},
};

void PrintTo(const TExecCase& c, std::ostream* os) {
    *os << c.Name;
}

class AutostartExecTest : public ::testing::TestWithParam<TExecCase> {};

} // namespace

TEST_P(AutostartExecTest, ProgramPathIsQuotedForTheDesktopEntry) {
    const TExecCase& c = GetParam();
    const std::string text = TXdgAutostart::EntryText(c.ProgramFile);
    EXPECT_THAT(text, ::testing::HasSubstr("\n" + std::string(c.ExecLine) + "\n"));
}

INSTANTIATE_TEST_SUITE_P(Cases, AutostartExecTest, ::testing::ValuesIn(ExecCases),
                         [](const auto& info) { return std::string(info.param.Name); });
