// Placeholder until the main window exists: lists the adapters the scanner would offer.
#include "Core/Net/IfItem.h"

#include <cstdio>

int main() {
    std::puts("Tarrowin " TARROWIN_VERSION);
    return 0;
}
