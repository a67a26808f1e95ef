#pragma once
// The data file beside the log (see DataFileFormat.h): a destination of the live session that
// writes one row per computed live or demonstration sample, and a row of its own for each mark,
// each loss and return of the device and each alarm raised or cleared, with its note.
//
// A data file of an earlier version (no note column) continued with Append keeps its columns:
// its samples go on in them and event rows are left out, so that every row has the header row's
// columns. Rows still waiting for the previous file keep the columns they were made with: a new
// file made while they wait takes those columns too, and a file of the other columns is not
// continued while they wait.
//
// It is written as the log is, through an AppendFile (see AppendFile.h): kept open under the
// recording lock while it is current, each poll's rows with one write and one data sync; rows
// that cannot be written wait in order (in memory, then in a spill file) and go out first once
// the file takes writes again; a failed write is cut back so no row is left half written, a file
// moved or deleted is made again at its path, one found empty gets its head again, and rows that
// find no place at all are counted. The failure is told once per episode.

#include "recording/AppendFile.h"
#include "logformat/DataFileFormat.h"
#include "sensor/SampleSink.h"

#include <QObject>
#include <QString>
#include <QStringList>

class DataFileWriter : public QObject, public SampleSink
{
    Q_OBJECT
public:
    explicit DataFileWriter(QObject* parent = nullptr);

    enum class Mode
    {
        Create, // create or empty the file, then write the head
        Append, // continue a data file of this program, with rows only (no comment line between
                // rows); a missing or empty file is created
    };

    // Opens path for the rows to come; rows still waiting for the previous file go into it
    // first. On failure nothing changes (a file already open stays current) and error holds the
    // system's reason, says who records the file, or says it is not a data file.
    bool open(const QString& path, const DataFileHeader& header, QString* error,
              Mode mode = Mode::Create);
    // Ends writing to the current file: a last attempt for the rows still waiting; what is left
    // goes to a spill file (and into the next data file opened), or is counted as dropped.
    void close();

    const QString& path() const { return m_file.path(); }
    // The current file has the note column (false: an earlier version's file continued).
    bool writesNotes() const { return m_withNote; }
    bool isOpen() const { return m_file.hasFile(); }
    // Rows waiting in memory; all rows waiting (in the spill file too); rows dropped.
    int backlogRows() const { return m_file.linesInMemory(); }
    qint64 waitingRows() const { return m_file.waitingLines(); }
    qint64 droppedRows() const { return m_file.droppedLines(); }
    qint64 spilledRows() const { return m_file.spilledLines(); }
    const QString& spillPath() const { return m_file.spillPath(); }

    // The device the file is written through (not owned; nullptr: the system's), and the
    // folders where rows go when more wait than memory holds.
    void setFileDevice(FileDevice* device) { m_file.setDevice(device); }
    void setSpillFolders(const QStringList& folders) { m_file.setSpillFolders(folders); }
    // The clock of the once-a-second look at the file's path (tests set their own).
    void setClock(AppendFile::Clock clock) { m_file.setClock(std::move(clock)); }
    // The file at its path again now (after logrotate); true without a file.
    bool reopen(QString* error) { return m_file.reopen(error); }

    void takeBatch(const SampleBatch& batch) override;
    void takeEvent(const SessionEvent& event) override;

    // Beyond it the oldest waiting rows go to a spill file.
    static constexpr int kMaxBacklogRows = 100000;

    // The row of a sample; none for a sample that gives no row (replayed, or not computed).
    static std::optional<DataFileRow> rowOf(const Sample& sample);
    // The row of an event; none for an event that gives no row. awayBefore: the device was lost
    // and not yet back (a loss is one row, whether the device is waited for or given up); it is
    // updated by the event.
    static std::optional<DataFileRow> rowOf(const SessionEvent& event, bool* awayBefore);

signals:
    // The first failed write of an episode: path, the system's reason and the rows waiting.
    void writeFailed(const QString& path, const QString& reason, int backlogRows);
    // Rows beyond what memory holds go to spillPath from now on (once per episode).
    void spillStarted(const QString& path, const QString& spillPath);
    // No spill file could be written: the oldest rows are dropped from now on (once per episode).
    void droppingStarted(const QString& path, const QString& reason);
    // The waiting rows were written: the episode is over; dropped rows were lost in it.
    void writeRecovered(const QString& path, qint64 dropped);
    // How many rows wait, and how many were dropped in all.
    void backlogChanged(qint64 rows, qint64 dropped);
    // The file was missing or empty at its path: made again with its head.
    void madeAgain(const QString& path);

private:
    void queueRow(const DataFileRow& row);

    AppendFile m_file;
    bool m_withNote = true;        // the current file's columns
    bool m_waitingWithNote = true; // the columns of the rows waiting, when some do
    bool m_deviceAway = false;
};
