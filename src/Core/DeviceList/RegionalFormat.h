#pragma once
#include "Core/Common/DateTime.h"

#include <array>
#include <string>
#include <string_view>

// How the user's region writes lists, dates and times. The patterns use the letters of Qt's date-time
// formats: d dd ddd dddd (day, day name), M MM MMM MMMM (month, month name), yy yyyy, h hh (12-hour when
// the pattern has an AM/PM marker), H HH, m mm, s ss, z zzz (milliseconds), AP ap A a (AM/PM marker),
// text in single quotes ('' is one quote), any other character as it is. A time zone (t) writes nothing,
// together with the blanks that part it from the rest: the program's times are local wall-clock times.
struct TRegionalFormat {
    std::string ListSeparator = ",";
    std::string ShortDate = "yyyy-MM-dd";
    std::string LongTime = "HH:mm:ss";
    std::array<std::string, 12> MonthNames{"January", "February", "March",     "April",   "May",      "June",
                                           "July",    "August",   "September", "October", "November", "December"};
    std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Monday first.
    std::array<std::string, 7> DayNames{"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    std::array<std::string, 7> ShortDayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    std::string AmText = "AM";
    std::string PmText = "PM";
};

// The character between the hours and the minutes of LongTime; ':' when the pattern shows none.
char TimeSeparatorOf(const TRegionalFormat& format);

std::string FormatDateTimePattern(TDateTime value, std::string_view pattern, const TRegionalFormat& names);
// Reads text written in the pattern (names without regard to ASCII case, one- or two-digit numbers where
// the pattern has one letter, "yy" as 1950 to 2049). False when the text does not follow the pattern to its
// end or names no valid date and time; the parts the pattern lacks are those of 30 December 1899 00:00.
bool TryParseDateTimePattern(std::string_view text, std::string_view pattern, const TRegionalFormat& names,
                             TDateTime& result);

// The short date, then a blank and the long time unless hours, minutes and seconds are all zero.
std::string FormatRegionalDateTime(TDateTime value, const TRegionalFormat& format);
// The short date followed by a blank and the long time, or the short date alone.
bool TryParseRegionalDateTime(std::string_view text, const TRegionalFormat& format, TDateTime& result);
