#pragma once
// The live session: the live road from the sensor to every destination.
//
//   a live source: the serial port (one poll) ─┐
//     or the network (one poll)                ├─> FlowPipeline ─> batch ─> destinations, in
//   the demonstration (one record) ────────────┘     registration order: the recording, the live
//                                                    history, the no-data watch, and any added
//                                                    later (data file, network outputs, plot)
//                                               └──> batchReady, for the display
//
// Each hand-out of a source becomes one batch; every record carries the time its line end was
// read. The session speaks to its sources through LiveSource only; which one a port name opens
// is decided here: "tcp://HOST:PORT" (or a COM name mapped to one in [Ports]) is a sensor on the
// network, anything else a serial port. Destinations also take the session's events (connected,
// device lost, reconnecting, back, no data, data again, the clock's state changed or its time
// stepped), in the order they happen. The session knows the computer's clock (ClockWatch): its
// state is stated in the data file's head and told to the outputs, and a step of the wall clock is
// told once. The window and marvane-record each own a session and only present it: neither wires a
// source to the pipeline nor calls a destination.
//
// The rules both of them need live here: the port's name turned into a source, the options
// applied when they change, the no-data watch stopped while the device is away, and the
// demonstration: it has the display to itself while it runs (live samples go on to the
// destinations but are not shown), and its invented samples reach the destinations only when
// the operator chose to log them. A second demonstration while one runs is refused.

#include "outputs/HealthState.h"
#include "outputs/OutputSettings.h"
#include "recording/AppendFile.h"
#include "recording/LogRotation.h"
#include "sensor/Sample.h"
#include "sensor/SampleSink.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class AlarmWatch;
struct AlarmSettings;
class ClockWatch;
class Clock;
class DataFileWriter;
class DemoSource;
struct DataFileHeader;
class FileDevice;
class FlowPipeline;
class LiveHistory;
class LiveOutput;
class LiveSource;
class NoDataWatch;
class ProgramOptions;
class Recording;
class SerialSource;
class TcpSource;
struct PortSettings;

class LiveSession : public QObject
{
    Q_OBJECT
public:
    // options: in force from now on, and again whenever they change (not owned).
    explicit LiveSession(ProgramOptions* options, QObject* parent = nullptr);
    ~LiveSession() override;

    FlowPipeline& pipeline() { return *m_pipeline; }
    // The live source in use: the one the last openSource() opened (the serial port before any).
    LiveSource& source() { return *m_live; }
    const LiveSource& source() const { return *m_live; }
    DemoSource& demonstration() { return *m_demo; }
    // Test seam: every wait and interval of the sources is multiplied by scale (the program uses
    // 1).
    void setTimeScale(double scale);
    // The sources themselves, for tests and benchmarks that drive one directly.
    SerialSource& serialSource() { return *m_serial; }
    TcpSource& networkSource() { return *m_network; }
    Recording& recording() { return *m_recording; }
    LiveHistory& history() { return *m_history; }
    NoDataWatch& noDataWatch() { return *m_noData; }
    ProgramOptions& options() { return *m_options; }
    DataFileWriter& dataFile() { return *m_dataFile; }
    ClockWatch& clockWatch() { return *m_clockWatch; }
    AlarmWatch& alarms() { return *m_alarms; }

    // The alarms the settings turn on, from now on (told as AlarmRaised and AlarmCleared events,
    // each once per episode, to every destination and by sessionEvent).
    void setAlarms(const AlarmSettings& settings);

    // Marks this moment, with an optional note (as markNote makes it): told as a Mark event at
    // the time of the session's clock, to every destination (the data file's row, the history's
    // line, the outputs' message) and by sessionEvent. Returns the event told.
    SessionEvent mark(const QString& note);
    // A note as a mark keeps it: its first line, trimmed, at most kMarkNoteLength characters.
    static QString markNote(const QString& text);
    static constexpr int kMarkNoteLength = 120;
    // The station's details from now on: stated in the head of each data file made after this,
    // in the health state, and by their id in the default MQTT topic (an MQTT output on the
    // default topic moves to the new one).
    void setStation(const StationDetails& details);
    const StationDetails& station() const { return m_station; }

    // What the station says of itself to the outputs: whenever it changes, and at least every
    // kHealthInterval (the timer's interval) while the session runs.
    HealthState healthState() const;
    static constexpr int kHealthInterval = 60 * 1000;
    QTimer& healthTimer() { return m_healthTimer; }

