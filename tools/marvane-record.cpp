// marvane-record: records the flow sensor into a log file without a window.
//
// The same live session as the window, so the file is byte for byte what the window writes:
// header, units line, one line per sample stamped with the time of arrival (UTC unless
// --local-time).
// The serial settings come from marvane.ini unless the command line says otherwise. A device that
// goes away is waited for and reopened; a log file that stops taking writes keeps the samples in
// memory, and beyond a bound in a spill file, until it takes them again; a log moved or deleted
// under it is made again at its path. With --rotate a new log (and data file) starts at each UTC
// day or hour, or past a size, named from the date fields of LOGFILE. SIGINT and SIGTERM end the
// run after one last poll; what could not be written by then is told, and the exit status is 1.
// SIGHUP reopens the files at their paths, as logrotate's postrotate expects. SIGUSR1 marks the
// moment (a row of the data file, a line on the History, a message on MQTT), with the first line
// of the --mark-note-file as its note. Every option is
// checked before any file is made, so a refused command line leaves nothing behind.
// What happens is told on standard error, as sentences or (--events json) as one JSON object a
// line for programs that watch the recorder.

#include "settings/SettingsLocation.h"
#include "settings/PortSettings.h"
#include "recording/DataFileWriter.h"
#include "recording/LogRotation.h"
#include "sources/LiveSource.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "outputs/OutputOptions.h"
#include "outputs/Outputs.h"
#include "sensor/FlowPipeline.h"
#include "sensor/SampleSink.h"
#include "session/AlarmOptions.h"
#include "session/AlarmWatch.h"
#include "session/LiveSession.h"
#include "settings/ProgramOptions.h"
#include "base/ClockText.h"
#include "settings/StationOptions.h"
#include "settings/StationSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kStatusInterval = 10000;

void say(const QString& line)
{
    std::fprintf(stderr, "marvane-record: %s\n", qPrintable(line));
    std::fflush(stderr);
}

// How events are printed: sentences, or JSON lines (--events json).
enum class EventFormat
{
    Text,
    Json,
};

// What the command line chose, with the settings file's values filled in where it said nothing.
struct RecordOptions
{
    QString logFile;
    bool append = false;
    QString settingsPath;
    QString portName; // "COM1" or the device path as given
    OptionValues values;
    PortSettings port; // the line as the command line sets it (mark and space parity included)
    bool bearingTo = false;
    QString dataFile; // the data file beside the log, when asked for
    OutputSettings outputs;
    AlarmSettings alarms;
    StationDetails station;
    QString settingsWarning; // a settings file that could not be read, told once the run starts
    QStringList stationWarnings; // details of [Station] that could not be used
    EventFormat events = EventFormat::Text;
    QStringList outputTexts; // each output in words, for the start line
    std::optional<LogRotation> rotation; // LOGFILE and dataFile are its patterns
    QString markNoteFile;                // read at each SIGUSR1: its first line is the mark's note
};

QString lineText(const PortSettings& port)
{
    static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
    static const char* const kStop[] = {"1", "1.5", "2"};
    return QStringLiteral("%1 %2%3%4")
        .arg(port.baudRateValue)
        .arg(port.byteSizeValue)
        .arg(QLatin1Char(port.parityValue < 5 ? kParity[port.parityValue] : '?'))
        .arg(QLatin1String(port.stopBitsValue < 3 ? kStop[port.stopBitsValue] : "?"));
}

// The line settings as JSON fields, named as the command line names them.
QJsonObject lineFields(const PortSettings& port)
{
    static const char* const kParity[] = {"none", "odd", "even", "mark", "space"};
    static const double kStop[] = {1, 1.5, 2};
    return {{QStringLiteral("baud"), qint64(port.baudRateValue)},
            {QStringLiteral("dataBits"), int(port.byteSizeValue)},
            {QStringLiteral("parity"), port.parityValue < 5
                                           ? QJsonValue(QLatin1String(kParity[port.parityValue]))
                                           : QJsonValue()},
            {QStringLiteral("stopBits"),
             port.stopBitsValue < 3 ? QJsonValue(kStop[port.stopBitsValue]) : QJsonValue()}};
}

