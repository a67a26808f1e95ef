#pragma once
// Recording samples into the current log file. The file is opened and closed for every sample so
// that every written sample is complete on disk when the append returns.
//
// Lines that cannot be written (file deleted or read-only, disk full) are kept in order, up to a
// bound, and written before the next sample once the file can be written again, so a passing
// fault loses nothing. A failed write leaves no part of its lines in the file (it is cut back to
// its size before the write; where that is refused, as on an append-only file, the next write
// goes on from the first byte that did not get in), so nothing is written twice and no line is
// left half written once the file takes writes again. Creating a new log file carries the samples
// still waiting over into it (after its header and a units line), in order; the previous file is
// not touched again. A log file found empty at an append (recreated by hand) gets its header and
// units line again before the samples.
//
// Error texts are the system's short reasons: "No such file or directory", "Permission denied",
// "No space left on device", "Is a directory"; "No file name specified" without a file.

#include <QByteArray>
#include <QList>
#include <QString>

class LogRecorder
{
public:
    // Creates (or empties) path and writes the header line. On success path becomes the current
    // log file and the units line is pending. On failure the recorder's state does not change
    // (the previous file stays current) and error holds the reason, for example "Permission
    // denied"; a file that could be emptied but not written stays empty.
    bool createFile(const QString& path, QString* error);

    // Makes an existing log file of this program current so that recording continues at its end:
    // its lines stay, no second header is written, and no second units line when the file
    // already has one. A file whose last line was cut short (the recorder stopped during a
    // write) gets its line end first, so the next record starts a line of its own. Fails, leaving
    // the state unchanged, when path cannot be read or its first line is not the header line
    // (error then says which).
    bool continueFile(const QString& path, QString* error);

    const QString& currentFile() const { return m_path; }
    bool hasFile() const { return !m_path.isEmpty(); }
    // The units line is still to come: neither written nor waiting in the backlog.
    bool headerPending() const { return m_headerPending; }

    bool logging() const { return m_logging; }
    void setLogging(bool on) { m_logging = on; }

    // The append step for one sample; does nothing while logging is off. Appends the units line
    // first while it is pending, then the record line. The file must exist: an append never
    // creates it. Returns false with the reason in error when the lines could not be written;
    // they then wait in the backlog and go out first at the next successful append.
    bool append(const QString& speedText, const QString& bearingText, const QString& dateTime,
                const QString& speedUnits, QString* error);

    // Lines waiting to be written after failed appends.
    int backlogLines() const { return int(m_backlog.size()); }

    // Bound of the backlog: beyond it the oldest unwritten record lines are dropped (a units line
    // still waiting, or the rest of a line the file holds the start of, is kept).
    static constexpr int kMaxBacklogLines = 100000;

private:
    bool writeBacklog(QString* error);
    void dropWrittenBytes(qint64 count);

    QString m_path;
    bool m_headerPending = true;
    bool m_logging = false;
    QList<QByteArray> m_backlog;
    bool m_keepFirstLine = false; // the first backlog line is the units line or a line's rest
    QString m_fileUnits;          // the units word of the current file's units line
};
