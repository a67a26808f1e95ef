#pragma once
// One sample as it travels from a source to every sink (the display, the recorder, the history).
//
// A live or demonstration sample carries the decoded record (its X and Y texts as received and
// its units) and, when the flow could be computed, the computed texts, angles and colour. A
// replayed sample carries what the log line holds: the speed, bearing and date-time texts.

#include "processing/FlowComputation.h"
#include "processing/RawRecord.h"

#include <QString>

#include <optional>

enum class SampleSource
{
    Serial,        // a record framed from the serial port
    Demonstration, // a record of the built-in demonstration
    Replay,        // a record line of a log file being replayed
};

struct Sample
{
    SampleSource source = SampleSource::Serial;

    // Live and demonstration samples: the record's X and Y fields as received, and its units.
    bool hasRecord = false;
    QString rawX;
    QString rawY;
    SpeedUnitsKind units = SpeedUnitsKind::MillimetresPerSecond;

    // The units in force for this sample: the readout caption ("m/s", "Kts", "mm/s") and the log
    // file's units word ("m/s", "Knots", "mm/s"; empty for replayed samples).
    QString readoutCaption;
    QString speedUnits;

    // False when the flow could not be computed (a field that is not a number): error then holds
    // the conversion message and nothing below is set. A live sample that fails still shows its
    // raw row.
    bool computed = false;
    QString error;

    QString speedText;   // as displayed and logged: "0.515", "05.15", "0515", "10.296"
    QString bearingText; // "000".."359"
    double bearing = 0;  // degrees for the bearing needle (whole degrees on replay)
    BearingColour colour = BearingColour::Unchanged;
    std::optional<double> speedNeedleAngle; // none: the speed needle stays where it is

    // Time stamp: the local arrival time as clock text for live samples (what the log file
    // records), the record's own date-time text for replayed ones.
    QString timeText;

    // The texts of the data tables, which begin with four blanks.
    static QString cellText(const QString& text) { return QStringLiteral("    ") + text; }
};
