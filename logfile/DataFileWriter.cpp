#include "logfile/DataFileWriter.h"

#include <QFile>

namespace {

// Writes all of data; returns the bytes the file took, and the reason when it took fewer.
qint64 writeAll(QFile& file, const QByteArray& data, QString* failure)
{
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 n = file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            *failure = file.errorString();
            break;
        }
        written += n;
    }
    return written;
}

// A data file of this program: a comment line of ours first (a file that is not ours is never
// appended to).
bool looksLikeDataFile(QFile& file)
{
    return file.readLine(256).startsWith("# Marvane ");
}

} // namespace

DataFileWriter::DataFileWriter(QObject* parent) : QObject(parent) {}

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
    r.units = unitsInfo(s.units).speedUnits;
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
    QFile file(path);
    QByteArray first = head;
    if (mode == Mode::Append && file.exists() && file.size() > 0) {
        if (!file.open(QIODevice::ReadOnly))
            return fail(file.errorString());
        if (!looksLikeDataFile(file))
            return fail(QStringLiteral("Not a data file of this program: it does not start with "
                                       "\"# Marvane\""));
        QByteArray last;
        if (file.seek(file.size() - 1))
            last = file.read(1);
        file.close();
        // Settings may have changed since: they are stated again where the rows go on.
        first = (last == "\n" ? QByteArray() : QByteArrayLiteral("\r\n")) + comments;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return fail(file.errorString());
    } else if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        return fail(file.errorString());
    }
    QString failure;
    writeAll(file, first, &failure);
    file.close();
    if (failure.isEmpty() && file.error() != QFileDevice::NoError)
        failure = file.errorString();
    if (!failure.isEmpty())
        return fail(failure);

    m_path = path;
    m_head = head;
    m_backlog.clear();
    m_keepFirst = false;
    m_failing = false;
    return true;
}

void DataFileWriter::close()
{
    m_path.clear();
    m_head.clear();
    m_backlog.clear();
    m_keepFirst = false;
    m_failing = false;
}

void DataFileWriter::takeBatch(const SampleBatch& batch)
{
    if (m_path.isEmpty())
        return;
    bool any = false;
    for (const Sample& sample : batch) {
        if (const std::optional<DataFileRow> row = rowOf(sample)) {
            m_backlog.append(dataFileRowLine(*row));
            any = true;
        }
    }
    if (!any)
        return;
    while (m_backlog.size() > kMaxBacklogRows)
        m_backlog.removeAt(m_keepFirst ? 1 : 0);

    QString reason;
    if (writeBacklog(&reason)) {
        if (m_failing) {
            m_failing = false;
            emit writeRecovered(m_path);
        }
    } else if (!m_failing) {
        m_failing = true;
        emit writeFailed(m_path, reason, backlogRows());
    }
}

void DataFileWriter::takeEvent(const SessionEvent& event)
{
    // One last attempt for rows still waiting when the session ends.
    if (event.kind == SessionEvent::Kind::Finishing && !m_backlog.isEmpty()) {
        QString reason;
        if (writeBacklog(&reason) && m_failing) {
            m_failing = false;
            emit writeRecovered(m_path);
        }
    }
}

bool DataFileWriter::writeBacklog(QString* reason)
{
    // Opened for each batch, never created here: a data file deleted or moved stays missing
    // (and its rows waiting) rather than coming back without its head, unnoticed.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly |
                   QIODevice::Unbuffered)) {
        *reason = file.errorString();
        return false;
    }
    const qint64 sizeBefore = file.size();
    QByteArray data = m_backlog.join();
    qint64 lead = 0;
    if (sizeBefore == 0) {
        lead = m_head.size();
        data.prepend(m_head);
    }
    QString failure;
    const qint64 written = writeAll(file, data, &failure);
    if (!failure.isEmpty()) {
        // Cut the file back so that it ends with a whole row; where it cannot be cut, the rows
        // it already took are not sent again.
        if (written > 0 && !file.resize(sizeBefore)) {
            qint64 count = qMax<qint64>(0, written - lead);
            while (count > 0 && !m_backlog.isEmpty()) {
                QByteArray& row = m_backlog.first();
                if (row.size() <= count) {
                    count -= row.size();
                    m_backlog.removeFirst();
                    m_keepFirst = false;
                } else {
                    // The rest of a row the file holds the start of: never dropped.
                    row.remove(0, count);
                    m_keepFirst = true;
                    count = 0;
                }
            }
        }
        file.close();
        *reason = failure;
        return false;
    }
    m_backlog.clear();
    m_keepFirst = false;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        return false;
    }
    return true;
}
