#include "base/ClockText.h"

#include "base/Calendar.h"

#include <QDateTime>

QString clockText(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime time = t.time();
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(d.day()) + QLatin1Char('/') + two(d.month()) + QLatin1Char('/') +
           QString::number(d.year()) + QLatin1Char(' ') + two(time.hour()) + QLatin1Char(':') +
           two(time.minute()) + QLatin1Char(':') + two(time.second());
}

QString isoUtcText(qint64 ms)
{
    // By hand (see Calendar.h): a data file or an export writes one per row, millions of them.
    const qint64 days = daysOfMs(ms);
    qint64 rest = ms - days * 86400000;
    const CivilDate date = civilFromDays(days);
    const qint64 year = date.year;
    const int month = date.month;
    const int day = date.day;
    if (year < 0 || year > 9999)
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
    char text[25];
    const auto put = [&text](int at, qint64 value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, year, 4);
    text[4] = '-';
    put(5, month, 2);
    text[7] = '-';
    put(8, day, 2);
    text[10] = 'T';
    put(11, rest / 3600000, 2);
    text[13] = ':';
    rest %= 3600000;
    put(14, rest / 60000, 2);
    text[16] = ':';
    rest %= 60000;
    put(17, rest / 1000, 2);
    text[19] = '.';
    put(20, rest % 1000, 3);
    text[23] = 'Z';
    return QString::fromLatin1(text, 24);
}
