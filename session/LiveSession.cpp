#include "session/LiveSession.h"

#include "settings/PortMapping.h"
#include "sources/SerialSource.h"
#include "sources/TcpSource.h"
#include "recording/DataFileWriter.h"
#include "recording/FileDevice.h"
#include "history/LiveHistory.h"
#include "recording/Recording.h"
#include "outputs/Outputs.h"
#include "sensor/FlowPipeline.h"
#include "session/NoDataWatch.h"
#include "sources/DemoSource.h"
#include "session/AlarmWatch.h"
#include "session/ClockWatch.h"
#include "settings/ProgramOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {

// A destination that takes the session's batches only while the log file takes them: the data
// file holds what the log holds, with everything measured beside it, and the events that happen
// meanwhile (the end of the session whenever it comes).
class WhileLogging : public SampleSink
{
public:
    WhileLogging(const Recording* recording, SampleSink* sink)
        : m_recording(recording), m_sink(sink)
    {
    }
    void takeBatch(const SampleBatch& batch) override
    {
        if (m_recording->logging())
            m_sink->takeBatch(batch);
    }
    void takeEvent(const SessionEvent& event) override
    {
        if (m_recording->logging() || event.kind == SessionEvent::Kind::Finishing)
            m_sink->takeEvent(event);
    }

private:
    const Recording* m_recording;
    SampleSink* m_sink;
};

// A destination that hands on to its owner's functions.
class Handing : public SampleSink
{
public:
    Handing(std::function<void(const SampleBatch&)> batch,
            std::function<void(const SessionEvent&)> event)
        : m_batch(std::move(batch)), m_event(std::move(event))
    {
    }
    void takeBatch(const SampleBatch& batch) override { m_batch(batch); }
    void takeEvent(const SessionEvent& event) override { m_event(event); }

private:
    std::function<void(const SampleBatch&)> m_batch;
    std::function<void(const SessionEvent&)> m_event;
};

// The samples that go into the log.
bool isLogged(const Sample& sample)
{
    return sample.computed && sample.source != SampleSource::Replay;
}

} // namespace

LiveSession::LiveSession(ProgramOptions* options, QObject* parent)
    : QObject(parent),
      m_options(options),
      m_pipeline(new FlowPipeline(this)),
      m_serial(new SerialSource(this)),
      m_network(new TcpSource(this)),
      m_live(m_serial),
      m_demo(new DemoSource(this)),
      m_recording(new Recording(this)),
      m_history(new LiveHistory(this)),
      m_noData(new NoDataWatch(this)),
      m_clockWatch(new ClockWatch(this)),
      m_alarms(new AlarmWatch(this)),
      m_dataFile(new DataFileWriter(this)),
      m_dataFileWhileLogging(std::make_unique<WhileLogging>(m_recording, m_dataFile)),
      m_files(std::make_unique<Handing>([this](const SampleBatch& b) { recordBatch(b); },
                                        [this](const SessionEvent& e) { recordEvent(e); }))
{
    // The log file first (then the data file): nothing else may hold a sample back from it.
    addSink(m_files.get());
    addSink(m_history);
    addSink(m_noData);
    addSink(m_alarms);

    // Every time comes from the session's clock; a test may set the pipeline's alone to stamp
    // records with a time of its choosing, and the serial records follow it.
    setClock(nullptr);
    adopt(m_serial);
    adopt(m_network);
    m_demo->setClock([this] { return m_pipeline->now(); });
    connect(m_demo, &DemoSource::recordsReceived, this,
            [this](const QList<QByteArray>& records, const QList<qint64>& arrivalMs) {
                const SampleBatch batch =
                    m_pipeline->decodeRecords(records, arrivalMs, SampleSource::Demonstration);
                if (!batch.isEmpty())
                    handBatch(batch);
            });
    connect(m_clockWatch, &ClockWatch::stateChanged, this, [this](const QString& text) {
        m_alarms->setClockState(m_clockWatch->state());
        tell({SessionEvent::Kind::ClockState, portName(), text});
    });
    connect(m_clockWatch, &ClockWatch::stepped, this, [this](qint64, const QString& text) {
        m_lastStep = text;
        tell({SessionEvent::Kind::ClockStepped, portName(), text});
    });
    m_alarms->setLogFileSource([this] { return m_recording->currentFile(); });
    connect(m_alarms, &AlarmWatch::alarmEvent, this, &LiveSession::tellAlarm);
    m_healthTimer.setInterval(kHealthInterval);
    connect(&m_healthTimer, &QTimer::timeout, this, [this] { publishHealth(true); });
    m_healthTimer.start();
    connect(m_demo, &DemoSource::finished, this, [this] {
        m_demoLogged = false;
        emit demonstrationFinished();
    });
    connect(m_noData, &NoDataWatch::noData, this, [this](int seconds) {
        tell({SessionEvent::Kind::NoData, portName(), QString(), seconds});
    });
    connect(m_noData, &NoDataWatch::dataResumed, this, [this](int seconds) {
        tell({SessionEvent::Kind::DataAgain, portName(), QString(), seconds});
    });
    if (m_options) {
        connect(m_options, &ProgramOptions::changed, this, &LiveSession::applyOptions);
        applyOptions();
    }
    updateSpillFolders();
}

