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

bool writeIsoUtcText(qint64 ms, char* text)
{
    // By hand (see Calendar.h): a data file or an export writes one per row, millions of them.
    const qint64 days = daysOfMs(ms);
    const int rest = int(ms - days * 86400000);
    const CivilDate date = civilFromDays(days);
    const qint64 year = date.year;
    const int month = date.month;
    const int day = date.day;
    if (year < 0 || year > 9999)
        return false;
    const auto two = [text](int at, int value) {
        text[at] = char('0' + value / 10);
        text[at + 1] = char('0' + value % 10);
    };
    two(0, int(year / 100));
    two(2, int(year % 100));
    text[4] = '-';
    two(5, month);
    text[7] = '-';
    two(8, day);
    text[10] = 'T';
    two(11, rest / 3600000);
    text[13] = ':';
    two(14, rest / 60000 % 60);
    text[16] = ':';
    two(17, rest / 1000 % 60);
    text[19] = '.';
    text[20] = char('0' + rest % 1000 / 100);
    two(21, rest % 100);
    text[23] = 'Z';
    return true;
}

void appendIsoUtcText(QByteArray* out, qint64 ms)
{
    char text[kIsoUtcTextLength];
    if (writeIsoUtcText(ms, text))
        out->append(text, kIsoUtcTextLength);
    else
        out->append(
            QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1());
}

QString isoUtcText(qint64 ms)
{
    QByteArray text;
    text.reserve(32);
    appendIsoUtcText(&text, ms);
    return QString::fromLatin1(text);
}
