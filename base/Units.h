#pragma once
// The speed units of the instrument's records, and everything made of them: the number format of
// a speed, the log file's units word, the readout's caption, the tables' units cell, the speed
// dial's face and scale, and the size of one unit in metres per second. All of it lives in one
// table here, keyed by the units: a caption or a word is made from the units where it is shown or
// written, and never read back to find out which units are meant. A units word read from a file
// is turned into units once, where the file is read.

#include <QString>
#include <QStringView>

#include <optional>

enum class SpeedUnitsKind
{
    MetresPerSecond,      // first point at position 3:  +0.015
    Knots,                // first point at position 4:  +00.15
    MillimetresPerSecond, // no point, or at position 2, 5 or 6: +00015
};

// The three units, in the order of the enum (the order the data file's netCDF flags use).
inline constexpr SpeedUnitsKind kAllSpeedUnits[] = {
    SpeedUnitsKind::MetresPerSecond, SpeedUnitsKind::Knots, SpeedUnitsKind::MillimetresPerSecond};

// Everything that depends on the units of a record.
struct UnitsInfo
{
    QString speedFormat;    // "0.000", "00.00" or "0000"
    QString speedUnits;     // "m/s", "Knots" or "mm/s": the log file's units word
    QString readoutCaption; // "m/s", "Kts" or "mm/s": caption of the readout units label
    QString unitsCellText;  // "     m/s", "    Knots" or "     mm/s"
    bool knotsFace;         // the speed dial shows the knots face (else the metric face)
    bool x1000Mark;         // the metric face carries the "x1000" mark
    double metresPerSecond; // one unit in m/s
    // The speed dial's scale: needleDegrees of arc per needlePer units (20 per knot, 40 per m/s,
    // 40 per 1000 mm/s), so that 15 knots, 7.5 m/s and 7500 mm/s are full scale, 300 degrees from
    // zero. Kept as a pair so the angle is worked out exactly as the dial's scale is stated.
    double needleDegrees;
    double needlePer;
};
const UnitsInfo& unitsInfo(SpeedUnitsKind units);

// Metres per second in one unit.
inline double metresPerSecondPerUnit(SpeedUnitsKind units)
{
    return unitsInfo(units).metresPerSecond;
}

// The units a units word names exactly ("m/s", "Knots", "mm/s"), none for any other text: the
// reading of a data file, which refuses a row of units it does not know.
std::optional<SpeedUnitsKind> speedUnitsOfWord(QStringView word);

// The units a log file's units word names as replay takes them: "Knots", "m/s", and anything
// else (an empty word included) mm/s.
SpeedUnitsKind speedUnitsOfUnitsWord(QStringView word);
