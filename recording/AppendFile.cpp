#include "recording/AppendFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <limits>
#include <utility>

namespace {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

AppendFile::AppendFile(int maxLinesInMemory, QObject* parent)
    : QObject(parent), m_device(&FileDevice::system()), m_maxLines(qMax(1, maxLinesInMemory)),
      m_clock(steadyMs)
{
}

AppendFile::~AppendFile()
{
    closeFile();
    // A spill file that still holds lines stays for the operator.
    closeSpill();
}

void AppendFile::setDevice(FileDevice* device)
{
    m_device = device ? device : &FileDevice::system();
}

void AppendFile::setMarkerTest(std::function<bool(QByteArrayView)> isMarker)
{
    m_isMarker = std::move(isMarker);
}

void AppendFile::setSpillFolders(const QStringList& folders)
{
    m_spillFolders = folders;
}

void AppendFile::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(steadyMs);
    m_checkedAt = m_clock();
}

int AppendFile::openLocked(const QString& path, FileDevice::Open how, QString* error)
{
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No file name specified"));
        return -1;
    }
    // The file being recorded can be made anew: its own lock must not stand in the way.
    if (m_handle >= 0 && m_device->isFileAt(m_handle, path))
        closeFile();
    return m_device->open(path, how, true, error);
}

bool AppendFile::writeFirst(int handle, const QByteArray& bytes, bool empty, QString* error)
{
    QString failure;
    const bool ok =
        (!empty || m_device->truncate(handle, 0, &failure)) &&
        m_device->write(handle, bytes.constData(), bytes.size(), &failure) == bytes.size() &&
        m_device->sync(handle, &failure);
    if (ok)
        return true;
    m_device->close(handle);
    setError(error, failure);
    return false;
}

void AppendFile::release(int handle)
{
    m_device->close(handle);
}

void AppendFile::adopt(int handle, const QString& path, const QByteArray& head,
                       const QByteArray& lead, const QByteArray& lastMarker)
{
    if (m_handle != handle) {
        // What a previous file deleted meanwhile took goes into this one.
        if (m_handle >= 0)
            checkPath();
        closeFile();
    }
    m_handle = handle;
    m_path = path;
    m_head = head;
    m_linesWritten = 0;
    // A line the previous file holds the start of goes into this one whole; the rest of a
    // spilled line whose start went there cannot, and is counted as dropped.
    m_firstDone = 0;
    QString ignored;
    if (m_spillMidLine && m_spillRead < m_spillSize) {
        QByteArray rest(int(qMin<qint64>(m_spillSize - m_spillRead, kPieceBytes)),
                        Qt::Uninitialized);
        const qint64 got =
            m_device->read(m_spillHandle, m_spillRead, rest.data(), rest.size(), &ignored);
        const qsizetype end = got > 0 ? rest.first(got).indexOf('\n') : -1;
        if (end >= 0) {
            consume(Part::Spill, rest, end + 1);
            --m_linesWritten; // counted by consume as written: it was not
            ++m_dropped;
        }
    }
    // The waiting lines were recorded under the marker the previous file took last.
    const QByteArray carried = m_lastMarker;
    m_lead = lead;
    if (waitingLines() > 0 && !carried.isEmpty() && carried != lastMarker &&
        !firstWaitingIsMarker())
        m_lead += carried;
    else
        m_lastMarker = lastMarker;
    m_opened = m_device->identify(handle, &ignored);
    m_size = qMax<qint64>(0, m_opened.size);
    pathConfirmed();
}

bool AppendFile::create(const QString& path, const QByteArray& head, QString* error)
{
    const int handle = openLocked(path, FileDevice::Open::Create, error);
    if (handle < 0)
        return false;
    // Emptied only once it is ours: a file another recording holds is refused untouched.
    if (!writeFirst(handle, head, true, error))
        return false;
    adopt(handle, path, head, QByteArray(), QByteArray());
    return true;
}

void AppendFile::queue(const QByteArray& line)
{
    m_memory.append(line);
}

bool AppendFile::flush(QString* error)
{
    QString reason;
    const bool ok = writeWaiting(kBytesPerFlush, &reason);
    afterAttempt(ok, reason);
    if (!ok)
        setError(error, reason);
    return ok;
}

