#pragma once
// NMEA 0183 sentences for the current: VDR (set and drift), talker "II" (integrated
// instrumentation), as chart plotters and marine data servers take them.

#include "sensor/Sample.h"

#include <QByteArray>
#include <QString>

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

// The number an alarm goes by in ALR sentences: speed-above 1, speed-below 2, no-data 3,
// device-lost 4, free-space 5, clock 6; 0 for any other.
int nmeaAlarmNumber(const QString& alarm);

// "$IIALR,<hhmmss.ss>,<nnn>,<A|V>,<A|V>,<text>*hh\r\n": an alarm's state as chart plotters show
// it: the UTC time of the change, the alarm's number, A while the condition holds (V once it is
// over), V (not acknowledged) while it holds and A once it is over (nothing left to acknowledge),
// and its words, with the characters NMEA 0183 reserves (, * $ ! \ ^ ~ and controls) put as
// blanks and shortened so the sentence keeps to 82 characters.
QByteArray alrSentence(qint64 timeMs, const QString& alarm, bool raised, const QString& text);
