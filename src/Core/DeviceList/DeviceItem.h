#pragma once
#include "Core/Common/Clock.h"
#include "Core/Common/DateTime.h"
#include "Core/Net/HWAddr.h"

#include <string>

// One device ever seen; its hardware address is its identity.
struct TDeviceItem {
    std::string Comment;
    THWAddr HWAddr{};
    bool Known = false;
    TDateTime LastSeen = Now();
};
