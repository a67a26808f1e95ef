#include "processing/HistorySummary.h"

#include "base/NumberText.h"

#include <QDateTime>
#include <QStringList>

#include <cmath>

namespace {

const QString kNone = QStringLiteral("-");

} // namespace

HistorySummary HistorySummary::of(const HistorySeries& series, qint64 first, qint64 last)
{
    HistorySummary s;
    s.m_units = series.units();
    s.m_timeBase = series.timeBase();
    s.m_totals = series.totals(first, last);
    return s;
}

HistorySummary HistorySummary::of(const HistorySeries& series)
{
    return of(series, 0, series.recordCount() - 1);
}

double HistorySummary::meanSpeed() const
{
    return m_totals.samples > 0 ? m_totals.sumSpeed / double(m_totals.samples) : 0.0;
}

std::optional<int> HistorySummary::vectorMeanBearing() const
{
    if (m_totals.samples == 0)
        return std::nullopt;
    const double n = double(m_totals.samples);
    const double x = m_totals.sumX / n;
    const double y = m_totals.sumY / n;
    // Opposite flows of equal speed leave only rounding dust: no direction then.
    if (std::hypot(x, y) <= 1e-9 * std::max(meanSpeed(), 1e-300))
        return std::nullopt;
    double degrees = std::atan2(x, y) * 180.0 / M_PI;
    if (degrees < 0)
        degrees += 360.0;
    // Whole degrees as the readout shows them: 360 is north, "000".
    const int whole = formatNumber(degrees, QStringLiteral("000")).toInt();
    return whole % 360;
}

QString HistorySummary::countText(qint64 count)
{
    const QString digits = QString::number(count < 0 ? -count : count);
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits[i];
    }
    return count < 0 ? QLatin1Char('-') + out : out;
}

QString HistorySummary::durationText(qint64 seconds)
{
    // A clock set back during the recording gives a last sample earlier than the first.
    const QString sign = seconds < 0 ? QStringLiteral("-") : QString();
    const qint64 s = seconds < 0 ? -seconds : seconds;
    const qint64 hours = s / 3600;
    const qint64 minutes = s / 60 % 60;
    QStringList parts;
    if (hours > 0)
        parts << QStringLiteral("%1 h").arg(hours);
    if (hours > 0 || minutes > 0)
        parts << QStringLiteral("%1 min").arg(minutes);
    parts << QStringLiteral("%1 s").arg(s % 60);
    return sign + parts.join(QLatin1Char(' '));
}

QString HistorySummary::timeText(qint64 timeMs, TimeBase base)
{
    // On the clock the recording was read on, so the texts are those the file holds.
    return timeTextOf(timeMs, base);
}

QString HistorySummary::toText() const
{
    const UnitsInfo& info = unitsInfo(m_units);
    const auto speed = [&info](double v) {
        return formatNumber(v, info.speedFormat) + QLatin1Char(' ') + info.speedUnits;
    };
    const bool any = m_totals.samples > 0;
    const std::optional<int> bearing = vectorMeanBearing();
    QStringList lines;
    lines << QStringLiteral("Samples: ") + countText(m_totals.samples);
    lines << QStringLiteral("First: ") + (any ? timeText(m_totals.firstTimeMs, m_timeBase) : kNone);
    lines << QStringLiteral("Last: ") + (any ? timeText(m_totals.lastTimeMs, m_timeBase) : kNone);
    lines << QStringLiteral("Duration: ") + (any ? durationText(durationSeconds()) : kNone);
    lines << QStringLiteral("Mean speed: ") + (any ? speed(meanSpeed()) : kNone);
    lines << QStringLiteral("Maximum speed: ") +
                 (any ? speed(m_totals.maxSpeed) + QStringLiteral(" at ") +
                            timeText(m_totals.maxTimeMs, m_timeBase)
                      : kNone);
    lines << QStringLiteral("Vector-mean bearing: ") +
                 (bearing ? formatNumber(*bearing, QStringLiteral("000")) : kNone);
    lines << QStringLiteral("Bad lines: ") + countText(badLines());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