// Parses the command line. Returns the options, or nothing with the usage error in error (help
// and version are handled by the caller before this).
std::optional<RecordOptions> readOptions(const QCommandLineParser& parser, QString* error)
{
    const auto fail = [error](const QString& why) {
        *error = why;
        return std::optional<RecordOptions>();
    };
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return fail(files.isEmpty() ? QStringLiteral("no LOGFILE given")
                                    : QStringLiteral("only one LOGFILE may be given"));
    for (const auto& [a, b] : {std::pair{"face-up", "face-down"},
                               {"bearing-from", "bearing-to"},
                               {"utc", "local-time"}}) {
        if (parser.isSet(QString::fromLatin1(a)) && parser.isSet(QString::fromLatin1(b)))
            return fail(QStringLiteral("--%1 and --%2 exclude each other")
                            .arg(QString::fromLatin1(a), QString::fromLatin1(b)));
    }

    RecordOptions options;
    options.logFile = files.first();
    options.append = parser.isSet(QStringLiteral("append"));
    options.settingsPath = parser.isSet(QStringLiteral("settings"))
                               ? parser.value(QStringLiteral("settings"))
                               : settingsFilePath();
    QString unreadable;
    options.values = readOptionValues(options.settingsPath, &unreadable);
    if (!unreadable.isEmpty())
        options.settingsWarning = unreadable + QStringLiteral(" Its defaults are used.");
    DisplayFlags flags;
    applyCommsSettings(options.values.comms, options.port, flags);

    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        const qint64 baud = parser.value(QStringLiteral("baud")).toLongLong(&ok);
        if (!ok || baud <= 0 || baud > 4000000)
            return fail(QStringLiteral("--baud wants a positive number of bits per second, not %1")
                            .arg(parser.value(QStringLiteral("baud"))));
        options.port.baudRateValue = quint32(baud);
    }
    if (parser.isSet(QStringLiteral("data-bits"))) {
        const QString value = parser.value(QStringLiteral("data-bits"));
        if (value != QLatin1String("7") && value != QLatin1String("8"))
            return fail(QStringLiteral("--data-bits wants 7 or 8, not %1").arg(value));
        options.port.byteSizeValue = quint8(value.toInt());
    }
    if (parser.isSet(QStringLiteral("parity"))) {
        const QString value = parser.value(QStringLiteral("parity")).toLower();
        const QStringList names{QStringLiteral("none"), QStringLiteral("odd"),
                                QStringLiteral("even"), QStringLiteral("mark"),
                                QStringLiteral("space")};
        const qsizetype code = names.indexOf(value);
        if (code < 0)
            return fail(QStringLiteral("--parity wants none, odd, even, mark or space, not %1")
                            .arg(parser.value(QStringLiteral("parity"))));
        options.port.parityValue = quint8(code);
    }
    if (parser.isSet(QStringLiteral("stop-bits"))) {
        const QString value = parser.value(QStringLiteral("stop-bits"));
        const QStringList names{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
        const qsizetype code = names.indexOf(value);
        if (code < 0)
            return fail(QStringLiteral("--stop-bits wants 1, 1.5 or 2, not %1").arg(value));
        options.port.stopBitsValue = quint8(code);
    }
    if (parser.isSet(QStringLiteral("face-up")))
        options.values.comms.orientation = 0;
    if (parser.isSet(QStringLiteral("face-down")))
        options.values.comms.orientation = 1;
    if (parser.isSet(QStringLiteral("utc")))
        options.values.localTime = false;
    if (parser.isSet(QStringLiteral("local-time")))
        options.values.localTime = true;
    if (parser.isSet(QStringLiteral("heading"))) {
        const QString value = parser.value(QStringLiteral("heading"));
        bool ok = false;
        const double degrees = value.toDouble(&ok);
        if (!ok || !(degrees >= -360 && degrees <= 360))
            return fail(
                QStringLiteral("--heading wants degrees from -360 to 360, not %1").arg(value));
        options.values.headingOffset = degrees;
    }
    options.bearingTo = parser.isSet(QStringLiteral("bearing-to"));
    if (parser.isSet(QStringLiteral("events"))) {
        const QString value = parser.value(QStringLiteral("events"));
        if (value != QLatin1String("text") && value != QLatin1String("json"))
            return fail(QStringLiteral("--events wants text or json, not %1").arg(value));
        options.events = value == QLatin1String("json") ? EventFormat::Json : EventFormat::Text;
    }
    options.values.reconnect = true;
    options.markNoteFile = parser.value(QStringLiteral("mark-note-file"));
    options.dataFile = parser.value(QStringLiteral("data-file"));
    // "Beside the log": a relative name is taken from the log's folder, not the current one.
    if (!options.dataFile.isEmpty() && QFileInfo(options.dataFile).isRelative())
        options.dataFile = QFileInfo(options.logFile).dir().filePath(options.dataFile);
    // A rotation names its files from LOGFILE's (and --data-file's) date fields.
    if (parser.isSet(QStringLiteral("keep-days")) && !parser.isSet(QStringLiteral("rotate")))
        return fail(QStringLiteral("--keep-days needs --rotate"));
    if (parser.isSet(QStringLiteral("rotate"))) {
        QString why;
        options.rotation = LogRotation::fromText(parser.value(QStringLiteral("rotate")), &why);
        if (!options.rotation)
            return fail(why);
        if (parser.isSet(QStringLiteral("keep-days"))) {
            const QString value = parser.value(QStringLiteral("keep-days"));
            bool ok = false;
            const int days = value.toInt(&ok);
            if (!ok || days < 1 || days > 100000)
                return fail(
                    QStringLiteral("--keep-days wants a whole number of days from 1, not %1")
                        .arg(value));
            options.rotation->setKeepDays(days);
        }
        if (const QString problem = options.rotation->patternProblem(options.logFile);
            !problem.isEmpty())
            return fail(QStringLiteral("LOGFILE %1 %2").arg(options.logFile, problem));
        options.rotation->setLogPattern(options.logFile);
        if (!options.dataFile.isEmpty()) {
            if (const QString problem = options.rotation->patternProblem(options.dataFile);
                !problem.isEmpty())
                return fail(QStringLiteral("--data-file %1 %2")
                                .arg(parser.value(QStringLiteral("data-file")), problem));
            if (options.dataFile == options.logFile)
                return fail(QStringLiteral("--data-file and LOGFILE name the same files"));
            options.rotation->setDataPattern(options.dataFile);
        }
    }
    // The files the run starts with.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString firstLog =
        options.rotation ? LogRotation::fileName(options.logFile, now) : options.logFile;
    const QString firstData = options.rotation && !options.dataFile.isEmpty()
                                  ? LogRotation::fileName(options.dataFile, now)
                                  : options.dataFile;
    if (!firstData.isEmpty() && QFileInfo::exists(firstData) &&
        !parser.isSet(QStringLiteral("append")))
        return fail(QStringLiteral("%1 exists; give --append to record at its end").arg(firstData));
    // The outputs of marvane.ini, and those the command line names.
    options.outputs = loadOutputSettings(options.settingsPath);
    QString outputError;
    if (!readOutputOptions(parser, options.outputs, &outputError))
        return fail(outputError);

    // The alarms of marvane.ini, and those the command line names.
    options.alarms = loadAlarmSettings(options.settingsPath);
    if (!readAlarmOptions(parser, options.alarms, &outputError))
        return fail(outputError);

    // The station's details of marvane.ini, and those the command line gives; the id names the
    // default MQTT topic.
    options.station = loadStationSettings(options.settingsPath, &options.stationWarnings);
    if (!readStationOptions(parser, options.station, &outputError))
        return fail(outputError);
    options.outputs.stationId = options.station.id;

    options.portName = parser.isSet(QStringLiteral("port")) ? parser.value(QStringLiteral("port"))
                                                            : options.port.portName;
    if (options.portName.isEmpty())
        return fail(QStringLiteral("no port given"));
    // Every output is told at the start, and where one the command line did not name comes from.
    for (const OutputDescription& output : outputDescriptions(options.outputs, options.portName)) {
        QString text = output.text;
        if (!outputNamedOnCommandLine(parser, output.kind))
            text += QStringLiteral(" (from the settings file)");
        if (output.kind != OutputKind::Mqtt && !options.values.headingOffset)
            text += QStringLiteral(" (no sentence sent: heading not set)");
        options.outputTexts << text;
    }

    if (QFileInfo::exists(firstLog) && !options.append)
        return fail(QStringLiteral("%1 exists; give --append to record at its end").arg(firstLog));
    return options;
}

