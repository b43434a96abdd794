#pragma once
#include "Core/ConfigStore/ConfigStore.h"
#include "TempDir.h"

namespace tarrowin::test {

// Points ConfigStore() at a fresh file in a temporary folder for the guard's lifetime.
class TempDatabase {
public:
    explicit TempDatabase(const std::string& name = "Tarrowin.DB") : file_(dir_.File(name)) {
        SetConfigStorePath(file_);
    }
    ~TempDatabase() { SetConfigStorePath({}); }
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;

    const std::filesystem::path& File() const { return file_; }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    std::filesystem::path file_;
};

} // namespace tarrowin::test