LiveSession::~LiveSession()
{
    m_demo->stop();
}

void LiveSession::adopt(LiveSource* source)
{
    source->setClock([this] { return m_pipeline->now(); });
    connect(source, &LiveSource::recordsReceived, this, &LiveSession::receiveArrived);
    // Only the source in use speaks for the session: one closed is silent anyway.
    connect(source, &LiveSource::deviceLost, this,
            [this, source](const QString& port, const QString& reason) {
                if (source != m_live)
                    return;
                m_connected = false;
                tell({SessionEvent::Kind::DeviceLost, port, reason});
            });
    connect(source, &LiveSource::reconnecting, this,
            [this, source](const QString& port, const QString& reason) {
                if (source == m_live)
                    tell({SessionEvent::Kind::Reconnecting, port, reason});
            });
    connect(source, &LiveSource::reconnected, this, [this, source](const QString& port) {
        if (source == m_live)
            tell({SessionEvent::Kind::Reconnected, port, QString()});
    });
}

void LiveSession::applyOptions()
{
    const OptionValues& values = m_options->values();
    m_pipeline->setFaceUp(m_options->flags().faceUp);
    m_pipeline->setHeadingOffset(values.headingOffset);
    m_pipeline->setLocalTime(values.localTime);
    // Local time names the computer's zone, so the log is read right on any computer and in any
    // season.
    const TimeBase clock =
        values.localTime ? TimeBase::localIn(QTimeZone::systemTimeZone()) : TimeBase::Utc;
    m_recording->setTimeBase(clock);
    m_history->setTimeBase(clock);
    // Written to an open port at once, not at every poll.
    m_serial->setSettingsPath(m_options->settingsPath());
    m_serial->setPortSettings(m_options->port());
    m_live->setReconnect(m_connected && values.reconnect);
}

bool LiveSession::createLogFile(const QString& path, QString* reason)
{
    if (!m_recording->createFile(path, reason))
        return false;
    // Rows still waiting for the previous data file go into the new one.
    if (m_options && m_options->values().dataFile) {
        const QString dataPath = dataFilePathFor(path);
        QString why;
        if (!openDataFile(dataPath, false, &why)) {
            m_dataFile->close();
            emit dataFileFailed(dataPath, why);
        }
    } else {
        m_dataFile->close();
    }
    updateSpillFolders();
    return true;
}

bool LiveSession::openDataFile(const QString& path, bool append, QString* reason)
{
    const bool opened =
        m_dataFile->open(path, dataFileHeader(m_recording->currentFile()), reason,
                         append ? DataFileWriter::Mode::Append : DataFileWriter::Mode::Create);
    updateSpillFolders();
    return opened;
}

void LiveSession::setFileDevice(FileDevice* device)
{
    m_recording->setFileDevice(device);
    m_dataFile->setFileDevice(device);
}

void LiveSession::setFileClock(const AppendFile::Clock& clock)
{
    m_recording->setFileClock(clock);
    m_dataFile->setClock(clock);
}

bool LiveSession::reopenFiles(QString* reason)
{
    QString why;
    bool ok = m_recording->reopen(&why);
    if (!ok && reason)
        *reason = QStringLiteral("%1: %2").arg(m_recording->currentFile(), why);
    if (!m_dataFile->reopen(&why) && ok) {
        ok = false;
        if (reason)
            *reason = QStringLiteral("%1: %2").arg(m_dataFile->path(), why);
    }
    return ok;
}

