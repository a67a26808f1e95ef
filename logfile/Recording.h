#pragma once
// The recording session: the current log file, whether logging is on, and the samples that could
// not be written yet. It takes every computed live sample; replayed samples are never logged
// (they come from a log already). Failures are told with appendFailed; the samples stay kept by
// the recorder and go out first once the file can be written again.

#include "logfile/LogRecorder.h"

#include <QObject>
#include <QString>

struct Sample;

class Recording : public QObject
{
    Q_OBJECT
public:
    explicit Recording(QObject* parent = nullptr);

    // Creates (or empties) path with its header line and makes it the current log file. On
    // failure nothing changes and reason holds the system's reason.
    bool createFile(const QString& path, QString* reason);

    const QString& currentFile() const { return m_recorder.currentFile(); }
    bool hasFile() const { return m_recorder.hasFile(); }
    bool headerPending() const { return m_recorder.headerPending(); }
    bool logging() const { return m_recorder.logging(); }
    void setLogging(bool on);
    int backlogLines() const { return m_recorder.backlogLines(); }
    const LogRecorder& recorder() const { return m_recorder; }

    // The append step for one sample: written when logging is on, the sample was computed and it
    // is a live one. Returns false when it had to be kept back (appendFailed was emitted).
    bool record(const Sample& sample);

signals:
    void loggingChanged(bool on);
    // An append failed: path and the system's reason; backlog is how many lines wait.
    void appendFailed(const QString& path, const QString& reason, int backlog);

private:
    LogRecorder m_recorder;
};
