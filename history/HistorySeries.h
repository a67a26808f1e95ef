#pragma once
// The history of a measurement run: every record's time, speed and bearing, kept compactly (8
// bytes a record) with a pyramid of reductions over it (the lowest and highest speed, the sums
// for the mean and the vector mean and the bearings seen, per 128 records, per 1024, and so on),
// so that a pixel column of a plot or the summary of any span is made from a few dozen nodes and
// at most a few hundred records, whatever the length of the recording. A replayed log file fills
// it through its index: the index's background pass packs the records into the series' own form
// with a Packer, and the series takes each packed Portion in by adopting its blocks, so the
// window's thread does nothing per record. The live session appends its samples batch by batch.
//
// Records are numbered from 0 in the order they arrived, as the replay steps through them. A
// record without a usable sample (a bad log line) keeps its number and is counted as bad; a units
// line among the records keeps its number too but is a marker, neither sample nor bad line. All
// speeds of one series are in one unit (units()); whoever feeds it converts with speedInUnits.
// Speeds are kept to a hundredth of the last decimal the display shows (0.00001 m/s, 0.0001 kn,
// 0.01 mm/s), up to 41.9 m/s, 419 kn or 41,943 mm/s.
//
// Times are milliseconds since 1970-01-01 UTC; timeBase() says on which clock they are shown.
// Records are expected in time order (a recording's clock only goes forward); where it went back,
// looking a time up finds one of the records around it.

#include "sensor/RawRecord.h"
#include "history/TimeAxis.h"

#include <QString>
#include <QtGlobal>

#include <future>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// value, a speed in the units from, in the units to (1 knot = 1852/3600 m/s, 1 m/s = 1000 mm/s).
double speedInUnits(double value, SpeedUnitsKind from, SpeedUnitsKind to);

struct HistorySample
{
    double speed = 0;  // in the series' units
    int bearing = 0;   // whole degrees, 0..359, clockwise from the front of the sensor
    qint64 timeMs = 0; // milliseconds since 1970-01-01 UTC
    // The convention the bearing was recorded in: where the flow goes to (else where it comes
    // from). A log file does not say; its bearings are taken as "from", the program's default.
    bool bearingTo = false;
};

// A moment the operator marked, with the note given (empty when none). Marks stand beside the
// records, at their own time: they are no record, and change no count or statistic.
struct HistoryMark
{
    qint64 timeMs = 0; // milliseconds since 1970-01-01 UTC
    QString note;
};

// What one pixel column of a plot shows: the records whose time falls in it.
struct HistoryColumn
{
    qint64 firstRecord = 0; // firstRecord <= r < endRecord
    qint64 endRecord = 0;
    qint64 count = 0; // samples among them; nothing to draw when 0
    float minSpeed = 0;
    float maxSpeed = 0;
    float meanSpeed = 0;
    // Bit k: a bearing in [k * 360 / 64, (k + 1) * 360 / 64) degrees.
    quint64 bearingBins = 0;
    qint64 firstTimeMs = 0; // of the column's first and last sample
    qint64 lastTimeMs = 0;
};

// The figures of a span of records, from which a summary is made.
struct HistoryTotals
{
    qint64 records = 0; // records in the span, bad ones and markers included
    qint64 samples = 0; // good records
    qint64 markers = 0; // units lines among the records
    double sumSpeed = 0;
    // Of speed * sin and speed * cos of the bearing the flow comes from (a "to" bearing turned
    // round), so that samples of both conventions add up.
    double sumX = 0;
    double sumY = 0;
    qint64 firstTimeMs = 0;
    qint64 lastTimeMs = 0;
    double maxSpeed = 0;
    qint64 maxRecord = -1;
    qint64 maxTimeMs = 0;

    qint64 badRecords() const { return records - samples - markers; }
};

class HistorySeries
{
public:
    // Records per node at the pyramid's lowest level, and the fan-out above it.
    static constexpr int kLeafRecords = 128;
    static constexpr int kFanOut = 8;
    static constexpr int kBearingBins = 64;

    class Packer;
    class Portion;

    HistorySeries();
    ~HistorySeries();
    HistorySeries(const HistorySeries&) = delete;
    HistorySeries& operator=(const HistorySeries&) = delete;

    void clear(); // keeps units and time base
    void setUnits(SpeedUnitsKind units) { m_units = units; }
    SpeedUnitsKind units() const { return m_units; }
    void setTimeBase(TimeBase base) { m_timeBase = base; }
    TimeBase timeBase() const { return m_timeBase; }

    qint64 recordCount() const { return m_count; }
    qint64 sampleCount() const { return m_tally.samples; }
    qint64 markerCount() const { return m_tally.markers; }
    qint64 badCount() const { return recordCount() - m_tally.samples - m_tally.markers; }
    // Changes with every record added and with clear(): a plot redraws when it changes.
    quint64 revision() const { return m_revision; }
    // Bytes held by the series (records, pyramid, chunk times), as allocated.
    qint64 memoryBytes() const;

