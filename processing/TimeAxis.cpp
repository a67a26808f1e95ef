#include "history/TimeAxis.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

constexpr std::array<qint64, 24> kSteps = {
    1 * kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    1 * kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    1 * kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   1 * kDay,
    2 * kDay,    7 * kDay,    14 * kDay,   28 * kDay,    91 * kDay,    364 * kDay};

QDateTime dateTimeOf(qint64 timeMs, const TimeBase& base)
{
    return base.isLocal() ? QDateTime::fromMSecsSinceEpoch(timeMs, base.zone())
                          : QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC);
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

QString timeTextOf(qint64 timeMs, const TimeBase& base)
{
    return dateTimeOf(timeMs, base).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

qint64 wallClockMsOf(qint64 timeMs, const TimeBase& base)
{
    if (!base.isLocal())
        return timeMs;
    return timeMs + qint64(dateTimeOf(timeMs, base).offsetFromUtc()) * kSecond;
}

qint64 timeMsOfWallClock(qint64 wallSeconds, const TimeBase& base)
{
    if (!base.isLocal())
        return wallSeconds * kSecond;
    const QDateTime wall = QDateTime::fromSecsSinceEpoch(wallSeconds, Qt::UTC);
    return QDateTime(wall.date(), wall.time(), base.zone()).toMSecsSinceEpoch();
}

qint64 gapThresholdMs(qint64 typicalIntervalMs)
{
    return std::max(kGapIntervals * std::max<qint64>(typicalIntervalMs, 0), kMinimumGapMs);
}

bool isGap(qint64 intervalMs, qint64 typicalIntervalMs)
{
    return intervalMs > gapThresholdMs(typicalIntervalMs);
}

qint64 medianIntervalMs(std::vector<qint64>* intervals)
{
    if (intervals->empty())
        return 0;
    const auto middle = intervals->begin() + qsizetype((intervals->size() - 1) / 2);
    std::nth_element(intervals->begin(), middle, intervals->end());
    return *middle;
}

qint64 timeTickStepMs(qint64 minStepMs)
{
    for (qint64 step : kSteps) {
        if (step >= minStepMs)
            return step;
    }
    // Beyond a year: whole multiples of a 364-day step.
    const qint64 last = kSteps.back();
    return (minStepMs + last - 1) / last * last;
}

QString timeTickLabelPattern(qint64 stepMs)
{
    return stepMs < kMinute ? QStringLiteral("00:00:00")
           : stepMs < kDay  ? QStringLiteral("00:00")
                            : QStringLiteral("00/00/0000");
}

qint64 timeTickStepForAxis(qint64 spanMs, int axisPixels,
                           const std::function<int(qint64 stepMs)>& labelPixels)
{
    const double pixelsPerMs =
        double(std::max(axisPixels, 1)) / double(std::max<qint64>(spanMs, 1));
    // Each step is judged by its own labels: minutes need less room than dates, so an axis of a
    // day is labelled every few hours rather than at noon alone.
    for (qint64 step : kSteps) {
        if (double(step) * pixelsPerMs >= labelPixels(step))
            return step;
    }
    return timeTickStepMs(qint64(std::ceil(labelPixels(kSteps.back()) / pixelsPerMs)));
}

std::vector<TimeTick> timeTicks(qint64 startMs, qint64 endMs, qint64 minStepMs,
                                const TimeBase& base)
{
    std::vector<TimeTick> ticks;
    if (endMs < startMs)
        return ticks;
    const qint64 step = timeTickStepMs(std::max<qint64>(minStepMs, 1));
    // Round times are round on the wall clock of the recording: a tick every hour falls on the
    // hour of the time zone, and every day at midnight. Weeks and longer start on 01/01/1970's
    // weekday; good enough for a label grid.
    const qint64 wallStart = wallClockMsOf(startMs, base);
    qint64 wall = floorDiv(wallStart, step) * step;
    if (wall < wallStart)
        wall += step;
    const QString timeFormat =
        step < kMinute ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    QDate lastDate;
    // Bounded: at most a few thousand ticks even for a silly request.
    for (int guard = 0; guard < 10000; ++guard, wall += step) {
        // Each wall time is converted on its own: the zone's offset changes twice a year.
        const qint64 wallSeconds = floorDiv(wall, kSecond);
        const qint64 t = timeMsOfWallClock(wallSeconds, base) + (wall - wallSeconds * kSecond);
        if (t > endMs)
            break;
        if (t < startMs)
            continue;
        const QDateTime at = dateTimeOf(t, base);
        TimeTick tick;
        tick.timeMs = t;
        if (step >= kDay) {
            tick.time = at.toString(QStringLiteral("dd/MM/yyyy"));
        } else {
            tick.time = at.toString(timeFormat);
            if (at.date() != lastDate)
                tick.date = at.toString(QStringLiteral("dd/MM/yyyy"));
        }
        tick.label = tick.date.isEmpty() ? tick.time : tick.date + QLatin1Char(' ') + tick.time;
        lastDate = at.date();
        if (!ticks.empty() && ticks.back().timeMs == t)
            continue; // a wall time repeated when the clocks went back
        ticks.push_back(tick);
    }
    return ticks;
}
