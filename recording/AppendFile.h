#pragma once
// One append-only file that lines are recorded into: the log and the data file each write
// through one. The file stays open while it is current, under the recording lock; each batch's
// lines go out with one write and one data sync, so a power cut loses at most the batch in hand.
//
// Lines that cannot be written (the file deleted, moved or read-only, the disk full) wait, in
// order, and go out first once the file takes writes again: a passing fault loses nothing.
// Up to a bound they wait in memory; beyond it the oldest go to a spill file in the first of the
// spill folders that takes one (the user's state folder, say, when the log's disk is full), and
// come back from there, in pieces, before the lines kept in memory. Only when no spill file can
// be written are the oldest lines dropped, and then they are counted and told, never silently.
//
// Waiting lines are written in pieces of whole lines: when the disk takes only part of them,
// the whole lines that got in stay and the rest waits. A write that stops inside a line is cut
// back to the end of the last whole line (where the file refuses to be cut, as an append-only
// file does, the next write goes on from the first byte that did not get in), so nothing is
// written twice and no line is left half written once the file takes writes again.
//
// Once a second (not at every batch: a batch costs one write and one sync), and whenever asked
// (reopen(), the end), the open file is compared with the file at its path. One moved away
// (logrotate without `create`, a tidy-up script) keeps what it took and is let go; one deleted
// takes with it the lines written since it was last found at its path, and they wait again,
// first, as if never written. The file is then made again at its path, and a file found empty
// there (made again, or by hand, or by logrotate's `create`) gets its head again, and the last
// marker line before the waiting lines. Markers are lines the lines after them need (the log's
// units line): they are never dropped.
//
// A fault is told once per episode: writeFailed at the first failed write, spillStarted when
// lines first go to a spill file, droppingStarted when lines are first dropped, writeRecovered
// (with the lines dropped meanwhile) once everything waiting is written; madeAgain when a file
// found missing or empty at the path gets its head again.

