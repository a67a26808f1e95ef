// marvane-record: records the flow sensor into a log file without a window.
//
// The same source, pipeline and recording as the window, so the file is byte for byte what the
// window writes: header, units line, one line per sample stamped with the local time of arrival.
// The serial settings come from marvane.ini unless the command line says otherwise. A device that
// goes away is waited for and reopened; a log file that stops taking writes keeps the samples in
// memory until it takes them again. SIGINT and SIGTERM end the run after one last poll.

#include "base/SettingsFile.h"
#include "base/SettingsLocation.h"
#include "comms/PortMapping.h"
#include "comms/PortSettings.h"
#include "comms/SerialSource.h"
#include "logfile/Recording.h"
#include "processing/FlowPipeline.h"
#include "processing/NoDataWatch.h"
#include "processing/Sample.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/signalfd.h>
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
    QString portName;   // "COM1" or the device path as given
    QString devicePath; // what is opened
    PortSettings port;
    DisplayFlags flags;
    bool bearingTo = false;
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
    if (parser.isSet(QStringLiteral("face-up")) && parser.isSet(QStringLiteral("face-down")))
        return fail(QStringLiteral("--face-up and --face-down exclude each other"));
    if (parser.isSet(QStringLiteral("bearing-from")) && parser.isSet(QStringLiteral("bearing-to")))
        return fail(QStringLiteral("--bearing-from and --bearing-to exclude each other"));

    RecordOptions options;
    options.logFile = files.first();
    options.append = parser.isSet(QStringLiteral("append"));
    const QString settingsPath = parser.isSet(QStringLiteral("settings"))
                                     ? parser.value(QStringLiteral("settings"))
                                     : settingsFilePath();
    // A settings file that cannot be read (a FIFO, a device, no permission) is told once and
    // the run goes on with the defaults and what the command line says.
    const SettingsRead settings = readSettings(settingsPath);
    if (!settings.error.isEmpty())
        say(settings.error + QStringLiteral(" Its defaults are used."));
    applyCommsSettings(settings.comms, options.port, options.flags);

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
        options.flags.faceUp = true;
    if (parser.isSet(QStringLiteral("face-down")))
        options.flags.faceUp = false;
    options.bearingTo = parser.isSet(QStringLiteral("bearing-to"));

    // COM1..COM4 go through [Ports] of the settings file as in the window; anything else is a
    // device path.
    const QString port = parser.isSet(QStringLiteral("port")) ? parser.value(QStringLiteral("port"))
                                                              : options.port.portName;
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm][1-4]$"));
    if (comName.match(port).hasMatch()) {
        options.portName = port.toUpper();
        options.devicePath = devicePathForPort(options.portName, settingsPath);
    } else {
        options.portName = port;
        options.devicePath = port;
    }
    if (options.devicePath.isEmpty())
        return fail(QStringLiteral("no device for port %1").arg(port));
    options.port.portName = options.portName;

    if (QFileInfo::exists(options.logFile) && !options.append)
        return fail(
            QStringLiteral("%1 exists; give --append to record at its end").arg(options.logFile));
    return options;
}

