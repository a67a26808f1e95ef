#include "logfile/LogRecorder.h"

#include "logfile/LogFormat.h"

#include <QFile>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Writes all of data, returning the number of bytes the file took. A short write (the file
// reached a size limit or the disk filled up during it) is followed by another attempt for the
// rest, which then reports the reason.
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

QString noFileName()
{
    return QStringLiteral("No file name specified");
}

} // namespace

bool LogRecorder::createFile(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, noFileName());
        return false;
    }
    // Unbuffered, so that every failure shows at the write that meets it, not at a later flush.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        setError(error, file.errorString());
        return false;
    }
    QString failure;
    writeAll(file, logHeaderLine(), &failure);
    file.close();
    if (failure.isEmpty() && file.error() != QFileDevice::NoError)
        failure = file.errorString();
    if (!failure.isEmpty()) {
        setError(error, failure);
        return false;
    }

    m_path = path;
    m_headerPending = true;
    // Samples that could not be written to the previous file are not lost with it: they go into
    // the new file first, under a units line of their own, in order. What the previous file
    // already holds the start of (the rest of a line, its units line) stays behind.
    if (m_keepFirstLine && !m_backlog.isEmpty())
        m_backlog.removeFirst();
    m_keepFirstLine = false;
    if (!m_backlog.isEmpty()) {
        m_backlog.prepend(logUnitsLine(m_fileUnits));
        m_keepFirstLine = true;
        m_headerPending = false;
        QString ignored;
        writeBacklog(&ignored); // a failure keeps them for the next append, as always
    }
    return true;
}

bool LogRecorder::continueFile(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, noFileName());
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return false;
    }
    const QByteArray header = logHeaderLine();
    const QByteArray start = file.read(header.size());
    if (start != header) {
        setError(error, QStringLiteral("Not a log file of this program: its first line is not %1")
                            .arg(QString::fromLatin1(header.trimmed())));
        return false;
    }
    // Anything after the header is the units line (the recorder writes it with the first
    // record); only the very end of the file matters beyond that.
    const qint64 size = file.size();
    const bool hasUnitsLine = size > header.size();
    QByteArray last;
    if (hasUnitsLine && file.seek(size - 1))
        last = file.read(1);
    file.close();

    m_path = path;
    m_headerPending = !hasUnitsLine;
    m_backlog.clear();
    m_keepFirstLine = false;
    if (hasUnitsLine && last != "\n") {
        m_backlog.append(QByteArrayLiteral("\r\n"));
        m_keepFirstLine = true;
    }
    return true;
}

bool LogRecorder::append(const QString& speedText, const QString& bearingText,
                         const QString& dateTime, const QString& speedUnits, QString* error)
{
    if (!m_logging)
        return true;

    // The units line belongs to the first sample that reaches the backlog: once queued, it goes
    // out before any record of this file, however long the file stays unwritable.
    if (m_headerPending) {
        m_fileUnits = speedUnits;
        m_backlog.append(logUnitsLine(speedUnits));
        m_keepFirstLine = true;
        m_headerPending = false;
    }
    m_backlog.append(logRecordLine(speedText, bearingText, dateTime));
    while (m_backlog.size() > kMaxBacklogLines)
        m_backlog.removeAt(m_keepFirstLine ? 1 : 0);

    return writeBacklog(error);
}

bool LogRecorder::writeBacklog(QString* error)
{
    if (m_path.isEmpty()) {
        setError(error, noFileName());
        return false;
    }
    // ExistingOnly: an append never creates the file. A log file that has been deleted or moved
    // stays missing until the operator creates a new one, rather than coming back as a file
    // without header and units lines.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly |
                   QIODevice::Unbuffered)) {
        setError(error, file.errorString());
        return false;
    }

    const qint64 sizeBefore = file.size();
    QByteArray data = m_backlog.join();
    qint64 lead = 0;
    if (sizeBefore == 0) {
        // The file was emptied behind our back (recreated by hand): without its header and units
        // line, replay would take the first samples for them.
        QByteArray head = logHeaderLine();
        if (!m_keepFirstLine)
            head += logUnitsLine(m_fileUnits);
        lead = head.size();
        data.prepend(head);
    }
    QString failure;
    qint64 written = writeAll(file, data, &failure);
    if (!failure.isEmpty()) {
        // Part of the lines may have reached the file before the fault. Cut the file back so it
        // ends with a whole line and the lines go out again in full; where it cannot be cut
        // (an append-only file, for one), continue the next attempt where this one stopped, so
        // that nothing is written twice.
        if (written > 0 && !file.resize(sizeBefore))
            dropWrittenBytes(qMax<qint64>(0, written - lead));
        file.close();
        setError(error, failure);
        return false;
    }

    // Every byte was accepted by write(), so the lines are in the file: an error reported only
    // by the close does not send them again, but the operator still hears of it.
    m_backlog.clear();
    m_keepFirstLine = false;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

void LogRecorder::dropWrittenBytes(qint64 count)
{
    while (count > 0 && !m_backlog.isEmpty()) {
        QByteArray& first = m_backlog.first();
        if (first.size() <= count) {
            count -= first.size();
            m_backlog.removeFirst();
            m_keepFirstLine = false;
        } else {
            // The rest of a line the file holds the beginning of: it must not be dropped.
            first.remove(0, count);
            m_keepFirstLine = true;
            count = 0;
        }
    }
}
