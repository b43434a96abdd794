#include "Core/Common/Clock.h"

#include <atomic>
#include <time.h>

namespace {
std::atomic<const TClock*> installedClock{nullptr};
} // namespace

TDateTime TSystemClock::Now() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return FromUnixTime(now.tv_sec, static_cast<int>(now.tv_nsec / 1000000));
}

const TClock& Clock() {
    static const TSystemClock systemClock;
    const TClock* clock = installedClock.load();
    return clock ? *clock : systemClock;
}

void SetClock(const TClock* clock) {
    installedClock.store(clock);
}

TDateTime Now() {
    return Clock().Now();
}
