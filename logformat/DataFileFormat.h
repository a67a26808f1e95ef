#pragma once
// The data file: everything measured, in a CSV file any analysis tool reads as it is
// (pandas.read_csv(path, comment="#"), R's read.csv(comment.char = "#"), a spreadsheet).
//
//   # Marvane 4.01 data file                               comment lines: what was recorded how
//   # Station: Name=Tessmoor pier                         the station's details, when set
//   # Port: COM1 (/dev/ttyS0), 9600 baud, 8 data bits, parity none, 1 stop bit
//   ...                                                    (a network source: # Port: tcp://...)
//   time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face,note
//   2009-05-24T14:03:07.250Z,+0.515,-0.020,m/s,0.515,-0.02,0.515388,92.224,from,down,
//   2009-05-24T14:03:07.912Z,,,,,,,,,,"mark: diver in the water, north ladder"
//
// RFC 4180: every line ends in CR LF, a field holding a comma, a double quote or a line break is
// quoted and its quotes doubled. Text is UTF-8. Comment lines start with "#" and stand only at the
// head, before the header row: readers that skip "#" lines and readers that take every line after
// the header row as a row both read the rows alone. No number is ever quoted.
//
// Columns: the time in UTC (ISO 8601 with milliseconds and Z), the record's X and Y fields
// exactly as received and its units word ("m/s", "Knots", "mm/s"), X, Y and the speed in m/s
// (six decimals, signs as received: the face is not applied), the bearing in degrees (three
// decimals) and the bearing convention ("from" or "to") and face ("up" or "down") it was computed
// with. A field that is not known is empty (X and Y of a sample exported from a log file, which
// does not keep them). The last column, note, is empty for a sample.
//
// What happened during the recording stands in rows of its own, at its time, with every field
// but the time and the note empty: "mark" or "mark: <the operator's note>", "device lost",
// "device back", "alarm raised: <the alarm's words>", "alarm cleared: <the alarm's words>". A
// reader tells such a row by its empty units; it is never a sample (no speed, no gap).
//
// Data files of earlier versions have no note column: they are read as they are, and a
// recording continued at the end of one keeps its ten columns and writes no event row.

#include "base/ClockText.h"
#include "base/StationDetails.h"
#include "base/Units.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// What the head of a live data file states. The caller fills it from the session's options.
struct DataFileHeader
{
    QString portName;   // "COM1", or a device path
    QString portDevice; // the device it maps to, when that differs from portName
    // The line parameters below are stated: false for a sensor on the network, whose device
    // server keeps its own.
    bool lineSettings = true;
    quint32 baudRate = 0;
    int dataBits = 8;
    QString parity = QStringLiteral("none"); // "none", "odd", "even", "mark", "space"
    QString stopBits = QStringLiteral("1");  // "1", "1.5", "2"
    bool bearingTo = false;
    bool faceUp = false;
    std::optional<double> headingOffset; // degrees true added to every bearing; none: not set
    bool logLocalTime = false;           // the log beside it is stamped in local time (else UTC)
    QString timeZoneId;                  // the computer's zone, "Europe/Berlin"
    QString logFile;                     // the log file beside it, if any
    QString clockState;                  // "Clock: synchronised, estimated error 2 ms", when known
    StationDetails station; // stated after the first line, a "Station: " line for each set
};

struct DataFileRow
{
    qint64 timeMs = 0; // since 1970-01-01 UTC
    QString rawX;      // as received, "+0.515"; empty when not known
    QString rawY;
    // Written as its units word ("m/s", "Knots", "mm/s"); a row of any other word is not read.
    SpeedUnitsKind units = SpeedUnitsKind::MetresPerSecond;
    std::optional<double> xMs;
    std::optional<double> yMs;
    double speedMs = 0;
    double bearing = 0;
    bool bearingTo = false;
    std::optional<bool> faceUp; // none when not known
    // An event's row (a mark, the device lost or back, an alarm): only timeMs and note hold.
    bool event = false;
    QString note; // empty for a sample
};

// The comment lines of a live data file's head, without their "# ".
QStringList dataFileComments(const DataFileHeader& header);
// The line of the head that states the heading ("Heading: 12.5 degrees true, added to every
// bearing", "Heading: not set, bearings relative to the front of the sensor").
QString headingComment(std::optional<double> headingOffset);
// The heading a head's comment line states, without its "# ": set (Some), not set (None), or the
// line says nothing of it (false). An earlier version's "Heading offset: 0 degrees" said that none
// was given: not set.
bool headingOfComment(const QString& comment, std::optional<double>* headingOffset);
// Comment lines, each "# " + text (line breaks in text become blanks), with CR LF.
QByteArray dataFileCommentLines(const QStringList& comments);
// The header row, with CR LF; withNote false: an earlier version's, without the note column.
QByteArray dataFileHeaderRow(bool withNote = true);
// One row, with CR LF; withNote false: in an earlier version's columns, and nothing for an
// event's row, which they have no place for.
QByteArray dataFileRowLine(const DataFileRow& row, bool withNote = true);
// The same line appended to line: a writer of many rows keeps one buffer for them.
void appendDataFileRowLine(QByteArray* line, const DataFileRow& row, bool withNote = true);

// One field as RFC 4180 wants it: quoted when it holds a comma, a quote, CR or LF.
QByteArray csvField(const QString& text);
// The fields of one line (without its line end); false when a quoted field is not closed or a
// quote stands inside an unquoted field.
bool splitCsvLine(QByteArrayView line, QList<QString>* fields);

// An ISO 8601 date-time with or without fraction; UTC unless it carries an offset ("Z",
// "+02:00"). False for anything else.
bool parseIsoTime(const QString& text, qint64* ms);

// Whether line (without its line end) is the header row, of this version or an earlier one
// (withNote, when given, says which).
bool isDataFileHeaderRow(QByteArrayView line, bool* withNote = nullptr);
// A row of the data file (without its line end), with or without the note column; false for a
// line that is not one.
bool parseDataFileRow(QByteArrayView line, DataFileRow* row);
