#include "base/ClockText.h"

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
    // By hand: a data file or an export writes one per row, millions of them, and the calendar
    // arithmetic is a few lines (days to a proleptic Gregorian date, as in Qt and C++20's
    // chrono).
    qint64 days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const int rest = int(ms - days * 86400000);
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
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
