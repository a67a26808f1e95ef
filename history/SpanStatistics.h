#pragma once
// The statistics a hydrographer reports for a span of samples: how many, from when to when, the
// gaps in the record, the mean, extreme and spread of the speed, and the residual flow (the mean
// of the flow vectors: what is left of a tide once its ebb and flood cancel).
//
// Bearings are taken in the convention each sample was recorded in: a run where the operator
// switched From to To half way still gives the right residual flow. The residual bearing is given
// in the convention all samples share, or as the direction the flow goes to when they are mixed
// (SpanStatistics::residualBearingTo says which).
//
// Times are milliseconds since 1970-01-01 00:00:00 UTC; speeds are in m/s.

#include "history/TimeAxis.h"
#include "sensor/RawRecord.h"

#include <QString>
#include <QTimeZone>
#include <QtGlobal>

#include <map>
#include <optional>
#include <vector>

struct SpanSample
{
    qint64 timeMs = 0;
    double speedMs = 0;
    double bearing = 0;     // degrees clockwise from the front of the sensor (or north)
    bool bearingTo = false; // the bearing is where the flow goes to (else where it comes from)
};

// The gap rule (isGap in TimeAxis.h) and the median's definition are the history plot's; the
// statistics take the typical interval of the span itself, exactly, where the plot estimates it
// over the whole series, so on a span whose rate changed the two can differ.
// The median of the intervals between consecutive times (times that go backwards, as after a
// clock set back, give no interval); 0 for fewer than two times.
qint64 typicalIntervalMs(const std::vector<qint64>& timesMs);

struct SpanStatistics
{
    qint64 samples = 0;
    qint64 firstTimeMs = 0;
    qint64 lastTimeMs = 0;
    qint64 durationMs() const { return lastTimeMs - firstTimeMs; }

    qint64 typicalIntervalMs = 0;
    qint64 gaps = 0;
    qint64 longestGapMs = 0;      // 0 without gaps
    qint64 longestGapStartMs = 0; // time of the sample before the longest gap

    double meanSpeed = 0;
    double minSpeed = 0;
    qint64 minTimeMs = 0; // the first of equals
    double maxSpeed = 0;
    qint64 maxTimeMs = 0;   // the first of equals
    double speedStdDev = 0; // population standard deviation

    double residualSpeed = 0;
    // Whole degrees 0..359; none without samples or when the flows cancel out.
    std::optional<int> residualBearing;
    bool residualBearingTo = true;
    qint64 fromSamples = 0; // samples recorded as "from" bearings
    qint64 toSamples = 0;   // and as "to" bearings

    qint64 badLines = 0;
};

// Gathers the statistics one sample at a time, in time order, so that a file of millions of
// samples is never held in memory (the intervals are kept as counts of each distinct interval).
class SpanStatisticsBuilder
{
public:
    void add(const SpanSample& sample);
    SpanStatistics result(qint64 badLines) const;

private:
    qint64 m_samples = 0;
    qint64 m_firstTimeMs = 0;
    qint64 m_lastTimeMs = 0;
    double m_mean = 0; // running mean and sum of squared deviations (Welford)
    double m_m2 = 0;
    double m_minSpeed = 0;
    qint64 m_minTimeMs = 0;
    double m_maxSpeed = 0;
    qint64 m_maxTimeMs = 0;
    double m_sumEast = 0; // of the flow vectors, towards
    double m_sumNorth = 0;
    qint64 m_fromSamples = 0;
    qint64 m_toSamples = 0;
    qint64 m_longestIntervalMs = -1;
    qint64 m_longestIntervalStartMs = 0;
    std::map<qint64, qint64> m_intervalCounts; // but the run below
    qint64 m_runInterval = -1;                 // the last interval, and how many times in a row
    qint64 m_runLength = 0;
};

SpanStatistics spanStatistics(const std::vector<SpanSample>& samples, qint64 badLines);

// Texts of the summary's figures: 56789 -> "56,789"; 11525 s -> "3 h 12 min 5 s" (a clock set
// back during a recording gives a negative duration: "-1 min 5 s").
QString countText(qint64 count);
QString durationText(qint64 seconds);

// The statistics as lines of text for the operator to read and copy, in the style of the
// history's summary, speeds in units, dates as dd/MM/yyyy hh:mm:ss in zone:
//   Samples: 7,200
//   First: 24/05/2009 14:03:07
//   Last: 24/05/2009 16:03:06
//   Duration: 1 h 59 min 59 s
//   Times: UTC
//   Gaps: 1, longest 1 h 0 min 0 s after 24/05/2009 15:00:00
//   Mean speed: 0.512 m/s
//   Minimum speed: 0.010 m/s at 24/05/2009 14:30:00
//   Maximum speed: 1.050 m/s at 24/05/2009 15:01:22
//   Standard deviation of speed: 0.201 m/s
//   Residual speed: 0.005 m/s
//   Residual bearing: 046 (flow to)
//   Bad lines: 3
// A figure that does not exist (no samples) reads "-".
QString spanSummaryText(const SpanStatistics& stats,
                        SpeedUnitsKind units = SpeedUnitsKind::MetresPerSecond,
                        const QTimeZone& zone = QTimeZone::utc());

class HistorySeries;

// The statistics of records first..last of a history series, gathered a slice at a time (those of
// a file of 30 million samples take most of a second), so that a window can go on answering
// between slices. Records are only ever added at the end of a series, so a span that kept its
// start and grew at its end goes on from what was already gathered (a live session's next batch
// adds only its own samples). Each bearing is taken in the convention it was recorded in.
class HistorySpanStatistics
{
public:
    HistorySpanStatistics(const HistorySeries* series, qint64 first, qint64 last);

    // True when first..last of series continues this span at its end (or is this span).
    bool continuesTo(const HistorySeries* series, qint64 first, qint64 last) const;
    void growTo(qint64 last);

    // Gathers up to maxRecords more records; true once the span is complete.
    bool advance(qint64 maxRecords);
    bool complete() const { return m_next > m_last; }
    const HistorySeries* series() const { return m_series; }
    qint64 first() const { return m_first; }
    qint64 last() const { return m_last; }

    // The summary text (spanSummaryText) of what has been gathered, in the series' units and on
    // its clock; bad lines counted by the series' totals, units lines (markers) neither.
    QString text() const;

private:
    const HistorySeries* m_series;
    qint64 m_first;
    qint64 m_last;
    qint64 m_next;
    SpanStatisticsBuilder m_builder;
};

// The summary text of records first..last of series (clamped to it), made at once.
QString historySpanSummary(const HistorySeries& series, qint64 first, qint64 last);