QPair<QString, QString> LiveSession::namesFor(qint64 timeMs, int number) const
{
    const QString log = LogRotation::fileName(m_rotation->logPattern(), timeMs, number);
    const QString data = m_rotation->dataPattern().isEmpty()
                             ? QString()
                             : LogRotation::fileName(m_rotation->dataPattern(), timeMs, number);
    return {log, data};
}

int LiveSession::firstFreeNumber(qint64 timeMs) const
{
    // Never a file that exists: a name taken (a restart in the same day, a size rotation
    // faster than the pattern's fields) gets the next number.
    int number = 1;
    for (;; ++number) {
        const QPair<QString, QString> names = namesFor(timeMs, number);
        if (number >= 10000 || (!QFileInfo::exists(names.first) &&
                                (names.second.isEmpty() || !QFileInfo::exists(names.second))))
            return number;
    }
}

QPair<QString, QString> LiveSession::rotatedNames(qint64 timeMs) const
{
    return m_rotation ? namesFor(timeMs, firstFreeNumber(timeMs)) : QPair<QString, QString>();
}

bool LiveSession::startRotation(const LogRotation& rule, bool append, QString* reason,
                                QStringList* made)
{
    m_rotation = rule;
    if (m_rotation->dataPattern().isEmpty() && m_options && m_options->values().dataFile)
        m_rotation->setDataPattern(dataFilePathFor(m_rotation->logPattern()));
    const qint64 now = m_pipeline->now();
    // Continuing: the newest file of this day (or hour, or size) goes on.
    const int number = firstFreeNumber(now);
    const QPair<QString, QString> names = namesFor(now, append && number > 1 ? number - 1 : number);
    QString why;
    const bool continuing = append && QFileInfo::exists(names.first);
    if (!(continuing ? m_recording->continueFile(names.first, &why)
                     : m_recording->createFile(names.first, &why))) {
        if (reason)
            *reason = QStringLiteral("cannot %1 %2: %3")
                          .arg(continuing ? QStringLiteral("record at the end of")
                                          : QStringLiteral("create"),
                               names.first, why);
        m_rotation.reset();
        return false;
    }
    if (made && !continuing)
        *made << names.first;
    if (!names.second.isEmpty()) {
        const bool existed = QFileInfo::exists(names.second);
        if (!openDataFile(names.second, append, &why)) {
            if (reason)
                *reason = QStringLiteral("cannot open the data file %1: %2").arg(names.second, why);
            m_rotation.reset();
            return false;
        }
        if (made && !existed)
            *made << names.second;
    } else {
        m_dataFile->close();
    }
    updateSpillFolders();
    m_period = m_rotation->periodOf(now);
    m_rotationFailing = false;
    removeExpiredFiles(now);
    return true;
}

void LiveSession::recordBatch(const SampleBatch& batch)
{
    if (!m_rotation) {
        handToFiles(batch);
        return;
    }
    // Each sample's own time says which file it belongs to; a size is looked at once a batch.
    qsizetype from = 0;
    bool sizeLooked = false;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const Sample& sample = batch.at(i);
        if (!m_recording->logging() || !isLogged(sample))
            continue;
        const bool bySize = m_rotation->every() == LogRotation::Every::Size;
        if (bySize && sizeLooked)
            break;
        sizeLooked = true;
        if (!m_rotation->isDue(sample.timeMs, m_period, m_recording->fileSize()))
            continue;
        if (i > from)
            handToFiles(batch.mid(from, i - from));
        from = i;
        if (!rotateFiles(sample.timeMs))
            break; // tried again at the next batch
    }
    handToFiles(from == 0 ? batch : batch.mid(from));
}

void LiveSession::recordEvent(const SessionEvent& event)
{
    m_recording->takeEvent(event);
    m_dataFileWhileLogging->takeEvent(event);
}

void LiveSession::handToFiles(const SampleBatch& batch)
{
    if (batch.isEmpty())
        return;
    m_recording->takeBatch(batch);
    m_dataFileWhileLogging->takeBatch(batch);
}

bool LiveSession::rotateFiles(qint64 timeMs)
{
    const QPair<QString, QString> names = rotatedNames(timeMs);
    QString reason;
    // Lines still waiting for the previous log go into the new one, after its header.
    if (!m_recording->createFile(names.first, &reason)) {
        if (!m_rotationFailing)
            emit rotationFailed(names.first, reason);
        m_rotationFailing = true;
        return false;
    }
    m_rotationFailing = false;
    m_period = m_rotation->periodOf(timeMs);
    if (!names.second.isEmpty()) {
        QString why;
        if (!openDataFile(names.second, false, &why)) {
            m_dataFile->close();
            emit dataFileFailed(names.second, why);
        }
    }
    updateSpillFolders();
    emit filesRotated(names.first, names.second);
    removeExpiredFiles(timeMs);
    return true;
}

