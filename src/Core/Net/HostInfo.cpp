#include "Core/Net/Platform.h"

bool TPlatformHostInfo::GetHostName(TIPv4, std::string&) { return false; }
