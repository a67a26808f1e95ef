#include "replay/ReplaySession.h"

#include "logformat/LogFormat.h"
#include "sensor/FlowPipeline.h"

#include <algorithm>

ReplaySession::ReplaySession(FlowPipeline* pipeline, QObject* parent)
    : QObject(parent), m_pipeline(pipeline)
{
    m_playTimer.setInterval(kPlayInterval);
    connect(&m_playTimer, &QTimer::timeout, this, &ReplaySession::tick);
    connect(&m_index, &ReplayIndex::countChanged, this,
            [this] { emit countChanged(recordCount()); });
}

void ReplaySession::setTimeScale(double scale)
{
    m_timeScale = scale;
    applyInterval();
}

void ReplaySession::setSpeed(Speed speed)
{
    m_speed = speed;
    applyInterval();
}

void ReplaySession::applyInterval()
{
    int interval = kPlayInterval;
    switch (m_speed) {
    case Speed::One:
        break;
    case Speed::Ten:
        interval = kPlayInterval / 10;
        break;
    case Speed::Hundred:
        interval = kPlayInterval / 100;
        break;
    case Speed::Max:
        // A zero timer runs once the window has painted and handled its input: as fast as the
        // display follows, and no faster.
        m_playTimer.setInterval(0);
        return;
    }
    m_playTimer.setInterval(qMax(1, int(interval * m_timeScale)));
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
    const auto notALog = [reason] {
        if (reason)
            *reason = QStringLiteral("not a Marvane log file");
        return false;
    };
    // The header first: a file that does not start like a log is not read any further.
    if (!reader.readLine(&header, reason))
        return false;
    if (!isLogHeaderLine(header))
        return notALog();
    if (!reader.readLine(&units, reason))
        return false;
    if (!(units.isEmpty() || isLogUnitsLine(units)))
        return notALog();
    m_reader = std::move(reader);
    // A torn last line (a recording still writing it, or cut by a crash) is not a record yet.
    m_reader.setHoldUnendedLastLine(true);
    m_path = path;
    // The units word is read here, once: from now on the file's units are the enum's.
    m_units = speedUnitsOfUnitsWord(unitsWordOfLine(units));
    m_timeBase = timeBaseOfUnitsLine(units);
    m_pipeline->setReplayUnits(m_units);
    m_next = 0;
    m_readerNext = 0;
    m_known = 0;
    m_markersBeyondIndex.clear();
    // Without an index the replay still steps through the file; only going anywhere is lost.
    QString ignored;
    m_index.open(path, &ignored);
    emit fileChanged();
    emit countChanged(recordCount());
    return true;
}

bool ReplaySession::restart(QString* reason)
{
    m_reader.close();
    if (!m_reader.open(m_path, reason)) {
        m_index.close();
        return false;
    }
    QByteArray units;
    QString ignored;
    skipHeaderAndUnits(&units, &ignored);
    m_next = 0;
    m_readerNext = 0;
    return true;
}

void ReplaySession::close()
{
    m_reader.close();
    m_index.close();
    stop();
    m_next = 0;
    m_readerNext = -1;
    m_known = 0;
    m_markersBeyondIndex.clear();
    emit fileChanged();
    emit countChanged(0);
}

bool ReplaySession::placeReader(QString* reason)
{
    if (m_readerNext == m_next)
        return true;
    // The reader goes on from the end of the index, or failing that from the file's beginning,
    // and skips what lies between.
    qint64 at = m_index.recordCount();
    const qint64 offset = m_index.nextRecordOffset();
    QByteArray line;
    if (offset < 0 || at > m_next) {
        m_reader.close();
        if (!m_reader.open(m_path, reason) || !skipHeaderAndUnits(&line, reason))
            return false;
        at = 0;
    } else if (!m_reader.seek(offset, reason)) {
        return false;
    }
    m_readerNext = -1;
    for (; at < m_next; ++at) {
        if (m_reader.atEnd())
            break;
        if (!m_reader.readLine(&line, reason))
            return false;
    }
    m_readerNext = at;
    return true;
}

