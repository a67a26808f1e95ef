#include "recording/DataFileWriter.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {

// A data file of this program: a comment line of ours first (a file that is not ours is never
// appended to).
bool looksLikeDataFile(QFile& file)
{
    return file.readLine(256).startsWith("# Marvane ");
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
    const QByteArray head = comments + dataFileHeaderRow();
    if (mode == Mode::Append && QFileInfo(path).size() > 0) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(file.errorString());
        if (!looksLikeDataFile(file))
            return fail(QStringLiteral("Not a data file of this program: it does not start with "
                                       "\"# Marvane\""));
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
    } else if (!m_file.create(path, head, error)) {
        return false;
    }
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
            m_file.queue(dataFileRowLine(*row));
            any = true;
        }
    }
    if (!any && m_file.waitingLines() == 0)
        return;
    QString reason;
    m_file.flush(&reason);
}

void DataFileWriter::takeEvent(const SessionEvent& event)
{
    // One last attempt for rows still waiting when the session ends.
    if (event.kind == SessionEvent::Kind::Finishing && m_file.hasFile())
        m_file.finish();
}