// An event line: stamped with the UTC time unless standard error goes to the journal, which
// stamps every line itself.
QString stamped(const QString& line)
{
    static const bool toJournal = [] {
        // systemd names the journal stream it gives a service as "device:inode".
        const QByteArray stream = qgetenv("JOURNAL_STREAM");
        struct stat err;
        if (stream.isEmpty() || ::fstat(STDERR_FILENO, &err) != 0)
            return false;
        return stream == QByteArray::number(quint64(err.st_dev)) + ':' +
                             QByteArray::number(quint64(err.st_ino));
    }();
    if (toJournal)
        return line;
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char(' ') + line;
}

// What the recorder tells on standard error.
enum class EventKind
{
    Recording,      // the port and the log file are open and polled
    Reconnecting,   // the device went away and is waited for
    Reconnected,    // it is back
    DeviceLost,     // it went away and is given up
    Disconnected,   // the port was closed
    NoData,         // no valid record for a while
    DataAgain,      // a record ended the silence
    WriteFailed,    // the log or the data file stopped taking writes
    WriteRecovered, // it takes them again
    Spilling,       // more lines wait than memory keeps: the oldest go to a spill file
    Dropping,       // and no spill file takes them: the oldest are dropped
    NotWritten,     // at the end: lines that could not be written (kept in a spill file or dropped)
    ClockState,     // the computer's clock became synchronised or not
    ClockStepped,   // the wall clock was set or stepped
    Rotation,       // how the files rotate, told once at the start
    Rotated,        // a new log (and data file) began
    RotationFailed, // the next file could not be made: recording goes on into the last
    Removed,        // a file older than --keep-days was removed
    MadeAgain,      // the log or data file was missing or empty and was made again
    Reopened,       // SIGHUP: the files were opened again at their paths
    Alarm,          // an alarm was raised or cleared
    Mark,           // SIGUSR1: the moment was marked
    Output,         // a network output's own message
    Status,         // the status line, every 10 s and at the end
    Warning,        // something is amiss and the run goes on
    Error,          // the run cannot start
    Diagnostic,     // a message of the libraries underneath
};

// The kind's name in a JSON line. No default: a kind added without a name does not compile
// (-Wswitch, an error with -Werror).
QString kindName(EventKind kind)
{
    switch (kind) {
    case EventKind::Recording:
        return QStringLiteral("recording");
    case EventKind::Reconnecting:
        return QStringLiteral("reconnecting");
    case EventKind::Reconnected:
        return QStringLiteral("reconnected");
    case EventKind::DeviceLost:
        return QStringLiteral("device-lost");
    case EventKind::Disconnected:
        return QStringLiteral("disconnected");
    case EventKind::NoData:
        return QStringLiteral("no-data");
    case EventKind::DataAgain:
        return QStringLiteral("data-again");
    case EventKind::WriteFailed:
        return QStringLiteral("write-failed");
    case EventKind::WriteRecovered:
        return QStringLiteral("write-recovered");
    case EventKind::Spilling:
        return QStringLiteral("spilling");
    case EventKind::Dropping:
        return QStringLiteral("dropping");
    case EventKind::NotWritten:
        return QStringLiteral("not-written");
    case EventKind::ClockState:
        return QStringLiteral("clock");
    case EventKind::ClockStepped:
        return QStringLiteral("clock-stepped");
    case EventKind::Rotation:
        return QStringLiteral("rotation");
    case EventKind::Rotated:
        return QStringLiteral("rotated");
    case EventKind::RotationFailed:
        return QStringLiteral("rotation-failed");
    case EventKind::Removed:
        return QStringLiteral("removed");
    case EventKind::MadeAgain:
        return QStringLiteral("made-again");
    case EventKind::Reopened:
        return QStringLiteral("reopened");
    case EventKind::Alarm:
        return QStringLiteral("alarm");
    case EventKind::Mark:
        return QStringLiteral("mark");
    case EventKind::Output:
        return QStringLiteral("output");
    case EventKind::Status:
        return QStringLiteral("status");
    case EventKind::Warning:
        return QStringLiteral("warning");
    case EventKind::Error:
        return QStringLiteral("error");
    case EventKind::Diagnostic:
        return QStringLiteral("diagnostic");
    }
    return QString(); // not reached: every kind returns above
}

// Whether the sentence of a kind starts with the time: events do; the status line, warnings and
// errors never have.
bool stampedSentence(EventKind kind)
{
    switch (kind) {
    case EventKind::Recording:
    case EventKind::Reconnecting:
    case EventKind::Reconnected:
    case EventKind::DeviceLost:
    case EventKind::Disconnected:
    case EventKind::NoData:
    case EventKind::DataAgain:
    case EventKind::WriteFailed:
    case EventKind::WriteRecovered:
    case EventKind::Spilling:
    case EventKind::Dropping:
    case EventKind::NotWritten:
    case EventKind::ClockState:
    case EventKind::ClockStepped:
    case EventKind::Rotation:
    case EventKind::Rotated:
    case EventKind::RotationFailed:
    case EventKind::Removed:
    case EventKind::MadeAgain:
    case EventKind::Reopened:
    case EventKind::Alarm:
    case EventKind::Mark:
    case EventKind::Output:
        return true;
    case EventKind::Status:
    case EventKind::Warning:
    case EventKind::Error:
    case EventKind::Diagnostic:
        return false;
    }
    return false; // not reached
}

// One JSON line: the UTC time with milliseconds and the kind first (QJsonObject would sort
// them among the fields), then the fields. Neither the time nor a kind's name needs escaping.
QByteArray jsonLine(EventKind kind, const QJsonObject& fields)
{
    QByteArray line = "{\"time\":\"" +
                      QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() +
                      "\",\"kind\":\"" + kindName(kind).toLatin1() + '"';
    if (!fields.isEmpty())
        line += ',' + QJsonDocument(fields).toJson(QJsonDocument::Compact).mid(1);
    else
        line += '}';
    return line;
}

// A Qt message (a warning of the serial or network layer) as a JSON line, so that every line
// on standard error stays one JSON object.
void jsonMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    QString level;
    switch (type) {
    case QtDebugMsg:
        level = QStringLiteral("debug");
        break;
    case QtInfoMsg:
        level = QStringLiteral("info");
        break;
    case QtWarningMsg:
        level = QStringLiteral("warning");
        break;
    case QtCriticalMsg:
        level = QStringLiteral("critical");
        break;
    case QtFatalMsg:
        level = QStringLiteral("fatal");
        break;
    }
    const QByteArray line = jsonLine(EventKind::Diagnostic, {{QStringLiteral("level"), level},
                                                             {QStringLiteral("message"), text}});
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

