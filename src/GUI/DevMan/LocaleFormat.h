#pragma once
#include "Core/DeviceList/RegionalFormat.h"

#include <QLocale>

// The region's way of writing lists, dates and times, for the device files: the short date and long time
// formats, the month and day names and the AM/PM texts of the locale. Qt names no list separator; as in the
// regional settings of most systems it is ";" where the decimal separator is a comma, "," elsewhere.
TRegionalFormat RegionalFormatOf(const QLocale& locale = QLocale::system());
