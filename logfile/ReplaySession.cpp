#include "logfile/ReplaySession.h"

#include "logfile/LogFormat.h"
#include "processing/FlowPipeline.h"

ReplaySession::ReplaySession(FlowPipeline* pipeline, QObject* parent)
    : QObject(parent), m_pipeline(pipeline)
{
    m_playTimer.setInterval(kPlayInterval);
    connect(&m_playTimer, &QTimer::timeout, this, [this] { step(); });
}

void ReplaySession::setTimeScale(double scale)
{
    m_timeScale = scale;
    m_playTimer.setInterval(qMax(1, int(kPlayInterval * scale)));
}

bool ReplaySession::skipHeaderAndUnits(QByteArray* unitsLine, QString* reason)
{
    QByteArray header;
    // Files shorter than two lines read as empty lines: a header-only file has no units word.
    if (!m_reader.readLine(&header, reason))
        return false;
    return m_reader.readLine(unitsLine, reason);
}

bool ReplaySession::open(const QString& path, QString* reason)
{
    // The new file is read beside the current replay, which is only given up once the new file
    // has shown itself to be a log: its first line is the header line and its second, when
    // there is one, a units line as the recorder writes them. A file with the header alone (a
    // log file created but never recorded into) is a log too. Anything else (another program's
    // file, an empty file, a file in the wrong format) would replay as rows of nonsense.
    ReplayReader reader;
    if (!reader.open(path, reason))
        return false;
    QByteArray header;
    QByteArray units;
    if (!reader.readLine(&header, reason) || !reader.readLine(&units, reason))
        return false;
    if (!isLogHeaderLine(header) || !(units.isEmpty() || isLogUnitsLine(units))) {
        if (reason)
            *reason = QStringLiteral("not a Marvane log file");
        return false;
    }
    m_reader = std::move(reader);
    m_path = path;
    m_unitsWord = unitsWordOfLine(units);
    m_pipeline->setReplayUnitsWord(m_unitsWord);
    return true;
}

bool ReplaySession::restart(QString* reason)
{
    m_reader.close();
    if (!m_reader.open(m_path, reason))
        return false;
    QByteArray units;
    QString ignored;
    skipHeaderAndUnits(&units, &ignored);
    return true;
}

void ReplaySession::close()
{
    m_reader.close();
    stop();
}

bool ReplaySession::step()
{
    if (!m_reader.isOpen() || m_reader.atEnd())
        return false;
    QByteArray line;
    QString reason;
    if (!m_reader.readLine(&line, &reason)) {
        m_reader.close();
        emit readFailed(m_path, reason);
        return false;
    }
    const QString caption = m_pipeline->units().readoutCaption;
    const LogRecordFields fields =
        splitLogRecordLine(line, caption == QLatin1String("mm/s") ? 4 : 5);
    m_pipeline->processReplayed(fields.speed, fields.bearing, fields.dateTime,
                                readoutCaptionForSpeedText(fields.speed));
    return true;
}

void ReplaySession::play()
{
    m_playTimer.start();
}

void ReplaySession::stop()
{
    m_playTimer.stop();
}