#include "recording/FileDevice.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class AppendFile : public QObject
{
    Q_OBJECT
public:
    // Milliseconds of a clock that never goes back (not the time of day): when the path was
    // last looked at. Tests set their own.
    using Clock = std::function<qint64()>;

    // maxLinesInMemory: how many waiting lines memory holds before the oldest go to a spill file.
    explicit AppendFile(int maxLinesInMemory, QObject* parent = nullptr);
    ~AppendFile() override;

    // The device files are written through (not owned); nullptr: the system's.
    void setDevice(FileDevice* device);
    FileDevice& device() const { return *m_device; }
    // Which lines are markers.
    void setMarkerTest(std::function<bool(QByteArrayView)> isMarker);
    // Where lines go when more wait than memory holds, tried in order (each created when
    // missing).
    void setSpillFolders(const QStringList& folders);
    const QStringList& spillFolders() const { return m_spillFolders; }
    void setClock(Clock clock);

    // Making a file current, in two steps so that its owner can read it under the lock: open it
    // locked (the current file's own lock does not stand in the way of opening it anew), then
    // adopt it. -1 with why when it cannot be opened or another recording holds it.
    int openLocked(const QString& path, FileDevice::Open how, QString* error);
    // Writes bytes at the start of an opened file not yet adopted (emptied first when empty is
    // set) and syncs. On failure the handle is closed and error says why.
    bool writeFirst(int handle, const QByteArray& bytes, bool empty, QString* error);
    // Gives back a handle that is not to be adopted.
    void release(int handle);
    // The opened file becomes current; the previous one is let go. head: what the file gets
    // first if it is found empty. lead: bytes for this file only, written before the waiting
    // lines (the line end of a line cut short). lastMarker: the last marker the file holds.
    // Lines still waiting go into it, after the marker they were recorded under when the file's
    // own last marker is another.
    void adopt(int handle, const QString& path, const QByteArray& head, const QByteArray& lead,
               const QByteArray& lastMarker);
    // openLocked, writeFirst and adopt: creates (or empties) path with head.
    bool create(const QString& path, const QByteArray& head, QString* error);

    const QString& path() const { return m_path; }
    bool hasFile() const { return !m_path.isEmpty(); }
    // The last marker written, or going out first, before the waiting lines.
    const QByteArray& lastMarker() const { return m_lastMarker; }

    // Queues one whole line (with its line end). Nothing reaches the file before flush().
    void queue(const QByteArray& line);
    // Writes what waits, in pieces, and syncs the file once. Returns false with the reason when
    // not everything could be written; what was not waits for the next flush.
    bool flush(QString* error);
    // The end: one last attempt for everything waiting; what still cannot be written goes to a
    // spill file, which then stays for the operator, or is dropped and counted.
    void finish();
    // Lets the current file go; lines still waiting wait for the next file.
    void close();
    // Compares the open file with its path now, as logrotate's postrotate asks: one moved or
    // deleted is let go and the file is made again at the path (with its head, and the last
    // marker) even when no line waits. False with the reason when it cannot be made.
    bool reopen(QString* error);
    // The current file's size after the last write.
    qint64 fileSize() const { return m_size; }

    // Lines waiting: in memory, and in the spill file.
    int linesInMemory() const { return int(m_memory.size()); }
    qint64 spilledLines() const { return m_spillLines; }
    qint64 waitingLines() const { return m_memory.size() + m_spillLines; }
    const QString& spillPath() const { return m_spillPath; }
    // Lines dropped since this writer was made.
    qint64 droppedLines() const { return m_dropped; }
    // Lines other than markers the current file has taken.
    qint64 linesWritten() const { return m_linesWritten; }
    int maxLinesInMemory() const { return m_maxLines; }
    void setMaxLinesInMemory(int lines) { m_maxLines = qMax(1, lines); }

    // The largest piece written at once.
    static constexpr qint64 kPieceBytes = 1 << 20;
    // How much of a long backlog one flush writes before the next batch (finish writes it all).
    static constexpr qint64 kBytesPerFlush = 16 << 20;
    // How often the open file is compared with its path while it takes lines.
    static constexpr qint64 kPathCheckMs = 1000;

signals:
    // The first failed write of an episode: the file, the reason and the lines waiting.
    void writeFailed(const QString& path, const QString& reason, qint64 waiting);
    // More lines waited than memory holds: from now on the oldest go to spillPath.
    void spillStarted(const QString& path, const QString& spillPath);
    // No spill file could be written (reason): from now on the oldest lines are dropped.
    void droppingStarted(const QString& path, const QString& reason);
    // Everything waiting was written: the episode is over; dropped lines were lost in it.
    void writeRecovered(const QString& path, qint64 dropped);
    // The lines waiting, or the lines dropped, changed.
    void waitingChanged(qint64 waiting, qint64 dropped);
    // The file at path was missing or found empty: it was made again with its head.
    void madeAgain(const QString& path);

private:
    enum class Part
    {
        Lead,
        Spill,
        Memory,
    };

    bool writeWaiting(qint64 budget, QString* error);
    bool openForAppend(QString* error);
    qint64 headIfEmpty(bool* wrote, QString* error);
    bool pathCheckDue() const;
    bool checkPath();
    void pathConfirmed();
    void takeBackUnconfirmed();
    void closeFile();
    QByteArray nextPiece(Part* part, QString* error);
    void consume(Part part, const QByteArray& piece, qint64 count);
    void lineDone(QByteArrayView line, bool whole);
    bool firstWaitingIsMarker();
    bool isMarker(QByteArrayView line) const { return m_isMarker && m_isMarker(line); }
    void keepWithinBound(int maxLines);
    bool spill(int count, QString* reason);
    bool writeSpill(const QByteArray& data, int count, bool startsMidLine, QString* reason);
    bool openSpill(const QString& folder, QString* reason);
    void closeSpill();
    void drop(int count);
    void afterAttempt(bool ok, const QString& reason);

    FileDevice* m_device;
    std::function<bool(QByteArrayView)> m_isMarker;
    QStringList m_spillFolders;
    int m_maxLines;

    QString m_path;
    int m_handle = -1;
    FileIdentity m_opened; // the open file, as found when it was opened
    QByteArray m_head;
    QByteArray m_lead;
    QByteArray m_lastMarker;
    qint64 m_linesWritten = 0;
    qint64 m_size = 0;

    Clock m_clock;
    qint64 m_checkedAt = 0;       // when the open file was last found at its path
    bool m_checkNow = false;      // at the next attempt, whatever the time
    QByteArray m_unconfirmed;     // what the open file took since then
    QByteArray m_confirmedMarker; // the last marker before those bytes

    QList<QByteArray> m_memory; // oldest first
    qint64 m_firstDone = 0;     // bytes of the first line in memory the file holds already

    QString m_spillPath;
    int m_spillHandle = -1;
    qint64 m_spillRead = 0; // the spill file's bytes before this are written
    qint64 m_spillSize = 0; // and those from here on are not its own
    qint64 m_spillLines = 0;
    bool m_spillMidLine = false; // the spill file's next byte is inside a line
    bool m_spillBroken = false;  // it could not be cut back after a failed write: no more to it

    qint64 m_dropped = 0;
    bool m_failing = false;
    bool m_spillTold = false;
    bool m_dropTold = false;
    qint64 m_droppedBefore = 0; // dropped when the episode began
    qint64 m_toldWaiting = 0;
    qint64 m_toldDropped = 0;
};
