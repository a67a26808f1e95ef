#include "logfile/LogRecorder.h"

#include <QFile>

#include <cerrno>
#include <utility>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString noFileName()
{
    return QStringLiteral("No file name specified");
}

// Writes all of data to fd, returning the number of bytes the file took. A short write (the file
// reached a size limit or the disk filled up during it) is followed by another attempt for the
// rest, which then reports the reason.
qint64 writeAll(int fd, const QByteArray& data, QString* failure)
{
    qint64 written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *failure = systemReason(n < 0 ? errno : ENOSPC);
            break;
        }
        written += n;
    }
    return written;
}

QString heldBy(const QString& path)
{
    const qint64 pid = LogRecorder::lockHolder(path);
    return pid > 0 ? QStringLiteral("The file is being recorded by another program (process %1)")
                         .arg(pid)
                   : QStringLiteral("The file is being recorded by another program");
}

// Opens path for writing and takes the recording lock on it. flags: O_CREAT and the like.
int openLocked(const QString& path, int flags, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | flags, 0666);
    if (fd < 0) {
        setError(error, systemReason(errno));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        ::close(fd);
        setError(error, why == EWOULDBLOCK ? heldBy(path) : systemReason(why));
        return -1;
    }
    return fd;
}

bool sameFile(int fd, const QString& path)
{
    struct stat opened;
    struct stat named;
    return fd >= 0 && ::fstat(fd, &opened) == 0 &&
           ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
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

bool isUnitsLine(const QByteArray& line)
{
    return line.endsWith("\r\n") && isLogUnitsLine(QByteArrayView(line).chopped(2));
}

} // namespace

LogRecorder::~LogRecorder()
{
    closeFile();
}

void LogRecorder::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 LogRecorder::lockHolder(const QString& path)
{
    struct stat named;
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return 0;
    // Lines read "1: FLOCK  ADVISORY  WRITE 4242 fd:01:1234567 0 EOF": the holder's process and
    // the file's device (major:minor, hexadecimal) and inode.
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray inode = ':' + QByteArray::number(quint64(named.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) != "FLOCK" || !fields.at(5).endsWith(inode))
            continue;
        const QList<QByteArray> device = fields.at(5).split(':');
        if (device.size() == 3 && makedev(device.at(0).toUInt(nullptr, 16),
                                          device.at(1).toUInt(nullptr, 16)) == named.st_dev)
            return fields.at(4).toLongLong();
    }
    return 0;
}

bool LogRecorder::createFile(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, noFileName());
        return false;
    }
    // The file being recorded can be made anew: its own lock must not stand in the way.
    if (sameFile(m_fd, path))
        closeFile();
    const int fd = openLocked(path, O_CREAT, error);
    if (fd < 0)
        return false;
    // Emptied only once it is ours: a file another recording holds is refused untouched.
    QString failure;
    if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, O_APPEND) != 0)
        failure = systemReason(errno);
    else
        writeAll(fd, logHeaderLine(), &failure);
    if (!failure.isEmpty()) {
        ::close(fd);
        setError(error, failure);
        return false;
    }

    closeFile();
    m_fd = fd;
    m_path = path;
    m_headerPending = true;
    m_recordsWritten = 0;
    // Samples that could not be written to the previous file are not lost with it: they go into
    // the new file first, under a units line of their own, in order. What the previous file
    // already holds the start of (the rest of a line) stays behind.
    if (m_keepFirstLine && !m_backlog.isEmpty())
        m_backlog.removeFirst();
    m_keepFirstLine = false;
    // The waiting records come after everything the previous file took, its last units line
    // included: that line is what they were recorded under.
    const QByteArray carried = std::exchange(m_writtenUnitsLine, QByteArray());
    if (!m_backlog.isEmpty()) {
        if (!isUnitsLine(m_backlog.first()))
            m_backlog.prepend(carried);
        m_headerPending = false;
        QString ignored;
        flush(&ignored); // a failure keeps them for the next batch, as always
    } else {
        m_lastUnitsLine.clear();
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
    if (sameFile(m_fd, path))
        closeFile();
    const int fd = openLocked(path, O_APPEND, error);
    if (fd < 0)
        return false;
    // Read under the lock: nobody else writes the file from here on.
    const qint64 size = file.size();
    const QByteArray units = lastUnitsLine(file);
    QByteArray last;
    if (size > header.size() && file.seek(size - 1))
        last = file.read(1);
    file.close();

    closeFile();
    m_fd = fd;
    m_path = path;
    m_recordsWritten = 0;
    m_writtenUnitsLine = units;
    m_lastUnitsLine = units;
    // Anything after the header stands for the units line, as the recorder writes it with the
    // first record; a file of older versions may hold only a units line there.
    m_headerPending = size <= header.size();
    m_backlog.clear();
    m_keepFirstLine = false;
    if (size > header.size() && last != "\n") {
        m_backlog.append(QByteArrayLiteral("\r\n"));
        m_keepFirstLine = true;
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
        m_backlog.append(units);
        m_lastUnitsLine = units;
        m_headerPending = false;
    }
    m_backlog.append(logRecordLine(speedText, bearingText, dateTime));
    // Over the bound, the oldest records go; units lines stay, as the records after them need
    // them, and so does the rest of a line the file holds the start of.
    for (qsizetype i = m_keepFirstLine ? 1 : 0;
         m_backlog.size() > kMaxBacklogLines && i < m_backlog.size();) {
        if (isUnitsLine(m_backlog.at(i)))
            ++i;
        else
            m_backlog.removeAt(i);
    }
}