void LiveSession::removeExpiredFiles(qint64 nowMs)
{
    if (!m_rotation || m_rotation->keepDays() <= 0)
        return;
    const QStringList current{m_recording->currentFile(), m_dataFile->path()};
    QStringList removed;
    for (const QString& pattern : {m_rotation->logPattern(), m_rotation->dataPattern()}) {
        for (const QString& path :
             LogRotation::expiredFiles(pattern, nowMs, m_rotation->keepDays(), current)) {
            if (QFile::remove(path))
                removed << path;
        }
    }
    if (!removed.isEmpty())
        emit oldFilesRemoved(removed);
}

QStringList LiveSession::spillFoldersFor(const QString& file, const QString& otherFile)
{
    QStringList folders;
    const auto deviceOf = [](const QString& folder) {
        struct stat info;
        return ::stat(QFile::encodeName(folder).constData(), &info) == 0 ? qint64(info.st_dev)
                                                                         : qint64(-1);
    };
    if (!otherFile.isEmpty()) {
        const QString otherFolder = QFileInfo(otherFile).absolutePath();
        const qint64 other = deviceOf(otherFolder);
        if (other >= 0 && other != deviceOf(QFileInfo(file).absolutePath()))
            folders << otherFolder;
    }
    // The user's state folder (XDG_STATE_HOME, else ~/.local/state): kept across restarts.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    folders << state + QStringLiteral("/Tessmoor/Marvane");
    // The runtime folder only where the system gives one: it is memory, and lost at shutdown.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        folders << runtime + QStringLiteral("/Tessmoor/Marvane");
    return folders;
}

void LiveSession::updateSpillFolders()
{
    const QString log = m_recording->currentFile();
    const QString data = m_dataFile->path();
    m_recording->setSpillFolders(spillFoldersFor(log, data));
    m_dataFile->setSpillFolders(spillFoldersFor(data, log));
}

DataFileHeader LiveSession::dataFileHeader(const QString& logFile) const
{
    static const char* const kParity[] = {"none", "odd", "even", "mark", "space"};
    static const char* const kStopBits[] = {"1", "1.5", "2"};
    const PortSettings& port = m_serial->portSettings();
    DataFileHeader header;
    if (m_live != m_serial) {
        // A device server keeps the line's parameters: they are not this program's to state.
        header.portName = m_live->name();
        header.portDevice = m_live->describe();
        header.lineSettings = false;
    } else {
        header.portName = m_serial->name().isEmpty() ? port.portName : m_serial->name();
        const QString device = SerialSource::devicePathFor(
            header.portName, m_options ? m_options->settingsPath() : QString());
        if (device != header.portName)
            header.portDevice = device;
    }
    header.baudRate = port.baudRateValue;
    header.dataBits = port.byteSizeValue;
    header.parity = QString::fromLatin1(kParity[qMin<int>(port.parityValue, 4)]);
    header.stopBits = QString::fromLatin1(kStopBits[qMin<int>(port.stopBitsValue, 2)]);
    header.bearingTo = m_pipeline->bearingTo();
    header.faceUp = m_pipeline->faceUp();
    header.headingOffset = m_pipeline->headingOffset();
    header.logLocalTime = m_pipeline->localTime();
    header.timeZoneId = QString::fromLatin1(QTimeZone::systemTimeZoneId());
    header.logFile = logFile;
    header.clockState = clockStateText();
    header.station = m_station;
    return header;
}

QString LiveSession::dataFilePathFor(const QString& logFile)
{
    const QFileInfo info(logFile);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
}

void LiveSession::addSink(SampleSink* sink)
{
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
        m_sinks.push_back(sink);
}

void LiveSession::removeSink(SampleSink* sink)
{
    m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), sink), m_sinks.end());
}

