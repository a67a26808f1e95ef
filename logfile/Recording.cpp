#include "recording/Recording.h"

#include "sensor/RawRecord.h"

#include <QtGlobal>

#include <limits>

Recording::Recording(QObject* parent) : QObject(parent)
{
    const AppendFile* file = &m_recorder.file();
    connect(file, &AppendFile::writeFailed, this,
            [this](const QString& path, const QString& reason, qint64 waiting) {
                emit appendFailed(path, reason,
                                  int(qMin<qint64>(waiting, std::numeric_limits<int>::max())));
            });
    connect(file, &AppendFile::spillStarted, this, &Recording::spillStarted);
    connect(file, &AppendFile::droppingStarted, this, &Recording::droppingStarted);
    connect(file, &AppendFile::writeRecovered, this, &Recording::appendRecovered);
    connect(file, &AppendFile::waitingChanged, this, &Recording::backlogChanged);
}

bool Recording::createFile(const QString& path, QString* reason)
{
    // The kept samples go into the new file when it can take them (appendRecovered then).
    return m_recorder.createFile(path, reason);
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
    if (!queued && m_recorder.waitingLines() == 0)
        return true;
    QString reason;
    return m_recorder.flush(&reason);
}

void Recording::takeEvent(const SessionEvent& event)
{
    if (event.kind == SessionEvent::Kind::Finishing)
        m_recorder.finish();
}
