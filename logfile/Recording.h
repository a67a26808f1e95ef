#pragma once
// The recording: the current log file, whether logging is on, and the samples that could not be
// written yet. A destination of the live session: each batch's computed live samples go into the
// file together (replayed samples never do: they come from a log already). Failures are told
// with appendFailed, once per episode; the samples stay kept by the recorder and go out first
// once the file can be written again.

#include "logfile/LogRecorder.h"
#include "processing/SampleSink.h"

#include <QObject>
#include <QString>

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
    int backlogLines() const { return m_recorder.backlogLines(); }
    // Samples the current file has taken from this recording.
    qint64 samplesWritten() const { return m_recorder.recordsWritten(); }
    const LogRecorder& recorder() const { return m_recorder; }

    // The computed live samples of a batch, written together while logging is on. Returns false
    // when they had to be kept back (appendFailed was emitted for the episode).
    bool record(const SampleBatch& batch);
    void takeBatch(const SampleBatch& batch) override { record(batch); }

signals:
    // The first failed write of an episode: path and the system's reason; backlog is how many
    // lines wait. Further failures of the same episode only change backlogChanged.
    void appendFailed(const QString& path, const QString& reason, int backlog);
    // The waiting lines were written: the episode is over.
    void appendRecovered(const QString& path);
    // How many lines wait to be written (0 once written).
    void backlogChanged(int lines);

private:
    void reportWrite(bool ok, const QString& reason);

    LogRecorder m_recorder;
    bool m_failing = false; // a write failed and no later one has succeeded yet
};