void AppendFile::finish()
{
    // Lines a file deleted since the last look took are not lost at the end either.
    if (m_handle >= 0)
        checkPath();
    QString reason;
    const bool ok = writeWaiting(std::numeric_limits<qint64>::max(), &reason);
    // What is left goes to the spill file, or is lost.
    const int bound = std::exchange(m_maxLines, 0);
    afterAttempt(ok, reason);
    m_maxLines = bound;
    // Markers left behind are no one's data: the records they stood for are counted.
    m_memory.clear();
    m_firstDone = 0;
}

void AppendFile::close()
{
    closeFile();
    m_path.clear();
    m_head.clear();
    m_lead.clear();
    m_linesWritten = 0;
    m_size = 0;
    m_unconfirmed.clear();
}

bool AppendFile::reopen(QString* error)
{
    if (m_path.isEmpty())
        return true;
    m_checkNow = true;
    QString reason;
    bool wrote = false;
    bool ok = openForAppend(&reason) && headIfEmpty(&wrote, &reason) >= 0;
    if (ok && wrote && !m_device->sync(m_handle, &reason))
        ok = false;
    if (ok)
        ok = writeWaiting(kBytesPerFlush, &reason);
    afterAttempt(ok, reason);
    if (!ok)
        setError(error, reason);
    return ok;
}

void AppendFile::closeFile()
{
    if (m_handle >= 0)
        m_device->close(m_handle);
    m_handle = -1;
}

bool AppendFile::openForAppend(QString* error)
{
    if (m_path.isEmpty()) {
        setError(error, QStringLiteral("No file name specified"));
        return false;
    }
    // The file open is the file at the path, looked at once a second: one moved or deleted
    // while open is let go, and made again at the path.
    if (m_handle >= 0 && pathCheckDue())
        checkPath();
    if (m_handle < 0) {
        m_handle = m_device->open(m_path, FileDevice::Open::Create, true, error);
        // Whatever is at the path now does not hold the start of a line written before.
        m_firstDone = 0;
        if (m_handle < 0)
            return false;
        // Its size is looked at once, here: from then on the writer knows it from what it
        // wrote, and the look at the path once a second tells of anyone else's hand.
        m_opened = m_device->identify(m_handle, error);
        if (!m_opened.isFile()) {
            closeFile();
            return false;
        }
        m_size = m_opened.size;
        pathConfirmed();
    }
    return true;
}

qint64 AppendFile::headIfEmpty(bool* wrote, QString* error)
{
    *wrote = false;
    const qint64 end = m_size;
    if (end != 0)
        return end;
    // New, made again, or found emptied behind our back at the last look: without its head the file
    // would not say what it holds, and without the marker its first lines would be read wrong. They
    // stand for whatever this file was to get first; an empty file that refuses them (a full
    // device) gets them again at the next attempt, and a file found there later with contents does
    // not.
    m_firstDone = 0;
    const QByteArray fresh = m_head + (firstWaitingIsMarker() ? QByteArray() : m_lastMarker);
    QString failure;
    const qint64 written = m_device->write(m_handle, fresh.constData(), fresh.size(), &failure);
    if (written < fresh.size()) {
        QString ignored;
        if (written > 0 && !m_device->truncate(m_handle, 0, &ignored))
            m_size = written; // it cannot be cut: the file is no longer empty
        setError(error, failure);
        return -1;
    }
    m_lead.clear();
    m_size = fresh.size();
    *wrote = true;
    emit madeAgain(m_path);
    return fresh.size();
}

bool AppendFile::pathCheckDue() const
{
    const qint64 now = m_clock();
    // Also after a megabyte: what a deleted file took is kept until it is looked at.
    return m_checkNow || now - m_checkedAt >= kPathCheckMs || now < m_checkedAt ||
           m_unconfirmed.size() >= kPieceBytes;
}

bool AppendFile::checkPath()
{
    m_checkedAt = m_clock();
    m_checkNow = false;
    // One look at the name: still the open file, and how long it is now (emptied or cut by
    // another program, the head goes in again before the next line).
    const FileIdentity atPath = m_device->identifyPath(m_path);
    if (atPath.isSameFile(m_opened)) {
        m_size = atPath.size;
        pathConfirmed();
        return true;
    }
    QString ignored;
    if (m_device->isDeleted(m_handle))
        takeBackUnconfirmed();
    else
        m_device->sync(m_handle, &ignored); // moved: what it took stays in it
    closeFile();
    m_unconfirmed.clear();
    return false;
}

