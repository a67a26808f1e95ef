#include "recording/DataFileWriter.h"

#include <QFile>
#include <QFileInfo>

#include <limits>
#include <utility>

namespace {

// A data file of this program: a comment line of ours first (a file that is not ours is never
// appended to).
bool looksLikeDataFile(QFile& file)
{
    return file.readLine(256).startsWith("# Marvane ");
}

// Whether a data file of this program, read past its first line, has the note column: its header
// row says, after the comment lines. A head without a header row is taken as this version's.
bool hasNoteColumn(QFile& file)
{
    for (int lines = 0; lines < 1000 && !file.atEnd(); ++lines) {
        QByteArray line = file.readLine(4096);
        if (line.startsWith('#'))
            continue;
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        bool withNote = true;
        isDataFileHeaderRow(line, &withNote);
        return withNote;
    }
    return true;
}

} // namespace

DataFileWriter::DataFileWriter(QObject* parent) : QObject(parent), m_file(kMaxBacklogRows)
{
    connect(&m_file, &AppendFile::writeFailed, this,
            [this](const QString& path, const QString& reason, qint64 waiting) {
                emit writeFailed(path, reason,
                                 int(qMin<qint64>(waiting, std::numeric_limits<int>::max())));
            });
    connect(&m_file, &AppendFile::spillStarted, this, &DataFileWriter::spillStarted);
    connect(&m_file, &AppendFile::droppingStarted, this, &DataFileWriter::droppingStarted);
    connect(&m_file, &AppendFile::writeRecovered, this, &DataFileWriter::writeRecovered);
    connect(&m_file, &AppendFile::waitingChanged, this, &DataFileWriter::backlogChanged);
    connect(&m_file, &AppendFile::madeAgain, this, &DataFileWriter::madeAgain);
}

std::optional<DataFileRow> DataFileWriter::rowOf(const Sample& s)
{
    if (s.source == SampleSource::Replay || !s.computed)
        return std::nullopt;
    DataFileRow r;
    r.timeMs = s.timeMs;
    if (s.hasRecord) {
        r.rawX = s.rawX;
        r.rawY = s.rawY;
        r.xMs = s.xMs;
        r.yMs = s.yMs;
    }
    r.units = s.units;
    r.speedMs = s.speedMs;
    r.bearing = s.bearing;
    r.bearingTo = s.bearingTo;
    r.faceUp = s.faceUp;
    return r;
}

std::optional<DataFileRow> DataFileWriter::rowOf(const SessionEvent& event, bool* awayBefore)
{
    DataFileRow r;
    r.event = true;
    r.timeMs = event.timeMs;
    switch (event.kind) {
    case SessionEvent::Kind::Mark:
        r.note = event.reason.isEmpty() ? QStringLiteral("mark")
                                        : QStringLiteral("mark: ") + event.reason;
        return r;
    case SessionEvent::Kind::DeviceLost:
    case SessionEvent::Kind::Reconnecting:
        // Waited for, then given up: one loss.
        if (std::exchange(*awayBefore, true))
            return std::nullopt;
        r.note = QStringLiteral("device lost");
        return r;
    case SessionEvent::Kind::Reconnected:
        *awayBefore = false;
        r.note = QStringLiteral("device back");
        return r;
    case SessionEvent::Kind::AlarmRaised:
        r.note = QStringLiteral("alarm raised: ") + event.reason;
        return r;
    case SessionEvent::Kind::AlarmCleared:
        r.note = QStringLiteral("alarm cleared: ") + event.reason;
        return r;
    case SessionEvent::Kind::Connected:
    case SessionEvent::Kind::Disconnected:
        // The operator's own doing: a new measurement, not a loss.
        *awayBefore = false;
        return std::nullopt;
    case SessionEvent::Kind::NoData:
    case SessionEvent::Kind::DataAgain:
    case SessionEvent::Kind::Finishing:
    case SessionEvent::Kind::ClockState:
    case SessionEvent::Kind::ClockStepped:
        return std::nullopt;
    }
    return std::nullopt;
}

bool DataFileWriter::open(const QString& path, const DataFileHeader& header, QString* error,
                          Mode mode)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("No file name specified"));

    const QByteArray comments = dataFileCommentLines(dataFileComments(header));
    // Rows still waiting go into this file: a new one takes their columns.
    const bool waiting = m_file.waitingLines() > 0;
    bool withNote = waiting ? m_waitingWithNote : true;
    if (mode == Mode::Append && QFileInfo(path).size() > 0) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(file.errorString());
        if (!looksLikeDataFile(file))
            return fail(QStringLiteral("Not a data file of this program: it does not start with "
                                       "\"# Marvane\""));
        withNote = hasNoteColumn(file);
        if (waiting && withNote != m_waitingWithNote)
            return fail(QStringLiteral("Its columns are not those of the rows waiting to be "
                                       "written (%1 note column)")
                            .arg(withNote ? QStringLiteral("it has a") : QStringLiteral("no")));
        const QByteArray head = comments + dataFileHeaderRow(withNote);
        QByteArray last;
        if (file.seek(file.size() - 1))
            last = file.read(1);
        file.close();
        const int handle = m_file.openLocked(path, FileDevice::Open::Existing, error);
        if (handle < 0)
            return false;
        // No comment line goes between rows: a reader that takes "#" lines only at the head (a
        // plotting program, a spreadsheet) would read it as a row. The convention and the face
        // of each row are in the row; only a line left unended is ended.
        const QByteArray first = last == "\n" ? QByteArray() : QByteArrayLiteral("\r\n");
        if (!m_file.writeFirst(handle, first, false, error))
            return false;
        m_file.adopt(handle, path, head, QByteArray(), QByteArray());
    } else if (!m_file.create(path, comments + dataFileHeaderRow(withNote), error)) {
        return false;
    }
    m_withNote = withNote;
    // Rows still waiting for the previous file go into this one first.
    if (m_file.waitingLines() > 0) {
        QString ignored;
        m_file.flush(&ignored);
    }
    return true;
}

void DataFileWriter::close()
{
    if (!m_file.hasFile())
        return;
    m_file.finish();
    m_file.close();
}

void DataFileWriter::takeBatch(const SampleBatch& batch)
{
    if (!m_file.hasFile())
        return;
    bool any = false;
    for (const Sample& sample : batch) {
        if (const std::optional<DataFileRow> row = rowOf(sample)) {
            queueRow(*row);
            any = true;
        }
    }
    if (!any && m_file.waitingLines() == 0)
        return;
    QString reason;
    m_file.flush(&reason);
}

void DataFileWriter::queueRow(const DataFileRow& row)
{
    const QByteArray line = dataFileRowLine(row, m_withNote);
    if (line.isEmpty())
        return; // an event, in an earlier version's columns
    m_file.queue(line);
    m_waitingWithNote = m_withNote;
}

void DataFileWriter::takeEvent(const SessionEvent& event)
{
    if (const std::optional<DataFileRow> row = rowOf(event, &m_deviceAway);
        row && m_file.hasFile()) {
        queueRow(*row);
        QString reason;
        m_file.flush(&reason);
    }
    // One last attempt for rows still waiting when the session ends.
    if (event.kind == SessionEvent::Kind::Finishing && m_file.hasFile())
        m_file.finish();
}