// One recording run: the serial source, the pipeline and the recording wired as in the window,
// and the operator's view of it on standard error.
class Recorder : public QObject
{
public:
    explicit Recorder(const RecordOptions& options)
        : m_options(options), m_source(&m_options.port), m_pipeline(&m_options.flags)
    {
        m_pipeline.setBearingTo(m_options.bearingTo);
        connect(&m_source, &SerialSource::recordReceived, &m_pipeline,
                [this](const QByteArray& record) {
                    m_pipeline.processRecord(QString::fromLatin1(record), SampleSource::Serial);
                });
        connect(&m_pipeline, &FlowPipeline::sampleReady, this, &Recorder::onSample);
        connect(&m_recording, &Recording::appendFailed, this,
                [](const QString& path, const QString& reason, int backlog) {
                    // Told once per episode by the recording itself.
                    say(QStringLiteral("cannot write %1: %2; %3 line(s) kept in memory")
                            .arg(path, reason)
                            .arg(backlog));
                });
        connect(&m_recording, &Recording::appendRecovered, this, [](const QString& path) {
            say(QStringLiteral("%1 takes writes again: the kept lines are written").arg(path));
        });
        connect(
            &m_source, &SerialSource::reconnecting, this,
            [this](const QString& port, const QString& reason) {
                m_watch.stop();
                say(QStringLiteral("device lost: %1: %2 Trying again every second.")
                        .arg(port, QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '))));
            });
        connect(&m_source, &SerialSource::reconnected, this, [this](const QString& port) {
            ++m_reconnections;
            m_watch.start();
            say(QStringLiteral("reconnected: %1 (%2)").arg(port, m_options.devicePath));
        });
        connect(&m_watch, &NoDataWatch::noDataBegan, this,
                [](int seconds) { say(QStringLiteral("no data since %1 s").arg(seconds)); });
        connect(&m_watch, &NoDataWatch::dataResumed, this, [](int seconds) {
            say(QStringLiteral("data again after %1 s without").arg(seconds));
        });
        m_statusTimer.setInterval(kStatusInterval);
        connect(&m_statusTimer, &QTimer::timeout, this, &Recorder::printStatus);
    }

    // Opens the port, then the log file. Returns the exit status on failure, 0 when running.
    int start()
    {
        QString reason;
        if (!m_source.open(m_options.devicePath, m_options.portName, &reason)) {
            // The hint about [Ports] fits a COM name only, not a device path given as such.
            if (m_options.portName == m_options.devicePath)
                reason = reason.section(QLatin1Char('\n'), 0, 0);
            say(reason.replace(QLatin1Char('\n'), QLatin1Char(' ')));
            return 1;
        }
        const bool continuing = m_options.append && QFileInfo::exists(m_options.logFile);
        const bool ok = continuing ? m_recording.continueFile(m_options.logFile, &reason)
                                   : m_recording.createFile(m_options.logFile, &reason);
        if (!ok) {
            say(QStringLiteral("cannot %1 %2: %3")
                    .arg(continuing ? QStringLiteral("record at the end of")
                                    : QStringLiteral("create"),
                         m_options.logFile, reason));
            m_source.close();
            return 1;
        }
        m_recording.setLogging(true);
        m_source.setReconnect(true);
        m_source.startPolling();
        m_watch.start();
        m_statusTimer.start();
        say(QStringLiteral("recording %1 (%2, %3) into %4")
                .arg(m_options.portName, m_options.devicePath, lineText(m_options.port),
                     m_options.logFile));
        return 0;
    }

    // The end of the run: every byte already received is framed and logged first.
    void finish()
    {
        if (m_source.isOpen())
            m_source.poll();
        m_source.close();
        m_statusTimer.stop();
        printStatus();
    }

private:
    void onSample(const Sample& sample)
    {
        m_watch.recordArrived();
        if (!sample.computed)
            return;
        if (m_recording.record(sample))
            ++m_logged;
        m_lastSample =
            QStringLiteral("%1 %2 %3").arg(sample.speedText, sample.speedUnits, sample.bearingText);
        m_sinceLast.start();
    }

    void printStatus()
    {
        const QString last = m_sinceLast.isValid() ? QStringLiteral("last %1, %2 s ago")
                                                         .arg(m_lastSample)
                                                         .arg(m_sinceLast.elapsed() / 1000)
                                                   : QStringLiteral("no sample yet");
        say(QStringLiteral("%1 samples logged, %2, %3 reconnection(s)%4")
                .arg(m_logged)
                .arg(last)
                .arg(m_reconnections)
                .arg(m_recording.backlogLines() > 0
                         ? QStringLiteral(", %1 line(s) waiting in memory")
                               .arg(m_recording.backlogLines())
                         : QString()));
    }

    RecordOptions m_options;
    SerialSource m_source;
    FlowPipeline m_pipeline;
    Recording m_recording;
    NoDataWatch m_watch;
    QTimer m_statusTimer;
    QElapsedTimer m_sinceLast;
    QString m_lastSample;
    qint64 m_logged = 0;
    int m_reconnections = 0;
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
                       "not given here come from marvane.ini."));
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
        {QStringLiteral("append"),
         QStringLiteral("Record at the end of LOGFILE if it exists (a log of this program).")},
    });
    parser.addPositionalArgument(QStringLiteral("LOGFILE"),
                                 QStringLiteral("The log file to create."));

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

    Recorder recorder(*options);
    if (const int status = recorder.start(); status != 0)
        return status;

    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
        }
        stopNotifier.setEnabled(false);
        recorder.finish();
        QCoreApplication::exit(0);
    });
    const int status = QCoreApplication::exec();
    ::close(signalFd);
    return status;
}
