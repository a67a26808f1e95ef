#include "history/SpanStatistics.h"

#include "base/ClockText.h"
#include "base/NumberText.h"
#include "history/HistorySeries.h"
#include "sensor/FlowComputation.h"

#include <QDateTime>
#include <QStringList>
#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

const QString kNone = QStringLiteral("-");

qint64 medianOfCounts(const std::map<qint64, qint64>& counts)
{
    qint64 total = 0;
    for (const auto& entry : counts)
        total += entry.second;
    if (total == 0)
        return 0;
    // The lower median: an interval that occurred, never a value between two.
    const qint64 wanted = (total - 1) / 2;
    qint64 seen = 0;
    for (const auto& [interval, count] : counts) {
        seen += count;
        if (seen > wanted)
            return interval;
    }
    return counts.rbegin()->first;
}

} // namespace

QString countText(qint64 count)
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

QString durationText(qint64 seconds)
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

qint64 typicalIntervalMs(const std::vector<qint64>& timesMs)
{
    std::map<qint64, qint64> counts;
    for (size_t i = 1; i < timesMs.size(); ++i) {
        if (timesMs[i] >= timesMs[i - 1])
            ++counts[timesMs[i] - timesMs[i - 1]];
    }
    return medianOfCounts(counts);
}

namespace {

// The east and north parts of a unit vector pointing towards a bearing in degrees. A log holds
// whole degrees, and a summary of a long file takes tens of millions of them: those come from a
// table made with the very same sin and cos, so the sums are those the functions give.
std::pair<double, double> unitVectorTowards(double degrees)
{
    static constexpr int kWholeDegrees = 540; // 0..359, and 180 added to a "from" bearing
    struct Table
    {
        std::array<double, kWholeDegrees> east;
        std::array<double, kWholeDegrees> north;
        Table()
        {
            for (int d = 0; d < kWholeDegrees; ++d) {
                const double radians = qDegreesToRadians(double(d));
                east[size_t(d)] = std::sin(radians);
                north[size_t(d)] = std::cos(radians);
            }
        }
    };
    static const Table table;
    if (degrees >= 0 && degrees < kWholeDegrees) {
        const int whole = int(degrees);
        if (double(whole) == degrees)
            return {table.east[size_t(whole)], table.north[size_t(whole)]};
    }
    const double radians = qDegreesToRadians(degrees);
    return {std::sin(radians), std::cos(radians)};
}

} // namespace

void SpanStatisticsBuilder::add(const SpanSample& sample)
{
    const double speed = sample.speedMs;
    if (m_samples == 0) {
        m_firstTimeMs = sample.timeMs;
        m_minSpeed = m_maxSpeed = speed;
        m_minTimeMs = m_maxTimeMs = sample.timeMs;
    } else {
        const qint64 interval = sample.timeMs - m_lastTimeMs;
        if (interval >= 0) {
            // A recording keeps one interval for long runs: each run is counted in one go.
            if (interval != m_runInterval) {
                if (m_runLength > 0)
                    m_intervalCounts[m_runInterval] += m_runLength;
                m_runInterval = interval;
                m_runLength = 0;
            }
            ++m_runLength;
            if (interval > m_longestIntervalMs) {
                m_longestIntervalMs = interval;
                m_longestIntervalStartMs = m_lastTimeMs;
            }
        }
        if (speed < m_minSpeed) {
            m_minSpeed = speed;
            m_minTimeMs = sample.timeMs;
        }
        if (speed > m_maxSpeed) {
            m_maxSpeed = speed;
            m_maxTimeMs = sample.timeMs;
        }
    }
    m_lastTimeMs = sample.timeMs;
    ++m_samples;

    const double delta = speed - m_mean;
    m_mean += delta / double(m_samples);
    m_m2 += delta * (speed - m_mean);

    // Every flow vector as the direction it goes to: a "from" bearing points the other way.
    const double towards = sample.bearingTo ? sample.bearing : sample.bearing + 180.0;
    const auto [east, north] = unitVectorTowards(towards);
    m_sumEast += speed * east;
    m_sumNorth += speed * north;
    ++(sample.bearingTo ? m_toSamples : m_fromSamples);
}

SpanStatistics SpanStatisticsBuilder::result(qint64 badLines) const
{
    SpanStatistics s;
    s.badLines = badLines;
    s.samples = m_samples;
    s.fromSamples = m_fromSamples;
    s.toSamples = m_toSamples;
    s.residualBearingTo = m_fromSamples == 0 || m_toSamples > 0;
    if (m_samples == 0)
        return s;

    s.firstTimeMs = m_firstTimeMs;
    s.lastTimeMs = m_lastTimeMs;
    std::map<qint64, qint64> intervalCounts = m_intervalCounts;
    if (m_runLength > 0)
        intervalCounts[m_runInterval] += m_runLength;
    s.typicalIntervalMs = medianOfCounts(intervalCounts);
    for (auto it = intervalCounts.rbegin();
         it != intervalCounts.rend() && isGap(it->first, s.typicalIntervalMs); ++it)
        s.gaps += it->second;
    if (s.gaps > 0) {
        s.longestGapMs = m_longestIntervalMs;
        s.longestGapStartMs = m_longestIntervalStartMs;
    }

    s.meanSpeed = m_mean;
    s.minSpeed = m_minSpeed;
    s.minTimeMs = m_minTimeMs;
    s.maxSpeed = m_maxSpeed;
    s.maxTimeMs = m_maxTimeMs;
    s.speedStdDev = std::sqrt(std::max(0.0, m_m2 / double(m_samples)));

    const double n = double(m_samples);
    const double east = m_sumEast / n;
    const double north = m_sumNorth / n;
    s.residualSpeed = std::hypot(east, north);
    // Opposite flows of equal speed leave only rounding dust: no direction then.
    if (s.residualSpeed > 1e-9 * std::max(s.meanSpeed, 1e-300)) {
        double degrees = qRadiansToDegrees(std::atan2(east, north));
        if (!s.residualBearingTo)
            degrees += 180.0;
        degrees = std::fmod(degrees + 720.0, 360.0);
        s.residualBearing = wholeDegrees(degrees);
    } else {
        s.residualSpeed = 0;
    }
    return s;
}

