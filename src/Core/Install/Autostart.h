#pragma once
#include <filesystem>
#include <memory>
#include <string>

// Whether the program starts (hidden) when the user logs on. One entry per user, named after the
// program title; an entry that exists counts whatever it holds, and one that someone else wrote
// is never rewritten, only removed when autostart is turned off.
class TAutostart {
public:
    virtual ~TAutostart() = default;
    virtual bool IsAutostartEnabled() const = 0;
    // Creates the entry when it is missing (on) or removes it (off); raises Exception on failure.
    virtual void SetAutostart(bool on);

protected:
    virtual void CreateEntry() = 0;
    virtual void DeleteEntry() = 0;
};

// A desktop entry in the user's XDG autostart folder ($XDG_CONFIG_HOME/autostart, or
// ~/.config/autostart), looked up anew at every call.
class TXdgAutostart : public TAutostart {
public:
    static constexpr const char* StartHiddenSwitch = "/hide";

    explicit TXdgAutostart(std::filesystem::path programFile);

    bool IsAutostartEnabled() const override;
    std::filesystem::path EntryFile() const;
    // The entry written for a program file; its Exec starts the program hidden.
    static std::string EntryText(const std::filesystem::path& programFile);

protected:
    void CreateEntry() override;
    void DeleteEntry() override;

private:
    std::filesystem::path programFile_;
};

// This platform's autostart for the given program file.
std::unique_ptr<TAutostart> PlatformAutostart(const std::filesystem::path& programFile);
