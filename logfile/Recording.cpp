#include "logfile/Recording.h"

#include "processing/Sample.h"

Recording::Recording(QObject* parent) : QObject(parent) {}

bool Recording::createFile(const QString& path, QString* reason)
{
    if (!m_recorder.createFile(path, reason))
        return false;
    // The kept samples went into the new file when it could take them.
    if (m_failing && m_recorder.backlogLines() == 0) {
        m_failing = false;
        emit appendRecovered(path);
    }
    emit backlogChanged(m_recorder.backlogLines());
    return true;
}

bool Recording::continueFile(const QString& path, QString* reason)
{
    return m_recorder.continueFile(path, reason);
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
    if (m_recorder.append(sample.speedText, sample.bearingText, sample.timeText, sample.speedUnits,
                          &reason)) {
        if (m_failing) {
            m_failing = false;
            emit backlogChanged(0);
            emit appendRecovered(m_recorder.currentFile());
        }
        return true;
    }
    emit backlogChanged(m_recorder.backlogLines());
    if (!m_failing) {
        // One report per episode: a file that stays unwritable does not raise a box per sample.
        m_failing = true;
        emit appendFailed(m_recorder.currentFile(), reason, m_recorder.backlogLines());
    }
    return false;
}
