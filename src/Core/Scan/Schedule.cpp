#include "Core/Scan/Schedule.h"

#include <cmath>

bool IsScheduled(int rescanFreqMinutes, TDateTime nextRescan) {
    return rescanFreqMinutes >= 1 && std::trunc(nextRescan) != 0;
}

TDateTime NextScanTime(TDateTime now, int rescanFreqMinutes) {
    TDateTime next = now + rescanFreqMinutes / (24.0 * 60.0);
    TDateTimeParts parts = DecodeDateTime(next);
    return next - parts.Second / 86400.0;
}
