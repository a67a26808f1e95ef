#include "base/ClockText.h"

QString clockText(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime time = t.time();
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(d.day()) + QLatin1Char('/') + two(d.month()) + QLatin1Char('/') +
           QString::number(d.year()) + QLatin1Char(' ') + two(time.hour()) + QLatin1Char(':') +
           two(time.minute()) + QLatin1Char(':') + two(time.second());
}