void AppendFile::pathConfirmed()
{
    m_checkedAt = m_clock();
    m_checkNow = false;
    m_unconfirmed.clear();
    m_confirmedMarker = m_lastMarker;
}

void AppendFile::takeBackUnconfirmed()
{
    // The whole lines the deleted file took since it was last found at its path wait again,
    // before everything else waiting in memory, under the marker they were written under; a
    // line it held the start of is written whole. (Lines still in a spill file then go out
    // before them: a deleted file taking a long backlog back is the one case out of order.)
    QList<QByteArray> lines;
    qint64 records = 0;
    qsizetype from = 0;
    for (qsizetype end = m_unconfirmed.indexOf('\n'); end >= 0;
         end = m_unconfirmed.indexOf('\n', from)) {
        QByteArray line = m_unconfirmed.mid(from, end + 1 - from);
        from = end + 1;
        if (line == "\r\n" || line == "\n")
            continue; // the line end of a line cut short in another file
        if (!isMarker(line))
            ++records;
        lines.append(std::move(line));
    }
    if (!lines.isEmpty() && !m_confirmedMarker.isEmpty() && !isMarker(lines.first()))
        lines.prepend(m_confirmedMarker);
    m_linesWritten -= records;
    m_firstDone = 0;
    lines.append(std::move(m_memory));
    m_memory = std::move(lines);
    m_unconfirmed.clear();
}

bool AppendFile::writeWaiting(qint64 budget, QString* error)
{
    if (waitingLines() == 0)
        return true;
    if (!openForAppend(error))
        return false;
    bool fresh = false;
    qint64 end = headIfEmpty(&fresh, error);
    if (end < 0)
        return false;
    qint64 done = fresh ? end : 0;
    bool ok = true;
    while ((!m_lead.isEmpty() || waitingLines() > 0) && done < budget) {
        // A long backlog going out is looked at each megabyte: the rest goes into the file at
        // the path at the next attempt.
        if (m_unconfirmed.size() >= kPieceBytes && !checkPath())
            break;
        Part part = Part::Memory;
        const QByteArray piece = nextPiece(&part, error);
        if (piece.isEmpty()) {
            ok = false;
            break;
        }
        QString failure;
        const qint64 written = m_device->write(m_handle, piece.constData(), piece.size(), &failure);
        if (written < piece.size()) {
            // The whole lines that got in stay; a line cut inside is cut back off. A lead (a
            // head, a line end) goes in whole or not at all.
            qint64 keep =
                part == Part::Lead || written <= 0 ? 0 : piece.lastIndexOf('\n', written - 1) + 1;
            QString ignored;
            if (written > keep && !m_device->truncate(m_handle, end + keep, &ignored))
                keep = written; // it cannot be cut: the next write goes on from here
            consume(part, piece, keep);
            end += keep;
            done += keep;
            setError(error, failure);
            ok = false;
            break;
        }
        consume(part, piece, piece.size());
        end += piece.size();
        done += piece.size();
    }
    m_size = end;
    // Once per batch; what got in before a failure is synced as well.
    if (done > 0 && m_handle >= 0) {
        QString why;
        if (!m_device->sync(m_handle, &why) && ok) {
            setError(error, why);
            ok = false;
        }
    }
    return ok;
}

QByteArray AppendFile::nextPiece(Part* part, QString* error)
{
    if (!m_lead.isEmpty()) {
        *part = Part::Lead;
        return m_lead;
    }
    if (m_spillRead < m_spillSize) {
        *part = Part::Spill;
        QByteArray piece(int(qMin(kPieceBytes, m_spillSize - m_spillRead)), Qt::Uninitialized);
        QString why;
        const qint64 got =
            m_device->read(m_spillHandle, m_spillRead, piece.data(), piece.size(), &why);
        if (got <= 0) {
            setError(error, QStringLiteral("%1: %2").arg(
                                m_spillPath, got < 0 ? why : QStringLiteral("ends too soon")));
            return {};
        }
        piece.truncate(got);
        // Whole lines, unless a single line is longer than a piece.
        if (m_spillRead + got < m_spillSize) {
            const qsizetype lineEnd = piece.lastIndexOf('\n');
            if (lineEnd >= 0)
                piece.truncate(lineEnd + 1);
        }
        return piece;
    }
    *part = Part::Memory;
    QByteArray piece;
    for (qsizetype i = 0; i < m_memory.size(); ++i) {
        const QByteArrayView line =
            i == 0 ? QByteArrayView(m_memory.first()).sliced(m_firstDone) : m_memory.at(i);
        if (!piece.isEmpty() && piece.size() + line.size() > kPieceBytes)
            break;
        piece += line;
    }
    return piece;
}

