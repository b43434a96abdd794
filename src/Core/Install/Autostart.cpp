#include "Core/Install/Autostart.h"

#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Lang/Language.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* EntryName = "Tarrowin.desktop";

[[noreturn]] void Fail(const char* format, const std::filesystem::path& file, const std::error_code& error) {
    throw Exception(FormatText(LanguageTable().Translate(format), {file.string(), error.message()}));
}

// A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules ask.
std::filesystem::path ConfigHome() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && configHome[0] == '/')
        return configHome;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        throw Exception(LanguageTable().Translate("Cannot find the user's configuration folder"));
    return std::filesystem::path(home) / ".config";
}

// One argument in double quotes with ", `, $ and \ escaped; a literal % is doubled, as Exec wants.
std::string QuoteExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        else if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return quoted + '"';
}

// The escapes of a string value, applied after the Exec quoting (readers undo them first).
std::string EscapeStringValue(std::string_view value) {
    std::string escaped;
    for (char c : value) {
        const char* escape = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
        if (escape)
            escaped += escape;
        else
            escaped += c;
    }
    return escaped;
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw std::system_error(errno, std::generic_category());
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Creates the file with the text unless it exists; a failed write leaves no partial file behind.
void CreateFileExclusively(const std::filesystem::path& file, std::string_view text) {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return;
        throw std::system_error(errno, std::generic_category());
    }
    try {
        WriteAll(fd, text);
    } catch (...) {
        close(fd);
        unlink(file.c_str());
        throw;
    }
    if (close(fd) != 0) {
        int error = errno;
        unlink(file.c_str());
        throw std::system_error(error, std::generic_category());
    }
}

} // namespace

void TAutostart::SetAutostart(bool on) {
    if (on == IsAutostartEnabled())
        return;
    if (on)
        CreateEntry();
    else
        DeleteEntry();
}

TXdgAutostart::TXdgAutostart(std::filesystem::path programFile) : programFile_(std::move(programFile)) {}

std::filesystem::path TXdgAutostart::EntryFile() const {
    return ConfigHome() / "autostart" / EntryName;
}

std::string TXdgAutostart::EntryText(const std::filesystem::path& programFile) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarrowin\n"
           "Exec=" +
           EscapeStringValue(QuoteExecArgument(programFile.string()) + " " + StartHiddenSwitch) +
           "\n"
           "Terminal=false\n";
}

bool TXdgAutostart::IsAutostartEnabled() const {
    try {
        std::error_code error;
        // A dangling link or a folder by that name is an entry too: it exists, whatever it holds.
        return std::filesystem::exists(std::filesystem::symlink_status(EntryFile(), error));
    } catch (const Exception&) {
        return false;
    }
}

void TXdgAutostart::CreateEntry() {
    const std::filesystem::path file = EntryFile();
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    try {
        if (!error)
            CreateFileExclusively(file, EntryText(programFile_));
    } catch (const std::system_error& e) {
        error = e.code();
    }
    if (error)
        Fail("Cannot create the autostart entry %s: %s", file, error);
}

void TXdgAutostart::DeleteEntry() {
    const std::filesystem::path file = EntryFile();
    std::error_code error;
    std::filesystem::remove(file, error);
    if (error)
        Fail("Cannot delete the autostart entry %s: %s", file, error);
}

std::unique_ptr<TAutostart> PlatformAutostart(const std::filesystem::path& programFile) {
    return std::make_unique<TXdgAutostart>(programFile);
}