    void append(const HistorySample& sample);
    void appendBad();
    void appendMarker();
    // The operator's marks, in the order marked; clear() removes them too.
    void addMark(const HistoryMark& mark) { m_marks.push_back(mark); }
    const std::vector<HistoryMark>& marks() const { return m_marks; }
    // A packer that goes on from the end of the series as it is now (its units, the record in
    // progress of its last chunk and block), for records packed in another thread. It writes the
    // records that complete the series' last block straight into it, past the series' end, where
    // the series does not read: while it is in use, the series takes records only through
    // appendPortion of what it made, and is not cleared or squeezed.
    Packer packer();
    // Takes in what a packer of this series made, in the units it was packed in. The portion
    // must go on where the series ends (its packer was made from the series as it is, and every
    // portion that packer made before it has been taken in); false, and nothing is changed,
    // otherwise.
    bool appendPortion(Portion&& portion);
    // Gives back the room kept for growth (the pyramid's levels grow by doubling): for a series
    // that is complete for now, such as a log file indexed to its end.
    void squeeze();

    bool isSample(qint64 record) const;
    // The sample of a record (a bad record or marker gives speed 0, bearing 0 and the time of the
    // sample before it).
    HistorySample sampleAt(qint64 record) const;
    qint64 timeMsAt(qint64 record) const;

    // Earliest and latest sample time; 0 without samples.
    qint64 firstTimeMs() const { return m_tally.samples ? m_tally.minTimeMs : 0; }
    qint64 lastTimeMs() const { return m_tally.samples ? m_tally.maxTimeMs : 0; }
    // The first record at or after timeMs (recordCount() when none).
    qint64 recordAtOrAfter(qint64 timeMs) const;
    // The sample record nearest in time to timeMs (the earlier of two equally near); -1 without
    // samples.
    qint64 nearestSample(qint64 timeMs) const;
    // The median interval between consecutive samples (estimated from at most 4096 of them
    // spread over the series), which the gap rule is measured by.
    qint64 typicalIntervalMs() const;

    // The reduction of records first <= r < end.
    HistoryColumn reduce(qint64 first, qint64 end) const;
    // pixelColumns columns over the times startMs..endMs: column c takes the records whose time t
    // has startMs + c * w <= t < startMs + (c + 1) * w, w = (endMs - startMs) / pixelColumns (the
    // last column also takes t == endMs).
    std::vector<HistoryColumn> columns(qint64 startMs, qint64 endMs, int pixelColumns) const;

    // The figures of the records first..last (inclusive, clamped to the series), or of all.
    HistoryTotals totals(qint64 first, qint64 last) const;
    HistoryTotals totals() const { return totals(0, recordCount() - 1); }

private:
    struct Node
    {
        double sumSpeed = 0;
        double sumX = 0;
        double sumY = 0;
        quint64 bins = 0;
        float minSpeed = 0;
        float maxSpeed = 0;
        quint32 count = 0;   // samples
        quint32 markers = 0; // units lines
    };
    // One record: the time as an offset from its chunk's base, the speed in steps (22 bits) and
    // the bearing with its convention (10 bits: 0..359 from, 512 + 0..359 to, or a code for a bad
    // record or a marker).
    struct Packed
    {
        qint32 timeOffset;
        quint32 speedAndBearing;
    };
    // The counts and times of a run of records.
    struct Tally
    {
        qint64 samples = 0;
        qint64 markers = 0;
        qint64 minTimeMs = 0;
        qint64 maxTimeMs = 0;
        qint64 lastTimeMs = 0; // of the last sample (bad records and markers carry it)

        void addSample(qint64 timeMs);
        // Adds the tally of the records that follow.
        void addLater(const Tally& later);
    };
    // Records per chunk of one base time.
    static constexpr int kChunkShift = 12; // 4096 records
    static constexpr qint64 kChunkRecords = qint64(1) << kChunkShift;
    static constexpr qint64 kChunkMask = kChunkRecords - 1;
    // The records are kept in blocks of 2 MB that are never moved once written, so the series
    // grows without copying what it holds and without room kept for doubling. A block is mapped
    // on its own, aligned to its size and offered to the system as one large page: a long file's
    // history is 245 MB of fresh memory, and taking it a 4 KB page at a time costs more than
    // reading the file. Blocks go back to the system as soon as they are let go.
    static constexpr int kBlockShift = 18; // 262,144 records
    static constexpr qint64 kBlockRecords = qint64(1) << kBlockShift;
    static constexpr qint64 kBlockMask = kBlockRecords - 1;
    static constexpr size_t kBlockBytes = size_t(kBlockRecords) * 8;
    struct BlockRelease
    {
        size_t bytes = kBlockBytes; // mapped, from the start (less once the series is squeezed)
        void operator()(Packed* block) const;
    };
    using Block = std::unique_ptr<Packed[], BlockRelease>;
    static Block newBlock();
    // Maps the last block whole again after squeeze(), before records are added to it.
    void restoreLastBlock();

