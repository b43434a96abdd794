#include "TempDir.h"

#include <cstdlib>
#include <stdexcept>

namespace tarrowin::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarrowin-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

EnvGuard::EnvGuard(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        hadValue_ = true;
        oldValue_ = old;
    }
    if (value)
        setenv(name_.c_str(), value, 1);
    else
        unsetenv(name_.c_str());
}

EnvGuard::~EnvGuard() {
    if (hadValue_)
        setenv(name_.c_str(), oldValue_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

} // namespace tarrowin::test
