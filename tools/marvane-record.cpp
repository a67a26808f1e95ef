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
// SIGHUP reopens the files at their paths, as logrotate's postrotate expects. Every option is
// checked before any file is made, so a refused command line leaves nothing behind.

#include "base/SettingsLocation.h"
#include "comms/PortSettings.h"
#include "comms/SerialSource.h"
#include "logfile/DataFileWriter.h"
#include "logfile/LogRotation.h"
#include "logfile/Recording.h"
#include "outputs/OutputOptions.h"
#include "outputs/Outputs.h"
#include "processing/FlowPipeline.h"
#include "processing/SampleSink.h"
#include "session/LiveSession.h"
#include "session/ProgramOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
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
    std::optional<LogRotation> rotation; // LOGFILE and dataFile are its patterns
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
        say(unreadable + QStringLiteral(" Its defaults are used."));
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
    options.values.reconnect = true;
    options.dataFile = parser.value(QStringLiteral("data-file"));
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
                return fail(QStringLiteral("--data-file %1 %2").arg(options.dataFile, problem));
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

    options.portName = parser.isSet(QStringLiteral("port")) ? parser.value(QStringLiteral("port"))
                                                            : options.port.portName;
    if (options.portName.isEmpty())
        return fail(QStringLiteral("no port given"));

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

void tell(const QString& line)
{
    say(stamped(line));
}

// One recording run: a live session, presented on standard error.
class Recorder : public QObject, public SampleSink
{
public:
    explicit Recorder(const RecordOptions& options)
        : m_options(options), m_settings(options.settingsPath), m_session(&m_settings)
    {
        m_settings.setValues(m_options.values);
        // The command line may set what the options cannot (mark and space parity, any baud).
        m_session.serial().setPortSettings(m_options.port);
        m_session.pipeline().setBearingTo(m_options.bearingTo);
        m_session.addSink(this);
        connect(&m_session.recording(), &Recording::appendFailed, this,
                [](const QString& path, const QString& reason, int backlog) {
                    // Told once per episode by the recording itself.
                    tell(QStringLiteral("cannot write %1: %2; %3 line(s) kept in memory")
                             .arg(path, reason)
                             .arg(backlog));
                });
        connect(
            &m_session.recording(), &Recording::spillStarted, this,
            [](const QString& path, const QString& spill) {
                tell(QStringLiteral("more than %1 line(s) wait for %2: the oldest are kept in %3")
                         .arg(LogRecorder::kMaxBacklogLines)
                         .arg(path, spill));
            });
        connect(&m_session.recording(), &Recording::droppingStarted, this,
                [](const QString& path, const QString& reason) {
                    tell(QStringLiteral("more than %1 line(s) wait for %2 and no spill file takes "
                                        "them (%3): the oldest are dropped")
                             .arg(LogRecorder::kMaxBacklogLines)
                             .arg(path, reason));
                });
        connect(&m_session.recording(), &Recording::appendRecovered, this,
                [](const QString& path, qint64 dropped) {
                    tell(QStringLiteral("%1 takes writes again: the kept lines are written%2")
                             .arg(path, droppedText(dropped, "line")));
                });
        // A log moved or deleted under the run (logrotate, a tidy-up script), or a new one.
        connect(&m_session.recording(), &Recording::fileMadeAgain, this, [](const QString& path) {
            tell(QStringLiteral("%1 was missing or empty: made again with its header").arg(path));
        });
        connect(&m_session.dataFile(), &DataFileWriter::madeAgain, this, [](const QString& path) {
            tell(QStringLiteral("%1 was missing or empty: made again with its header").arg(path));
        });
        connect(&m_session, &LiveSession::filesRotated, this,
                [](const QString& log, const QString& data) {
                    tell(data.isEmpty()
                             ? QStringLiteral("recording into %1").arg(log)
                             : QStringLiteral("recording into %1 and %2").arg(log, data));
                });
        connect(&m_session, &LiveSession::rotationFailed, this,
                [this](const QString& path, const QString& reason) {
                    tell(QStringLiteral("cannot create %1: %2; recording goes on into %3")
                             .arg(path, reason, m_session.recording().currentFile()));
                });
        connect(&m_session, &LiveSession::dataFileFailed, this,
                [](const QString& path, const QString& reason) {
                    tell(QStringLiteral("cannot open the data file %1: %2").arg(path, reason));
                });
        connect(&m_session, &LiveSession::oldFilesRemoved, this, [](const QStringList& paths) {
            for (const QString& path : paths)
                tell(QStringLiteral("removed %1, older than --keep-days").arg(path));
        });
        m_statusTimer.setInterval(kStatusInterval);
        connect(&m_statusTimer, &QTimer::timeout, this, &Recorder::printStatus);
    }

