#pragma once
// Flow speed and bearing from one X/Y pair, and the rules that colour and scale what is shown.

#include "sensor/RawRecord.h"

#include <QString>

#include <optional>

enum class BearingColour
{
    Unchanged, // no rule applies: the readout keeps its colour
    Green,     // strictly between 0 and 180
    Red,       // strictly between 180 and 360
    Black,     // the text reads "000" or "180"
};

struct FlowSample
{
    double x;            // X as received, in the record's units (the face is not applied)
    double y;            // Y as received
    double speed;        // unrounded speed in the record's units
    double shownSpeed;   // the speed as the text shows it, rounded to the units' pattern
    QString speedText;   // speed formatted by the units' pattern, e.g. "0515"
    QString bearingText; // "000".."359" ("360" is shown as "000")
    double bearing;      // unrounded bearing in degrees, 0 <= bearing < 360, after the from/to
                         // reversal and offset
    BearingColour colour;
};

// Computes one sample from the X and Y texts as they stand in the raw grid (four leading blanks
// included). faceUp negates X; bearingTo (1) reverses the bearing to the direction the flow
// heads to; headingOffset (the sensor's heading, degrees true) is added last, modulo 360. Speed is
// the square root of x*x + y*y in extended precision, formatted with speedFormat. Throws
// MarvaneError with the conversion message when a text is not a number.
FlowSample computeFlowSample(const QString& xText, const QString& yText, bool faceUp, int bearingTo,
                             const QString& speedFormat, double headingOffset = 0);

// A bearing in degrees brought within 0 <= bearing < 360: whole turns taken off, and 360 itself
// (180 reversed, or a sliver below 0 turned round) is 0, as its text "000" says. Every bearing a
// sample carries is within this range, so the numbers sent out agree with the bearing text.
double bearingWithinCircle(double degrees);

// A bearing as whole degrees 0..359, as the readout shows it ("000" for 359.6), any number of
// turns taken off.
int wholeDegrees(double degrees);

// The bearing colour rule, tested in order, each rule that applies overriding the one before:
// green strictly between 0 and 180, red strictly between 180 and 360, then black when the text
// reads "000" or "180" (so 359.6, shown as "000", is black). Unchanged only outside 0..360.
BearingColour bearingColour(double bearing, const QString& bearingText);

// Speed needle angle for a displayed speed in the given units: knots s*20+210, m/s s*40+210,
// mm/s s*40/1000+210, held within the scale (210 to 510: a speed beyond full scale puts the
// needle at the end of the scale).
double speedNeedleAngle(double speed, SpeedUnitsKind units);

// Angle of the speed needle at zero speed.
inline constexpr double kSpeedNeedleRest = 210.0;
// Angle of the speed needle at full scale (15 knots, 7.5 m/s, 7500 mm/s), 300 degrees further.
inline constexpr double kSpeedNeedleFullScale = 510.0;
