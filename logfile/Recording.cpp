#include "logfile/Recording.h"

#include "processing/RawRecord.h"

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

bool Recording::record(const SampleBatch& batch)
{
    if (!m_recorder.logging())
        return true;
    bool queued = false;
    for (const Sample& sample : batch) {
        if (!sample.computed || sample.source == SampleSource::Replay)
            continue;
        m_recorder.queue(sample.speedText, sample.bearingText, sample.timeText,
                         unitsInfo(sample.units).speedUnits);
        queued = true;
    }
    if (!queued && !m_failing)
        return true;
    QString reason;
    const bool ok = m_recorder.flush(&reason);
    reportWrite(ok, reason);
    return ok;
}

void Recording::reportWrite(bool ok, const QString& reason)
{
    if (ok) {
        if (m_failing) {
            m_failing = false;
            emit backlogChanged(0);
            emit appendRecovered(m_recorder.currentFile());
        }
        return;
    }
    emit backlogChanged(m_recorder.backlogLines());
    if (!m_failing) {
        // One report per episode: a file that stays unwritable does not raise a box per batch.
        m_failing = true;
        emit appendFailed(m_recorder.currentFile(), reason, m_recorder.backlogLines());
    }
}
