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

void appendIsoUtcText(QByteArray* out, qint64 ms)
{
    // By hand: a data file or an export writes one per row, millions of them, and the calendar
    // arithmetic is a few lines (days to a proleptic Gregorian date, as in Qt and C++20's
    // chrono).
    qint64 days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    qint64 rest = ms - days * 86400000;
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) {
        out->append(
            QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1());
        return;
    }
    const qsizetype at = out->size();
    out->resize(at + 24);
    char* text = out->data() + at;
    const auto put = [text](int at, qint64 value, int width) {
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
}

QString isoUtcText(qint64 ms)
{
    QByteArray text;
    text.reserve(32);
    appendIsoUtcText(&text, ms);
    return QString::fromLatin1(text);
}
