#pragma once
// Recording samples into the current log file.
//
// The file stays open while it is current, under an exclusive lock: a second recording (another
// window, a recorder started twice with --append) is refused rather than interleaving its lines.
// Lines are queued and written together, one write and one data sync per batch (a poll), so a
// power cut loses at most the batch in hand. At each batch the open file is compared with the
// path: a log file deleted or moved stays missing until the operator creates a new one, and one
// recreated by hand gets its header and units line again before the samples.
//
// A units line goes before the first record and before any record whose units or time base
// differ from the file's last units line, so the file always says what its records hold.
//
// The file is written through an AppendFile (see AppendFile.h): lines that cannot be written
// (file deleted or read-only, disk full) wait in order, in memory up to a bound and beyond it in
// a spill file, and go out first once the file can be written again, so a passing fault loses
// nothing; whole lines only, never twice. Only lines that find no place at all are dropped, and
// they are counted. Creating a new log file carries the lines still waiting over into it (after
// its header and a units line), in order; the previous file is not touched again.
//
// Error texts are the system's short reasons: "No such file or directory", "Permission denied",
// "No space left on device", "Is a directory"; "No file name specified" without a file.

#include "recording/AppendFile.h"
#include "logformat/LogFormat.h"

#include <QString>

class LogRecorder
{
public:
    // maxBacklogLines: the lines kept in memory while the file takes none.
    explicit LogRecorder(int maxBacklogLines = kMaxBacklogLines);
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // Creates (or empties) path and writes the header line. On success path becomes the current
    // log file and the units line is pending. On failure the recorder's state does not change
    // (the previous file stays current) and error holds the reason, for example "Permission
    // denied", or who holds the file when another recording has it.
    bool createFile(const QString& path, QString* error);

    // Makes an existing log file of this program current so that recording continues at its end:
    // its lines stay, no second header is written, and no second units line when the file's
    // last one already says the units and time base of the next record. A file whose last line
    // was cut short (the recorder stopped during a write) gets its line end first, so the next
    // record starts a line of its own. Fails, leaving the state unchanged, when path cannot be
    // read, is held by another recording, or its first line is not the header line.
    bool continueFile(const QString& path, QString* error);

    const QString& currentFile() const { return m_file.path(); }
    bool hasFile() const { return m_file.hasFile(); }
    // The first units line is still to come: neither written nor waiting in the backlog.
    bool headerPending() const { return m_headerPending; }
    bool logging() const { return m_logging; }
    void setLogging(bool on) { m_logging = on; }
    // What the stamps of the records queued from now on are in.
    void setTimeBase(TimeBase base) { m_timeBase = base; }
    TimeBase timeBase() const { return m_timeBase; }

    // Queues one record line (after a units line when needed); does nothing while logging is
    // off. Nothing reaches the file before flush().
    void queue(const QString& speedText, const QString& bearingText, const QString& dateTime,
               const QString& speedUnits);
    // Writes every waiting line (one write for a batch) and syncs the file's data once. Returns
    // false with the reason in error when not all could be written; the rest waits and goes out
    // first at the next flush.
    bool flush(QString* error);
    // The end of the recording: a last attempt, then what still waits goes to a spill file (or
    // is dropped, and counted).
    void finish() { m_file.finish(); }
    // queue() and flush() for a single sample.
    bool append(const QString& speedText, const QString& bearingText, const QString& dateTime,
                const QString& speedUnits, QString* error);

    // Lines waiting to be written after failed writes, in memory.
    int backlogLines() const { return m_file.linesInMemory(); }
    // All lines waiting: in memory and in the spill file.
    qint64 waitingLines() const { return m_file.waitingLines(); }
    // Lines lost because no place could keep them.
    qint64 droppedLines() const { return m_file.droppedLines(); }
    // Record lines this recorder has put into the current file.
    qint64 recordsWritten() const { return m_file.linesWritten(); }

    // The writer, for its reports and its spill folders.
    AppendFile& file() { return m_file; }
    const AppendFile& file() const { return m_file; }

    // Bound of the backlog in memory: beyond it the oldest lines go to a spill file, or are
    // dropped (units lines, and the rest of a line the file holds the start of, are kept).
    static constexpr int kMaxBacklogLines = 100000;

    // The process holding an exclusive lock on path, 0 when none is known (Linux /proc/locks).
    static qint64 lockHolder(const QString& path) { return recordingLockHolder(path); }

private:
    AppendFile m_file;
    bool m_headerPending = true;
    bool m_logging = false;
    TimeBase m_timeBase = TimeBase::Utc;
    QByteArray m_lastUnitsLine; // the units line of the last record queued
};
