// marvane-export: a span of a log file (or of a data file) as CSV or netCDF, or its statistics.
//
//   marvane-export [--from TIME] [--to TIME] [--summary] [--force] LOGFILE [OUTFILE]
//
// Exit status: 0 done (bad lines skipped and counted), 1 the input cannot be read, the output
// exists, the span is empty or the output cannot be written, 2 a wrong command line.

#include "logfile/DataFileFormat.h"
#include "logfile/LogExport.h"
#include "processing/SpanStatistics.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
        "Logs stamped in local time (\"24 Hour Local\") are turned into UTC by this computer's\n"
        "time zone rules (TZ); a stamp in the repeated hour of a clock change is placed by the\n"
        "stamps before it. A log does not record the bearing convention: its bearings are taken\n"
        "as where the flow comes from, and the output says so.\n"
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
    parser.addOptions({from, to, summary, force});
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

    const ExportResult result = summaryOnly ? spanStatisticsOfFile(files[0], options)
                                            : exportSpan(files[0], files[1], options);
    if (result.skippedLines > 0)
        say(skippedText(result.skippedLines));
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