    // The clocks every time of this session comes from (not owned; the system's unless a test
    // sets another): the arrival times, the clock's state and its steps.
    void setClock(const Clock* clock);
    // "Clock: synchronised, estimated error 2 ms", as read last.
    QString clockStateText() const;

    // A destination takes every batch and event from now on, after those registered before it
    // (not owned; remove it before it goes).
    void addSink(SampleSink* sink);
    void removeSink(SampleSink* sink);

    // A new log file (created, or emptied), current from now on; and beside it, when the options
    // want one, its data file (the same name ending in .csv). False with the reason when the log
    // cannot be made; a data file that cannot be made is told by dataFileFailed, the log goes on.
    bool createLogFile(const QString& path, QString* reason);
    // The data file for the samples logged from now on: created, or continued when append and
    // it exists. False with the reason when it cannot be opened.
    bool openDataFile(const QString& path, bool append, QString* reason);
    // The device the log and the data file are written through (not owned; nullptr: the
    // system's): tests put a failing one here.
    void setFileDevice(FileDevice* device);
    // The clock of the once-a-second look at the log's and the data file's paths (tests set
    // their own).
    void setFileClock(const AppendFile::Clock& clock);
    // The log and the data file at their paths again now, made again where they have gone (as
    // logrotate's postrotate asks). False with the reason when one cannot be.
    bool reopenFiles(QString* reason);

    // Records into files named by rule's patterns from now on: the first named for the time
    // of the session's clock now (pipeline().now()), created (with append, the newest of that
    // name continued), then a new log and data file whenever the rule says, the batch that
    // crosses the boundary split between them by each sample's own time. Files older than the
    // rule keeps are removed now and at each new file. False with the reason (which file, and
    // why) when the first files cannot be made; made lists the files this call created.
    bool startRotation(const LogRotation& rule, bool append, QString* reason,
                       QStringList* made = nullptr);
    const std::optional<LogRotation>& rotation() const { return m_rotation; }
    // The log and data file names for a time, with the first number that names no file yet
    // (the data file's name empty without one).
    QPair<QString, QString> rotatedNames(qint64 timeMs) const;
    // Where lines that wait for the log or the data file go beyond what memory holds, in order:
    // the other file's folder when it is on another file system (a full disk there is not full
    // here), the user's state folder, the user's runtime folder.
    static QStringList spillFoldersFor(const QString& file, const QString& otherFile);
    // What the head of a data file states of this session now.
    DataFileHeader dataFileHeader(const QString& logFile) const;
    // The data file beside a log file: survey.log gives survey.csv.
    static QString dataFilePathFor(const QString& logFile);

    // The network outputs the settings turn on, destinations of this session from now on
    // (portName names the default MQTT topic until a port is opened: from then on the topic
    // follows the port in use); outputs already running end cleanly first (an MQTT broker hears
    // "offline"), unless the settings and the topic are those they run with, when they go on
    // untouched. False with why in error, and no outputs, when the settings cannot be (an
    // invalid address, an unreadable password or certificate file). The station id the default
    // topic names is the session's (setStation), whatever settings says. What the operator should
    // know of the settings (outputWarnings) comes once as outputMessage.
    bool setOutputs(const OutputSettings& settings, const QString& portName, QString* error);
    const QList<LiveOutput*>& outputs() const { return m_outputs; }
    // Each running output's state for a status line ("NMEA: 1 client", "MQTT: queued 12").
    QStringList outputStates() const;

    // Opens the source of the port the options choose (or of portName): "tcp://HOST:PORT" is a
    // sensor on the network; COM1..COM4 are mapped through [Ports] of the settings file (to a
    // device, or to a network address); anything else is a device path as given. On failure
    // returns false with the reason and leaves a running source as it was. Records come once
    // startSource() is called. An MQTT output on the default topic moves to the topic of this
    // port (the broker hears "offline" under the old one).
    bool openSource(QString* reason, const QString& portName = QString());
    void startSource();
    // Closes the source; the destinations hear Disconnected.
    void closeSource();
    bool isConnected() const { return m_connected; }
    bool isReconnecting() const;
    // The name of the source in use (or last used), as the operator gave it.
    QString portName() const;
    // The serial line parameters from now on (the options set them too, when they change).
    void setLineSettings(const PortSettings& settings);
    // The line parameters in force when the source in use is a serial port; nothing for a source
    // whose line is not the program's to set (a device server on the network).
    const PortSettings* lineSettings() const;