// Tells what happens, in one of two forms: a sentence for a person ("marvane-record: ", then,
// for an event, the time as stamped() puts it), or one JSON object a line for a program:
// {"time": ISO 8601 UTC with milliseconds, "kind": ..., then the event's fields}.
class EventPrinter
{
public:
    explicit EventPrinter(EventFormat format) : m_format(format)
    {
        if (m_format == EventFormat::Json)
            qInstallMessageHandler(jsonMessageHandler);
    }

    // A message that is all its event says (an error, a warning, an output's own words): its
    // JSON form holds it as "message".
    void message(EventKind kind, const QString& text) const
    {
        print(kind, text, {{QStringLiteral("message"), text}});
    }

    void print(EventKind kind, const QString& sentence, const QJsonObject& fields) const
    {
        if (m_format == EventFormat::Json) {
            std::fprintf(stderr, "%s\n", jsonLine(kind, fields).constData());
            std::fflush(stderr);
            return;
        }
        say(stampedSentence(kind) ? stamped(sentence) : sentence);
    }

private:
    EventFormat m_format;
};

// One recording run: a live session, presented on standard error.
class Recorder : public QObject, public SampleSink
{
public:
    Recorder(const RecordOptions& options, const EventPrinter& events)
        : m_options(options), m_events(events), m_settings(options.settingsPath),
          m_session(&m_settings)
    {
        m_settings.setValues(m_options.values);
        // The command line may set what the options cannot (mark and space parity, any baud).
        m_session.setLineSettings(m_options.port);
        m_session.pipeline().setBearingTo(m_options.bearingTo);
        m_session.setStation(m_options.station);
        m_session.addSink(this);
        connect(&m_session.recording(), &Recording::appendFailed, this,
                [this](const QString& path, const QString& reason, int backlog) {
                    // Told once per episode by the recording itself.
                    m_events.print(EventKind::WriteFailed,
                                   QStringLiteral("cannot write %1: %2; %3 line(s) kept in memory")
                                       .arg(path, reason)
                                       .arg(backlog),
                                   {{QStringLiteral("file"), QStringLiteral("log")},
                                    {QStringLiteral("path"), path},
                                    {QStringLiteral("reason"), reason},
                                    {QStringLiteral("kept"), backlog}});
                });
        connect(
            &m_session.recording(), &Recording::spillStarted, this,
            [this](const QString& path, const QString& spill) {
                m_events.print(
                    EventKind::Spilling,
                    QStringLiteral("more than %1 line(s) wait for %2: the oldest are kept in %3")
                        .arg(LogRecorder::kMaxBacklogLines)
                        .arg(path, spill),
                    {{QStringLiteral("file"), QStringLiteral("log")},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("spill"), spill}});
            });
        connect(&m_session.recording(), &Recording::droppingStarted, this,
                [this](const QString& path, const QString& reason) {
                    m_events.print(
                        EventKind::Dropping,
                        QStringLiteral("more than %1 line(s) wait for %2 and no spill file takes "
                                       "them (%3): the oldest are dropped")
                            .arg(LogRecorder::kMaxBacklogLines)
                            .arg(path, reason),
                        {{QStringLiteral("file"), QStringLiteral("log")},
                         {QStringLiteral("path"), path},
                         {QStringLiteral("reason"), reason}});
                });
        connect(&m_session.recording(), &Recording::appendRecovered, this,
                [this](const QString& path, qint64 dropped) {
                    m_events.print(
                        EventKind::WriteRecovered,
                        QStringLiteral("%1 takes writes again: the kept lines are written%2")
                            .arg(path, droppedText(dropped, "line")),
                        {{QStringLiteral("file"), QStringLiteral("log")},
                         {QStringLiteral("path"), path},
                         {QStringLiteral("dropped"), dropped}});
                });
        // A log moved or deleted under the run (logrotate, a tidy-up script), or a new one.
        connect(&m_session.recording(), &Recording::fileMadeAgain, this,
                [this](const QString& path) { tellMadeAgain(QStringLiteral("log"), path); });
        connect(&m_session.dataFile(), &DataFileWriter::madeAgain, this,
                [this](const QString& path) { tellMadeAgain(QStringLiteral("data-file"), path); });
        connect(&m_session, &LiveSession::filesRotated, this,
                [this](const QString& log, const QString& data) {
                    m_events.print(EventKind::Rotated,
                                   data.isEmpty()
                                       ? QStringLiteral("recording into %1").arg(log)
                                       : QStringLiteral("recording into %1 and %2").arg(log, data),
                                   {{QStringLiteral("log"), log}, {QStringLiteral("dataFile"), data}});
                });
        connect(&m_session, &LiveSession::rotationFailed, this,
                [this](const QString& path, const QString& reason) {
                    const QString current = m_session.recording().currentFile();
                    m_events.print(EventKind::RotationFailed,
                                   QStringLiteral("cannot create %1: %2; recording goes on into %3")
                                       .arg(path, reason, current),
                                   {{QStringLiteral("path"), path},
                                    {QStringLiteral("reason"), reason},
                                    {QStringLiteral("log"), current}});
                });
        connect(&m_session, &LiveSession::dataFileFailed, this,
                [this](const QString& path, const QString& reason) {
                    m_events.print(EventKind::RotationFailed,
                                   QStringLiteral("cannot open the data file %1: %2").arg(path, reason),
                                   {{QStringLiteral("path"), path},
                                    {QStringLiteral("reason"), reason}});
                });
        connect(&m_session, &LiveSession::oldFilesRemoved, this, [this](const QStringList& paths) {
            for (const QString& path : paths)
                m_events.print(EventKind::Removed,
                               QStringLiteral("removed %1, older than --keep-days").arg(path),
                               {{QStringLiteral("path"), path}});
        });
        m_statusTimer.setInterval(kStatusInterval);
        connect(&m_statusTimer, &QTimer::timeout, this, [this] { printStatus(false); });
    }

    // Opens the port, then the log file. Returns the exit status on failure, 0 when running;
    // a file made on the way is removed again on failure, so the same command can run again.
    int start()
    {
        QString reason;
        if (!m_session.openSource(&reason, m_options.portName)) {
            m_events.message(EventKind::Error, LiveSession::oneLine(reason));
            return 1;
        }
        Recording& recording = m_session.recording();
        if (m_options.rotation) {
            if (!m_session.startRotation(*m_options.rotation, m_options.append, &reason, &m_made)) {
                m_events.message(EventKind::Error, reason);
                return giveUp(1);
            }
        } else if (const int status = openFiles(); status != 0) {
            return status;
        }
        if (m_session.dataFile().isOpen() && !m_session.dataFile().writesNotes())
            m_events.message(EventKind::Warning,
                             QStringLiteral("%1 was written by an earlier version, without the "
                                            "note column: its samples go on in its columns, and "
                                            "marks, device and alarm events are not written "
                                            "into it")
                                 .arg(m_session.dataFile().path()));
        connect(&m_session.dataFile(), &DataFileWriter::writeFailed, this,
                [this](const QString& path, const QString& why, int rows) {
                    m_events.print(EventKind::WriteFailed,
                                   QStringLiteral("cannot write %1: %2; %3 row(s) kept in memory")
                                       .arg(path, why)
                                       .arg(rows),
                                   {{QStringLiteral("file"), QStringLiteral("data-file")},
                                    {QStringLiteral("path"), path},
                                    {QStringLiteral("reason"), why},
                                    {QStringLiteral("kept"), rows}});
                });
        connect(&m_session.dataFile(), &DataFileWriter::spillStarted, this,
                [this](const QString& path, const QString& spill) {
                    m_events.print(
                        EventKind::Spilling,
                        QStringLiteral("more than %1 row(s) wait for %2: the oldest are kept in %3")
                            .arg(DataFileWriter::kMaxBacklogRows)
                            .arg(path, spill),
                        {{QStringLiteral("file"), QStringLiteral("data-file")},
                         {QStringLiteral("path"), path},
                         {QStringLiteral("spill"), spill}});
                });
        connect(&m_session.dataFile(), &DataFileWriter::droppingStarted, this,
                [this](const QString& path, const QString& reason) {
                    m_events.print(
                        EventKind::Dropping,
                        QStringLiteral("more than %1 row(s) wait for %2 and no spill file takes "
                                       "them (%3): the oldest are dropped")
                            .arg(DataFileWriter::kMaxBacklogRows)
                            .arg(path, reason),
                        {{QStringLiteral("file"), QStringLiteral("data-file")},
                         {QStringLiteral("path"), path},
                         {QStringLiteral("reason"), reason}});
                });
        connect(&m_session.dataFile(), &DataFileWriter::writeRecovered, this,
                [this](const QString& path, qint64 dropped) {
                    m_events.print(
                        EventKind::WriteRecovered,
                        QStringLiteral("%1 takes writes again: the kept rows are written%2")
                            .arg(path, droppedText(dropped, "row")),
                        {{QStringLiteral("file"), QStringLiteral("data-file")},
                         {QStringLiteral("path"), path},
                         {QStringLiteral("dropped"), dropped}});
                });
        // The network outputs: never in the way of the log file, each told once per fault.
        connect(&m_session, &LiveSession::outputMessage, this,
                [this](const QString& text) { m_events.message(EventKind::Output, text); });
        if (!m_session.setOutputs(m_options.outputs, m_options.portName, &reason)) {
            m_events.message(EventKind::Error, reason);
            return giveUp(2);
        }
        recording.setLogging(true);
        m_session.startSource();
        m_statusTimer.start();
        // A serial port: its device and line; a sensor on the network: how it is reached.
        const QString device = m_session.source().describe();
        const PortSettings* line = m_session.lineSettings();
        const std::optional<double> heading = m_options.values.headingOffset;
        QJsonObject startFields{
            {QStringLiteral("port"), m_options.portName},
            {QStringLiteral("device"), device},
            {QStringLiteral("line"), line ? QJsonValue(lineFields(*line)) : QJsonValue()},
            {QStringLiteral("log"), recording.currentFile()},
            {QStringLiteral("timeBase"),
             m_options.values.localTime ? QStringLiteral("local") : QStringLiteral("UTC")},
            {QStringLiteral("clock"), m_session.clockStateText()},
            {QStringLiteral("outputs"), QJsonArray::fromStringList(m_options.outputTexts)}};
        if (heading)
            startFields.insert(QStringLiteral("heading"), *heading);
        startFields.insert(QStringLiteral("alarms"),
                           QJsonArray::fromStringList(alarmDescriptions(m_options.alarms)));
        if (!m_options.station.isEmpty())
            startFields.insert(QStringLiteral("station"), stationFields(m_options.station));
        m_events.print(
            EventKind::Recording,
            QStringLiteral("recording %1 (%2) into %3, time stamps in %4; %5; %6; %7")
                .arg(m_options.portName,
                     line ? QStringLiteral("%1, %2").arg(device, lineText(*line)) : device,
                     recording.currentFile(),
                     m_options.values.localTime ? QStringLiteral("local time")
                                                : QStringLiteral("UTC"),
                     m_session.clockStateText(),
                     heading ? QStringLiteral("heading %1 degrees true")
                                   .arg(QString::number(*heading, 'g', 6))
                             : QStringLiteral("heading not set, bearings relative to the front "
                                              "of the sensor"),
                     m_options.outputTexts.isEmpty()
                         ? QStringLiteral("no network outputs")
                         : QStringLiteral("outputs: ") +
                               m_options.outputTexts.join(QStringLiteral(", "))) +
                alarmsText() + stationText(),
            startFields);
        if (m_options.rotation)
            m_events.print(EventKind::Rotation, rotationText(*m_options.rotation),
                           {{QStringLiteral("rotation"), rotationText(*m_options.rotation)}});
        // After the start line: an alarm that holds from the start is told below it.
        m_session.setAlarms(m_options.alarms);
        return 0;
    }

    // The log (and data file) named on the command line: created, or continued with --append.
    // Returns the exit status on failure, 0 when open.
    int openFiles()
    {
        QString reason;
        Recording& recording = m_session.recording();
        const bool continuing = m_options.append && QFileInfo::exists(m_options.logFile);
        const bool ok = continuing ? recording.continueFile(m_options.logFile, &reason)
                                   : recording.createFile(m_options.logFile, &reason);
        if (!ok) {
            m_events.message(EventKind::Error,
                             QStringLiteral("cannot %1 %2: %3")
                                 .arg(continuing ? QStringLiteral("record at the end of")
                                                 : QStringLiteral("create"),
                                      m_options.logFile, reason));
            m_session.closeSource();
            return 1;
        }
        if (!continuing)
            m_made << m_options.logFile;
        if (!m_options.dataFile.isEmpty()) {
            const bool existed = QFileInfo::exists(m_options.dataFile);
            if (!m_session.openDataFile(m_options.dataFile, m_options.append, &reason)) {
                m_events.message(EventKind::Error, QStringLiteral("cannot open the data file %1: %2")
                                                       .arg(m_options.dataFile, reason));
                return giveUp(1);
            }
            if (!existed)
                m_made << m_options.dataFile;
        }
        return 0;
    }

    // A log or data file moved or deleted under the run, made again at its path.
    void tellMadeAgain(const QString& file, const QString& path)
    {
        m_events.print(EventKind::MadeAgain,
                       QStringLiteral("%1 was missing or empty: made again with its header").arg(path),
                       {{QStringLiteral("file"), file}, {QStringLiteral("path"), path}});
    }

    // SIGHUP: the files at their paths again (logrotate's postrotate).
    void reopen()
    {
        QString reason;
        // A failure is told as any failed write is, once per episode.
        if (m_session.reopenFiles(&reason)) {
            const QString current = m_session.recording().currentFile();
            m_events.print(EventKind::Reopened, QStringLiteral("reopened %1").arg(current),
                           {{QStringLiteral("log"), current}});
        }
    }

    // SIGUSR1: the moment marked, with the first line of the note file as its note (none when
    // no file is named; a file that cannot be read gives a warning and a mark without a note).
    void mark()
    {
        QString note;
        if (!m_options.markNoteFile.isEmpty()) {
            QFile file(m_options.markNoteFile);
            if (file.open(QIODevice::ReadOnly)) {
                // More than a note holds is not read: the file may be anything.
                note = QString::fromUtf8(file.readLine(4 * LiveSession::kMarkNoteLength));
            } else {
                m_events.message(EventKind::Warning,
                                 QStringLiteral("cannot read the mark note file %1: %2; marked "
                                                "without a note")
                                     .arg(m_options.markNoteFile, file.errorString()));
            }
        }
        m_session.mark(note);
    }

    // The end of the run: every byte already received is framed and logged first. Returns the
    // exit status: 1 when lines could not be written (they are told: where they are kept, or
    // that they were dropped).
    int finish()
    {
        m_session.finish();
        m_statusTimer.stop();
        printStatus(true);
        const Recording& recording = m_session.recording();
        bool lost = reportLeftOver(recording.currentFile(), recording.spilledLines(),
                                   recording.spillPath(), recording.droppedLines(), "line");
        const DataFileWriter& data = m_session.dataFile();
        if (!m_options.dataFile.isEmpty())
            lost |= reportLeftOver(data.path().isEmpty() ? m_options.dataFile : data.path(),
                                   data.spilledRows(), data.spillPath(), data.droppedRows(), "row");
        return lost ? 1 : 0;
    }

    void takeBatch(const SampleBatch& batch) override
    {
        // Kept as it came; put into words only when the status is printed.
        if (const Sample* last = lastComputed(batch)) {
            m_lastSample = *last;
            m_sinceLast.start();
        }
    }

    // Every kind of the session's events is decided on here: no default, so a kind added to the
    // session does not compile until the recorder says what it tells of it.
    void takeEvent(const SessionEvent& event) override
    {
        const QJsonValue port = event.portName;
        switch (event.kind) {
        case SessionEvent::Kind::Connected:
            // Told by the start line, printed as soon as polling has started.
            break;
        case SessionEvent::Kind::Finishing:
            // Told by the last status line, printed as soon as the last poll is done.
            break;
        case SessionEvent::Kind::Disconnected:
            m_events.print(EventKind::Disconnected,
                           QStringLiteral("port %1 closed").arg(event.portName),
                           {{QStringLiteral("port"), port}});
            break;
        case SessionEvent::Kind::DeviceLost:
            m_events.print(EventKind::DeviceLost,
                           QStringLiteral("device lost: %1: %2")
                               .arg(event.portName, LiveSession::oneLine(event.reason)),
                           {{QStringLiteral("port"), port},
                            {QStringLiteral("reason"), LiveSession::oneLine(event.reason)}});
            break;
        case SessionEvent::Kind::Reconnecting:
            m_events.print(EventKind::Reconnecting,
                           QStringLiteral("device lost: %1: %2 %3")
                               .arg(event.portName, LiveSession::oneLine(event.reason),
                                    m_session.source().retryText()),
                           {{QStringLiteral("port"), port},
                            {QStringLiteral("reason"), LiveSession::oneLine(event.reason)}});
            break;
        case SessionEvent::Kind::Reconnected: {
            ++m_reconnections;
            const QString device = m_session.source().describe();
            m_events.print(EventKind::Reconnected,
                           QStringLiteral("reconnected: %1 (%2)").arg(event.portName, device),
                           {{QStringLiteral("port"), port}, {QStringLiteral("device"), device}});
            break;
        }
        case SessionEvent::Kind::NoData:
            // Told once a silence, not once a second.
            if (!m_silent)
                m_events.print(
                    EventKind::NoData, QStringLiteral("no data since %1 s").arg(event.seconds),
                    {{QStringLiteral("port"), port}, {QStringLiteral("seconds"), event.seconds}});
            m_silent = true;
            break;
        case SessionEvent::Kind::DataAgain:
            m_silent = false;
            m_events.print(
                EventKind::DataAgain,
                QStringLiteral("data again after %1 s without").arg(event.seconds),
                {{QStringLiteral("port"), port}, {QStringLiteral("seconds"), event.seconds}});
            break;
        case SessionEvent::Kind::ClockState:
            m_events.print(EventKind::ClockState, event.reason,
                           {{QStringLiteral("clock"), event.reason}});
            break;
        case SessionEvent::Kind::ClockStepped:
            m_events.print(EventKind::ClockStepped, event.reason,
                           {{QStringLiteral("message"), event.reason}});
            break;
        case SessionEvent::Kind::AlarmRaised:
        case SessionEvent::Kind::AlarmCleared: {
            const bool raised = event.kind == SessionEvent::Kind::AlarmRaised;
            QString measured;
            if (std::isfinite(event.value))
                measured = QStringLiteral(" (%1)").arg(alarmValueText(event.alarm, event.value));
            m_events.print(EventKind::Alarm,
                           QStringLiteral("alarm %1: %2%3")
                               .arg(raised ? QStringLiteral("raised") : QStringLiteral("cleared"),
                                    event.reason, measured),
                           {{QStringLiteral("alarm"), event.alarm},
                            {QStringLiteral("state"),
                             raised ? QStringLiteral("raised") : QStringLiteral("cleared")},
                            {QStringLiteral("value"),
                             std::isfinite(event.value) ? QJsonValue(event.value) : QJsonValue()},
                            {QStringLiteral("message"), event.reason}});
            break;
        }
        case SessionEvent::Kind::Mark:
            m_events.print(
                EventKind::Mark,
                event.reason.isEmpty()
                    ? QStringLiteral("mark at %1").arg(isoUtcText(event.timeMs))
                    : QStringLiteral("mark at %1: %2").arg(isoUtcText(event.timeMs), event.reason),
                {{QStringLiteral("markTime"), isoUtcText(event.timeMs)},
                 {QStringLiteral("note"), event.reason}});
            break;
        }
    }

