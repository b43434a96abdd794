#include "Core/Net/Platform.h"

std::string TPlatformIfNameMap::DisplayName(const std::string& name) const {
    auto found = values_.find(name);
    std::string display = found == values_.end() ? name : found->second;
    if (display.size() <= 32)
        return display;
    display.resize(32);
    size_t blank = display.rfind(' ');
    if (blank != std::string::npos)
        display.resize(blank);
    return display;
}
