#pragma once
// One sample as it travels from a source to every destination (the display, the log file, the
// data file, the history, the network outputs).
//
// A sample is a value: the numbers are computed once by the pipeline and the texts the log and
// the display need are formatted once beside them. Nobody parses a formatted number back.
//
// A live or demonstration sample carries the decoded record (its X and Y fields as received and
// its units) and, when the flow could be computed, the numbers and texts below. A replayed sample
// carries what its log line holds: the speed, bearing and date-time texts and the numbers read
// from them (no X and Y: the log does not keep them).

#include "sensor/FlowComputation.h"
#include "sensor/RawRecord.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

enum class SampleSource
{
    Live,          // a record from the sensor, whatever line carries it (the serial port today)
    Demonstration, // a record of the built-in demonstration
    Replay,        // a record line of a log file being replayed
};

struct Sample
{
    SampleSource source = SampleSource::Live;

    // The units of the record (live) or of the line's speed text (replay).
    SpeedUnitsKind units = SpeedUnitsKind::MillimetresPerSecond;

    // Live and demonstration samples: the record's X and Y fields as received ("+0.515"), and
    // their values in the record's units and in m/s, signs as received (the face is not applied).
    bool hasRecord = false;
    QString rawX;
    QString rawY;
    double x = 0;
    double y = 0;
    double xMs = 0;
    double yMs = 0;

    // False when the flow could not be computed (a field that is not a number): error then holds
    // the conversion message and nothing below is set. A live sample that fails still shows its
    // raw row.
    bool computed = false;
    QString error;

    double speed = 0;   // in the sample's units, unrounded (replay: as the text reads)
    double speedMs = 0; // in m/s
    double bearing = 0; // 0 <= degrees < 360, in the convention below, heading added
    bool bearingTo = false;     // the bearing is where the flow heads to (else where it comes from)
    bool faceUp = false;        // the sensor's face in force (live samples)
    double headingOffset = 0;   // degrees added to the computed bearing (live samples)
    BearingColour colour = BearingColour::Unchanged;
    std::optional<double> speedNeedleAngle; // none: the speed needle stays where it is

    QString speedText;   // as displayed and logged: "0.515", "05.15", "0515", "10.296"
    QString bearingText; // "000".."359"

    // Arrival time in milliseconds since 1970-01-01 UTC (live), or the line's date-time read in
    // the log's time base (replay; 0 when it is not a date-time).
    qint64 timeMs = 0;
    // The time as logged and shown: "24/05/2009 14:03:07" in the session's time base (live), the
    // line's own text (replay).
    QString timeText;

    // The texts of the data tables, which begin with four blanks.
    static QString cellText(const QString& text) { return QStringLiteral("    ") + text; }
};

// The samples of one poll (or one step of replay), in arrival order.
using SampleBatch = QList<Sample>;

// The last sample of a batch whose flow could be computed (what the readouts show); none when
// no record of the batch could be.
inline const Sample* lastComputed(const SampleBatch& batch)
{
    for (auto it = batch.crbegin(); it != batch.crend(); ++it) {
        if (it->computed)
            return &*it;
    }
    return nullptr;
}
