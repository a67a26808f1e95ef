#pragma once
// The history of a measurement run: every record's time, speed and bearing, kept compactly (8
// bytes a record) with a pyramid of reductions over it (the lowest and highest speed, the sums
// for the mean and the vector mean and the bearings seen, per 128 records, per 1024, and so on),
// so that a pixel column of a plot or the summary of any span is made from a few dozen nodes and
// at most a few hundred records, whatever the length of the recording. A replayed log file fills
// it through its index (each line read once, in the background); the live session appends its
// samples batch by batch.
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

#include <QtGlobal>

#include <unordered_map>
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

// One record as the index's background pass hands it over.
struct HistoryRecord
{
    enum class Kind : quint8
    {
        Sample,
        Bad,
        Marker,
    };
    Kind kind = Kind::Sample;
    HistorySample sample; // for Kind::Sample
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

    HistorySeries();

    void clear(); // keeps units and time base
    void setUnits(SpeedUnitsKind units) { m_units = units; }
    SpeedUnitsKind units() const { return m_units; }
    void setTimeBase(TimeBase base) { m_timeBase = base; }
    TimeBase timeBase() const { return m_timeBase; }

    qint64 recordCount() const { return qint64(m_records.size()); }
    qint64 sampleCount() const { return m_samples; }
    qint64 markerCount() const { return m_markers; }
    qint64 badCount() const { return recordCount() - m_samples - m_markers; }
    // Changes with every record added and with clear(): a plot redraws when it changes.
    quint64 revision() const { return m_revision; }
    // Bytes held by the series (records, pyramid, chunk times), as allocated.
    qint64 memoryBytes() const;

    void append(const HistorySample& sample);
    void appendBad();
    void appendMarker();
    void appendRecords(const std::vector<HistoryRecord>& records);
    // Gives back the room kept for growth (the records' vector grows by doubling): for a series
    // that is complete for now, such as a log file indexed to its end.
    void squeeze();

    bool isSample(qint64 record) const;
    // The sample of a record (a bad record or marker gives speed 0, bearing 0 and the time of the
    // sample before it).
    HistorySample sampleAt(qint64 record) const;
    qint64 timeMsAt(qint64 record) const;

    // Earliest and latest sample time; 0 without samples.
    qint64 firstTimeMs() const { return m_samples ? m_minTimeMs : 0; }
    qint64 lastTimeMs() const { return m_samples ? m_maxTimeMs : 0; }
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
    static constexpr int kChunkShift = 12; // records per chunk of one base time: 4096

    void appendPacked(qint64 timeMs, double speed, int bearingCode);
    void completeLeaf();
    static void addToNode(Node* node, float speed, double speedValue, int code);
    static void mergeNode(Node* into, const Node& from);
    qint64 nodeSize(int level) const;
    // Calls node for whole pyramid nodes and record for single records covering first..end-1.
    template <typename NodeFn, typename RecordFn>
    void decompose(qint64 first, qint64 end, NodeFn node, RecordFn record) const;
    qint64 maxRecordIn(qint64 first, qint64 end, float maxSpeed) const;
    double speedOf(const Packed& p) const;

    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    TimeBase m_timeBase = TimeBase::Utc;
    std::vector<Packed> m_records;
    std::vector<qint64> m_chunkBase;
    std::unordered_map<qint64, qint64> m_farTimes; // records whose time is too far from the base
    std::vector<std::vector<Node>> m_levels;
    qint64 m_samples = 0;
    qint64 m_markers = 0;
    qint64 m_lastTimeMs = 0; // of the last sample appended (bad records carry it)
    qint64 m_minTimeMs = 0;
    qint64 m_maxTimeMs = 0;
    quint64 m_revision = 0;
    mutable quint64 m_intervalRevision = ~0ull;
    mutable qint64 m_typicalInterval = 0;
};
