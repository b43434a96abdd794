#pragma once
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"

#include <string>
#include <vector>

// One network adapter. Address and Mask are network order, as the platform reports them.
struct TIfItem {
    std::string Name; // also the adapter's identity, compared without regard to ASCII case
    TIPv4 Address = 0;
    TIPv4 Mask = 0;
    THWAddr HWAddr{};
};

using TIfList = std::vector<TIfItem>;
