#pragma once
// Sensor records: validation of the 13-character record shape and recognition of the speed units
// from the position of the first point in the X field.
//
//   positions 1-6   X field: sign "+"/"-", then five characters each a digit or "."
//   position  7     separator, not examined (the sensor sends a blank)
//   positions 8-13  Y field: sign, then five digits or points
//   14 onward       ignored (line ends, a following record)

#include "base/Units.h"

#include <QString>

#include <optional>

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
