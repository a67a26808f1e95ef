#pragma once
// The data file beside the log (see DataFileFormat.h): a destination of the live session that
// writes one row per computed live or demonstration sample, each poll's rows with one write.
//
// As with the log, a write that fails (file deleted or read-only, disk full) loses nothing: the
// rows are kept in order, up to a bound, and go out first once the file takes writes again; a
// failed write is cut back so no row is left half written, and a file found empty (recreated by
// hand) gets its head again. The failure is told once per episode.

#include "logfile/DataFileFormat.h"
#include "processing/SampleSink.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

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

    // Opens path for the rows to come. On failure nothing changes (a file already open stays
    // current) and error holds the system's reason, or says the file is not a data file.
    bool open(const QString& path, const DataFileHeader& header, QString* error,
              Mode mode = Mode::Create);
    // Ends writing to the current file (rows still waiting are given up).
    void close();

    const QString& path() const { return m_path; }
    bool isOpen() const { return !m_path.isEmpty(); }
    int backlogRows() const { return int(m_backlog.size()); }

    void takeBatch(const SampleBatch& batch) override;
    void takeEvent(const SessionEvent& event) override;

    // Beyond it the oldest waiting rows are dropped.
    static constexpr int kMaxBacklogRows = 100000;

    // The row of a sample; none for a sample that gives no row (replayed, or not computed).
    static std::optional<DataFileRow> rowOf(const Sample& sample);

signals:
    // The first failed write of an episode: path, the system's reason and the rows waiting.
    void writeFailed(const QString& path, const QString& reason, int backlogRows);
    // The waiting rows were written: the episode is over.
    void writeRecovered(const QString& path);

private:
    bool writeBacklog(QString* reason);

    QString m_path;
    QByteArray m_head; // comments and header row, for a file found empty
    QList<QByteArray> m_backlog;
    bool m_keepFirst = false; // the first waiting row is the rest of one the file holds
    bool m_failing = false;
};
