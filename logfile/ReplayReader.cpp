#include "replay/ReplayReader.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// Bytes asked of the file at a time. The file is opened unbuffered and read into the reader's
// own buffer: every read goes to the file itself, so bytes appended by a recording that is still
// running are seen as soon as they are there, not hidden behind a cached size.
constexpr qint64 kChunk = 64 * 1024;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

bool ReplayReader::open(const QString& path, QString* error)
{
    // The new file is opened beside the current one, which is only given up once the new one is
    // open: a failed open leaves the replay where it was.
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No file name specified"));
        return false;
    }
    // Only a regular file (directly or through links) is a log. The type is looked at before
    // opening: opening a FIFO waits for a writer that may never come, and a device such as
    // /dev/zero never ends; either would hold the window.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        setError(error, QStringLiteral("Not a regular file"));
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        // Qt refuses folders with a wording of its own; the operator sees the system's.
        setError(error,
                 QFileInfo(path).isDir() ? QStringLiteral("Is a directory") : file->errorString());
        return false;
    }
    m_file = std::move(file);
    m_scanner.reset(0);
    m_readError.clear();
    return true;
}

bool ReplayReader::seek(qint64 offset, QString* error)
{
    if (!isOpen() || !m_file->seek(offset)) {
        setError(error, isOpen() ? m_file->errorString() : QStringLiteral("File not open"));
        return false;
    }
    m_scanner.reset(offset);
    m_readError.clear();
    return true;
}

void ReplayReader::close()
{
    if (m_file)
        m_file->close();
    m_scanner.reset(0);
    m_readError.clear();
}

qint64 ReplayReader::fill()
{
    char* room = m_scanner.space(kChunk);
    const qint64 n = m_file->read(room, kChunk);
    m_scanner.commit(qsizetype(std::max<qint64>(n, 0)));
    if (n < 0)
        m_readError = m_file->errorString();
    return n;
}

bool ReplayReader::skipRestOfLongLine()
{
    // The rest of an overlong line is passed over chunk by chunk, never held whole, and only
    // kSkipSlice bytes of it per call, so a line of gigabytes never holds the window: the next
    // call goes on where this one stopped.
    m_skipPaused = false;
    qint64 skipped = 0;
    while (m_scanner.skipping()) {
        if (skipped >= kSkipSlice) {
            m_skipPaused = true;
            break;
        }
        skipped += m_scanner.pending();
        LogLineScanner::Line end;
        if (m_scanner.next(&end))
            break; // the line end has come
        const qint64 n = fill();
        if (n < 0)
            return false;
        if (n == 0)
            break; // the line may still be growing: its rest is skipped when it comes
    }
    return true;
}

bool ReplayReader::atEnd()
{
    if (!isOpen())
        return true;
    if (!m_readError.isEmpty())
        return false;
    if (!skipRestOfLongLine())
        return false;
    if (m_skipPaused)
        return false; // more of the long line to pass over: not the end
    if (!m_holdUnendedLastLine) {
        if (m_scanner.pending() > 0)
            return false;
        return fill() == 0;
    }
    // Only a line with its line end (or one long enough to be cut) counts: the unended rest at
    // the end of the file is a line still being written, or one a crash cut short.
    for (;;) {
        if (m_scanner.hasLineEnd() || m_scanner.pending() >= kMaxLineLength + 2)
            return false;
        const qint64 n = fill();
        if (n < 0)
            return false; // the error is reported by the next readLine
        if (n == 0)
            return true;
    }
}

bool ReplayReader::readLine(QByteArray* line, QString* error)
{
    line->clear();
    m_noLine = false;
    if (!isOpen()) {
        setError(error, QStringLiteral("File not open"));
        return false;
    }
    if (m_readError.isEmpty())
        skipRestOfLongLine();
    if (!m_readError.isEmpty()) {
        setError(error, m_readError);
        m_readError.clear();
        return false;
    }
    // Still in the rest of an overlong line: the file ends inside it for now. Bytes that come
    // later belong to that line, so they must not be read as a new one.
    if (m_scanner.skipping()) {
        m_noLine = true;
        return true;
    }

    for (;;) {
        // A whole line, or the first part of one too long to be a record (it shows as a bad
        // line; the rest is passed over by the next calls).
        LogLineScanner::Line next;
        if (m_scanner.next(&next)) {
            *line = next.text.toByteArray();
            return true;
        }
        const qint64 n = fill();
        if (n < 0) {
            setError(error, m_readError);
            m_readError.clear();
            return false;
        }
        if (n == 0 && m_holdUnendedLastLine)
            return true; // the unended rest stays for a later call, once its line end has come
        if (n == 0) {
            // End of the file: what is left is its last line, without line end. Past the end
            // this gives empty lines.
            if (m_scanner.takeLast(&next))
                *line = next.text.toByteArray();
            return true;
        }
    }
}
