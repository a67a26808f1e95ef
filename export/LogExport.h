#pragma once
// Export of a time span of a log file (or of a data file) to CSV (the data file's format) or to
// netCDF-4 following the CF conventions, and the statistics of such a span. Used by
// marvane-export and by the History window's "Export span...".
//
// Reading never stops at a bad line: a line of another program, a units line with an unknown
// units word, a date that does not exist (31/02), or a stamp that the zone's rules and the order
// of the stamps cannot place is skipped and counted. Units lines ("24 Hour UTC" or
// "24 Hour Local") may stand anywhere: each sets the time base of the records after it; the
// units of each record are told by its speed text, as replay tells them. A log does not record
// the bearing convention: its bearings are taken as where the flow comes from (the program's
// default), and the output says so. Logs stamped in local time are turned into UTC by the rules
// of the zone their units line names, by the rule the history reads them with (see
// LocalTimeResolver); a log that names no zone (older versions) is read in the zone given, else
// the computer's, and the output says which it assumed.
//
// A netCDF file has time as its coordinate variable where the times strictly increase, and
// otherwise (a log's whole seconds repeat) the samples along an "obs" dimension with time(obs) an
// auxiliary coordinate: a single time series of CF's discrete sampling geometries either way.
//
// The station's details (those of a data file's head, or those given) go into a CSV's head as its
// "Station: " lines, and into a netCDF file as CF wants them of a single time series: a "station"
// variable (the id, else the name) with cf_role "timeseries_id" in place of series_id, scalar
// lat, lon and depth for those known, named by each variable's coordinates, and the name,
// instrument, serial number and institution as global attributes. Without any, the file has
// none of these.
//
// The output is written under a temporary name beside it and renamed at the end: a failure
// leaves nothing behind, and an existing file is replaced only when asked to.

#include "logformat/DataFileFormat.h"
#include "history/SpanStatistics.h"

#include <QString>
#include <QTimeZone>

#include <optional>

enum class ExportFormat
{
    Csv,
    NetCdf,
};
// By the extension of path (".csv", ".nc", any case); nothing for any other.
std::optional<ExportFormat> exportFormatForPath(const QString& path);

struct ExportOptions
{
    // The span, inclusive, in milliseconds since 1970-01-01 UTC; no limit when not given.
    std::optional<qint64> fromMs;
    std::optional<qint64> toMs;
    bool overwrite = false; // replace an existing output file
    // The zone of local times whose log names none (or one this computer does not know);
    // invalid (not given): the computer's zone.
    QTimeZone localZone;
    QString program = QStringLiteral("marvane-export"); // who made it, for the history
    // The station's details to state, in place of those the head of a data file states (a log
    // states none); not given: the input's. With none at all, the output has no station.
    std::optional<StationDetails> station;
};

struct ExportResult
{
    enum class Status
    {
        Done,
        CannotRead,    // the input cannot be opened or read
        UnknownFormat, // the output's extension is neither .csv nor .nc
        OutputExists,  // and overwrite was not asked for
        EmptySpan,     // no sample in the span (nothing written)
        CannotWrite,   // the output could not be written (nothing left behind)
    };
    Status status = Status::Done;
    QString error;             // one line for the operator, empty when Done
    qint64 samples = 0;        // samples in the span (written)
    qint64 skippedLines = 0;   // bad lines of the whole input
    // Of the span (bad lines: those among its samples), from spanStatisticsOfFile; an export
    // writes the rows and leaves them empty.
    SpanStatistics statistics;
    // The most bytes of the input held at once while reading it: about one read's worth, however
    // long its lines (a line too long for a log or a data file is a bad line, never held whole).
    qint64 inputBytesHeld = 0;
    // The zone local times were read in where the log named none this computer knows (the
    // given one or the computer's); empty when no such time was read.
    QString assumedZone;
    bool assumedZoneGiven = false; // it was the one given in the options
    // How the local time stamps of a log were turned into UTC ("local time of Europe/Berlin, as
    // the log names it; converted to UTC ..."); empty when all were UTC.
    QString sourceTimes;
    bool ok() const { return status == Status::Done; }
};

// Writes the samples of input within the span to output, in the format of output's extension.
ExportResult exportSpan(const QString& input, const QString& output,
                        const ExportOptions& options = {});
// The station's details the head of a data file states; none for a log, or a file that cannot
// be read.
StationDetails stationDetailsOfFile(const QString& input);
// Reads the span only: its statistics and counts, nothing written. EmptySpan when it holds no
// sample (the statistics are then those of nothing).
ExportResult spanStatisticsOfFile(const QString& input, const ExportOptions& options = {});
