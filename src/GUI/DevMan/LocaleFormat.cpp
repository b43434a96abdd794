#include "GUI/DevMan/LocaleFormat.h"

TRegionalFormat RegionalFormatOf(const QLocale& locale) {
    TRegionalFormat format;
    if (locale.decimalPoint() == QStringLiteral(","))
        format.ListSeparator.assign(1, ';');
    format.ShortDate = locale.dateFormat(QLocale::ShortFormat).toStdString();
    format.LongTime = locale.timeFormat(QLocale::LongFormat).toStdString();
    for (int month = 1; month <= 12; ++month) {
        format.MonthNames[static_cast<size_t>(month - 1)] = locale.monthName(month, QLocale::LongFormat).toStdString();
        format.ShortMonthNames[static_cast<size_t>(month - 1)] =
            locale.monthName(month, QLocale::ShortFormat).toStdString();
    }
    for (int day = Qt::Monday; day <= Qt::Sunday; ++day) {
        format.DayNames[static_cast<size_t>(day - 1)] = locale.dayName(day, QLocale::LongFormat).toStdString();
        format.ShortDayNames[static_cast<size_t>(day - 1)] = locale.dayName(day, QLocale::ShortFormat).toStdString();
    }
    format.AmText = locale.amText().toStdString();
    format.PmText = locale.pmText().toStdString();
    return format;
}
