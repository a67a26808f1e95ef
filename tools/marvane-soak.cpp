// marvane-soak: runs marvane-record against marvane-sensor-sim for a given time while injecting
// the faults a recording meets in the field, then checks the log record by record.
//
// The simulator numbers its records (X carries the number in mm/s, so every logged speed names
// its record) and says when each goes out. At random moments, one at a time:
// - the device vanishes (the simulator ends, its link goes) and comes back after seconds to a
//   minute (a new simulator behind the same link, numbering on);
// - the log file stops taking writes and takes them again: the recorder's file size limit
//   (RLIMIT_FSIZE, set from here with prlimit) is put a few bytes past the file's end, so a write
//   fails part way as on a full disk, then lifted. No root, no mount, nothing preloaded; the
//   recorder is started with SIGXFSZ ignored so that the limit gives it an error, not death;
// - the recorder is killed with SIGKILL and, once it is gone, started again with --append.
// At the end every record of the log must be one the simulator sent, once, in order, on a whole
// line; and every record sent while the recorder and the device were up must be in it. The rig
// leaves out the records it knows cannot be there: none are sent while the device is gone, and
// those sent from one poll interval before a kill (from the recorder's start when it had not
// polled yet: its first poll comes later) until the restarted recorder reads (it opens the port
// afresh, discarding what waits, by design) are not counted; a tenth of a second is added on both
// sides of such a stretch for the time the programs take to start and stop. What counts as sent,
// logged, lost, duplicated, out of order or torn is SoakJudge's, a function of those facts alone.
// The recorder tells its events as JSON lines (--events json), which the rig counts by kind.
//
// Last line: "soak: sent S, while recorder and device were up U, logged L, lost N, duplicated D,
// out of order O, torn lines T". Exit status 0 when N, D, O and T are 0 and every fault was
// recovered from, 1 otherwise, 2 for a wrong command line.

#include "tools/SoakJudge.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <time.h>

namespace {

using SoakJudge::kMargin;
using SoakJudge::kPollInterval;
using SoakJudge::SimulatorRun;
using SoakJudge::Stretch;

double monotonicNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void say(const QString& line)
{
    std::printf("soak: %s\n", qPrintable(line));
    std::fflush(stdout);
}

class Soak
{
public:
    Soak(const QString& folder, const QString& recorder, const QString& simulator, double rate,
         unsigned schedule)
        : m_folder(folder), m_recorderProgram(recorder), m_simulatorProgram(simulator),
          m_rate(rate), m_random(schedule)
    {
        m_link = QDir(folder).filePath(QStringLiteral("sensor"));
        m_log = QDir(folder).filePath(QStringLiteral("soak.log"));
        m_settings = QDir(folder).filePath(QStringLiteral("marvane.ini"));
        m_recorderErrors = QDir(folder).filePath(QStringLiteral("recorder.txt"));
        QFile settings(m_settings);
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[Options]\nBaudRate=6\n");
    }

    ~Soak()
    {
        if (m_recorder.state() != QProcess::NotRunning) {
            m_recorder.kill();
            m_recorder.waitForFinished(10000);
        }
        if (m_simulator.state() != QProcess::NotRunning) {
            m_simulator.kill();
            m_simulator.waitForFinished(10000);
        }
    }