void AppendFile::consume(Part part, const QByteArray& piece, qint64 count)
{
    m_unconfirmed += QByteArrayView(piece).first(count);
    switch (part) {
    case Part::Lead:
        m_lead.remove(0, count);
        break;
    case Part::Spill: {
        const QByteArrayView taken = QByteArrayView(piece).first(count);
        bool midLine = m_spillMidLine;
        qsizetype from = 0;
        for (qsizetype end = taken.indexOf('\n'); end >= 0; end = taken.indexOf('\n', from)) {
            lineDone(taken.sliced(from, end + 1 - from), !midLine);
            midLine = false;
            --m_spillLines;
            from = end + 1;
        }
        m_spillMidLine = midLine || from < taken.size();
        m_spillRead += count;
        if (m_spillRead >= m_spillSize)
            closeSpill(); // drained: it goes
        break;
    }
    case Part::Memory:
        while (count > 0 && !m_memory.isEmpty()) {
            const qint64 rest = m_memory.first().size() - m_firstDone;
            if (count < rest) {
                m_firstDone += count;
                break;
            }
            count -= rest;
            lineDone(m_memory.first(), true);
            m_memory.removeFirst();
            m_firstDone = 0;
        }
        break;
    }
}

void AppendFile::lineDone(QByteArrayView line, bool whole)
{
    if (whole && isMarker(line))
        m_lastMarker = line.toByteArray();
    else
        ++m_linesWritten;
}

bool AppendFile::firstWaitingIsMarker()
{
    if (m_spillRead < m_spillSize) {
        if (m_spillMidLine)
            return false;
        QByteArray start(int(qMin<qint64>(m_spillSize - m_spillRead, 4096)), Qt::Uninitialized);
        QString ignored;
        const qint64 got =
            m_device->read(m_spillHandle, m_spillRead, start.data(), start.size(), &ignored);
        const qsizetype end = got > 0 ? start.first(got).indexOf('\n') : -1;
        return end >= 0 && isMarker(QByteArrayView(start).first(end + 1));
    }
    return !m_memory.isEmpty() && m_firstDone == 0 && isMarker(m_memory.first());
}

void AppendFile::keepWithinBound(int maxLines)
{
    const qsizetype excess = m_memory.size() - maxLines;
    if (excess <= 0)
        return;
    QString reason;
    if (spill(int(excess), &reason))
        return;
    drop(int(excess));
    if (!m_dropTold) {
        m_dropTold = true;
        emit droppingStarted(m_path, reason);
    }
}

bool AppendFile::spill(int count, QString* reason)
{
    if (m_spillBroken) {
        *reason = QStringLiteral("%1 could not be cut back after a failed write").arg(m_spillPath);
        return false;
    }
    const bool startsMidLine = m_firstDone > 0 && m_spillRead >= m_spillSize;
    QByteArray data;
    for (int i = 0; i < count; ++i)
        data += i == 0 ? QByteArrayView(m_memory.first()).sliced(m_firstDone) : m_memory.at(i);
    // A spill file in use takes the lines after those it holds; a new one is looked for in each
    // folder in turn (one on the full disk takes nothing, and goes again).
    if (m_spillHandle >= 0)
        return writeSpill(data, count, startsMidLine, reason);
    if (m_spillFolders.isEmpty()) {
        *reason = QStringLiteral("no folder to keep them in");
        return false;
    }
    for (const QString& folder : std::as_const(m_spillFolders)) {
        if (openSpill(folder, reason) && writeSpill(data, count, startsMidLine, reason))
            return true;
    }
    return false;
}

