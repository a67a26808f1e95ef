#pragma once
// NMEA 0183 sentences for the current: VDR (set and drift), talker "II" (integrated
// instrumentation), as chart plotters and marine data servers take them.

#include "sensor/Sample.h"

#include <QByteArray>

#include <optional>

// The checksum of a sentence: the exclusive or of every character between '$' and '*', as two
// upper-case hexadecimal digits.
QByteArray nmeaChecksum(QByteArrayView body);

// "$<body>*hh\r\n".
QByteArray nmeaSentence(QByteArrayView body);

// The direction the flow goes to, in degrees 0 <= set < 360, from the sample's bearing in its
// convention (a from-bearing is turned round).
double flowSetDegrees(const Sample& sample);

// "$IIVDR,<set>,T,,M,<drift>,N*hh\r\n": set true to one decimal (no magnetic set: the sensor
// knows no variation), drift in knots to two decimals. Nothing for a sample whose flow was not
// computed, nor for one without a heading: its set is relative to the front of the sensor, and
// the sentence has room only for a true or a magnetic set.
std::optional<QByteArray> vdrSentence(const Sample& sample);
