#pragma once
// The recording: the current log file, whether logging is on, and the samples that could not be
// written yet. A destination of the live session: each batch's computed live samples go into the
// file together (replayed samples never do: they come from a log already). Failures are told
// with appendFailed, once per episode; the samples stay kept by the recorder (in memory, then in
// a spill file) and go out first once the file can be written again. Samples that found no place
// at all are counted, and the count is told when the file takes writes again. When the session
// ends, what still waits is left in a spill file for the operator, or counted as dropped.

#include "recording/LogRecorder.h"
#include "sensor/SampleSink.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Recording : public QObject, public SampleSink
{
    Q_OBJECT
public:
    explicit Recording(QObject* parent = nullptr);

    // Creates (or empties) path with its header line and makes it the current log file. On
    // failure nothing changes and reason holds the system's reason.
    bool createFile(const QString& path, QString* reason);

    // Makes an existing log file of this program current, to record on at its end (see
    // LogRecorder::continueFile). On failure nothing changes and reason says why.
    bool continueFile(const QString& path, QString* reason);

    const QString& currentFile() const { return m_recorder.currentFile(); }
    bool hasFile() const { return m_recorder.hasFile(); }
    bool headerPending() const { return m_recorder.headerPending(); }
    bool logging() const { return m_recorder.logging(); }
    void setLogging(bool on) { m_recorder.setLogging(on); }
    void setTimeBase(TimeBase base) { m_recorder.setTimeBase(base); }
    // Lines waiting in memory.
    int backlogLines() const { return m_recorder.backlogLines(); }
    // Lines waiting in the spill file, and the file.
    qint64 spilledLines() const { return m_recorder.file().spilledLines(); }
    const QString& spillPath() const { return m_recorder.file().spillPath(); }
    // All lines waiting.
    qint64 waitingLines() const { return m_recorder.waitingLines(); }
    // Lines lost because no place could keep them.
    qint64 droppedLines() const { return m_recorder.droppedLines(); }
    // Samples the current file has taken from this recording.
    qint64 samplesWritten() const { return m_recorder.recordsWritten(); }
    const LogRecorder& recorder() const { return m_recorder; }

    // The device the log file is written through (not owned; nullptr: the system's), and the
    // folders where lines go when more wait than memory holds.
    void setFileDevice(FileDevice* device) { m_recorder.file().setDevice(device); }
    void setSpillFolders(const QStringList& folders) { m_recorder.file().setSpillFolders(folders); }
    // How many lines wait in memory before the oldest go to a spill file.
    void setMaxBacklogLines(int lines) { m_recorder.file().setMaxLinesInMemory(lines); }

    // The computed live samples of a batch, written together while logging is on. Returns false
    // when they had to be kept back (appendFailed was emitted for the episode).
    bool record(const SampleBatch& batch);
    void takeBatch(const SampleBatch& batch) override { record(batch); }
    // Finishing: a last attempt; what is left goes to a spill file, or is counted as dropped.
    void takeEvent(const SessionEvent& event) override;

signals:
    // The first failed write of an episode: path and the system's reason; backlog is how many
    // lines wait. Further failures of the same episode only change backlogChanged.
    void appendFailed(const QString& path, const QString& reason, int backlog);
    // Lines beyond what memory holds go to spillPath from now on (once per episode).
    void spillStarted(const QString& path, const QString& spillPath);
    // No spill file could be written (reason): the oldest lines are dropped from now on (once per
    // episode).
    void droppingStarted(const QString& path, const QString& reason);
    // The waiting lines were written: the episode is over; dropped lines were lost in it.
    void appendRecovered(const QString& path, qint64 dropped);
    // How many lines wait to be written (0 once written), and how many were dropped in all.
    void backlogChanged(qint64 lines, qint64 dropped);

private:
    LogRecorder m_recorder;
};
