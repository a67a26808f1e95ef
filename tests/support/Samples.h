#pragma once
// Samples as the live session's pipeline hands them over, for tests and benchmarks.

#include "sensor/Sample.h"

// A computed sample of an m/s record: speed in m/s, bearing in degrees in the convention given.
inline Sample flowSample(qint64 timeMs, double speedMs, double bearing, bool bearingTo = false,
                         SampleSource source = SampleSource::Live)
{
    Sample s;
    s.source = source;
    s.units = SpeedUnitsKind::MetresPerSecond;
    s.hasRecord = true;
    s.computed = true;
    s.speed = s.speedMs = speedMs;
    s.bearing = bearing;
    s.bearingTo = bearingTo;
    s.timeMs = timeMs;
    return s;
}

// The record "+0.300 -0.400" with everything the outputs send: 0.500 m/s, bearing 143
// (143.13) where the flow comes from. timeMs defaults to 2024-05-24 14:03:07.123 UTC.
inline Sample exampleSample(qint64 timeMs = 1716559387123)
{
    Sample s = flowSample(timeMs, 0.5, 143.13);
    s.rawX = QStringLiteral("+0.300");
    s.rawY = QStringLiteral("-0.400");
    s.x = s.xMs = 0.3;
    s.y = s.yMs = -0.4;
    s.speedText = QStringLiteral("0.500");
    s.bearingText = QStringLiteral("143");
    return s;
}