bool LogRecorder::append(const QString& speedText, const QString& bearingText,
                         const QString& dateTime, const QString& speedUnits, QString* error)
{
    queue(speedText, bearingText, dateTime, speedUnits);
    return flush(error);
}

bool LogRecorder::openForAppend(QString* error)
{
    if (m_path.isEmpty()) {
        setError(error, noFileName());
        return false;
    }
    // The file open is the file at the path: one deleted or moved while open is let go. It is
    // never created again here: a log file that has gone stays missing until the operator
    // creates a new one, rather than coming back as a file without header and units lines.
    if (m_fd >= 0 && !sameFile(m_fd, m_path))
        closeFile();
    if (m_fd < 0)
        m_fd = openLocked(m_path, O_APPEND, error);
    return m_fd >= 0;
}

bool LogRecorder::flush(QString* error)
{
    if (m_backlog.isEmpty())
        return true;
    if (!openForAppend(error))
        return false;

    struct stat opened;
    if (::fstat(m_fd, &opened) != 0) {
        setError(error, systemReason(errno));
        return false;
    }
    const qint64 sizeBefore = opened.st_size;
    QByteArray data = m_backlog.join();
    qint64 lead = 0;
    if (sizeBefore == 0) {
        // The file was emptied behind our back (recreated by hand): without its header and units
        // line, replay would take the first samples for them.
        QByteArray head = logHeaderLine();
        if (!isUnitsLine(m_backlog.first()) && !m_keepFirstLine)
            head += m_writtenUnitsLine;
        lead = head.size();
        data.prepend(head);
    }
    QString failure;
    const qint64 written = writeAll(m_fd, data, &failure);
    if (!failure.isEmpty()) {
        // Part of the lines may have reached the file before the fault. Cut the file back so it
        // ends with a whole line and the lines go out again in full; where it cannot be cut
        // (an append-only file, for one), continue the next attempt where this one stopped, so
        // that nothing is written twice.
        if (written > 0 && ::ftruncate(m_fd, sizeBefore) != 0)
            dropWrittenBytes(qMax<qint64>(0, written - lead));
        setError(error, failure);
        return false;
    }

    // Every byte was accepted by write(), so the lines are in the file: an error reported only
    // by the sync does not send them again, but the operator still hears of it.
    for (const QByteArray& line : std::as_const(m_backlog))
        countWritten(line);
    m_backlog.clear();
    m_keepFirstLine = false;
    if (::fdatasync(m_fd) != 0 && errno != EINVAL) {
        setError(error, systemReason(errno));
        return false;
    }
    return true;
}

void LogRecorder::countWritten(const QByteArray& line)
{
    if (isUnitsLine(line))
        m_writtenUnitsLine = line;
    else if (line != "\r\n")
        ++m_recordsWritten;
}

void LogRecorder::dropWrittenBytes(qint64 count)
{
    while (count > 0 && !m_backlog.isEmpty()) {
        QByteArray& first = m_backlog.first();
        if (first.size() <= count) {
            count -= first.size();
            countWritten(first);
            m_backlog.removeFirst();
            m_keepFirstLine = false;
        } else {
            // The rest of a line the file holds the beginning of: it must not be dropped. It is
            // counted once it is written in full.
            first.remove(0, count);
            m_keepFirstLine = true;
            count = 0;
        }
    }
}
