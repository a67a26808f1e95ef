#pragma once
// The log file format: quoted, comma-separated single-byte text, every line ending in CR LF.
//
//   "Speed","Bearing","Date-Time"           header, written when the file is created
//   "m/s","Degrees","24 Hour UTC"           units, written before the first record and again
//                                           before any record whose units or time base differ
//   "0.515","088","24/05/2009 14:03:07"     one record per logged sample
//
// The units word is "m/s", "Knots" or "mm/s". The date-time is UTC under "24 Hour UTC" and local
// time under "24 Hour Local", followed by the zone's name when the recorder knew it:
//
//   "m/s","Degrees","24 Hour Local Europe/London"
//
// so that a log read on another computer, or after the clocks changed, still gives the right
// instants. The name is an IANA time zone name (letters, digits, '/', '_', '-', '+'), so the line
// keeps its three quoted fields and a reader that takes the units word from the first of them
// reads it as before. A "24 Hour Local" of older versions names no zone: readers assume the
// computer's zone, or one they are given. Files of still older versions say UTC over local time,
// which nothing in the file can tell apart. Speed texts are written as displayed: never padded or
// clipped.

#include "sensor/RawRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "history/TimeAxis.h"

#include <optional>

QByteArray logHeaderLine(); // with CR LF
// The units line of the records below it: their units and the clock of their stamps.
QByteArray logUnitsLine(const QString& speedUnits,
                        const TimeBase& timeBase = TimeBase::Utc); // with CR LF
// "24 Hour UTC", "24 Hour Local" or "24 Hour Local Europe/London". A zone whose name is not an
// IANA name (a POSIX rule in TZ, say) is not written: the line then names no zone.
QString logTimeBaseLabel(const TimeBase& timeBase);
// Whether text can stand as a zone's name in a units line.
bool isLogZoneName(QByteArrayView text);
QByteArray logRecordLine(const QString& speed, const QString& bearing,
                         const QString& dateTime); // with CR LF

// Whether a line (without its line end) is the header line the recorder writes, exactly.
bool isLogHeaderLine(QByteArrayView line);
// Whether a line (without its line end) is a units line the recorder writes, exactly: one of the
// three units words, then "Degrees" and the clock of the stamps, "24 Hour UTC", "24 Hour Local"
// or "24 Hour Local" and a zone's name (whether or not this computer knows the zone). Such a line
// among the records (a recording resumed into the file) is a marker, not a bad line.
bool isLogUnitsLine(QByteArrayView line);
// The clock a units line names: "24 Hour Local" and a zone's name reads the stamps in that zone,
// "24 Hour Local" alone in a zone not named (see TimeBase), anything else (the older
// "24 Hour UTC" included) as UTC.
TimeBase timeBaseOfUnitsLine(QByteArrayView line);

// The units word of a units line (without its line end): the first character removed, then the
// first remaining double quote and everything after it. "\"Knots\",..." gives "Knots".
QString unitsWordOfLine(QByteArrayView line);

// The three texts of a record line (without its line end).
struct LogRecordFields
{
    QString speed;
    QString bearing;
    QString dateTime;
};

// The three fields of a record line as texts, split by splitRecordFields (LogFieldSplitter.h).
LogRecordFields splitLogRecordLine(QByteArrayView line, int speedWidthHint);

// The units of a record judged by its own speed text: three decimals m/s, two knots, none mm/s.
// Returns the readout caption "m/s", "Kts" or "mm/s", or an empty string when the text tells
// nothing: it holds no digit, or its point is followed by anything but two or three digits.
QString readoutCaptionForSpeedText(const QString& speedText);
// The same judgement as units: none when the text tells nothing.
std::optional<SpeedUnitsKind> unitsOfSpeedText(const QString& speedText);

// The line number (1 for the header) of record index record (0 for the first) of a log file, as
// the replay and its index number them: every line after the header and the units line is a
// record, a units line further down (a recording resumed) included.
constexpr qint64 lineOfRecord(qint64 record)
{
    return record + 3;
}
