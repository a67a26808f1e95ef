#pragma once
// Sensor records: validation of the 13-character record shape and recognition of the speed units
// from the position of the first point in the X field.
//
//   positions 1-6   X field: sign "+"/"-", then five characters each a digit or "."
//   position  7     separator, not examined (the sensor sends a blank)
//   positions 8-13  Y field: sign, then five digits or points
//   14 onward       ignored (line ends, a following record)

#include <QString>

#include <optional>

enum class SpeedUnitsKind
{
    MetresPerSecond,      // first point at position 3:  +0.015
    Knots,                // first point at position 4:  +00.15
    MillimetresPerSecond, // no point, or at position 2, 5 or 6: +00015
};

// Everything on the display that depends on the units of a record.
struct UnitsInfo
{
    QString speedFormat;    // "0.000", "00.00" or "0000"
    QString speedUnits;     // "m/s", "Knots" or "mm/s": the log file's units word
    QString readoutCaption; // "m/s", "Kts" or "mm/s": caption of the readout units label
    QString unitsCellText;  // "     m/s", "    Knots" or "     mm/s"
    bool knotsFace;         // the speed dial shows the knots face (else the metric face)
    bool x1000Mark;         // the metric face carries the "x1000" mark
};
const UnitsInfo& unitsInfo(SpeedUnitsKind kind);

// The units a log file's units word names, as replay takes them: "Knots", "m/s", and anything
// else (an empty word included) mm/s.
SpeedUnitsKind speedUnitsOfUnitsWord(const QString& word);
// The units of a readout caption ("m/s", "Kts"; anything else mm/s).
SpeedUnitsKind speedUnitsOfCaption(const QString& caption);

struct RawRecord
{
    QString x; // positions 1-6, as received
    QString y; // positions 8-13, as received
    SpeedUnitsKind units;
};

// Validates the start of text in the documented order and returns the two fields and the units,
// or nothing for text that is not a record (too short, a wrong sign character, or a character
// other than a digit or a point at an examined position).
std::optional<RawRecord> parseRawRecord(const QString& text);

// Same check on raw bytes, for the framing of the serial stream: true when the 13 bytes starting
// at data[0] form a record. size is how many bytes are available from data.
bool isRawRecordAt(const char* data, qsizetype size);
