#pragma once
// The index of a log file for reviewing a recording: how many record lines it holds, where every
// indexStep-th of them starts (enough to reach any record by reading at most indexStep lines), and
// its history (each record's time, speed and bearing, read once here, and their reductions for the
// plot and the summary). A log of a gigabyte holds about 30 million records; the index keeps
// about 1 MB of offsets and 250 MB of history for it.
//
// Indexing runs in a background thread and reads the file once; what it has found reaches the
// index in portions (signals progress and countChanged), so records can be read and the history
// drawn from the first moment for the part already indexed. The index then follows the file:
// refresh(), called by a timer every second, indexes the whole lines appended since (a recording
// still running). A last line without its line end yet is not counted until the line end arrives.
// The index is used from the thread it lives in (the window's); the background pass has its own
// file handle and hands over everything it finds through that thread's event queue, so nothing
// is shared between the threads while a pass runs.
//
// Lines are those of the replay: LF ends a line and a CR right before it is dropped; a line of
// more than kMaxLineLength bytes is a bad line. The first line is the header, the second the units
// line, and every line after it is one record, numbered from 0 in file order exactly as the replay
// steps through them. Records that give no sample (see LogSampleParser) are bad lines: they keep
// their number and are counted (badLineCount), and the history leaves them out; a units line
// among them (a recording resumed into the file) is a marker, not a bad line. Speeds in the
// history are in the units of the units line, whatever the units of each record, and times are
// the stamps read on the clock the units line before them names (LogSampleParser: local time by
// the one rule for repeated and skipped hours); the history is shown on the first one's clock.

#include "logformat/LogLineScanner.h"
#include "history/HistorySeries.h"
#include "sensor/RawRecord.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class ReplayIndex : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultIndexStep = 256;
    static constexpr qsizetype kMaxLineLength = LogLineScanner::kMaxLineLength;

    explicit ReplayIndex(QObject* parent = nullptr);
    // indexStep: records from one kept offset to the next. Small values let a small file cross
    // many steps.
    explicit ReplayIndex(int indexStep, QObject* parent = nullptr);
    ~ReplayIndex() override;

    // Opens path and starts indexing it, closing any earlier file first. On failure the index
    // is closed and error holds the system's reason ("No such file or directory").
    bool open(const QString& path, QString* error);
    void close();
    bool isOpen() const { return m_reader != nullptr; }
    QString fileName() const { return m_reader ? m_reader->fileName() : QString(); }

    bool isIndexing() const { return m_worker.joinable(); }
    // The first pass has reached the end of the file as it then was.
    bool isFinished() const { return m_finished; }
    qint64 recordCount() const { return m_history.recordCount(); }
    qint64 badLineCount() const { return m_history.badCount(); }
    // Bytes of the file indexed: up to the end of the last whole line.
    qint64 bytesIndexed() const { return m_position.offset; }
    bool hasUnitsLine() const { return m_position.lines >= 2; }
    // Where record recordCount() (the first not indexed) starts, for a reader that goes on
    // from there; -1 while the units line has not been passed or an overlong line is in progress.
    qint64 nextRecordOffset() const
    {
        return hasUnitsLine() && !m_position.skipping ? m_position.offset : -1;
    }
    QString unitsWord() const { return m_unitsWord; }
    SpeedUnitsKind units() const { return m_history.units(); }
    const HistorySeries& history() const { return m_history; }
    // Bytes held by the offsets and the history.
    qint64 memoryBytes() const;
    int indexStep() const { return m_step; }

    // The line of a record, without its line end (an overlong one cut at kMaxLineLength). Reads
    // at most indexStep lines. Empty with error set for a record not indexed (yet) or when the
    // file cannot be read.
    QByteArray readRecordLine(qint64 record, QString* error = nullptr);
    // Calls line for every record from first to last (inclusive, all indexed) in order.
    bool forEachRecordLine(qint64 first, qint64 last,
                           const std::function<void(qint64, QByteArrayView)>& line,
                           QString* error = nullptr);

    // How often the file is looked at for appended lines; 0 stops looking. 1000 ms at first.
    void setPollInterval(int milliseconds);

public slots:
    // Indexes the lines appended since the last pass (nothing when the file has not grown).
    void refresh();

signals:
    void progress(qint64 bytesIndexed, qint64 totalBytes);
    void countChanged(qint64 records);
    void finished();
    // The file could no longer be read; what was indexed stays.
    void failed(const QString& reason);

private:
    // Where a pass starts: at the start of a line, or inside an overlong line being skipped.
    struct Position
    {
        qint64 offset = 0;       // next byte to read
        qint64 lines = 0;        // whole lines before it
        qint64 lineStart = 0;    // start of the line in progress
        bool skipping = false;   // the line in progress is overlong: its rest is skipped
        bool unitsTaken = false; // the units word was taken (from an overlong units line)
        SpeedUnitsKind units = SpeedUnitsKind::MillimetresPerSecond;
        // The clock of the stamps from here on (a units line among the records may change it),
        // and the last good stamp, which places a stamp of a repeated hour that follows.
        TimeBase timeBase = TimeBase::Utc;
        std::optional<qint64> previousStampMs;
    };
    struct Portion;

    void startPass();
    void stopPass();
    void runPass(const QString& path, Position start, quint64 generation);
    void post(std::function<void()> job);
    void applyPortion(const Portion& portion);
    void passDone(quint64 generation, const Position& end, qint64 fileSize, const QString& error);

    const int m_step;
    std::unique_ptr<QFile> m_reader; // the GUI thread's own handle, for reading records
    HistorySeries m_history;
    std::vector<qint64> m_offsets; // start of records 0, step, 2*step, ...
    Position m_position;           // where the next pass starts
    QString m_unitsWord;
    bool m_finished = false;
    bool m_refreshPending = false;
    QTimer m_poll;

    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    quint64 m_generation = 0; // portions of an earlier pass or file are dropped
};
