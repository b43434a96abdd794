#include "Core/Net/Platform.h"

bool TPlatformPing::GetPageTitle(TIPv4, std::string& title) {
    title.clear();
    return false;
}
