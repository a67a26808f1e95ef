#pragma once
// Replay of one log file: the reader and its position, the index that reaches any record, the
// play timer and its speed, and the road of each record line into the sample pipeline. Only whole
// steps are public: open, show the next record, go to any record, play, stop, back to the first
// record, close.
//
// The lines after the units line are numbered from 0, as the index numbers them; a units line
// among them (a recording resumed into the file) keeps its number but is a marker, not a record:
// stepping passes over it without a step of its own, and the operator's count of records
// (recordsThrough, recordsKnown) leaves it out. The position is the line last shown. Lines are
// read sequentially; going anywhere else starts the reader again at the nearest line the index
// knows, so the part of a file already indexed can be reached at once while the index is still
// being built, and the tail the index has not reached yet (a recording still running) is read
// as it comes.

#include "history/TimeAxis.h"
#include "replay/ReplayIndex.h"
#include "replay/ReplayReader.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class FlowPipeline;

class ReplaySession : public QObject
{
    Q_OBJECT
public:
    // Records a second while playing; Max shows records as fast as the display follows, a batch
    // of them per tick of which only the last is shown.
    enum class Speed
    {
        One,
        Ten,
        Hundred,
        Max,
    };

    explicit ReplaySession(FlowPipeline* pipeline, QObject* parent = nullptr);

    // Opens path, reads past its header line and its units line, and sets the replay units from
    // the units word. A file whose first line is not the log header line, or whose second line
    // is neither empty nor missing nor a units line the recorder writes, is refused with the
    // reason "not a Marvane log file". On failure the current replay, if any, stays as it was.
    // Indexing of the file starts beside the reader.
    bool open(const QString& path, QString* reason);
    // Reopens the same file from its beginning (units not read again). On failure the session
    // is left closed; playback is the caller's to stop.
    bool restart(QString* reason);
    void close();
    bool isOpen() const { return m_reader.isOpen(); }
    // The file last opened, also after close.
    const QString& path() const { return m_path; }
    // The units the file's units line names ("Knots", "m/s"; any other word, or none, mm/s).
    SpeedUnitsKind units() const { return m_units; }
    // The clock the file's units line says its stamps are on ("24 Hour UTC" or "24 Hour Local";
    // UTC without a units line).
    TimeBase timeBase() const { return m_timeBase; }

    // Reads the next record line and hands its texts to the pipeline; a units line on the way is
    // passed over in the same step. Does nothing at the end of the file or when no file is open
    // (false). A read error closes the file and emits readFailed; playback is the caller's to
    // stop.
    bool step();
    // Shows record (clamped to the records known) as step() shows it, after the records before it
    // that the display's tables hold (setRowsShown); the next step goes on after it. False when no
    // record is known or the file cannot be read.
    bool seek(qint64 record);
    // How many records the display shows at once (its table rows); 1 shows the record alone.
    void setRowsShown(int rows) { m_rowsShown = std::max(1, rows); }
    // The record being shown is one of those before the record sought: context for the tables,
    // not a record the operator went to.
    bool leading() const { return m_leading; }

    // The line last shown, -1 before the first; lines known (indexed, or read beyond that), units
    // lines among the records included.
    qint64 position() const { return m_next - 1; }
    qint64 recordCount() const { return std::max(m_index.recordCount(), m_known); }
    // The records, units lines left out, among the lines 0..line; and among all lines known. So
    // the record shown is recordsThrough(position()) of recordsKnown().
    qint64 recordsThrough(qint64 line) const;
    qint64 recordsKnown() const { return recordsThrough(recordCount() - 1); }
    ReplayIndex& index() { return m_index; }
    const ReplayIndex& index() const { return m_index; }

    void play();
    void stop();
    bool playing() const { return m_playTimer.isActive(); }
    const QTimer& playTimer() const { return m_playTimer; }
    void setSpeed(Speed speed);
    Speed speed() const { return m_speed; }
    // Records a tick of Max steps over.
    static constexpr int kMaxBatch = 100;

    // Test seam: the play interval is multiplied by scale (the program uses 1).
    void setTimeScale(double scale);
    static constexpr int kPlayInterval = 1000;

signals:
    void readFailed(const QString& path, const QString& reason);
    void positionChanged(qint64 record, qint64 count);
    // A seek is about to show its records: what the display shows of other records goes.
    void seeking();
    void countChanged(qint64 count);
    // Playback reached the last record and has stopped.
    void endReached();
    // Another file was opened, or the file closed.
    void fileChanged();

private:
    enum class LineStep
    {
        Shown,   // a record line went to the pipeline
        Marker,  // a units line was passed over
        Passing, // the step only got further through an overlong line
        None,    // the end of the file, no file, or a read error (reported)
    };
    LineStep stepLine();
    bool skipHeaderAndUnits(QByteArray* unitsLine, QString* reason);
    bool placeReader(QString* reason);
    void tick();
    void applyInterval();

    FlowPipeline* m_pipeline;
    ReplayReader m_reader;
    ReplayIndex m_index;
    QString m_path;
    SpeedUnitsKind m_units = SpeedUnitsKind::MillimetresPerSecond;
    TimeBase m_timeBase = TimeBase::Utc;
    QTimer m_playTimer;
    double m_timeScale = 1.0;
    Speed m_speed = Speed::One;
    qint64 m_next = 0;       // the record the next step shows
    qint64 m_readerNext = 0; // the record the reader gives next; -1 when not known
    qint64 m_known = 0;      // records read so far, beyond the index too
    // Units lines met by stepping where the index had not reached yet (sorted, few).
    std::vector<qint64> m_markersBeyondIndex;
    int m_rowsShown = 1;
    bool m_leading = false;
};
