#pragma once
// The calendar: the proleptic Gregorian calendar's days counted from 01/01/1970, as the log's
// stamps and the data file's times need them. By hand rather than through QDate: a log of
// millions of lines or a data file of millions of rows turns a date into days, or days into a
// date, once per line, and the arithmetic is a few lines (as in Qt and C++20's chrono).

#include <QtGlobal>

struct CivilDate
{
    qint64 year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
};

inline bool isLeapYear(qint64 year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days in month (1..12) of year.
inline int daysInMonth(qint64 year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days from 01/01/1970 to the given date (negative before it).
inline qint64 daysFromCivil(qint64 year, int month, int day)
{
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const qint64 yoe = year - era * 400;
    const qint64 doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The date days after 01/01/1970 (before it when negative).
inline CivilDate civilFromDays(qint64 days)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = int(doy - (153 * mp + 2) / 5 + 1);
    date.month = int(mp < 10 ? mp + 3 : mp - 9);
    date.year = yoe + era * 400 + (date.month <= 2 ? 1 : 0);
    return date;
}

// The day (days since 01/01/1970) a time in milliseconds since 01/01/1970 00:00 falls on,
// rounded toward the past: a time before 1970 falls on a day before it.
inline qint64 daysOfMs(qint64 ms)
{
    return ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
}
