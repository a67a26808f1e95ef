#include "processing/HistorySeries.h"

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

static_assert(sizeof(HistoryBlock) <= 72, "a block must stay small: there are 250 000 of them");

double metresPerSecond(SpeedUnitsKind units)
{
    switch (units) {
    case SpeedUnitsKind::MetresPerSecond:
        return 1.0;
    case SpeedUnitsKind::Knots:
        return 0.514444;
    case SpeedUnitsKind::MillimetresPerSecond:
        return 0.001;
    }
    return 1.0;
}

// Bearings are whole degrees, so the components of the flow come from a table: a sine and a
// cosine per sample would cost more than reading the sample from the file.
struct Trig
{
    std::array<double, 360> sine;
    std::array<double, 360> cosine;
    Trig()
    {
        for (int d = 0; d < 360; ++d) {
            sine[d] = std::sin(qDegreesToRadians(double(d)));
            cosine[d] = std::cos(qDegreesToRadians(double(d)));
        }
        // The quarter points exactly, so that a flow straight along an axis has no sideways part.
        sine[0] = sine[180] = cosine[90] = cosine[270] = 0.0;
    }
};

const Trig& trig()
{
    static const Trig table;
    return table;
}

int wholeDegrees(int bearing)
{
    const int d = bearing % 360;
    return d < 0 ? d + 360 : d;
}

qint16 turned(int bearing)
{
    return qint16(bearing >= 180 ? bearing - 360 : bearing);
}

// Gathers blocks or single samples into one column.
struct ColumnGather
{
    qint64 count = 0;
    qint64 firstTime = 0;
    float minSpeed = 0;
    float maxSpeed = 0;
    int minBearing = 0;
    int maxBearing = 0;
    int minTurned = 0;
    int maxTurned = 0;

    void add(const HistoryBlock& b)
    {
        if (b.count == 0)
            return;
        if (count == 0) {
            firstTime = b.firstTime;
            minSpeed = b.minSpeed;
            maxSpeed = b.maxSpeed;
            minBearing = b.minBearing;
            maxBearing = b.maxBearing;
            minTurned = b.minTurned;
            maxTurned = b.maxTurned;
        } else {
            minSpeed = std::min(minSpeed, b.minSpeed);
            maxSpeed = std::max(maxSpeed, b.maxSpeed);
            minBearing = std::min<int>(minBearing, b.minBearing);
            maxBearing = std::max<int>(maxBearing, b.maxBearing);
            minTurned = std::min<int>(minTurned, b.minTurned);
            maxTurned = std::max<int>(maxTurned, b.maxTurned);
        }
        count += b.count;
    }

    void add(const HistorySample& s)
    {
        HistoryBlock one;
        one.add(0, s);
        add(one);
    }

    HistoryColumn column(qint64 firstRecord, qint64 endRecord) const
    {
        HistoryColumn c;
        c.firstRecord = firstRecord;
        c.endRecord = endRecord;
        c.count = count;
        c.firstTime = firstTime;
        c.minSpeed = minSpeed;
        c.maxSpeed = maxSpeed;
        // The turned form is only narrower when the bearings lie on both sides of north.
        if (maxTurned - minTurned < maxBearing - minBearing) {
            c.bearingLow = minTurned;
            c.bearingHigh = maxTurned;
        } else {
            c.bearingLow = minBearing;
            c.bearingHigh = maxBearing;
        }
        return c;
    }
};

void addSampleTo(HistoryTotals* t, qint64 record, const HistorySample& s)
{
    const int d = wholeDegrees(s.bearing);
    if (t->samples == 0) {
        t->firstTime = s.time;
        t->maxSpeed = s.speed;
        t->maxRecord = record;
        t->maxTime = s.time;
    } else if (s.speed > t->maxSpeed) {
        t->maxSpeed = s.speed;
        t->maxRecord = record;
        t->maxTime = s.time;
    }
    t->lastTime = s.time;
    ++t->samples;
    t->sumSpeed += s.speed;
    t->sumX += s.speed * trig().sine[d];
    t->sumY += s.speed * trig().cosine[d];
}