    int run(double seconds)
    {
        m_begin = monotonicNow();
        if (!startSimulator())
            return fail(QStringLiteral("the simulator did not start"));
        const double recorderStarted = monotonicNow();
        if (!startRecorder())
            return fail(QStringLiteral("the recorder did not start"));
        // What the simulator sent before the recorder first read was discarded at its open.
        m_leftOut.push_back({m_begin - kMargin, m_recorderReady + kMargin});
        Q_UNUSED(recorderStarted);

        const double end = m_begin + seconds;
        // Faults last longer in longer runs: a vanished device up to a minute in a long run, a
        // tenth of the run in a short one.
        const double longest = std::clamp(seconds / 6.0, 3.0, 60.0);
        // The last few seconds stay quiet, so the end finds everything written.
        const double lastFault = end - std::min(8.0, seconds / 4.0);
        std::uniform_real_distribution<double> quiet(1.0, std::clamp(seconds / 10.0, 2.0, 300.0));
        std::uniform_real_distribution<double> length(2.0, longest);
        std::uniform_int_distribution<int> kind(0, 2);
        for (;;) {
            if (!waitWhileRecording(quiet(m_random)))
                break;
            const double now = monotonicNow();
            if (now >= lastFault)
                break;
            const double available = std::max(1.0, lastFault - now);
            switch (kind(m_random)) {
            case 0:
                deviceVanishes(std::min(length(m_random), available));
                break;
            case 1:
                fileStopsTakingWrites(std::min(length(m_random), available));
                break;
            default:
                killRecorder();
                break;
            }
        }
        waitWhileRecording(std::max(0.0, end - monotonicNow()));

        // The end: the sensor stops (its last records read first), then the recorder.
        stopSimulator();
        waitWhileRecording(kPollInterval * 2);
        m_recorder.terminate();
        if (!m_recorder.waitForFinished(30000))
            m_failures << QStringLiteral("the recorder did not end on SIGTERM");
        pullReport();

        const SoakJudge::Tally tally = check();
        say(QStringLiteral("%1 fault(s): %2 device dropout(s), %3 write stop(s), %4 kill(s); "
                           "%5 s")
                .arg(m_dropouts + m_writeStops + m_kills)
                .arg(m_dropouts)
                .arg(m_writeStops)
                .arg(m_kills)
                .arg(monotonicNow() - m_begin, 0, 'f', 1));
        for (const QString& failure : std::as_const(m_failures))
            say(QStringLiteral("failed: ") + failure);
        const bool clean = tally.passed() && m_failures.isEmpty();
        if (!clean)
            say(QStringLiteral("the run's files are kept in %1").arg(m_folder));
        std::printf("soak: sent %lld, while recorder and device were up %lld, logged %lld, lost "
                    "%lld, duplicated %lld, out of order %lld, torn lines %lld\n",
                    tally.sent, tally.counted, tally.logged, tally.lost, tally.duplicated,
                    tally.outOfOrder, tally.torn);
        std::fflush(stdout);
        return clean ? 0 : 1;
    }

    bool clean() const { return m_failures.isEmpty(); }

private:
    int fail(const QString& why)
    {
        say(QStringLiteral("failed: ") + why);
        return 1;
    }

    double elapsed() const { return monotonicNow() - m_begin; }

    void diary(const QString& line)
    {
        say(QStringLiteral("%1 s: %2").arg(elapsed(), 6, 'f', 1).arg(line));
    }

