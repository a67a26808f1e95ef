#include "logfile/Recording.h"

#include "processing/Sample.h"

Recording::Recording(QObject* parent) : QObject(parent) {}

bool Recording::createFile(const QString& path, QString* reason)
{
    return m_recorder.createFile(path, reason);
}

void Recording::setLogging(bool on)
{
    m_recorder.setLogging(on);
    emit loggingChanged(on);
}

bool Recording::record(const Sample& sample)
{
    if (!m_recorder.logging() || !sample.computed || sample.source == SampleSource::Replay)
        return true;
    QString reason;
    if (m_recorder.append(sample.speedText, sample.bearingText, sample.timeText,
                          sample.speedUnits, &reason))
        return true;
    emit appendFailed(m_recorder.currentFile(), reason, m_recorder.backlogLines());
    return false;
}
