#pragma once
#include <ctime>
#include <string>
#include <string_view>

// Days since 30 December 1899 00:00 local time; the fraction is the time of day; 0 means unset.
using TDateTime = double;

// A date-time taken apart into its calendar fields (month and day from 1).
struct TDateTimeParts {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

constexpr double MillisecondsPerDay = 86400000.0;

// False for an impossible date (month 13, 30 February, year outside 1 to 9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// False for an impossible time (hour 24, minute 60); the result is the fraction of a day.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
// As the Try forms, but an impossible value raises Exception.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

// Rounds to the millisecond first, so a value a hair below a full second decodes as that second.
TDateTimeParts DecodeDateTime(TDateTime value);
// The midnight that starts the value's day.
TDateTime DateOf(TDateTime value);
// 0 to 23.
int HourOf(TDateTime value);

// Local broken-down time (tm_year from 1900, tm_mon from 0) and back; the conversion is wall-clock only.
TDateTime FromLocalTm(const std::tm& local, int millisecond = 0);
std::tm ToLocalTm(TDateTime value);
// A moment of the system clock as local wall-clock time, through the zone rules of TZ.
TDateTime FromUnixTime(std::time_t seconds, int millisecond = 0);

// The stored forms: "yyyy-mm-dd hh:nn:ss" (19 characters) or "yyyy-mm-dd" (10); the fraction of a second is dropped.
std::string FormatDBDateTime(TDateTime value, bool withTime);
// Reads the two stored forms by fixed positions; anything unreadable gives 0 (30 December 1899 00:00).
TDateTime ParseDBDateTime(std::string_view text);
