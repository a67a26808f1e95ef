// marvane-export: a span of a log file (or of a data file) as CSV or netCDF, or its statistics.
//
//   marvane-export [--from TIME] [--to TIME] [--time-zone ZONE] [--summary] [--force]
//                  LOGFILE [OUTFILE]
//
// Exit status: 0 done (bad lines skipped and counted), 1 the input cannot be read, the output
// exists, the span is empty or the output cannot be written, 2 a wrong command line.

#include "logformat/DataFileFormat.h"
#include "export/LogExport.h"
#include "history/SpanStatistics.h"
#include "settings/StationOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimeZone>

#include <cstdio>

namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "marvane-export: %s\n", qPrintable(line));
}

int usageError(const QString& why)
{
    say(why);
    say(QStringLiteral("try marvane-export --help"));
    return 2;
}

QString skippedText(qint64 n)
{
    return n == 1 ? QStringLiteral("1 line skipped") : QStringLiteral("%1 lines skipped").arg(n);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marvane-export"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the samples of a log file (or of a data file) as CSV or netCDF, chosen by the\n"
        "extension of OUTFILE (.csv or .nc), or prints their statistics with --summary.\n"
        "\n"
        "TIME is ISO 8601, for example 2009-05-24T14:03:07, 2009-05-24 14:03, or\n"
        "2009-05-24T16:03:07+02:00. A TIME without an offset is UTC. Both ends are included.\n"
        "\n"
        "Logs stamped in local time are turned into UTC by the rules of the zone their units\n"
        "line names (\"24 Hour Local Europe/London\"); a stamp in the repeated hour of a clock\n"
        "change is placed by the stamps before it. Older logs (\"24 Hour Local\" alone) are read\n"
        "in the zone given by --time-zone, else this computer's (TZ), and the output says which.\n"
        "A log does not record the bearing convention: its bearings are taken as where the flow\n"
        "comes from, and the output says so.\n"
        "\n"
        "A netCDF file has time as its coordinate where the times strictly increase (a data\n"
        "file); otherwise (a log's whole seconds repeat) the samples lie along the dimension obs\n"
        "with time(obs) as an auxiliary coordinate (CF timeSeries).\n"
        "\n"
        "The station's details in the head of a data file go into the output (CSV head lines;\n"
        "netCDF: a station id, lat, lon and depth, and global attributes); the station options\n"
        "below replace them one by one, and give them to a log, which has none.\n"
        "\n"
        "Lines that cannot be read are skipped and counted (\"N lines skipped\").\n"
        "Exit status: 0 done, 1 input unreadable, output exists (see --force), no samples in\n"
        "the span, or output not written, 2 wrong command line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption from(QStringList{QStringLiteral("from")},
                                  QStringLiteral("Start of the span (ISO 8601, UTC unless an "
                                                 "offset is given)."),
                                  QStringLiteral("TIME"));
    const QCommandLineOption to(QStringList{QStringLiteral("to")},
                                QStringLiteral("End of the span (ISO 8601, UTC unless an offset "
                                               "is given)."),
                                QStringLiteral("TIME"));
    const QCommandLineOption summary(
        QStringList{QStringLiteral("summary")},
        QStringLiteral("Print the statistics of the span instead of writing a file."));
    const QCommandLineOption force(QStringList{QStringLiteral("force")},
                                   QStringLiteral("Replace OUTFILE when it exists."));
    const QCommandLineOption timeZone(
        QStringList{QStringLiteral("time-zone")},
        QStringLiteral("The zone of a log's local times where the log names none, for example "
                       "Europe/London (default: this computer's)."),
        QStringLiteral("ZONE"));
    parser.addOptions({from, to, timeZone, summary, force});
    addStationOptions(parser, QStringLiteral("the data file's \"# Station: %1=\" line"));
    parser.addPositionalArgument(QStringLiteral("LOGFILE"),
                                 QStringLiteral("A log file of Marvane, or a data file."));
    parser.addPositionalArgument(QStringLiteral("OUTFILE"),
                                 QStringLiteral("The file to write: NAME.csv or NAME.nc."),
                                 QStringLiteral("[OUTFILE]"));
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    ExportOptions options;
    for (const auto& [option, target] :
         {std::pair{&from, &options.fromMs}, std::pair{&to, &options.toMs}}) {
        if (!parser.isSet(*option))
            continue;
        qint64 ms = 0;
        if (!parseIsoTime(parser.value(*option), &ms)) {
            return usageError(QStringLiteral("--%1 %2 is not an ISO 8601 time")
                                  .arg(option->names().constFirst(), parser.value(*option)));
        }
        *target = ms;
    }
    if (options.fromMs && options.toMs && *options.fromMs > *options.toMs)
        return usageError(QStringLiteral("--from is after --to"));
    options.overwrite = parser.isSet(force);
    if (parser.isSet(timeZone)) {
        const QTimeZone zone(parser.value(timeZone).toUtf8());
        if (!zone.isValid()) {
            return usageError(QStringLiteral("--time-zone %1 is not a time zone this computer "
                                             "knows (try Europe/London or UTC)")
                                  .arg(parser.value(timeZone)));
        }
        options.localZone = zone;
    }

    const QStringList files = parser.positionalArguments();
    const bool summaryOnly = parser.isSet(summary);
    if (files.isEmpty())
        return usageError(QStringLiteral("no LOGFILE given"));
    if (files.size() > 2)
        return usageError(QStringLiteral("too many files given"));
    if (summaryOnly && files.size() == 2)
        return usageError(QStringLiteral("--summary writes no file: give no OUTFILE"));
    if (!summaryOnly && files.size() == 1)
        return usageError(QStringLiteral("no OUTFILE given (or --summary)"));
    if (!summaryOnly && !exportFormatForPath(files[1])) {
        return usageError(
            QStringLiteral("cannot tell the format of %1: name it .csv or .nc").arg(files[1]));
    }

    // The station's details of the input, each replaced by the one the command line gives.
    StationDetails station;
    QString stationError;
    if (!readStationOptions(parser, station, &stationError))
        return usageError(stationError);
    const StationDetails ofFile = stationDetailsOfFile(files[0]);
    StationDetails stated = ofFile;
    readStationOptions(parser, stated, &stationError);
    if (stated != ofFile)
        options.station = stated;

    const ExportResult result = summaryOnly ? spanStatisticsOfFile(files[0], options)
                                            : exportSpan(files[0], files[1], options);
    if (result.skippedLines > 0)
        say(skippedText(result.skippedLines));
    if (!result.sourceTimes.isEmpty())
        say(QStringLiteral("time stamps of the source: ") + result.sourceTimes);
    if (!result.assumedZone.isEmpty()) {
        say(result.assumedZoneGiven
                ? QStringLiteral("local times whose zone the log does not name (or this "
                                 "computer does not know) read as %1 (--time-zone)")
                      .arg(result.assumedZone)
                : QStringLiteral("local times whose zone the log does not name (or this "
                                 "computer does not know) read as %1, this computer's zone "
                                 "(--time-zone ZONE gives another)")
                      .arg(result.assumedZone));
    }
    if (!result.ok()) {
        say(result.error);
        return 1;
    }
    if (summaryOnly) {
        std::fputs(spanSummaryText(result.statistics).toUtf8().constData(), stdout);
    } else {
        say(QStringLiteral("%1 samples written to %2").arg(result.samples).arg(files[1]));
    }
    return 0;
}
