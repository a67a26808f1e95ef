#pragma once
// The history of a measurement run, reduced so that hours of samples fit in a few megabytes: the
// records are cut into blocks of blockSize consecutive records and each block keeps only what a
// plot and a summary need (speed and bearing extremes, the sums for the scalar and vector means,
// the fastest sample and the first and last time). A replayed log file fills it through its
// index; the live session appends its samples one by one.
//
// Records are numbered from 0 in the order they arrived. A record without a usable sample (a bad
// log line) keeps its number, so that record numbers are the same as the replay's steps, and is
// counted as bad. All speeds of one series are in one unit (units()); whoever feeds it converts
// with speedInUnits.
//
// Time is counted in seconds since 01/01/1970 00:00:00 on the recording's own clock: the log
// file stores the computer's local date and time without a time zone, so the series keeps that
// wall-clock reading as it is. Texts made from it give back exactly what the file says, and a
// duration is the difference of the two clock readings.

#include "processing/RawRecord.h"

#include <QtGlobal>

#include <functional>
#include <vector>

// value, a speed in the units from, in the units to (1 knot = 0.514444 m/s, 1 m/s = 1000 mm/s).
double speedInUnits(double value, SpeedUnitsKind from, SpeedUnitsKind to);

struct HistorySample
{
    double speed = 0; // in the series' units
    int bearing = 0;  // whole degrees, 0..359, clockwise from the front of the sensor
    qint64 time = 0;  // seconds on the recording's clock (see above)
};

// The reduction of up to one block of consecutive records. Bearings are kept twice: as read
// (0..359) and turned into -180..179, because a flow that swings around north (350, 355, 5, 10)
// spans nearly the whole circle in the first form and only 20 degrees in the second; whichever
// span is narrower is the one shown.
struct HistoryBlock
{
    double sumSpeed = 0; // of the speeds: the mean speed
    double sumX = 0;     // of speed * sin(bearing): the vector mean
    double sumY = 0;     // of speed * cos(bearing)
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    qint64 maxTime = 0; // time of the fastest sample (the first of equals)
    float minSpeed = 0;
    float maxSpeed = 0;
    qint16 minBearing = 0;
    qint16 maxBearing = 0;
    qint16 minTurned = 0; // bearings turned into -180..179
    qint16 maxTurned = 0;
    quint16 count = 0;     // samples (good records)
    quint16 maxOffset = 0; // record of the fastest sample, counted from the block's first record

    // Adds the sample of the record at offset (from the block's first record); records are added
    // in order.
    void add(int offset, const HistorySample& sample);
    // Adds the records of a later part of the same block.
    void merge(const HistoryBlock& later);
};

// What one pixel column of a plot shows.
struct HistoryColumn
{
    qint64 firstRecord = 0; // the records of the column: firstRecord <= r < endRecord
    qint64 endRecord = 0;
    qint64 count = 0; // samples among them; nothing to draw when 0
    qint64 firstTime = 0;
    float minSpeed = 0;
    float maxSpeed = 0;
    // The bearings cover bearingLow..bearingHigh clockwise. bearingHigh is 0..359; a negative
    // bearingLow (down to -180) means the span passes north: bearingLow + 360 up to 359, then 0 up
    // to bearingHigh.
    int bearingLow = 0;
    int bearingHigh = 0;
};

// The figures of a span of records, from which a summary is made.
struct HistoryTotals
{
    qint64 records = 0; // records in the span, bad ones included
    qint64 samples = 0; // good records
    double sumSpeed = 0;
    double sumX = 0;
    double sumY = 0;
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    double maxSpeed = 0;
    qint64 maxRecord = -1;
    qint64 maxTime = 0;
    // False when the span had to be widened to whole blocks at its ends because no detail source
    // could give the records of its partial blocks.
    bool exact = true;

    qint64 badRecords() const { return records - samples; }
};

// Gives the samples of single records where whole blocks are too coarse: the ends of a span that
// cut a block, and plots of so few records that a block covers several pixel columns. The replay
// index reads them from the log file.
class HistoryDetailSource
{
public:
    virtual ~HistoryDetailSource() = default;
    // Calls sample for every good record from first to last (inclusive), in order. False when the
    // records cannot be read.
    virtual bool forEachSample(qint64 first, qint64 last,
                               const std::function<void(qint64, const HistorySample&)>& sample) = 0;
};

class HistorySeries
{
public:
    // 72 bytes per 128 records: 17 MB for 30 million records.
    static constexpr int kDefaultBlockSize = 128;
    // Plots of at most this many records are drawn from the single records when a detail source
    // is set (about 2.5 MB of log file to read).
    static constexpr qint64 kDetailLimit = 65536;

    explicit HistorySeries(int blockSize = kDefaultBlockSize);

    int blockSize() const { return m_blockSize; }
    void clear(); // keeps units, block size and detail source
    void setUnits(SpeedUnitsKind units) { m_units = units; }
    SpeedUnitsKind units() const { return m_units; }
    void setDetailSource(HistoryDetailSource* source) { m_detail = source; }

    qint64 recordCount() const { return m_records; }
    qint64 sampleCount() const { return m_samples; }
    qint64 badCount() const { return m_records - m_samples; }
    // Changes with every record added and with clear(): a plot redraws when it changes.
    quint64 revision() const { return m_revision; }
    // Bytes held by the series (its blocks, as allocated).
    qint64 memoryBytes() const;

    // One more record with its sample, speed in units().
    void append(const HistorySample& sample);
    // One more record without a sample.
    void appendBad();
    // count more records at once, reduced already by whoever read them (the replay index's
    // background pass). blocks follow the series' block grid: blocks[0] is the block that holds
    // record recordCount(), with only the new records in it, and so on.
    void appendBlocks(qint64 count, const std::vector<HistoryBlock>& blocks);

    // Blocks of the series, for tests and the index.
    const std::vector<HistoryBlock>& blocks() const { return m_blocks; }

    // pixelColumns columns over the records first..last (inclusive, clamped to the series).
    // Column c holds records first + c*n/C up to first + (c+1)*n/C (n records, C columns); when
    // there are fewer records than columns, each column shows the one record under it. Spans of
    // at most kDetailLimit records are read record by record through the detail source; longer
    // ones from the blocks, a block cut by a column edge counting in both columns (a column of
    // many thousand records then reaches at most one block further on each side).
    std::vector<HistoryColumn> columns(qint64 first, qint64 last, int pixelColumns) const;

    // The figures of the records first..last (inclusive, clamped to the series), or of all.
    HistoryTotals totals(qint64 first, qint64 last) const;
    HistoryTotals totals() const { return totals(0, m_records - 1); }

private:
    qint64 blockFirst(qint64 block) const { return block * m_blockSize; }
    void addBlockTo(HistoryTotals* totals, qint64 block) const;
    bool addDetailTo(HistoryTotals* totals, qint64 first, qint64 last) const;

    int m_blockSize;
    SpeedUnitsKind m_units = SpeedUnitsKind::MetresPerSecond;
    HistoryDetailSource* m_detail = nullptr;
    std::vector<HistoryBlock> m_blocks;
    qint64 m_records = 0;
    qint64 m_samples = 0;
    quint64 m_revision = 0;
};