bool LiveSession::openSource(QString* reason, const QString& portName)
{
    QString name = portName.isEmpty() && m_options ? m_options->port().portName : portName;
    if (SerialSource::isComName(name))
        name = name.toUpper();
    // A COM name may stand for a sensor on the network: the address is then its name.
    const QString settings = m_options ? m_options->settingsPath() : QString();
    if (const QString mapped = SerialSource::devicePathFor(name, settings);
        TcpSource::isNetworkName(mapped))
        name = mapped;
    LiveSource* source = TcpSource::isNetworkName(name) ? static_cast<LiveSource*>(m_network)
                                                        : static_cast<LiveSource*>(m_serial);
    if (!source->open(name, reason))
        return false;
    // The other source gives its line up once the new one is open.
    if (source != m_live)
        m_live->close();
    m_live = source;
    followPort(source->name());
    return true;
}

void LiveSession::startSource()
{
    m_live->setReconnect(!m_options || m_options->values().reconnect);
    m_live->start();
    m_connected = m_live->isOpen();
    if (m_connected)
        tell({SessionEvent::Kind::Connected, m_live->name(), QString()});
}

void LiveSession::closeSource()
{
    m_live->close();
    const bool was = m_connected;
    m_connected = false;
    if (was)
        tell({SessionEvent::Kind::Disconnected, m_live->name(), QString()});
}

void LiveSession::setTimeScale(double scale)
{
    m_serial->setTimeScale(scale);
    m_network->setTimeScale(scale);
    m_demo->setTimeScale(scale);
}

bool LiveSession::isReconnecting() const
{
    return m_live->isReconnecting();
}

QString LiveSession::portName() const
{
    return m_live->name();
}

void LiveSession::setLineSettings(const PortSettings& settings)
{
    m_serial->setPortSettings(settings);
}

const PortSettings* LiveSession::lineSettings() const
{
    return m_live->hasLineSettings() ? &m_serial->portSettings() : nullptr;
}

bool LiveSession::startDemonstration(bool logged)
{
    if (m_demo->running())
        return false;
    m_demoLogged = logged;
    m_demo->start();
    emit demonstrationStarted();
    return true;
}

void LiveSession::stopDemonstration()
{
    m_demo->stop();
    m_demoLogged = false;
}

bool LiveSession::demonstrationRunning() const
{
    return m_demo->running();
}

void LiveSession::setClock(const Clock* clock)
{
    m_clockWatch->setClock(clock);
    const Clock* watched = &m_clockWatch->clock();
    m_pipeline->setClock([watched] { return watched->utcMs(); });
    m_alarms->setClock(watched);
    m_alarms->setClockState(m_clockWatch->state());
}

void LiveSession::setAlarms(const AlarmSettings& settings)
{
    m_alarms->setSettings(settings);
}

void LiveSession::tellAlarm(SessionEvent event)
{
    event.portName = portName();
    if (m_handing)
        m_deferred << event;
    else
        tell(event);
}

void LiveSession::setStation(const StationDetails& details)
{
    const bool newId = details.id != m_station.id;
    m_station = details;
    if (newId && !m_outputs.isEmpty()) {
        // Under the topic the new id names (the broker hears "offline" under the old one).
        QString reason;
        if (!setOutputs(m_outputSettings, m_outputsPort, &reason))
            emit outputMessage(reason);
    }
    publishHealth(false);
}

HealthState LiveSession::healthState() const
{
    const Clock& clock = m_clockWatch->clock();
    HealthState health;
    health.port = m_serial->portName().isEmpty() ? m_outputsPort : m_serial->portName();
    health.connection = m_connection;
    if (m_connection == QLatin1String("connected")) {
        const qint64 since =
            m_lastDataSteady >= m_watchingSinceSteady ? m_lastDataSteady : m_watchingSinceSteady;
        health.silentSeconds = qMax<qint64>(0, (clock.steadyMs() - since) / 1000);
        health.receiving = m_lastDataSteady >= m_watchingSinceSteady && !m_noData->isSilent();
        if (health.receiving)
            health.silentSeconds = 0;
    }
    health.lastSampleMs = m_lastSampleMs;
    health.alarms = m_alarms->raised();
    health.logging = m_recording->logging() && !m_recording->currentFile().isEmpty();
    if (health.logging) {
        health.logFile = QFileInfo(m_recording->currentFile()).absoluteFilePath();
        health.bytesWritten = QFileInfo(health.logFile).size();
        health.freeBytes = m_alarms->freeBytesFor(health.logFile);
    }
    health.clock = m_clockWatch->state();
    health.clockText = m_clockWatch->stateText();
    health.lastStep = m_lastStep;
    health.station = m_station;
    return health;
}