private:
    // The station's details, for the start line: "; station: name Tessmoor pier, id pier-4",
    // nothing when none is set.
    QString stationText() const
    {
        const QStringList details = stationDescriptions(m_options.station);
        return details.isEmpty() ? QString()
                                 : QStringLiteral("; station: ") +
                                       details.join(QStringLiteral(", "));
    }

    // The details set, as the start line's JSON form names them ("serialNumber").
    static QJsonObject stationFields(const StationDetails& station)
    {
        QJsonObject fields;
        for (const StationField field : ::stationFields()) {
            const QString text = stationFieldText(station, field);
            if (text.isEmpty())
                continue;
            QString key = stationKey(field);
            key[0] = key[0].toLower();
            fields.insert(key, text);
        }
        return fields;
    }

    // The alarms on, for the start line: "; alarms: speed above ...", nothing when none is.
    QString alarmsText() const
    {
        const QStringList alarms = alarmDescriptions(m_options.alarms);
        return alarms.isEmpty() ? QString()
                                : QStringLiteral("; alarms: ") + alarms.join(QStringLiteral(", "));
    }

    // The measure of an alarm with its unit: "1.623 m/s", "30 s", "412 MB".
    static QString alarmValueText(const QString& alarm, double value)
    {
        if (alarm.startsWith(QLatin1String("speed")))
            return QString::number(value, 'f', 3) + QStringLiteral(" m/s");
        if (alarm == QLatin1String("no-data"))
            return QString::number(qint64(value)) + QStringLiteral(" s");
        if (alarm == QLatin1String("free-space"))
            return QString::number(qint64(value)) + QStringLiteral(" MB free");
        if (alarm == QLatin1String("clock"))
            return QStringLiteral("estimated error %1 ms").arg(std::ceil(value));
        return QString::number(value);
    }

    int giveUp(int status)
    {
        m_session.closeSource();
        for (const QString& path : std::as_const(m_made))
            QFile::remove(path);
        return status;
    }

    static QString rotationText(const LogRotation& rotation)
    {
        QString when;
        switch (rotation.every()) {
        case LogRotation::Every::Day:
            when = QStringLiteral("each UTC day");
            break;
        case LogRotation::Every::Hour:
            when = QStringLiteral("each UTC hour");
            break;
        case LogRotation::Every::Size:
            when = QStringLiteral("once the log has %1 bytes").arg(rotation.maxBytes());
            break;
        }
        QString text = QStringLiteral("a new log %1, named %2").arg(when, rotation.logPattern());
        if (rotation.keepDays() > 0)
            text += QStringLiteral("; files more than %1 day(s) old are removed")
                        .arg(rotation.keepDays());
        return text;
    }

    static QString droppedText(qint64 dropped, const char* what)
    {
        return dropped > 0
                   ? QStringLiteral("; %1 %2(s) were dropped").arg(dropped).arg(QLatin1String(what))
                   : QString();
    }

    // What a file did not get by the end of the run. Returns whether anything.
    bool reportLeftOver(const QString& path, qint64 kept, const QString& keptIn, qint64 dropped,
                        const char* what) const
    {
        if (kept > 0)
            m_events.print(EventKind::NotWritten,
                           QStringLiteral("could not write %1 %2(s) to %3; they are kept in %4")
                               .arg(kept)
                               .arg(QLatin1String(what), path, keptIn),
                           {{QStringLiteral("path"), path},
                            {QStringLiteral("kept"), kept},
                            {QStringLiteral("keptIn"), keptIn}});
        if (dropped > 0)
            m_events.print(EventKind::NotWritten,
                           QStringLiteral("%1 %2(s) for %3 were dropped: no place could keep them")
                               .arg(dropped)
                               .arg(QLatin1String(what), path),
                           {{QStringLiteral("path"), path}, {QStringLiteral("dropped"), dropped}});
        return kept > 0 || dropped > 0;
    }

    // The status line; the last one of the run says so in its JSON form.
    void printStatus(bool last)
    {
        const Recording& recording = m_session.recording();
        const QStringList outputs = m_session.outputStates();
        QJsonObject fields{{QStringLiteral("samples"), recording.samplesWritten()},
                           {QStringLiteral("reconnections"), m_reconnections},
                           {QStringLiteral("backlog"), recording.backlogLines()},
                           {QStringLiteral("outputs"), QJsonArray::fromStringList(outputs)},
                           {QStringLiteral("final"), last}};
        QString lastText = QStringLiteral("no sample yet");
        if (m_sinceLast.isValid()) {
            const QString units = unitsInfo(m_lastSample.units).speedUnits;
            const qint64 ago = m_sinceLast.elapsed() / 1000;
            lastText = QStringLiteral("last %1 %2 %3, %4 s ago")
                           .arg(m_lastSample.speedText, units, m_lastSample.bearingText)
                           .arg(ago);
            fields.insert(QStringLiteral("last"),
                          QJsonObject{{QStringLiteral("speed"), m_lastSample.speedText},
                                      {QStringLiteral("units"), units},
                                      {QStringLiteral("bearing"), m_lastSample.bearingText},
                                      {QStringLiteral("secondsAgo"), ago}});
        }
        // The count is what the file holds from this run, not what was handed to it.
        QString kept;
        if (recording.backlogLines() > 0)
            kept += QStringLiteral(", %1 line(s) waiting in memory").arg(recording.backlogLines());
        if (recording.spilledLines() > 0)
            kept += QStringLiteral(", %1 in %2")
                        .arg(recording.spilledLines())
                        .arg(recording.spillPath());
        if (recording.droppedLines() > 0)
            kept += QStringLiteral(", %1 line(s) dropped").arg(recording.droppedLines());
        const DataFileWriter& data = m_session.dataFile();
        if (data.waitingRows() > 0 || data.droppedRows() > 0)
            kept += QStringLiteral(", data file: %1 row(s) waiting, %2 dropped")
                        .arg(data.waitingRows())
                        .arg(data.droppedRows());
        fields.insert(QStringLiteral("spilled"), recording.spilledLines());
        fields.insert(QStringLiteral("dropped"), recording.droppedLines());
        fields.insert(QStringLiteral("dataFileWaiting"), data.waitingRows());
        fields.insert(QStringLiteral("dataFileDropped"), data.droppedRows());
        m_events.print(EventKind::Status,
                       QStringLiteral("%1 samples logged, %2, %3 reconnection(s)%4%5")
                           .arg(recording.samplesWritten())
                           .arg(lastText)
                           .arg(m_reconnections)
                           .arg(kept)
                           .arg(outputs.isEmpty()
                                    ? QString()
                                    : QStringLiteral("; ") + outputs.join(QStringLiteral(", "))),
                       fields);
    }

    RecordOptions m_options;
    const EventPrinter& m_events;
    ProgramOptions m_settings;
    LiveSession m_session;
    QTimer m_statusTimer;
    QElapsedTimer m_sinceLast;
    Sample m_lastSample;
    int m_reconnections = 0;
    bool m_silent = false;
    QStringList m_made; // files this run created
};

} // namespace