ReplaySession::LineStep ReplaySession::stepLine()
{
    if (!m_reader.isOpen())
        return LineStep::None;
    QByteArray line;
    QString reason;
    bool read = false;
    if (m_readerNext != m_next && m_next < m_index.recordCount()) {
        // Away from where the reader stands: the index reaches the record.
        line = m_index.readRecordLine(m_next, &reason);
        read = reason.isEmpty();
    } else {
        if (!placeReader(&reason)) {
            read = false;
        } else if (m_readerNext != m_next || m_reader.atEnd()) {
            return LineStep::None;
        } else {
            read = m_reader.readLine(&line, &reason);
            // Still inside the rest of an overlong line: this step only got further through it.
            if (read && m_reader.passingLongLine())
                return LineStep::Passing;
            m_readerNext = read ? m_next + 1 : -1;
        }
    }
    if (!read) {
        m_reader.close();
        m_index.close();
        emit readFailed(m_path, reason);
        return LineStep::None;
    }
    // The position moves before the sample is shown: steps that come while the display is busy
    // with this record (a tick under a message box) go on after it.
    ++m_next;
    m_known = std::max(m_known, m_next);
    // A units line among the records (a recording resumed into the file) marks the place; it is
    // no record to show and no bad line.
    if (isLogUnitsLine(line)) {
        const qint64 marker = m_next - 1;
        if (marker >= m_index.recordCount() &&
            !std::binary_search(m_markersBeyondIndex.begin(), m_markersBeyondIndex.end(), marker))
            m_markersBeyondIndex.insert(
                std::upper_bound(m_markersBeyondIndex.begin(), m_markersBeyondIndex.end(), marker),
                marker);
        emit positionChanged(marker, recordCount());
        return LineStep::Marker;
    }
    const LogRecordFields fields = splitLogRecordLine(
        line, m_pipeline->shownUnits() == SpeedUnitsKind::MillimetresPerSecond ? 4 : 5);
    const qint64 shown = m_next - 1;
    m_pipeline->processReplayed(fields.speed, fields.bearing, fields.dateTime,
                                unitsOfSpeedText(fields.speed));
    emit positionChanged(shown, recordCount());
    return LineStep::Shown;
}

bool ReplaySession::step()
{
    // A units line takes no step of its own (no tick of playback): the record after it is shown
    // in the same step.
    for (;;) {
        switch (stepLine()) {
        case LineStep::Shown:
        case LineStep::Passing:
            return true;
        case LineStep::Marker:
            continue;
        case LineStep::None:
            return false;
        }
    }
}

qint64 ReplaySession::recordsThrough(qint64 line) const
{
    if (line < 0)
        return 0;
    // The index knows the units lines among the lines it has read; the session those it met
    // beyond them.
    const qint64 indexed = m_index.recordCount();
    qint64 markers = 0;
    if (indexed > 0)
        markers = m_index.history().totals(0, std::min(line, indexed - 1)).markers;
    markers += std::count_if(m_markersBeyondIndex.begin(), m_markersBeyondIndex.end(),
                             [&](qint64 m) { return m >= indexed && m <= line; });
    return line + 1 - markers;
}

bool ReplaySession::seek(qint64 record)
{
    const qint64 count = recordCount();
    if (!isOpen() || count == 0)
        return false;
    const qint64 target = std::clamp<qint64>(record, 0, count - 1);
    // The records before it are shown first, as many as the tables hold, so that the tables read
    // as if playback had come there.
    m_next = std::max<qint64>(0, target - (m_rowsShown - 1));
    emit seeking();
    m_leading = true;
    // Line by line up to the target, so that a units line among them cannot carry the steps past
    // it.
    while (m_next < target) {
        const LineStep done = stepLine();
        if (done == LineStep::None) {
            m_leading = false;
            return false;
        }
    }
    m_leading = false;
    return step();
}

void ReplaySession::tick()
{
    bool shown = false;
    const qint64 indexed = m_index.recordCount();
    if (m_speed == Speed::Max && m_next + 1 < indexed)
        shown = seek(std::min(m_next + kMaxBatch - 1, indexed - 1));
    else
        shown = step();
    // At the end of the file playback stops by itself; a file that failed has stopped already.
    if (!shown && isOpen()) {
        stop();
        emit endReached();
    }
}

void ReplaySession::play()
{
    m_playTimer.start();
}

void ReplaySession::stop()
{
    m_playTimer.stop();
}