// Adds the figures of a later part of the span.
void mergeTotals(HistoryTotals* t, const HistoryTotals& later)
{
    t->records += later.records;
    t->exact = t->exact && later.exact;
    if (later.samples == 0)
        return;
    if (t->samples == 0 || later.maxSpeed > t->maxSpeed) {
        t->maxSpeed = later.maxSpeed;
        t->maxRecord = later.maxRecord;
        t->maxTime = later.maxTime;
    }
    if (t->samples == 0)
        t->firstTime = later.firstTime;
    t->lastTime = later.lastTime;
    t->samples += later.samples;
    t->sumSpeed += later.sumSpeed;
    t->sumX += later.sumX;
    t->sumY += later.sumY;
}

} // namespace

double speedInUnits(double value, SpeedUnitsKind from, SpeedUnitsKind to)
{
    if (from == to)
        return value;
    return value * metresPerSecond(from) / metresPerSecond(to);
}

void HistoryBlock::add(int offset, const HistorySample& s)
{
    const int d = wholeDegrees(s.bearing);
    const float speed = float(s.speed);
    sumSpeed += s.speed;
    sumX += s.speed * trig().sine[d];
    sumY += s.speed * trig().cosine[d];
    if (count == 0) {
        firstTime = s.time;
        minSpeed = maxSpeed = speed;
        maxOffset = quint16(offset);
        maxTime = s.time;
        minBearing = maxBearing = qint16(d);
        minTurned = maxTurned = turned(d);
    } else {
        minSpeed = std::min(minSpeed, speed);
        if (speed > maxSpeed) {
            maxSpeed = speed;
            maxOffset = quint16(offset);
            maxTime = s.time;
        }
        minBearing = std::min(minBearing, qint16(d));
        maxBearing = std::max(maxBearing, qint16(d));
        minTurned = std::min(minTurned, turned(d));
        maxTurned = std::max(maxTurned, turned(d));
    }
    lastTime = s.time;
    ++count;
}

void HistoryBlock::merge(const HistoryBlock& later)
{
    if (later.count == 0)
        return;
    if (count == 0) {
        *this = later;
        return;
    }
    sumSpeed += later.sumSpeed;
    sumX += later.sumX;
    sumY += later.sumY;
    lastTime = later.lastTime;
    minSpeed = std::min(minSpeed, later.minSpeed);
    if (later.maxSpeed > maxSpeed) {
        maxSpeed = later.maxSpeed;
        maxOffset = later.maxOffset;
        maxTime = later.maxTime;
    }
    minBearing = std::min(minBearing, later.minBearing);
    maxBearing = std::max(maxBearing, later.maxBearing);
    minTurned = std::min(minTurned, later.minTurned);
    maxTurned = std::max(maxTurned, later.maxTurned);
    count = quint16(count + later.count);
}

HistorySeries::HistorySeries(int blockSize) : m_blockSize(std::clamp(blockSize, 1, 65535)) {}

void HistorySeries::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_records = 0;
    m_samples = 0;
    ++m_revision;
}

qint64 HistorySeries::memoryBytes() const
{
    return qint64(sizeof(*this)) + qint64(m_blocks.capacity() * sizeof(HistoryBlock));
}

void HistorySeries::append(const HistorySample& sample)
{
    const int offset = int(m_records % m_blockSize);
    if (offset == 0)
        m_blocks.emplace_back();
    m_blocks.back().add(offset, sample);
    ++m_records;
    ++m_samples;
    ++m_revision;
}

void HistorySeries::appendBad()
{
    if (m_records % m_blockSize == 0)
        m_blocks.emplace_back();
    ++m_records;
    ++m_revision;
}

void HistorySeries::appendBlocks(qint64 count, const std::vector<HistoryBlock>& blocks)
{
    if (count <= 0 || blocks.empty())
        return;
    auto next = blocks.begin();
    if (m_records % m_blockSize != 0) {
        m_samples += next->count;
        m_blocks.back().merge(*next++);
    }
    for (; next != blocks.end(); ++next) {
        m_samples += next->count;
        m_blocks.push_back(*next);
    }
    m_records += count;
    ++m_revision;
}

