#include "Core/Common/DateTime.h"

#include "Core/Common/Exception.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Day numbers relative to 1970-01-01 of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, TDateTimeParts& parts) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    parts.Day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    parts.Month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    parts.Year = static_cast<int>(yearOfEra + era * 400 + (parts.Month <= 2 ? 1 : 0));
}

// 1899-12-30 counted from 1970-01-01.
constexpr std::int64_t EpochDay = -25569;
constexpr std::int64_t MsPerDay = 86400000;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Before the epoch the day counts down while the time of day still counts up.
TDateTime Combine(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

bool ReadField(std::string_view text, size_t position, size_t length, int& value) {
    value = 0;
    for (char c : text.substr(position, length)) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<TDateTime>(DaysFromCivil(year, month, day) - EpochDay);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    result = (((hour * 60 + minute) * 60 + second) * 1000.0 + millisecond) / MillisecondsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw Exception("Invalid date");
    return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, time))
        throw Exception("Invalid time");
    return Combine(EncodeDate(year, month, day), time);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    std::int64_t day = static_cast<std::int64_t>(std::trunc(value));
    std::int64_t msOfDay = std::llround(std::fabs(value - static_cast<TDateTime>(day)) * MillisecondsPerDay);
    if (msOfDay >= MsPerDay) {
        msOfDay -= MsPerDay;
        day += value < 0 ? -1 : 1;
    }
    TDateTimeParts parts;
    CivilFromDays(day + EpochDay, parts);
    parts.Hour = static_cast<int>(msOfDay / 3600000);
    parts.Minute = static_cast<int>(msOfDay / 60000 % 60);
    parts.Second = static_cast<int>(msOfDay / 1000 % 60);
    parts.Millisecond = static_cast<int>(msOfDay % 1000);
    return parts;
}

TDateTime DateOf(TDateTime value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    TDateTime date = 0;
    TryEncodeDate(parts.Year, parts.Month, parts.Day, date);
    return date;
}

int HourOf(TDateTime value) {
    return DecodeDateTime(value).Hour;
}

TDateTime FromLocalTm(const std::tm& local, int millisecond) {
    TDateTime date = 0;
    TDateTime time = 0;
    // A leap second (tm_sec 60) is shown as the last second of its minute.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date) ||
        !TryEncodeTime(local.tm_hour, local.tm_min, second, millisecond, time))
        throw Exception("Invalid date");
    return Combine(date, time);
}

std::tm ToLocalTm(TDateTime value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    const std::int64_t days = DaysFromCivil(parts.Year, parts.Month, parts.Day);
    std::tm local{};
    local.tm_year = parts.Year - 1900;
    local.tm_mon = parts.Month - 1;
    local.tm_mday = parts.Day;
    local.tm_hour = parts.Hour;
    local.tm_min = parts.Minute;
    local.tm_sec = parts.Second;
    local.tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);
    local.tm_yday = static_cast<int>(days - DaysFromCivil(parts.Year, 1, 1));
    local.tm_isdst = -1; // wall-clock time carries no zone: let mktime decide
    return local;
}

TDateTime FromUnixTime(std::time_t seconds, int millisecond) {
    std::tm local{};
    localtime_r(&seconds, &local);
    return FromLocalTm(local, millisecond);
}

std::string FormatDBDateTime(TDateTime value, bool withTime) {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[32];
    if (withTime)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                      p.Second);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return text;
}

TDateTime ParseDBDateTime(std::string_view text) {
    if (text.size() != 19 && text.size() != 10)
        return 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    TDateTime date = 0;
    if (!ReadField(text, 0, 4, year) || !ReadField(text, 5, 2, month) || !ReadField(text, 8, 2, day) ||
        !TryEncodeDate(year, month, day, date))
        return 0;
    if (text.size() == 10)
        return date;
    TDateTime time = 0;
    if (!ReadField(text, 11, 2, hour) || !ReadField(text, 14, 2, minute) || !ReadField(text, 17, 2, second) ||
        !TryEncodeTime(hour, minute, second, 0, time))
        return 0;
    return Combine(date, time);
}
