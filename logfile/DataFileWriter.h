#pragma once
// The data file beside the log (see DataFileFormat.h): a destination of the live session that
// writes one row per computed live or demonstration sample.
//
// It is written as the log is, through an AppendFile (see AppendFile.h): kept open under the
// recording lock while it is current, each poll's rows with one write and one data sync; rows
// that cannot be written wait in order (in memory, then in a spill file) and go out first once
// the file takes writes again; a failed write is cut back so no row is left half written, a file
// found empty (recreated by hand) gets its head again, and rows that find no place at all are
// counted. The failure is told once per episode.

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
        Append, // continue a data file of this program (its settings stated again as comments);
                // a missing or empty file is created
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

    void takeBatch(const SampleBatch& batch) override;
    void takeEvent(const SessionEvent& event) override;

    // Beyond it the oldest waiting rows go to a spill file.
    static constexpr int kMaxBacklogRows = 100000;

    // The row of a sample; none for a sample that gives no row (replayed, or not computed).
    static std::optional<DataFileRow> rowOf(const Sample& sample);

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

private:
    AppendFile m_file;
};
