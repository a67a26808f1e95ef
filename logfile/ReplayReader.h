#pragma once
// Reads a log file line by line for replay. The file is never loaded whole (log files of
// gigabytes are read one line at a time), lines are capped in length so that a file without line
// ends cannot exhaust memory, and a file that grows while it is read (a recording still running)
// is followed: lines appended after the end was reached are read by later calls.

#include <QByteArray>
#include <QFile>
#include <QString>

class ReplayReader
{
public:
    static constexpr qsizetype kMaxLineLength = 4096;

    // Opens path for reading from its beginning, closing any earlier file first. On failure the
    // reader is left exactly as it was and error holds the reason.
    bool open(const QString& path, QString* error);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // True when no byte is left to read right now.
    bool atEnd();

    // Next line without its line end (LF, CR LF). At the end gives an empty line. A line longer
    // than kMaxLineLength is returned cut at that length (the rest of it is skipped), so that it
    // reads as a bad line. Returns false with error set when the file can no longer be read.
    bool readLine(QByteArray* line, QString* error);

private:
    QFile m_file;
};