bool AppendFile::writeSpill(const QByteArray& data, int count, bool startsMidLine, QString* reason)
{
    QString why;
    const qint64 written = m_device->write(m_spillHandle, data.constData(), data.size(), &why);
    if (written == data.size() && m_device->sync(m_spillHandle, &why)) {
        if (startsMidLine)
            m_spillMidLine = true;
        m_spillSize += data.size();
        m_spillLines += count;
        m_memory.remove(0, count);
        m_firstDone = 0;
        if (!m_spillTold) {
            m_spillTold = true;
            emit spillStarted(m_path, m_spillPath);
        }
        return true;
    }
    // Lines half in the spill file would be written twice: they are cut back off, and where
    // that is refused the spill file takes no more.
    QString ignored;
    if (written > 0 && !m_device->truncate(m_spillHandle, m_spillSize, &ignored))
        m_spillBroken = true;
    *reason = QStringLiteral("%1: %2").arg(m_spillPath, why);
    if (m_spillRead >= m_spillSize)
        closeSpill(); // it holds nothing: it goes
    return false;
}

bool AppendFile::openSpill(const QString& folder, QString* reason)
{
    const QString name = m_path.isEmpty() ? QStringLiteral("lines") : QFileInfo(m_path).fileName();
    const qint64 pid = QCoreApplication::applicationPid();
    QDir().mkpath(folder);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString candidate = QDir(folder).filePath(
            attempt == 1 ? QStringLiteral("%1.%2.waiting").arg(name).arg(pid)
                         : QStringLiteral("%1.%2-%3.waiting").arg(name).arg(pid).arg(attempt));
        if (QFileInfo::exists(candidate))
            continue;
        QString why;
        m_spillHandle = m_device->open(candidate, FileDevice::Open::CreateNew, false, &why);
        if (m_spillHandle < 0) {
            *reason = QStringLiteral("%1: %2").arg(candidate, why);
            return false;
        }
        m_spillPath = candidate;
        m_spillRead = m_spillSize = m_spillLines = 0;
        m_spillMidLine = m_spillBroken = false;
        return true;
    }
    *reason = QStringLiteral("%1: no free name").arg(folder);
    return false;
}

void AppendFile::closeSpill()
{
    if (m_spillHandle >= 0)
        m_device->close(m_spillHandle);
    m_spillHandle = -1;
    if (m_spillPath.isEmpty() || m_spillRead < m_spillSize)
        return;
    m_device->remove(m_spillPath);
    m_spillPath.clear();
    m_spillRead = m_spillSize = m_spillLines = 0;
    m_spillMidLine = m_spillBroken = false;
}

void AppendFile::drop(int count)
{
    // The oldest go; markers stay, as the lines after them need them, and so does the rest of a
    // line the file holds the start of.
    QList<QByteArray> kept;
    kept.reserve(m_memory.size() - count);
    int dropped = 0;
    for (qsizetype i = 0; i < m_memory.size(); ++i) {
        QByteArray& line = m_memory[i];
        if (dropped < count && !(i == 0 && m_firstDone > 0) && !isMarker(line))
            ++dropped;
        else
            kept.append(std::move(line));
    }
    m_memory = std::move(kept);
    m_dropped += dropped;
    // Lines lost make an episode even while the file takes writes.
    if (dropped > 0 && !m_failing) {
        m_failing = true;
        m_droppedBefore = m_dropped - dropped;
    }
}

void AppendFile::afterAttempt(bool ok, const QString& reason)
{
    if (!ok && !m_failing) {
        // One report per episode: a file that stays unwritable does not report every batch.
        m_failing = true;
        m_droppedBefore = m_dropped;
        emit writeFailed(m_path, reason, waitingLines());
    }
    keepWithinBound(m_maxLines);
    if (ok && m_failing && waitingLines() == 0) {
        m_failing = false;
        m_spillTold = m_dropTold = false;
        emit writeRecovered(m_path, m_dropped - m_droppedBefore);
    }
    if (waitingLines() != m_toldWaiting || m_dropped != m_toldDropped) {
        m_toldWaiting = waitingLines();
        m_toldDropped = m_dropped;
        emit waitingChanged(m_toldWaiting, m_toldDropped);
    }
}