    // A sample's code: its whole degrees (any number of turns taken off) and convention.
    static int sampleCode(const HistorySample& sample);
    // A record packed against its chunk's base; far is set when the time does not fit the offset
    // (it is then kept aside).
    static Packed pack(qint64 timeMs, qint64 chunkBase, double speed, int code,
                       SpeedUnitsKind units, bool* far);
    static Node leafOf(const Packed* records, SpeedUnitsKind units);
    static double speedOf(const Packed& p, SpeedUnitsKind units);

    const Packed& packedAt(qint64 record) const
    {
        return m_blocks[size_t(record >> kBlockShift)][size_t(record & kBlockMask)];
    }
    void appendPacked(qint64 timeMs, double speed, int bearingCode);
    void addLeaf(const Node& leaf);
    static void mergeNode(Node* into, const Node& from);
    qint64 nodeSize(int level) const;
    // Calls node for whole pyramid nodes and record for single records covering first..end-1.
    template <typename NodeFn, typename RecordFn>
    void decompose(qint64 first, qint64 end, NodeFn node, RecordFn record) const;
    qint64 maxRecordIn(qint64 first, qint64 end, float maxSpeed) const;
    double speedOf(const Packed& p) const { return speedOf(p, m_units); }

    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    TimeBase m_timeBase = TimeBase::Utc;
    std::vector<Block> m_blocks; // kBlockRecords records each
    qint64 m_count = 0;
    std::vector<qint64> m_chunkBase;
    std::unordered_map<qint64, qint64> m_farTimes; // records whose time is too far from the base
    // The nodes of one level of the pyramid, in segments that are never moved either: a level
    // grows without copying what it holds (a long file's lowest level is some 11 MB).
    class NodeLevel
    {
    public:
        void push_back(const Node& node);
        size_t size() const { return m_size; }
        const Node& operator[](size_t i) const
        {
            return m_segments[i >> kSegmentShift][i & kSegmentMask];
        }
        // The last segment shrinks to the nodes it holds (it grows back when more come).
        void squeeze();
        qint64 memoryBytes() const;

    private:
        static constexpr int kSegmentShift = 10; // 1024 nodes, 48 KB
        static constexpr size_t kSegmentNodes = size_t(1) << kSegmentShift;
        static constexpr size_t kSegmentMask = kSegmentNodes - 1;
        std::vector<std::unique_ptr<Node[]>> m_segments;
        size_t m_size = 0;
        size_t m_lastCapacity = 0; // of the last segment
    };
    std::vector<NodeLevel> m_levels;
    Tally m_tally;
    quint64 m_revision = 0;
    std::vector<HistoryMark> m_marks;
    mutable quint64 m_intervalRevision = ~0ull;
    mutable qint64 m_typicalInterval = 0;
};

// Records packed for a series, in its own form, ready to be taken in without a copy: what a Packer
// made since it was made or last handed its work over. The blocks it began are handed over whole
// (the packer wrote them, so their memory was first touched in its thread); the records that
// complete the block the series ended in are already in that block.
class HistorySeries::Portion
{
public:
    Portion() = default;
    Portion(Portion&&) = default;
    Portion& operator=(Portion&&) = default;

    qint64 recordCount() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

private:
    friend class HistorySeries;
    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    qint64 m_firstRecord = 0;
    qint64 m_count = 0;
    std::vector<Block> m_blocks;                       // the blocks begun in it
    std::vector<qint64> m_chunkBases;                  // of the chunks begun in it
    std::vector<std::pair<qint64, qint64>> m_farTimes; // record, time
    std::vector<Node> m_leaves;                        // the leaves completed in it
    Tally m_tally;
};

// Packs records as the series would (the same codes, steps, chunks and leaves), away from it:
// the index's background pass owns one, made by packer() of the series it feeds.
class HistorySeries::Packer
{
public:
    Packer() = default;
    Packer(Packer&&) = default;
    Packer& operator=(Packer&&) = default;

    // The units the speeds given are in, from the next record on (the units line of a log comes
    // before its records).
    void setUnits(SpeedUnitsKind units) { m_units = units; }
    SpeedUnitsKind units() const { return m_units; }
    // The number the next record will have in the series.
    qint64 nextRecord() const { return m_next; }

    void append(const HistorySample& sample);
    void appendBad();
    void appendMarker();
    // What was packed since the last take, for the series' appendPortion. A block begun and not
    // yet full goes with it: the packer goes on writing it past the end of what it handed over.
    Portion take();

private:
    friend class HistorySeries;
    void appendPacked(qint64 timeMs, double speed, int code);
    // A new block; the one after it is made ready meanwhile in another thread.
    Block takeBlock();

    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    qint64 m_next = 0;
    qint64 m_chunkBase = 0;
    Packed* m_block = nullptr; // the block record m_next goes into, when it has begun
    std::future<Block> m_nextBlock;
    Portion m_portion;
};
