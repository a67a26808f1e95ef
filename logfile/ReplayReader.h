#pragma once
// Reads a log file line by line for replay. The file is never loaded whole (log files of
// gigabytes are read one line at a time), lines are capped in length so that a file without line
// ends cannot exhaust memory, and a file that grows while it is read (a recording still running)
// is followed: lines appended after the end was reached are read by later calls.
//
// LF ends a line and a CR right before it is dropped; a CR anywhere else stays part of the line.
// The end of the file ends its last line like an LF, so a last line without line end is read as
// it stands, less a CR at its very end (a line the recorder is still writing when the reader
// reaches it is therefore read in two parts; the recorder writes each line with one write, so
// this needs an unlucky moment).

#include "logformat/LogLineScanner.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

class ReplayReader
{
public:
    static constexpr qsizetype kMaxLineLength = LogLineScanner::kMaxLineLength;

    // Opens path for reading from its beginning, closing any earlier file first. On failure the
    // reader is left exactly as it was (an earlier file stays open at its position) and error
    // holds the reason, such as "No such file or directory" or "Permission denied". Anything
    // but a regular file (after following links) is refused without being opened: "Is a
    // directory" for a folder, "Not a regular file" for a FIFO, a device or a socket.
    bool open(const QString& path, QString* error);
    void close();
    bool isOpen() const { return m_file && m_file->isOpen(); }
    // Goes on reading from byte offset, which must be the start of a line.
    bool seek(qint64 offset, QString* error);
    // The name of the file last opened, also after close.
    QString fileName() const { return m_file ? m_file->fileName() : QString(); }

    // True when no line is left to read right now (the not yet ended rest of an overlong line
    // does not count as one). A read error met here is kept for the next readLine, which reports
    // it, so this answers false then.
    bool atEnd();

    // Next line without its line end (LF, CR LF). At the end gives an empty line. A line longer
    // than kMaxLineLength is returned cut at that length (the rest of it is skipped), so that it
    // reads as a bad line. Returns false with error set when the file can no longer be read
    // (the system's reason, such as "Input/output error") or is not open ("File not open"). A file
    // deleted while open stays readable to its end on Linux.
    bool readLine(QByteArray* line, QString* error);

    // With hold on, a last line without its line end is not a line yet: atEnd() answers true
    // before it and readLine() leaves it for a later call (a recording still writing it, or a
    // crash that cut it short). Off by default: the end of the file ends the last line.
    void setHoldUnendedLastLine(bool hold) { m_holdUnendedLastLine = hold; }

    // True when the last readLine gave no line because the rest of an overlong line is still
    // being passed over (at most kSkipSlice bytes of it per call; the next call goes on).
    bool passingLongLine() const { return m_noLine; }
    static constexpr qint64 kSkipSlice = 32 * 1024 * 1024;

private:
    qint64 fill();
    bool skipRestOfLongLine();

    std::unique_ptr<QFile> m_file;
    LogLineScanner m_scanner; // bytes read from the file, cut into lines
    bool m_holdUnendedLastLine = false;
    bool m_noLine = false;     // the last readLine gave no line: inside the rest of a long one
    bool m_skipPaused = false; // the slice of this call ran out inside the long line
    QString m_readError;       // a read error met by atEnd, reported by the next readLine
};