SpanStatistics spanStatistics(const std::vector<SpanSample>& samples, qint64 badLines)
{
    SpanStatisticsBuilder builder;
    for (const SpanSample& sample : samples)
        builder.add(sample);
    return builder.result(badLines);
}

QString spanSummaryText(const SpanStatistics& stats, SpeedUnitsKind units, const QTimeZone& zone)
{
    const UnitsInfo& info = unitsInfo(units);
    const auto speed = [&](double ms) {
        return formatNumber(speedInUnits(ms, SpeedUnitsKind::MetresPerSecond, units),
                            info.speedFormat) +
               QLatin1Char(' ') + info.speedUnits;
    };
    const auto time = [&zone](qint64 ms) {
        return clockText(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toTimeZone(zone));
    };
    // Durations to the nearest second, as the times are shown.
    const auto duration = [](qint64 ms) {
        return durationText(ms < 0 ? -((-ms + 500) / 1000) : (ms + 500) / 1000);
    };
    const bool any = stats.samples > 0;

    QStringList lines;
    lines << QStringLiteral("Samples: ") + countText(stats.samples);
    lines << QStringLiteral("First: ") + (any ? time(stats.firstTimeMs) : kNone);
    lines << QStringLiteral("Last: ") + (any ? time(stats.lastTimeMs) : kNone);
    lines << QStringLiteral("Duration: ") + (any ? duration(stats.durationMs()) : kNone);
    lines << QStringLiteral("Times: ") + (zone == QTimeZone::utc()
                                              ? QStringLiteral("UTC")
                                              : QString::fromLatin1(zone.id()));
    QString gaps = any ? countText(stats.gaps) : kNone;
    if (stats.gaps > 0) {
        gaps += QStringLiteral(", longest ") + duration(stats.longestGapMs) +
                QStringLiteral(" after ") + time(stats.longestGapStartMs);
    }
    lines << QStringLiteral("Gaps: ") + gaps;
    lines << QStringLiteral("Mean speed: ") + (any ? speed(stats.meanSpeed) : kNone);
    lines << QStringLiteral("Minimum speed: ") +
                 (any ? speed(stats.minSpeed) + QStringLiteral(" at ") + time(stats.minTimeMs)
                      : kNone);
    lines << QStringLiteral("Maximum speed: ") +
                 (any ? speed(stats.maxSpeed) + QStringLiteral(" at ") + time(stats.maxTimeMs)
                      : kNone);
    lines << QStringLiteral("Standard deviation of speed: ") +
                 (any ? speed(stats.speedStdDev) : kNone);
    lines << QStringLiteral("Residual speed: ") + (any ? speed(stats.residualSpeed) : kNone);
    lines << QStringLiteral("Residual bearing: ") +
                 (stats.residualBearing
                      ? formatNumber(*stats.residualBearing, QStringLiteral("000")) +
                            (stats.residualBearingTo ? QStringLiteral(" (flow to)")
                                                     : QStringLiteral(" (flow from)"))
                      : kNone);
    lines << QStringLiteral("Bad lines: ") + countText(stats.badLines);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

HistorySpanStatistics::HistorySpanStatistics(const HistorySeries* series, qint64 first, qint64 last)
    : m_series(series), m_first(first), m_last(last), m_next(first)
{
}

bool HistorySpanStatistics::continuesTo(const HistorySeries* series, qint64 first,
                                        qint64 last) const
{
    return series == m_series && first == m_first && last >= m_last &&
           std::min(m_next, m_last + 1) <= series->recordCount();
}

void HistorySpanStatistics::growTo(qint64 last)
{
    m_last = std::max(m_last, last);
}

bool HistorySpanStatistics::advance(qint64 maxRecords)
{
    const qint64 end = std::min(m_last + 1, m_next + maxRecords);
    const double toMs = metresPerSecondPerUnit(m_series->units());
    for (qint64 record = m_next; record < end; ++record) {
        if (!m_series->isSample(record))
            continue;
        const HistorySample s = m_series->sampleAt(record);
        m_builder.add({s.timeMs, s.speed * toMs, double(s.bearing), s.bearingTo});
    }
    m_next = std::max(m_next, end);
    return complete();
}

QString HistorySpanStatistics::text() const
{
    const qint64 bad = m_series->totals(m_first, m_last).badRecords();
    return spanSummaryText(m_builder.result(bad), m_series->units(), m_series->timeBase().zone());
}

QString historySpanSummary(const HistorySeries& series, qint64 first, qint64 last)
{
    HistorySpanStatistics statistics(&series, std::max<qint64>(first, 0),
                                     std::min<qint64>(last, series.recordCount() - 1));
    statistics.advance(series.recordCount());
    return statistics.text();
}