int main(int argc, char* argv[])
{
    // SIGINT and SIGTERM are taken through a signalfd read by the event loop: blocked here,
    // before any thread starts, so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);
    if (::sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::perror("marvane-record: sigprocmask");
        return 1;
    }
    const int signalFd = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("marvane-record: signalfd");
        return 1;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marvane-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records the flow sensor into LOGFILE without a window. Serial settings "
                       "not given here come from marvane.ini. SIGHUP reopens the log and the "
                       "data file at their paths (for logrotate's postrotate); SIGUSR1 marks "
                       "the moment (see --mark-note-file)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("settings"),
         QStringLiteral("Settings file to read (default: %1).").arg(settingsFilePath()),
         QStringLiteral("FILE")},
        {QStringLiteral("port"),
         QStringLiteral("COM1..COM4 (mapped through [Ports] of the settings file), a device "
                        "path, or tcp://HOST:PORT for a sensor behind a serial-to-Ethernet "
                        "device server in raw TCP mode."),
         QStringLiteral("NAME")},
        {QStringLiteral("baud"), QStringLiteral("Baud rate."), QStringLiteral("N")},
        {QStringLiteral("data-bits"), QStringLiteral("7 or 8."), QStringLiteral("N")},
        {QStringLiteral("parity"), QStringLiteral("none, odd, even, mark or space."),
         QStringLiteral("P")},
        {QStringLiteral("stop-bits"), QStringLiteral("1, 1.5 or 2."), QStringLiteral("N")},
        {QStringLiteral("face-up"), QStringLiteral("The sensor is mounted face up.")},
        {QStringLiteral("face-down"), QStringLiteral("The sensor is mounted face down.")},
        {QStringLiteral("bearing-from"),
         QStringLiteral("Bearing where the flow comes from (default).")},
        {QStringLiteral("bearing-to"), QStringLiteral("Bearing where the flow heads to.")},
        {QStringLiteral("utc"), QStringLiteral("Time stamps in UTC (default).")},
        {QStringLiteral("local-time"), QStringLiteral("Time stamps in the computer's local time.")},
        {QStringLiteral("heading"),
         QStringLiteral("The sensor's heading in degrees true, added to every bearing."),
         QStringLiteral("DEG")},
        {QStringLiteral("data-file"),
         QStringLiteral("Also write everything measured into FILE (CSV), beside the log: a "
                        "relative FILE is taken from the log's folder."),
         QStringLiteral("FILE")},
        {QStringLiteral("append"),
         QStringLiteral("Record at the end of LOGFILE if it exists (a log of this program).")},
        {QStringLiteral("events"),
         QStringLiteral("How events are told on standard error: text (sentences, the default) or "
                        "json (one JSON object a line)."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("rotate"),
         QStringLiteral("Start a new log (and data file) at each UTC day (daily) or hour "
                        "(hourly), or once the log has grown past a size (bytes, or with k, M "
                        "or G: 10M). LOGFILE and --data-file then hold date fields, filled in "
                        "in UTC: %Y %m %d %H %M %S, as in pier-%Y%m%d.log."),
         QStringLiteral("WHEN")},
        {QStringLiteral("mark-note-file"),
         QStringLiteral("At each SIGUSR1 (a mark), the first line of FILE is the mark's note "
                        "(trimmed, at most %1 characters); a missing FILE gives a mark without a "
                        "note, and a warning.")
             .arg(LiveSession::kMarkNoteLength),
         QStringLiteral("FILE")},
        {QStringLiteral("keep-days"),
         QStringLiteral("With --rotate: remove the files of LOGFILE's and --data-file's "
                        "patterns dated more than N days before today (UTC)."),
         QStringLiteral("N")},
    });
    addOutputOptions(parser);
    addAlarmOptions(parser);
    addStationOptions(parser, QStringLiteral("[Station] %1 of the settings file"));
    parser.addPositionalArgument(
        QStringLiteral("LOGFILE"),
        QStringLiteral("The log file to create (with --rotate, its name with date fields)."));

    if (!parser.parse(QCoreApplication::arguments())) {
        say(parser.errorText() + QStringLiteral(" (see --help)"));
        return 2;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("marvane-record %s\n", MARVANE_VERSION);
        return 0;
    }
    QString usageError;
    const std::optional<RecordOptions> options = readOptions(parser, &usageError);
    if (!options) {
        say(usageError + QStringLiteral(" (see --help)"));
        return 2;
    }

    const EventPrinter events(options->events);
    if (!options->settingsWarning.isEmpty())
        events.message(EventKind::Warning, options->settingsWarning);
    for (const QString& problem : options->stationWarnings)
        events.message(EventKind::Warning, problem);
    // Every option is checked before anything is made: the outputs' files too.
    QString outputsError;
    if (!checkOutputs(options->outputs, &outputsError)) {
        events.message(EventKind::Error, outputsError);
        return 2;
    }

    Recorder recorder(*options, events);
    if (const int status = recorder.start(); status != 0)
        return status;

    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info;
        bool stop = false;
        bool reopen = false;
        int marks = 0;
        while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
            if (info.ssi_signo == SIGHUP)
                reopen = true;
            else if (info.ssi_signo == SIGUSR1)
                ++marks;
            else
                stop = true;
        }
        if (reopen && !stop)
            recorder.reopen();
        // A mark sent just before a stop is still taken: the operator asked for it first.
        for (int i = 0; i < marks; ++i)
            recorder.mark();
        if (!stop)
            return;
        stopNotifier.setEnabled(false);
        QCoreApplication::exit(recorder.finish());
    });
    const int status = QCoreApplication::exec();
    ::close(signalFd);
    return status;
}