void LiveSession::publishHealth(bool always)
{
    if (m_outputs.isEmpty())
        return;
    const HealthState health = healthState();
    if (!always && m_healthTold && health.sameStateAs(m_toldHealth))
        return;
    m_toldHealth = health;
    m_healthTold = true;
    for (LiveOutput* output : std::as_const(m_outputs))
        output->takeHealth(health);
    // The next one at most a minute from now.
    m_healthTimer.start();
}

QString LiveSession::clockStateText() const
{
    return m_clockWatch->stateText();
}

void LiveSession::receiveArrived(const QList<QByteArray>& records, const QList<qint64>& arrivalMs)
{
    const SampleBatch batch = m_pipeline->decodeRecords(records, arrivalMs, SampleSource::Live);
    // A step is told before the batch whose times show it.
    m_clockWatch->checkStep();
    if (!batch.isEmpty())
        handBatch(batch);
}

void LiveSession::receiveRecords(const QList<QByteArray>& records, SampleSource source)
{
    const SampleBatch batch = m_pipeline->decodeRecords(records, source);
    if (!batch.isEmpty())
        handBatch(batch);
}

void LiveSession::receiveRecord(const QString& record, SampleSource source)
{
    receiveRecords({record.toLatin1()}, source);
}

void LiveSession::handBatch(const SampleBatch& batch)
{
    const bool demonstration = batch.first().source == SampleSource::Demonstration;
    // Invented samples go into a measurement only when the operator said so.
    if (!demonstration || m_demoLogged) {
        m_handing = true;
        for (SampleSink* sink : m_sinks)
            sink->takeBatch(batch);
        m_handing = false;
    }
    if (batch.first().source == SampleSource::Live) {
        m_lastDataSteady = m_clockWatch->clock().steadyMs();
        for (const Sample& sample : batch) {
            if (sample.computed)
                m_lastSampleMs = sample.timeMs;
        }
    }
    // An alarm the batch raised is told after the batch, to every destination alike.
    const QList<SessionEvent> deferred = std::exchange(m_deferred, {});
    for (const SessionEvent& event : deferred)
        tell(event);
    publishHealth(false);
    // While the demonstration runs it has the display to itself.
    if (demonstration == m_demo->running())
        emit batchReady(batch);
}

SessionEvent LiveSession::mark(const QString& note)
{
    // Records read before this moment and waiting for the next hand-out go first, so that the
    // data file's rows and the outputs stay in the order things happened.
    if (!m_handing && m_live && m_live->isOpen())
        m_live->poll();
    SessionEvent event{SessionEvent::Kind::Mark, portName(), markNote(note)};
    event.timeMs = m_pipeline->now();
    if (m_handing)
        m_deferred << event;
    else
        tell(event);
    return event;
}

QString LiveSession::markNote(const QString& text)
{
    QString note = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    // A cut between the two halves of a surrogate pair would leave half a character.
    if (note.size() > kMarkNoteLength)
        note.truncate(note.at(kMarkNoteLength - 1).isHighSurrogate() ? kMarkNoteLength - 1
                                                                     : kMarkNoteLength);
    return note.trimmed();
}

void LiveSession::tell(const SessionEvent& told)
{
    // Every event carries the time it happened: the data file writes it as a row of its own.
    SessionEvent event = told;
    if (event.timeMs == 0)
        event.timeMs = m_pipeline->now();
    switch (event.kind) {
    case SessionEvent::Kind::Connected:
    case SessionEvent::Kind::Reconnected:
        m_connection = QStringLiteral("connected");
        m_watchingSinceSteady = m_clockWatch->clock().steadyMs();
        break;
    case SessionEvent::Kind::Reconnecting:
        m_connection = QStringLiteral("reconnecting");
        break;
    case SessionEvent::Kind::DeviceLost:
        m_connection = QStringLiteral("lost");
        break;
    case SessionEvent::Kind::Disconnected:
    case SessionEvent::Kind::Finishing:
        m_connection = QStringLiteral("not connected");
        break;
    default:
        break;
    }
    for (SampleSink* sink : m_sinks)
        sink->takeEvent(event);
    emit sessionEvent(event);
    // Told after the event: the clean end's goodbye has gone by then.
    if (event.kind != SessionEvent::Kind::Finishing)
        publishHealth(false);
    else
        m_healthTimer.stop();
}