    // Starts the demonstration; logged: its samples go to the destinations. Refused (false)
    // while one runs.
    bool startDemonstration(bool logged);
    void stopDemonstration();
    bool demonstrationRunning() const;

    // Records taken as one poll of the source (tests and benchmarks feed the session this way).
    void receiveRecords(const QList<QByteArray>& records, SampleSource source = SampleSource::Live);
    void receiveRecord(const QString& record, SampleSource source = SampleSource::Live);
    // Records of one poll of the port with the time each one arrived.
    void receiveArrived(const QList<QByteArray>& records, const QList<qint64>& arrivalMs);
    // Samples already decoded and stamped, each with its own time, taken as one poll.
    void handBatch(const SampleBatch& batch);

    // The end of the session: every byte already received is read and handed on, the port is
    // closed, and the destinations hear Finishing.
    void finish();

    // A reason on one line: the system's texts may hold line breaks.
    static QString oneLine(const QString& reason);
    // The first sentence of a reason: what happened, without the advice after it.
    static QString firstSentence(const QString& reason);

signals:
    // The samples the display shows from a batch, after the destinations have taken it.
    void batchReady(const SampleBatch& batch);
    // An event, after the destinations have heard it.
    void sessionEvent(const SessionEvent& event);
    void demonstrationStarted();
    // The data file beside a new log could not be made (path and the system's reason).
    void dataFileFailed(const QString& path, const QString& reason);
    // A new log (and data file, empty when none) took over from the previous ones.
    void filesRotated(const QString& logFile, const QString& dataFile);
    // The next log could not be made (told once until one can): the samples go on into the
    // current one, and it is tried again at each batch.
    void rotationFailed(const QString& path, const QString& reason);
    // Files older than the rotation keeps were removed.
    void oldFilesRemoved(const QStringList& paths);
    void demonstrationFinished();
    // An output's state changed (outputStates()), or the outputs were replaced.
    void outputsChanged();
    // An output's fault or recovery, told once (for the status bar or standard error).
    void outputMessage(const QString& text);

private:
    void applyOptions();
    void updateSpillFolders();
    void tell(const SessionEvent& event);
    void addOutput(LiveOutput* output);
    void endOutput(LiveOutput* output);
    void followPort(const QString& portName);
    void recordBatch(const SampleBatch& batch);
    void recordEvent(const SessionEvent& event);
    void handToFiles(const SampleBatch& batch);
    bool rotateFiles(qint64 timeMs);
    QPair<QString, QString> namesFor(qint64 timeMs, int number) const;
    int firstFreeNumber(qint64 timeMs) const;
    void removeExpiredFiles(qint64 nowMs);
    void adopt(LiveSource* source);
    void tellAlarm(SessionEvent event);
    void publishHealth(bool always);

    ProgramOptions* m_options;
    FlowPipeline* m_pipeline;
    SerialSource* m_serial;
    TcpSource* m_network;
    LiveSource* m_live; // one of the two above
    DemoSource* m_demo;
    Recording* m_recording;
    LiveHistory* m_history;
    NoDataWatch* m_noData;
    ClockWatch* m_clockWatch;
    AlarmWatch* m_alarms;
    DataFileWriter* m_dataFile;
    std::unique_ptr<SampleSink> m_dataFileWhileLogging;
    std::unique_ptr<SampleSink> m_files; // the two above, split where the rotation says
    std::optional<LogRotation> m_rotation;
    qint64 m_period = 0; // of the current rotated files
    bool m_rotationFailing = false;
    std::vector<SampleSink*> m_sinks;
    QList<LiveOutput*> m_outputs;
    LiveOutput* m_mqttOutput = nullptr; // one of m_outputs
    OutputSettings m_outputSettings;    // what m_outputs run with
    QString m_outputsPort;              // the port the default MQTT topic names
    StationDetails m_station;
    bool m_connected = false;
    bool m_demoLogged = false;

    // Events raised while a batch is handed on wait until every destination has it.
    bool m_handing = false;
    QList<SessionEvent> m_deferred;

    // The health state's parts the session keeps itself.
    QString m_connection = QStringLiteral("not connected");
    qint64 m_lastSampleMs = -1;       // UTC, the last live sample
    qint64 m_lastDataSteady = -1;     // steady clock, the last live record
    qint64 m_watchingSinceSteady = 0; // steady clock, since the port was opened or came back
    QString m_lastStep;
    HealthState m_toldHealth;
    bool m_healthTold = false;
    QTimer m_healthTimer;
};
