#pragma once
// One sample as the JSON object published to the broker, for dashboards and time-series stores:
//
//   {"time":"2024-05-24T14:03:07.123Z","speedMs":0.515,"bearing":123.4,"bearingConvention":"to",
//    "heading":12.5,"x":0.515,"y":-0.2,"rawX":"+0.515","rawY":"-0.200","units":"m/s",
//    "speedText":"0.515","bearingText":"123","source":"serial"}
//
// time is UTC with milliseconds; speedMs in metres per second; bearing in degrees in the stated
// convention ("from": where the flow comes from, "to": where it goes), the heading offset added;
// heading in degrees true, absent when none is set (the bearing is then relative to the front of
// the sensor, not to north); x and y in the record's units as received, with their texts; units
// "m/s", "Knots" or "mm/s"; speedText and bearingText exactly as logged. A sample without a record
// has no x, y, rawX, rawY.

#include "base/ClockText.h"
#include "sensor/Sample.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The compact JSON text of a computed sample; nothing for one whose flow was not computed.
std::optional<QByteArray> mqttPayload(const Sample& sample);

// A mark of the operator's, published on "<topic>/mark": {"time":"2024-05-24T14:03:07.912Z",
// "note":"diver in the water"}, the note empty when none was given.
QByteArray markPayload(qint64 timeMs, const QString& note);
