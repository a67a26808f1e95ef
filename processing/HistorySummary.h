#pragma once
// The summary of a recording, or of a span of it, for the operator to read and copy: how many
// samples, from when to when, the mean and the highest speed, and the mean direction of the flow.
//
// The mean direction is the bearing of the mean flow vector (the mean of the X and Y components,
// speed * sin and speed * cos of each bearing), clockwise from the front of the sensor: a flow
// that swings between 350 and 010 has a mean direction of 000, where the mean of the angles would
// say 180. Speeds are in the units of the history (a log file's units line).

#include "processing/HistorySeries.h"

#include <QString>

#include <optional>

class HistorySummary
{
public:
    // The records first..last of series (clamped to it); the whole series without them.
    static HistorySummary of(const HistorySeries& series, qint64 first, qint64 last);
    static HistorySummary of(const HistorySeries& series);

    const HistoryTotals& totals() const { return m_totals; }
    SpeedUnitsKind units() const { return m_units; }

    qint64 samples() const { return m_totals.samples; }
    qint64 badLines() const { return m_totals.badRecords(); }
    // Seconds from the first to the last sample, on the recording's clock.
    qint64 durationSeconds() const { return (m_totals.lastTimeMs - m_totals.firstTimeMs) / 1000; }
    double meanSpeed() const;
    // Whole degrees 0..359; nothing without samples or when the flow vectors cancel out.
    std::optional<int> vectorMeanBearing() const;

    // Plain text, one figure per line:
    //   Samples: 56,789
    //   First: 24/05/2009 14:03:07
    //   Last: 24/05/2009 17:15:12
    //   Duration: 3 h 12 min 5 s
    //   Mean speed: 0.512 m/s
    //   Maximum speed: 1.050 m/s at 24/05/2009 15:01:22
    //   Vector-mean bearing: 088
    //   Bad lines: 3
    // A figure that does not exist (no samples) reads "-".
    QString toText() const;

    // Texts used by toText, for a window that lays the figures out itself.
    static QString countText(qint64 count);      // 56789 -> "56,789"
    static QString durationText(qint64 seconds); // 11525 -> "3 h 12 min 5 s"
    // A time on the recording's clock -> "24/05/2009 14:03:07".
    static QString timeText(qint64 timeMs, TimeBase base);

private:
    HistoryTotals m_totals;
    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    TimeBase m_timeBase = TimeBase::Utc;
};