bool LiveSession::setOutputs(const OutputSettings& given, const QString& portName, QString* error)
{
    // The station's id names the default topic.
    OutputSettings settings = given;
    settings.stationId = m_station.id;
    // The port in use names the topic once one is open.
    const QString port = m_live->isOpen() ? m_live->name() : portName;
    if (!m_outputs.isEmpty() && settings == m_outputSettings &&
        mqttTopicFor(settings, port) == mqttTopicFor(m_outputSettings, m_outputsPort)) {
        // The same outputs: a broker is not told "offline" and "online" again for nothing.
        if (error)
            error->clear();
        return true;
    }
    for (LiveOutput* output : std::as_const(m_outputs))
        endOutput(output);
    m_outputs.clear();
    m_mqttOutput = nullptr;
    m_outputSettings = settings;
    m_outputsPort = port;

    // The MQTT output first, alone: it is the one that can fail (a password or certificate file
    // that cannot be read), and the session replaces it alone when the port changes.
    OutputSettings mqttOnly = settings;
    mqttOnly.nmeaUdp = false;
    mqttOnly.nmeaTcp = false;
    OutputSettings nmeaOnly = settings;
    nmeaOnly.mqtt = false;
    QString reason = outputSettingsError(settings);
    QList<LiveOutput*> mqtt;
    if (reason.isEmpty())
        mqtt = createOutputs(mqttOnly, port, this, &reason);
    if (reason.isEmpty()) {
        for (LiveOutput* output : createOutputs(nmeaOnly, port, this, &reason))
            addOutput(output);
        for (LiveOutput* output : std::as_const(mqtt)) {
            addOutput(output);
            m_mqttOutput = output;
        }
        for (const QString& warning : outputWarnings(settings))
            emit outputMessage(warning);
    } else {
        m_outputSettings = OutputSettings();
    }
    emit outputsChanged();
    if (error)
        *error = reason;
    return reason.isEmpty();
}

void LiveSession::addOutput(LiveOutput* output)
{
    // The clock's state from the start, its changes later as events; the health state too.
    output->takeEvent({SessionEvent::Kind::ClockState, m_outputsPort, clockStateText()});
    output->takeHealth(healthState());
    addSink(output);
    connect(output, &LiveOutput::stateChanged, this, &LiveSession::outputsChanged);
    connect(output, &LiveOutput::message, this, &LiveSession::outputMessage);
    m_outputs << output;
}

void LiveSession::endOutput(LiveOutput* output)
{
    removeSink(output);
    output->takeEvent({SessionEvent::Kind::Finishing, QString(), QString()});
    output->deleteLater();
}

void LiveSession::followPort(const QString& portName)
{
    const QString before = mqttTopicFor(m_outputSettings, m_outputsPort);
    m_outputsPort = portName;
    if (!m_mqttOutput || mqttTopicFor(m_outputSettings, portName) == before)
        return;
    // Samples of this port under the name of another would mix two instruments in one series:
    // the output ends under the old topic ("offline") and starts again under the new one.
    m_outputs.removeOne(m_mqttOutput);
    endOutput(m_mqttOutput);
    m_mqttOutput = nullptr;
    OutputSettings mqttOnly = m_outputSettings;
    mqttOnly.nmeaUdp = false;
    mqttOnly.nmeaTcp = false;
    QString reason;
    for (LiveOutput* output : createOutputs(mqttOnly, portName, this, &reason)) {
        addOutput(output);
        m_mqttOutput = output;
    }
    if (!reason.isEmpty())
        emit outputMessage(QStringLiteral("MQTT: ") + reason);
    emit outputsChanged();
}

QStringList LiveSession::outputStates() const
{
    QStringList states;
    for (const LiveOutput* output : m_outputs) {
        if (!output->stateText().isEmpty())
            states << output->stateText();
    }
    return states;
}

void LiveSession::finish()
{
    m_demo->stop();
    if (m_live->isOpen())
        m_live->poll();
    m_live->close();
    m_connected = false;
    tell({SessionEvent::Kind::Finishing, m_live->name(), QString()});
}

QString LiveSession::oneLine(const QString& reason)
{
    return QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString LiveSession::firstSentence(const QString& reason)
{
    QString what = reason.section(QLatin1Char('\n'), 0, 0);
    if (const qsizetype end = what.indexOf(QLatin1String(". ")); end > 0)
        what.truncate(end);
    return what;
}