void HistorySeries::addBlockTo(HistoryTotals* t, qint64 block) const
{
    const HistoryBlock& b = m_blocks[size_t(block)];
    HistoryTotals part;
    part.records = std::min<qint64>(m_blockSize, m_records - blockFirst(block));
    part.samples = b.count;
    part.sumSpeed = b.sumSpeed;
    part.sumX = b.sumX;
    part.sumY = b.sumY;
    part.firstTime = b.firstTime;
    part.lastTime = b.lastTime;
    part.maxSpeed = b.maxSpeed;
    part.maxRecord = blockFirst(block) + b.maxOffset;
    part.maxTime = b.maxTime;
    mergeTotals(t, part);
}

bool HistorySeries::addDetailTo(HistoryTotals* t, qint64 first, qint64 last) const
{
    if (!m_detail)
        return false;
    HistoryTotals part;
    part.records = last - first + 1;
    const bool read =
        m_detail->forEachSample(first, last, [&part](qint64 record, const HistorySample& s) {
            addSampleTo(&part, record, s);
        });
    if (!read)
        return false;
    mergeTotals(t, part);
    return true;
}

HistoryTotals HistorySeries::totals(qint64 first, qint64 last) const
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_records - 1);
    HistoryTotals t;
    if (first > last)
        return t;

    const qint64 firstBlock = first / m_blockSize;
    const qint64 lastBlock = last / m_blockSize;
    const bool headCut = first > blockFirst(firstBlock);
    const bool tailCut = last < std::min(blockFirst(lastBlock) + m_blockSize, m_records) - 1;

    // A block cut by an end of the span is read record by record; failing that, taken whole.
    const auto cutBlock = [&](qint64 block, qint64 from, qint64 to) {
        if (!addDetailTo(&t, from, to)) {
            addBlockTo(&t, block);
            t.exact = false;
        }
    };

    if (firstBlock == lastBlock) {
        if (headCut || tailCut)
            cutBlock(firstBlock, first, last);
        else
            addBlockTo(&t, firstBlock);
        return t;
    }
    qint64 from = firstBlock;
    if (headCut) {
        cutBlock(firstBlock, first, blockFirst(firstBlock) + m_blockSize - 1);
        ++from;
    }
    const qint64 to = tailCut ? lastBlock - 1 : lastBlock;
    for (qint64 b = from; b <= to; ++b)
        addBlockTo(&t, b);
    if (tailCut)
        cutBlock(lastBlock, blockFirst(lastBlock), last);
    return t;
}

std::vector<HistoryColumn> HistorySeries::columns(qint64 first, qint64 last, int pixelColumns) const
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_records - 1);
    std::vector<HistoryColumn> out;
    if (first > last || pixelColumns <= 0)
        return out;
    const qint64 n = last - first + 1;
    const qint64 columnCount = pixelColumns;
    out.reserve(size_t(columnCount));
    const auto columnStart = [&](qint64 c) { return first + c * n / columnCount; };
    const auto columnEnd = [&](qint64 c) {
        return std::max(columnStart(c + 1), columnStart(c) + 1);
    };

    // Few records: each one from the file, so that a block does not smear over many columns.
    if (m_detail && n <= kDetailLimit) {
        std::vector<HistorySample> samples(static_cast<size_t>(n));
        std::vector<char> good(static_cast<size_t>(n), 0);
        const bool read =
            m_detail->forEachSample(first, last, [&](qint64 record, const HistorySample& s) {
                samples[size_t(record - first)] = s;
                good[size_t(record - first)] = 1;
            });
        if (read) {
            for (qint64 c = 0; c < columnCount; ++c) {
                ColumnGather gather;
                const qint64 a = columnStart(c);
                const qint64 b = columnEnd(c);
                for (qint64 r = a; r < b; ++r) {
                    if (good[size_t(r - first)])
                        gather.add(samples[size_t(r - first)]);
                }
                out.push_back(gather.column(a, b));
            }
            return out;
        }
    }

    for (qint64 c = 0; c < columnCount; ++c) {
        ColumnGather gather;
        const qint64 a = columnStart(c);
        const qint64 b = columnEnd(c);
        const qint64 lastBlock = (b - 1) / m_blockSize;
        for (qint64 block = a / m_blockSize; block <= lastBlock; ++block)
            gather.add(m_blocks[size_t(block)]);
        out.push_back(gather.column(a, b));
    }
    return out;
}
