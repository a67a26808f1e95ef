#pragma once
// Time on a plot's x axis: the clock a recording's stamps are read on, where a run of samples
// has a gap, and the round times at which an axis is labelled.
//
// Times are milliseconds since 1970-01-01 00:00 UTC. A log file says in its units line which
// clock wrote its stamps ("24 Hour UTC", or "24 Hour Local" and its zone); texts made from a time
// use that clock again (TimeBase), so that the plot and the summary show what the file says.

#include "base/TimeBase.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

// "DD/MM/YYYY HH:MM:SS" of a time on the given clock.
QString timeTextOf(qint64 timeMs, const TimeBase& base);
// Milliseconds since the epoch of a wall-clock reading (seconds since 1970-01-01 00:00 counted
// as if the clock had no zone) taken on the given clock, for placing the round times of an axis (a
// reading that happens twice or never goes where Qt's calendar puts it: good enough for a label).
// A log's stamps are read by LocalTimeResolver's rule instead.
qint64 timeMsOfWallClock(qint64 wallSeconds, const TimeBase& base);
// The reverse: the wall-clock reading, in milliseconds, of a time on the given clock.
qint64 wallClockMsOf(qint64 timeMs, const TimeBase& base);

// A gap in a run of samples: no sample for more than five typical intervals and at least two
// seconds. typicalIntervalMs is the median interval of the run (a 5 Hz log stamped to the
// second has a median of 0, so its gaps start at 2 s).
constexpr qint64 kMinimumGapMs = 2000;
constexpr qint64 kGapIntervals = 5;
qint64 gapThresholdMs(qint64 typicalIntervalMs);
bool isGap(qint64 intervalMs, qint64 typicalIntervalMs);
// The median of some intervals (0 for none), the lower one of an even count: an interval that
// occurred, never a value between two, as the statistics take it. The vector is reordered.
qint64 medianIntervalMs(std::vector<qint64>* intervals);

struct TimeTick
{
    qint64 timeMs = 0;
    QString label; // "14:03:07", "14:03", "25/05/2009" or, where the date changes, with it
    // The label in two lines, for an axis that writes the date under the time: the time
    // ("14:03:07", "14:03", or the date for steps of a day and more), and the date where label
    // carries it (empty elsewhere).
    QString time;
    QString date;
};

// The ticks of an axis from startMs to endMs: at round times (1, 2, 5, 10, 15, 30 s; 1, 2, 5,
// 10, 15, 30 min; 1, 2, 3, 6, 12 h; 1, 2, 7 days ...) of the given clock, the smallest step at
// least minStepMs. Labels show seconds, minutes or dates as the step needs; the first label and
// every one on a new day carry the date as well, so no two labels are the same.
std::vector<TimeTick> timeTicks(qint64 startMs, qint64 endMs, qint64 minStepMs,
                                const TimeBase& base);
// The step timeTicks chooses for minStepMs.
qint64 timeTickStepMs(qint64 minStepMs);
// A label as wide as the time labels of a step: "00:00:00" below a minute, "00:00" below a day,
// "00/00/0000" from a day on.
QString timeTickLabelPattern(qint64 stepMs);
// The step for an axis of axisPixels showing spanMs: the smallest round step at which ticks stand
// at least labelPixels(step) apart, so every time label of that step fits beside the next.
qint64 timeTickStepForAxis(qint64 spanMs, int axisPixels,
                           const std::function<int(qint64 stepMs)>& labelPixels);