    // Opens the port, then the log file. Returns the exit status on failure, 0 when running;
    // a file made on the way is removed again on failure, so the same command can run again.
    int start()
    {
        QString reason;
        const QString device = m_session.devicePathFor(m_options.portName);
        if (device.isEmpty()) {
            say(QStringLiteral("no device for port %1").arg(m_options.portName));
            return 1;
        }
        if (!m_session.openPort(&reason, m_options.portName)) {
            say(LiveSession::oneLine(reason));
            return 1;
        }
        Recording& recording = m_session.recording();
        if (m_options.rotation) {
            if (!m_session.startRotation(*m_options.rotation, m_options.append, &reason, &m_made)) {
                say(reason);
                return giveUp(1);
            }
        } else if (const int status = openFiles(); status != 0) {
            return status;
        }
        connect(&m_session.dataFile(), &DataFileWriter::writeFailed, this,
                [](const QString& path, const QString& why, int rows) {
                    tell(QStringLiteral("cannot write %1: %2; %3 row(s) kept in memory")
                             .arg(path, why)
                             .arg(rows));
                });
        connect(&m_session.dataFile(), &DataFileWriter::spillStarted, this,
                [](const QString& path, const QString& spill) {
                    tell(
                        QStringLiteral("more than %1 row(s) wait for %2: the oldest are kept in %3")
                            .arg(DataFileWriter::kMaxBacklogRows)
                            .arg(path, spill));
                });
        connect(&m_session.dataFile(), &DataFileWriter::droppingStarted, this,
                [](const QString& path, const QString& reason) {
                    tell(QStringLiteral("more than %1 row(s) wait for %2 and no spill file takes "
                                        "them (%3): the oldest are dropped")
                             .arg(DataFileWriter::kMaxBacklogRows)
                             .arg(path, reason));
                });
        connect(&m_session.dataFile(), &DataFileWriter::writeRecovered, this,
                [](const QString& path, qint64 dropped) {
                    tell(QStringLiteral("%1 takes writes again: the kept rows are written%2")
                             .arg(path, droppedText(dropped, "row")));
                });
        // The network outputs: never in the way of the log file, each told once per fault.
        connect(&m_session, &LiveSession::outputMessage, this,
                [](const QString& text) { tell(text); });
        if (!m_session.setOutputs(m_options.outputs, m_options.portName, &reason)) {
            say(reason);
            return giveUp(2);
        }
        recording.setLogging(true);
        m_session.startPolling();
        m_statusTimer.start();
        tell(QStringLiteral("recording %1 (%2, %3) into %4, time stamps in %5")
                 .arg(m_options.portName, device, lineText(m_session.serial().portSettings()),
                      recording.currentFile(),
                      m_options.values.localTime ? QStringLiteral("local time")
                                                 : QStringLiteral("UTC")));
        if (m_options.rotation)
            tell(rotationText(*m_options.rotation));
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
            say(QStringLiteral("cannot %1 %2: %3")
                    .arg(continuing ? QStringLiteral("record at the end of")
                                    : QStringLiteral("create"),
                         m_options.logFile, reason));
            m_session.disconnectPort();
            return 1;
        }
        if (!continuing)
            m_made << m_options.logFile;
        if (!m_options.dataFile.isEmpty()) {
            const bool existed = QFileInfo::exists(m_options.dataFile);
            if (!m_session.openDataFile(m_options.dataFile, m_options.append, &reason)) {
                say(QStringLiteral("cannot open the data file %1: %2")
                        .arg(m_options.dataFile, reason));
                return giveUp(1);
            }
            if (!existed)
                m_made << m_options.dataFile;
        }
        return 0;
    }

    // SIGHUP: the files at their paths again (logrotate's postrotate).
    void reopen()
    {
        QString reason;
        // A failure is told as any failed write is, once per episode.
        if (m_session.reopenFiles(&reason))
            tell(QStringLiteral("reopened %1").arg(m_session.recording().currentFile()));
    }

    // The end of the run: every byte already received is framed and logged first. Returns the
    // exit status: 1 when lines could not be written (they are told: where they are kept, or
    // that they were dropped).
    int finish()
    {
        m_session.finish();
        m_statusTimer.stop();
        printStatus();
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

    void takeEvent(const SessionEvent& event) override
    {
        switch (event.kind) {
        case SessionEvent::Kind::Reconnecting:
            tell(QStringLiteral("device lost: %1: %2 Trying again every second.")
                     .arg(event.portName, LiveSession::oneLine(event.reason)));
            break;
        case SessionEvent::Kind::Reconnected:
            ++m_reconnections;
            tell(QStringLiteral("reconnected: %1 (%2)")
                     .arg(event.portName, m_session.devicePathFor(m_options.portName)));
            break;
        case SessionEvent::Kind::NoData:
            if (!m_silent)
                tell(QStringLiteral("no data since %1 s").arg(event.seconds));
            m_silent = true;
            break;
        case SessionEvent::Kind::DataAgain:
            m_silent = false;
            tell(QStringLiteral("data again after %1 s without").arg(event.seconds));
            break;
        default:
            break;
        }
    }

private:
    int giveUp(int status)
    {
        m_session.disconnectPort();
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
    static bool reportLeftOver(const QString& path, qint64 kept, const QString& keptIn,
                               qint64 dropped, const char* what)
    {
        if (kept > 0)
            tell(QStringLiteral("could not write %1 %2(s) to %3; they are kept in %4")
                     .arg(kept)
                     .arg(QLatin1String(what), path, keptIn));
        if (dropped > 0)
            tell(QStringLiteral("%1 %2(s) for %3 were dropped: no place could keep them")
                     .arg(dropped)
                     .arg(QLatin1String(what), path));
        return kept > 0 || dropped > 0;
    }

    void printStatus()
    {
        const Recording& recording = m_session.recording();
        const QString last =
            m_sinceLast.isValid()
                ? QStringLiteral("last %1 %2 %3, %4 s ago")
                      .arg(m_lastSample.speedText, unitsInfo(m_lastSample.units).speedUnits,
                           m_lastSample.bearingText)
                      .arg(m_sinceLast.elapsed() / 1000)
                : QStringLiteral("no sample yet");
        const QStringList outputs = m_session.outputStates();
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
        say(QStringLiteral("%1 samples logged, %2, %3 reconnection(s)%4%5")
                .arg(recording.samplesWritten())
                .arg(last)
                .arg(m_reconnections)
                .arg(kept)
                .arg(outputs.isEmpty()
                         ? QString()
                         : QStringLiteral("; ") + outputs.join(QStringLiteral(", "))));
    }

    RecordOptions m_options;
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
                       "data file at their paths (for logrotate's postrotate)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("settings"),
         QStringLiteral("Settings file to read (default: %1).").arg(settingsFilePath()),
         QStringLiteral("FILE")},
        {QStringLiteral("port"),
         QStringLiteral("COM1..COM4 (mapped through [Ports] of the settings file) or a device "
                        "path."),
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
         QStringLiteral("Also write everything measured into FILE (CSV), beside the log."),
         QStringLiteral("FILE")},
        {QStringLiteral("append"),
         QStringLiteral("Record at the end of LOGFILE if it exists (a log of this program).")},
        {QStringLiteral("rotate"),
         QStringLiteral("Start a new log (and data file) at each UTC day (daily) or hour "
                        "(hourly), or once the log has grown past a size (bytes, or with k, M "
                        "or G: 10M). LOGFILE and --data-file then hold date fields, filled in "
                        "in UTC: %Y %m %d %H %M %S, as in pier-%Y%m%d.log."),
         QStringLiteral("WHEN")},
        {QStringLiteral("keep-days"),
         QStringLiteral("With --rotate: remove the files of LOGFILE's and --data-file's "
                        "patterns dated more than N days before today (UTC)."),
         QStringLiteral("N")},
    });
    addOutputOptions(parser);
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

    // Every option is checked before anything is made: the outputs' files too.
    QString outputsError;
    if (!checkOutputs(options->outputs, &outputsError)) {
        say(outputsError);
        return 2;
    }

    Recorder recorder(*options);
    if (const int status = recorder.start(); status != 0)
        return status;

    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info;
        bool stop = false;
        bool reopen = false;
        while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
            if (info.ssi_signo == SIGHUP)
                reopen = true;
            else
                stop = true;
        }
        if (reopen && !stop)
            recorder.reopen();
        if (!stop)
            return;
        stopNotifier.setEnabled(false);
        QCoreApplication::exit(recorder.finish());
    });
    const int status = QCoreApplication::exec();
    ::close(signalFd);
    return status;
}
