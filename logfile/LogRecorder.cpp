#include "recording/LogRecorder.h"

#include <QFile>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// The last units line of a log file (with its line end), read backwards from its end in pieces:
// empty when the file has none.
QByteArray lastUnitsLine(QFile& file)
{
    constexpr qint64 kPiece = 1 << 16;
    qint64 end = file.size();
    QByteArray tail; // the start of a line cut by the piece before
    while (end > 0) {
        const qint64 start = qMax<qint64>(0, end - kPiece);
        if (!file.seek(start))
            return {};
        QByteArray piece = file.read(end - start);
        if (piece.size() != end - start)
            return {};
        piece += tail;
        qsizetype lineEnd = piece.size();
        for (qsizetype i = piece.size() - 1; i >= 0; --i) {
            if (piece[i] != '\n' && i > 0)
                continue;
            // A line lies between i (exclusive, or inclusive at 0 of the file) and lineEnd.
            const qsizetype from = piece[i] == '\n' ? i + 1 : i;
            if (i == 0 && start > 0 && piece[0] != '\n') {
                tail = piece.first(lineEnd);
                break;
            }
            QByteArrayView line = QByteArrayView(piece).sliced(from, lineEnd - from);
            if (line.endsWith('\n'))
                line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (isLogUnitsLine(line))
                return line.toByteArray() + "\r\n";
            lineEnd = from;
            if (i == 0)
                tail.clear();
        }
        if (start == 0)
            break;
        end = start;
    }
    return {};
}

bool isUnitsLine(QByteArrayView line)
{
    return line.endsWith("\r\n") && isLogUnitsLine(QByteArrayView(line).chopped(2));
}

} // namespace

LogRecorder::LogRecorder(int maxBacklogLines) : m_file(maxBacklogLines)
{
    m_file.setMarkerTest([](QByteArrayView line) { return isUnitsLine(line); });
}

bool LogRecorder::createFile(const QString& path, QString* error)
{
    if (!m_file.create(path, logHeaderLine(), error))
        return false;
    // Samples that could not be written to the previous file are not lost with it: they go into
    // the new file first, under the units line they were recorded under, in order.
    if (m_file.waitingLines() > 0) {
        m_headerPending = false;
        QString ignored;
        m_file.flush(&ignored); // a failure keeps them for the next batch, as always
    } else {
        m_headerPending = true;
        m_lastUnitsLine.clear();
    }
    return true;
}

bool LogRecorder::continueFile(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No file name specified"));
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
    const int handle = m_file.openLocked(path, FileDevice::Open::Existing, error);
    if (handle < 0)
        return false;
    // Read under the lock: nobody else writes the file from here on.
    const qint64 size = file.size();
    const QByteArray units = lastUnitsLine(file);
    QByteArray last;
    if (size > header.size() && file.seek(size - 1))
        last = file.read(1);
    file.close();

    // A line cut short (the recorder stopped during a write) is ended first, so the next record
    // starts a line of its own.
    const QByteArray lead =
        size > header.size() && last != "\n" ? QByteArrayLiteral("\r\n") : QByteArray();
    m_file.adopt(handle, path, header, lead, units);
    // Anything after the header stands for the units line, as the recorder writes it with the
    // first record; a file of older versions may hold only a units line there.
    if (m_file.waitingLines() > 0) {
        m_headerPending = false;
    } else {
        m_headerPending = size <= header.size();
        m_lastUnitsLine = units;
    }
    return true;
}

void LogRecorder::queue(const QString& speedText, const QString& bearingText,
                        const QString& dateTime, const QString& speedUnits)
{
    if (!m_logging)
        return;
    // A units line once queued goes out before the records that follow it, however long the
    // file stays unwritable.
    const QByteArray units = logUnitsLine(speedUnits, m_timeBase);
    if (m_headerPending || units != m_lastUnitsLine) {
        m_file.queue(units);
        m_lastUnitsLine = units;
        m_headerPending = false;
    }
    m_file.queue(logRecordLine(speedText, bearingText, dateTime));
}

bool LogRecorder::append(const QString& speedText, const QString& bearingText,
                         const QString& dateTime, const QString& speedUnits, QString* error)
{
    queue(speedText, bearingText, dateTime, speedUnits);
    return flush(error);
}

bool LogRecorder::flush(QString* error)
{
    return m_file.flush(error);
}
