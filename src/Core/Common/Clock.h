#pragma once
#include "Core/Common/DateTime.h"

// The source of the current local time; tests install their own to set and advance it.
class TClock {
public:
    virtual ~TClock() = default;
    virtual TDateTime Now() const = 0;
};

// The computer's clock as local wall-clock time, to the millisecond.
class TSystemClock : public TClock {
public:
    TDateTime Now() const override;
};

// The program-wide clock: the system clock unless one was installed.
const TClock& Clock();
// Installs a clock the caller keeps alive; nullptr goes back to the system clock.
void SetClock(const TClock* clock);
// The program-wide clock's current time.
TDateTime Now();