    // Starts a simulator numbering from m_next behind the link; true once it has said when its
    // first record goes out.
    bool startSimulator()
    {
        m_simulator.setProgram(m_simulatorProgram);
        m_simulator.setArguments({QStringLiteral("--link"), m_link, QStringLiteral("--numbered"),
                                  QStringLiteral("--first"), QString::number(m_next),
                                  QStringLiteral("--rate"), QString::number(m_rate)});
        m_simulator.setProcessChannelMode(QProcess::SeparateChannels);
        m_simulator.start();
        static const QRegularExpression schedule(QStringLiteral(
            "^Record ([0-9]+) goes out at ([0-9]+)\\.([0-9]{9}) s of the monotonic clock, then "
            "one every ([0-9]+) ns\\.$"));
        const double deadline = monotonicNow() + 20;
        while (monotonicNow() < deadline) {
            while (m_simulator.canReadLine()) {
                const QString line = QString::fromLocal8Bit(m_simulator.readLine()).trimmed();
                const QRegularExpressionMatch match = schedule.match(line);
                if (!match.hasMatch())
                    continue;
                SimulatorRun run;
                run.first = match.captured(1).toLongLong();
                run.start = match.captured(2).toDouble() + match.captured(3).toDouble() / 1e9;
                run.period = match.captured(4).toDouble() / 1e9;
                m_runs.push_back(run);
                return true;
            }
            if (!m_simulator.waitForReadyRead(1000) && m_simulator.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    // Ends the simulator; its last number tells where the next one goes on.
    void stopSimulator()
    {
        m_simulator.terminate();
        if (!m_simulator.waitForFinished(20000)) {
            m_failures << QStringLiteral("the simulator did not end");
            m_simulator.kill();
            m_simulator.waitForFinished(10000);
        }
        static const QRegularExpression stopped(
            QStringLiteral("Stopped after [0-9]+ records, the last numbered ([0-9]+)\\."));
        const QRegularExpressionMatch match =
            stopped.match(QString::fromLocal8Bit(m_simulator.readAllStandardOutput()));
        SimulatorRun& run = m_runs.back();
        run.last = match.hasMatch() ? match.captured(1).toLongLong() : run.first - 1;
        if (!match.hasMatch())
            m_failures << QStringLiteral("the simulator did not say what it sent");
        m_next = run.last + 1;
    }

    // Takes what the recorder has said since the last call into its file and counts its events
    // by kind. Read through a pipe: a file of the recorder's own would fall under its file size
    // limit.
    void pullReport()
    {
        if (!m_recorder.isOpen())
            return; // not started yet
        const QByteArray said = m_recorder.readAllStandardError();
        if (said.isEmpty())
            return;
        QFile file(m_recorderErrors);
        if (file.open(QIODevice::Append))
            file.write(said);
        m_unfinishedLine += said;
        for (qsizetype end = m_unfinishedLine.indexOf('\n'); end >= 0;
             end = m_unfinishedLine.indexOf('\n')) {
            takeEvent(m_unfinishedLine.left(end));
            m_unfinishedLine.remove(0, end + 1);
        }
    }

    // One line of the recorder's report: a JSON object with its kind, and for a file's write
    // faults, the file ("write-failed:log").
    void takeEvent(const QByteArray& line)
    {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        const QJsonObject event = document.object();
        QString kind = event.value(QStringLiteral("kind")).toString();
        if (!document.isObject() || kind.isEmpty()) {
            m_failures << QStringLiteral("the recorder said a line that is not a JSON event: %1")
                              .arg(QString::fromLocal8Bit(line));
            return;
        }
        if (event.contains(QStringLiteral("file")))
            kind += QLatin1Char(':') + event.value(QStringLiteral("file")).toString();
        ++m_events[kind];
    }

    // Events of a kind the recorder has told so far.
    int events(const QString& kind)
    {
        pullReport();
        return m_events.value(kind);
    }

    // Waits up to seconds for one more event of a kind than there were before.
    bool waitForEvent(const QString& kind, int before, double seconds)
    {
        const double deadline = monotonicNow() + seconds;
        while (monotonicNow() < deadline) {
            if (events(kind) > before)
                return true;
            if (m_recorder.waitForFinished(20))
                return false;
        }
        return false;
    }

    bool startRecorder()
    {
        const int before = events(QStringLiteral("recording"));
        // A line the last recorder did not finish (killed while it wrote) ends with it.
        m_unfinishedLine.clear();
        m_recorder.setProgram(m_recorderProgram);
        m_recorder.setArguments({QStringLiteral("--settings"), m_settings, QStringLiteral("--port"),
                                 m_link, QStringLiteral("--events"), QStringLiteral("json"),
                                 QStringLiteral("--append"), m_log});
        m_recorder.setProcessChannelMode(QProcess::SeparateChannels);
        m_recorder.start();
        if (!m_recorder.waitForStarted(20000))
            return false;
        if (!waitForEvent(QStringLiteral("recording"), before, 20))
            return false;
        m_recorderReady = monotonicNow();
        return true;
    }

    // Sleeps while the recorder runs; a recorder that ends by itself is a failure, told, and
    // started again so that the run goes on. False when it cannot be.
    bool waitWhileRecording(double seconds)
    {
        const double deadline = monotonicNow() + seconds;
        while (monotonicNow() < deadline) {
            const int ms = int(std::max(1.0, (deadline - monotonicNow()) * 1000));
            if (!m_recorder.waitForFinished(ms))
                continue;
            const double at = monotonicNow();
            pullReport();
            m_failures << QStringLiteral("the recorder ended by itself at %1 s (exit status %2)")
                              .arg(at - m_begin, 0, 'f', 1)
                              .arg(m_recorder.exitCode());
            diary(m_failures.last());
            const double from = unloggedSince(at);
            if (!startRecorder())
                return false;
            m_leftOut.push_back({from, m_recorderReady + kMargin});
        }
        return true;
    }

    void deviceVanishes(double seconds)
    {
        ++m_dropouts;
        const int before = events(QStringLiteral("reconnected"));
        stopSimulator();
        diary(QStringLiteral("device gone for %1 s").arg(seconds, 0, 'f', 1));
        waitWhileRecording(seconds);
        if (!startSimulator()) {
            m_failures << QStringLiteral("the simulator did not start again");
            return;
        }
        if (!waitForEvent(QStringLiteral("reconnected"), before, 10))
            m_failures << QStringLiteral("the recorder did not reconnect within 10 s");
    }

    void fileStopsTakingWrites(double seconds)
    {
        ++m_writeStops;
        const int failedBefore = events(QStringLiteral("write-failed:log"));
        const int recoveredBefore = events(QStringLiteral("write-recovered:log"));
        // A few bytes past the end: the next write stops part way through a line.
        std::uniform_int_distribution<int> slack(0, 40);
        const qint64 size = QFileInfo(m_log).size();
        if (!setFileSizeLimit(rlim_t(size + slack(m_random))))
            return;
        diary(QStringLiteral("log file takes no writes for %1 s").arg(seconds, 0, 'f', 1));
        waitWhileRecording(seconds);
        if (!setFileSizeLimit(RLIM_INFINITY))
            return;
        if (!waitForEvent(QStringLiteral("write-failed:log"), failedBefore, 1))
            m_failures << QStringLiteral("the recorder did not tell a write that failed");
        else if (!waitForEvent(QStringLiteral("write-recovered:log"), recoveredBefore, 10))
            m_failures << QStringLiteral("the recorder did not write again within 10 s");
    }

    bool setFileSizeLimit(rlim_t bytes)
    {
        rlimit limit{};
        if (::prlimit(pid_t(m_recorder.processId()), RLIMIT_FSIZE, nullptr, &limit) != 0) {
            m_failures << QStringLiteral("cannot read the recorder's file size limit");
            return false;
        }
        limit.rlim_cur = std::min(bytes, limit.rlim_max);
        if (::prlimit(pid_t(m_recorder.processId()), RLIMIT_FSIZE, &limit, nullptr) != 0) {
            m_failures << QStringLiteral("cannot set the recorder's file size limit");
            return false;
        }
        return true;
    }

    void killRecorder()
    {
        ++m_kills;
        const double at = monotonicNow();
        const double from = unloggedSince(at);
        ::kill(pid_t(m_recorder.processId()), SIGKILL);
        // Gone, and reaped, before another takes the log.
        m_recorder.waitForFinished(30000);
        pullReport();
        if (!startRecorder()) {
            m_failures << QStringLiteral("the recorder did not start again after SIGKILL");
            return;
        }
        m_leftOut.push_back({from, m_recorderReady + kMargin});
        diary(QStringLiteral("recorder killed, reading again %1 s later")
                  .arg(m_recorderReady - at, 0, 'f', 1));
    }

    // Where the records a recorder stopped at time at may have held unlogged begin.
    double unloggedSince(double at) const { return SoakJudge::unloggedSince(at, m_recorderReady); }

    // The log judged against what was sent; the first lost records named.
    SoakJudge::Tally check()
    {
        QFile log(m_log);
        QBuffer nothing; // a log that cannot be read holds no record
        QIODevice* device = &log;
        if (!log.open(QIODevice::ReadOnly)) {
            m_failures << QStringLiteral("cannot read the log: %1").arg(log.errorString());
            nothing.open(QIODevice::ReadOnly);
            device = &nothing;
        }
        const SoakJudge::Tally tally = SoakJudge::judge(m_runs, m_leftOut, *device);
        QStringList firstLost;
        for (const long long n : tally.firstLost)
            firstLost << QStringLiteral("%1 (sent at %2 s)")
                             .arg(n)
                             .arg(SoakJudge::sendTime(m_runs, n) - m_begin, 0, 'f', 2);
        if (!firstLost.isEmpty())
            say(QStringLiteral("lost: ") + firstLost.join(QStringLiteral(", ")));
        return tally;
    }

    QString m_folder;
    QString m_recorderProgram;
    QString m_simulatorProgram;
    QString m_link;
    QString m_log;
    QString m_settings;
    QString m_recorderErrors;
    QByteArray m_unfinishedLine;  // the recorder's report after its last line end
    QHash<QString, int> m_events; // the recorder's events by kind, its runs one after the other
    double m_rate;
    std::mt19937 m_random;
    QProcess m_simulator;
    QProcess m_recorder;
    std::vector<SimulatorRun> m_runs;
    std::vector<Stretch> m_leftOut;
    long long m_next = 1;
    double m_begin = 0;
    double m_recorderReady = 0;
    int m_dropouts = 0;
    int m_writeStops = 0;
    int m_kills = 0;
    QStringList m_failures;
};

} // namespace

int main(int argc, char* argv[])
{
    // Inherited by the recorder: past its file size limit a write then fails with an error
    // instead of ending the process.
    ::signal(SIGXFSZ, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marvane-soak"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs marvane-record against marvane-sensor-sim while the device vanishes and comes "
        "back, the log file stops taking writes, and the recorder is killed and restarted; then "
        "checks that every record is logged once, in order, on a whole line."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long to run."), QStringLiteral("N"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Records per second (default 50)."),
                                        QStringLiteral("R"), QStringLiteral("50"));
    const QCommandLineOption scheduleOption(
        QStringLiteral("schedule"),
        QStringLiteral("Number of the fault schedule: the same number gives the same faults at "
                       "the same moments (default: a new one for each run)."),
        QStringLiteral("N"));
    const QCommandLineOption folderOption(
        QStringLiteral("keep"),
        QStringLiteral("Work in FOLDER and keep the log there (default: a temporary folder, "
                       "kept only when the run fails)."),
        QStringLiteral("FOLDER"));
    const QString here = QCoreApplication::applicationDirPath();
    const QCommandLineOption recorderOption(
        QStringLiteral("recorder"),
        QStringLiteral("The recorder program (default: marvane-record beside this one)."),
        QStringLiteral("PATH"), here + QStringLiteral("/marvane-record"));
    const QCommandLineOption simulatorOption(
        QStringLiteral("simulator"),
        QStringLiteral("The simulator program (default: marvane-sensor-sim beside this one)."),
        QStringLiteral("PATH"), here + QStringLiteral("/marvane-sensor-sim"));
    parser.addOptions(
        {secondsOption, rateOption, scheduleOption, folderOption, recorderOption, simulatorOption});
    parser.process(app);

    const auto usage = [](const QString& why) {
        std::fprintf(stderr, "marvane-soak: %s (see --help)\n", qPrintable(why));
        return 2;
    };
    bool ok = false;
    const double seconds = parser.value(secondsOption).toDouble(&ok);
    if (!ok || seconds < 10)
        return usage(QStringLiteral("--seconds wants a number of seconds, at least 10"));
    const double rate = parser.value(rateOption).toDouble(&ok);
    if (!ok || rate < 1 || rate > 1000)
        return usage(QStringLiteral("--rate wants 1 to 1000 records a second"));
    unsigned schedule = std::random_device{}();
    if (parser.isSet(scheduleOption)) {
        schedule = parser.value(scheduleOption).toUInt(&ok);
        if (!ok)
            return usage(QStringLiteral("--schedule wants a whole number"));
    }

    QTemporaryDir temporary;
    QString folder = parser.value(folderOption);
    if (folder.isEmpty()) {
        if (!temporary.isValid())
            return usage(QStringLiteral("no temporary folder"));
        folder = temporary.path();
    } else if (!QDir().mkpath(folder)) {
        return usage(QStringLiteral("cannot make %1").arg(folder));
    }
    say(QStringLiteral("%1 s at %2 records/s, fault schedule %3, in %4")
            .arg(seconds)
            .arg(rate)
            .arg(schedule)
            .arg(folder));
    int status = 0;
    {
        Soak soak(folder, parser.value(recorderOption), parser.value(simulatorOption), rate, schedule);
        status = soak.run(seconds);
    }
    temporary.setAutoRemove(status == 0);
    return status;
}
