#pragma once
#include "Core/Common/DateTime.h"

// Automatic scans run when the interval is at least a minute and a next time is set.
bool IsScheduled(int rescanFreqMinutes, TDateTime nextRescan);
// Now plus the interval, with the seconds of the result set to 0 (its milliseconds stay).
TDateTime NextScanTime(TDateTime now, int rescanFreqMinutes);
