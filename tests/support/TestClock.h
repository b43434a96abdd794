#pragma once
#include "Core/Common/Clock.h"
#include "Core/Common/DateTime.h"

namespace tarrowin::test {

// The program-wide clock for the guard's lifetime: stands still until a test sets or advances it.
class TestClock : public TClock {
public:
    explicit TestClock(TDateTime start = 0) : now_(start) { SetClock(this); }
    ~TestClock() override { SetClock(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    TDateTime Now() const override { return now_; }
    void Set(TDateTime now) { now_ = now; }
    void AdvanceMinutes(double minutes) { now_ += minutes / (24 * 60); }

private:
    TDateTime now_;
};

} // namespace tarrowin::test
