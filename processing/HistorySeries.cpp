#include "history/HistorySeries.h"

#include "sensor/FlowComputation.h"

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// A record's 10-bit code: a sample's bearing (0..359 as where the flow comes from, 512 + 0..359 as
// where it goes to), or a bad record or a units line.
constexpr int kBadCode = 1023;
constexpr int kMarkerCode = 1022;
constexpr int kToFlag = 512;
constexpr quint32 kBearingMask = 1023;
constexpr int kSpeedShift = 10;
constexpr quint32 kMaxSpeedSteps = (1u << 22) - 1;
constexpr qint32 kFarTime = std::numeric_limits<qint32>::min();

// A hundredth of the last decimal the display shows in each unit.
double speedStep(SpeedUnitsKind units)
{
    switch (units) {
    case SpeedUnitsKind::MetresPerSecond:
        return 1e-5;
    case SpeedUnitsKind::Knots:
        return 1e-4;
    case SpeedUnitsKind::MillimetresPerSecond:
        return 1e-2;
    }
    return 1e-5;
}

// Bearings are whole degrees, so the components of the flow come from a table.
struct Trig
{
    std::array<double, 360> sine;
    std::array<double, 360> cosine;
    Trig()
    {
        for (int d = 0; d < 360; ++d) {
            sine[size_t(d)] = std::sin(qDegreesToRadians(double(d)));
            cosine[size_t(d)] = std::cos(qDegreesToRadians(double(d)));
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

bool isSampleCode(int code)
{
    return code < kMarkerCode && (code & (kToFlag - 1)) < 360;
}

// The bearing as recorded, in the convention the sample was recorded in.
int bearingOfCode(int code)
{
    return code & (kToFlag - 1);
}

bool isToCode(int code)
{
    return (code & kToFlag) != 0;
}

// The bearing the flow comes from, whichever convention it was recorded in: the sums of flow
// vectors are all kept in this one sense, so a run where the convention changed still adds up.
int fromBearingOfCode(int code)
{
    const int bearing = bearingOfCode(code);
    return isToCode(code) ? (bearing + 180) % 360 : bearing;
}

void addColumnSample(HistoryColumn* c, double speed, int bearing, qint64 timeMs, double* sum)
{
    const float s = float(speed);
    if (c->count == 0) {
        c->minSpeed = c->maxSpeed = s;
        c->firstTimeMs = timeMs;
    } else {
        c->minSpeed = std::min(c->minSpeed, s);
        c->maxSpeed = std::max(c->maxSpeed, s);
    }
    c->lastTimeMs = timeMs;
    c->bearingBins |= quint64(1) << (bearing * HistorySeries::kBearingBins / 360);
    *sum += speed;
    ++c->count;
}

} // namespace

double speedInUnits(double value, SpeedUnitsKind from, SpeedUnitsKind to)
{
    if (from == to)
        return value;
    return value * metresPerSecondPerUnit(from) / metresPerSecondPerUnit(to);
}

HistorySeries::HistorySeries() = default;

void HistorySeries::clear()
{
    m_records.clear();
    m_records.shrink_to_fit();
    m_chunkBase.clear();
    m_chunkBase.shrink_to_fit();
    m_farTimes.clear();
    m_levels.clear();
    m_samples = 0;
    m_markers = 0;
    m_lastTimeMs = m_minTimeMs = m_maxTimeMs = 0;
    ++m_revision;
}

qint64 HistorySeries::memoryBytes() const
{
    qint64 bytes = qint64(sizeof(*this)) + qint64(m_records.capacity() * sizeof(Packed)) +
                   qint64(m_chunkBase.capacity() * sizeof(qint64)) +
                   qint64(m_farTimes.size() * (sizeof(qint64) * 2 + sizeof(void*) * 2));
    for (const std::vector<Node>& level : m_levels)
        bytes += qint64(level.capacity() * sizeof(Node) + sizeof(level));
    return bytes;
}

qint64 HistorySeries::nodeSize(int level) const
{
    qint64 size = kLeafRecords;
    for (int l = 0; l < level; ++l)
        size *= kFanOut;
    return size;
}

void HistorySeries::addToNode(Node* node, float speed, double speedValue, int code)
{
    const int from = fromBearingOfCode(code);
    const int bearing = bearingOfCode(code);
    if (node->count == 0) {
        node->minSpeed = node->maxSpeed = speed;
    } else {
        node->minSpeed = std::min(node->minSpeed, speed);
        node->maxSpeed = std::max(node->maxSpeed, speed);
    }
    node->sumSpeed += speedValue;
    node->sumX += speedValue * trig().sine[size_t(from)];
    node->sumY += speedValue * trig().cosine[size_t(from)];
    node->bins |= quint64(1) << (bearing * kBearingBins / 360);
    ++node->count;
}

void HistorySeries::mergeNode(Node* into, const Node& from)
{
    into->markers += from.markers;
    if (from.count == 0)
        return;
    if (into->count == 0) {
        const quint32 markers = into->markers;
        *into = from;
        into->markers = markers;
        return;
    }
    into->minSpeed = std::min(into->minSpeed, from.minSpeed);
    into->maxSpeed = std::max(into->maxSpeed, from.maxSpeed);
    into->sumSpeed += from.sumSpeed;
    into->sumX += from.sumX;
    into->sumY += from.sumY;
    into->bins |= from.bins;
    into->count += from.count;
}

double HistorySeries::speedOf(const Packed& p) const
{
    return double(p.speedAndBearing >> kSpeedShift) * speedStep(m_units);
}

void HistorySeries::appendPacked(qint64 timeMs, double speed, int bearingCode)
{
    const qint64 record = recordCount();
    if ((record >> kChunkShift) >= qint64(m_chunkBase.size()))
        m_chunkBase.push_back(timeMs);
    const qint64 offset = timeMs - m_chunkBase.back();
    Packed p;
    if (offset > std::numeric_limits<qint32>::max() || offset <= kFarTime) {
        p.timeOffset = kFarTime;
        m_farTimes[record] = timeMs;
    } else {
        p.timeOffset = qint32(offset);
    }
    quint32 steps = 0;
    if (isSampleCode(bearingCode)) {
        const double s = std::round(std::max(speed, 0.0) / speedStep(m_units));
        steps = s >= double(kMaxSpeedSteps) ? kMaxSpeedSteps : quint32(s);
    }
    p.speedAndBearing = (steps << kSpeedShift) | quint32(bearingCode);
    m_records.push_back(p);

    // Nodes are made once they are complete: a span only ever uses whole nodes, so the last,
    // growing part of the series is read record by record until its node is full.
    if (m_records.size() % kLeafRecords == 0)
        completeLeaf();
    ++m_revision;
}

void HistorySeries::completeLeaf()
{
    Node leaf;
    const size_t first = m_records.size() - kLeafRecords;
    for (size_t r = first; r < m_records.size(); ++r) {
        const quint32 packed = m_records[r].speedAndBearing;
        const int code = int(packed & kBearingMask);
        leaf.markers += code == kMarkerCode;
        if (!isSampleCode(code))
            continue;
        const double value = speedOf(m_records[r]);
        addToNode(&leaf, float(value), value, code);
    }
    if (m_levels.empty())
        m_levels.emplace_back();
    m_levels[0].push_back(leaf);
    // Every kFanOut complete nodes of a level make one of the level above.
    for (size_t level = 0; m_levels[level].size() % kFanOut == 0; ++level) {
        if (level + 1 == m_levels.size())
            m_levels.emplace_back();
        Node above;
        const std::vector<Node>& below = m_levels[level];
        for (size_t i = below.size() - kFanOut; i < below.size(); ++i)
            mergeNode(&above, below[i]);
        m_levels[level + 1].push_back(above);
    }
}

void HistorySeries::append(const HistorySample& sample)
{
    if (m_samples == 0) {
        m_minTimeMs = m_maxTimeMs = sample.timeMs;
    } else {
        m_minTimeMs = std::min(m_minTimeMs, sample.timeMs);
        m_maxTimeMs = std::max(m_maxTimeMs, sample.timeMs);
    }
    m_lastTimeMs = sample.timeMs;
    ++m_samples;
    appendPacked(sample.timeMs, sample.speed,
                 wholeDegrees(sample.bearing) + (sample.bearingTo ? kToFlag : 0));
}

void HistorySeries::appendBad()
{
    appendPacked(m_lastTimeMs, 0, kBadCode);
}

void HistorySeries::appendMarker()
{
    ++m_markers;
    appendPacked(m_lastTimeMs, 0, kMarkerCode);
}

void HistorySeries::appendRecords(const std::vector<HistoryRecord>& records)
{
    for (const HistoryRecord& r : records) {
        switch (r.kind) {
        case HistoryRecord::Kind::Sample:
            append(r.sample);
            break;
        case HistoryRecord::Kind::Bad:
            appendBad();
            break;
        case HistoryRecord::Kind::Marker:
            appendMarker();
            break;
        }
    }
}

void HistorySeries::squeeze()
{
    m_records.shrink_to_fit();
    m_chunkBase.shrink_to_fit();
    for (std::vector<Node>& level : m_levels)
        level.shrink_to_fit();
}

bool HistorySeries::isSample(qint64 record) const
{
    return record >= 0 && record < recordCount() &&
           isSampleCode(int(m_records[size_t(record)].speedAndBearing & kBearingMask));
}

qint64 HistorySeries::timeMsAt(qint64 record) const
{
    const Packed& p = m_records[size_t(record)];
    if (p.timeOffset == kFarTime) {
        const auto far = m_farTimes.find(record);
        return far == m_farTimes.end() ? 0 : far->second;
    }
    return m_chunkBase[size_t(record >> kChunkShift)] + p.timeOffset;
}

HistorySample HistorySeries::sampleAt(qint64 record) const
{
    HistorySample s;
    if (record < 0 || record >= recordCount())
        return s;
    const Packed& p = m_records[size_t(record)];
    const int code = int(p.speedAndBearing & kBearingMask);
    s.timeMs = timeMsAt(record);
    if (isSampleCode(code)) {
        s.speed = speedOf(p);
        s.bearing = bearingOfCode(code);
        s.bearingTo = isToCode(code);
    }
    return s;
}

qint64 HistorySeries::recordAtOrAfter(qint64 timeMs) const
{
    qint64 low = 0, high = recordCount();
    while (low < high) {
        const qint64 mid = low + (high - low) / 2;
        if (timeMsAt(mid) < timeMs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

qint64 HistorySeries::nearestSample(qint64 timeMs) const
{
    if (m_samples == 0)
        return -1;
    const qint64 at = recordAtOrAfter(timeMs);
    qint64 after = at;
    while (after < recordCount() && !isSample(after))
        ++after;
    qint64 before = std::min(at, recordCount()) - 1;
    while (before >= 0 && !isSample(before))
        --before;
    if (after >= recordCount())
        return before;
    if (before < 0)
        return after;
    return timeMs - timeMsAt(before) <= timeMsAt(after) - timeMs ? before : after;
}

qint64 HistorySeries::typicalIntervalMs() const
{
    if (m_intervalRevision == m_revision)
        return m_typicalInterval;
    std::vector<qint64> intervals;
    const qint64 n = recordCount();
    const qint64 wanted = 4096;
    const qint64 stride = std::max<qint64>(1, n / wanted);
    for (qint64 r = 0; r + 1 < n; r += stride) {
        if (isSample(r) && isSample(r + 1))
            intervals.push_back(timeMsAt(r + 1) - timeMsAt(r));
    }
    m_typicalInterval = medianIntervalMs(&intervals);
    m_intervalRevision = m_revision;
    return m_typicalInterval;
}

template <typename NodeFn, typename RecordFn>
void HistorySeries::decompose(qint64 first, qint64 end, NodeFn node, RecordFn record) const
{
    first = std::max<qint64>(first, 0);
    end = std::min(end, recordCount());
    qint64 r = first;
    // Single records up to the first node's edge, then the largest whole nodes that fit, then
    // the single records after the last one.
    while (r < end && r % kLeafRecords != 0)
        record(r++);
    const int levels = int(m_levels.size());
    while (r + kLeafRecords <= end) {
        int level = 0;
        qint64 size = kLeafRecords;
        while (level + 1 < levels && r % (size * kFanOut) == 0 && r + size * kFanOut <= end) {
            size *= kFanOut;
            ++level;
        }
        node(level, r / size, r, r + size);
        r += size;
    }
    while (r < end)
        record(r++);
}

HistoryColumn HistorySeries::reduce(qint64 first, qint64 end) const
{
    HistoryColumn c;
    c.firstRecord = first;
    c.endRecord = end;
    double sum = 0;
    qint64 firstSample = -1, lastSample = -1;
    decompose(
        first, end,
        [&](int level, qint64 index, qint64 from, qint64 to) {
            const Node& n = m_levels[size_t(level)][size_t(index)];
            if (n.count == 0)
                return;
            if (c.count == 0) {
                c.minSpeed = n.minSpeed;
                c.maxSpeed = n.maxSpeed;
            } else {
                c.minSpeed = std::min(c.minSpeed, n.minSpeed);
                c.maxSpeed = std::max(c.maxSpeed, n.maxSpeed);
            }
            c.bearingBins |= n.bins;
            sum += n.sumSpeed;
            c.count += n.count;
            if (firstSample < 0)
                firstSample = from; // the first sample lies at or after from
            lastSample = to - 1;
        },
        [&](qint64 r) {
            const Packed& p = m_records[size_t(r)];
            const int code = int(p.speedAndBearing & kBearingMask);
            if (!isSampleCode(code))
                return;
            if (firstSample < 0)
                firstSample = r;
            lastSample = r;
            addColumnSample(&c, speedOf(p), bearingOfCode(code), 0, &sum);
        });
    if (c.count > 0) {
        c.meanSpeed = float(sum / double(c.count));
        // The first and last sample, looked for from the ends the nodes and records found.
        qint64 a = firstSample;
        while (a < end && !isSample(a))
            ++a;
        qint64 b = lastSample;
        while (b >= a && !isSample(b))
            --b;
        c.firstTimeMs = timeMsAt(a);
        c.lastTimeMs = timeMsAt(b);
    }
    return c;
}

std::vector<HistoryColumn> HistorySeries::columns(qint64 startMs, qint64 endMs,
                                                  int pixelColumns) const
{
    std::vector<HistoryColumn> out;
    if (pixelColumns <= 0 || endMs < startMs)
        return out;
    out.reserve(size_t(pixelColumns));
    const double width = double(endMs - startMs) / pixelColumns;
    qint64 from = recordAtOrAfter(startMs);
    for (int c = 0; c < pixelColumns; ++c) {
        const qint64 to = c + 1 == pixelColumns
                              ? recordAtOrAfter(endMs + 1)
                              : recordAtOrAfter(startMs + qint64(std::ceil((c + 1) * width)));
        out.push_back(reduce(from, std::max(from, to)));
        from = std::max(from, to);
    }
    return out;
}

qint64 HistorySeries::maxRecordIn(qint64 first, qint64 end, float maxSpeed) const
{
    // Down the pyramid to the first record as fast as the fastest node.
    qint64 found = -1;
    decompose(
        first, end,
        [&](int level, qint64 index, qint64 from, qint64) {
            if (found >= 0 || m_levels[size_t(level)][size_t(index)].count == 0 ||
                m_levels[size_t(level)][size_t(index)].maxSpeed != maxSpeed)
                return;
            qint64 lo = from;
            for (int l = level; l > 0; --l) {
                const qint64 childSize = nodeSize(l - 1);
                for (int k = 0; k < kFanOut; ++k) {
                    const Node& child = m_levels[size_t(l - 1)][size_t(lo / childSize)];
                    if (child.count > 0 && child.maxSpeed == maxSpeed)
                        break;
                    lo += childSize;
                }
            }
            for (qint64 r = lo; r < lo + kLeafRecords && r < recordCount(); ++r) {
                if (isSample(r) && float(sampleAt(r).speed) == maxSpeed) {
                    found = r;
                    return;
                }
            }
        },
        [&](qint64 r) {
            if (found < 0 && isSample(r) && float(sampleAt(r).speed) == maxSpeed)
                found = r;
        });
    return found;
}

HistoryTotals HistorySeries::totals(qint64 first, qint64 last) const
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, recordCount() - 1);
    HistoryTotals t;
    if (first > last)
        return t;
    t.records = last - first + 1;
    float maxSpeed = 0;
    decompose(
        first, last + 1,
        [&](int level, qint64 index, qint64, qint64) {
            const Node& n = m_levels[size_t(level)][size_t(index)];
            t.markers += n.markers;
            if (n.count == 0)
                return;
            maxSpeed = t.samples == 0 ? n.maxSpeed : std::max(maxSpeed, n.maxSpeed);
            t.samples += n.count;
            t.sumSpeed += n.sumSpeed;
            t.sumX += n.sumX;
            t.sumY += n.sumY;
        },
        [&](qint64 r) {
            const Packed& p = m_records[size_t(r)];
            const int code = int(p.speedAndBearing & kBearingMask);
            if (code == kMarkerCode)
                ++t.markers;
            if (!isSampleCode(code))
                return;
            const double speed = speedOf(p);
            maxSpeed = t.samples == 0 ? float(speed) : std::max(maxSpeed, float(speed));
            ++t.samples;
            t.sumSpeed += speed;
            const int from = fromBearingOfCode(code);
            t.sumX += speed * trig().sine[size_t(from)];
            t.sumY += speed * trig().cosine[size_t(from)];
        });
    if (t.samples == 0)
        return t;
    qint64 a = first;
    while (!isSample(a))
        ++a;
    qint64 b = last;
    while (!isSample(b))
        --b;
    t.firstTimeMs = timeMsAt(a);
    t.lastTimeMs = timeMsAt(b);
    t.maxRecord = maxRecordIn(first, last + 1, maxSpeed);
    const HistorySample fastest = sampleAt(t.maxRecord);
    t.maxSpeed = fastest.speed;
    t.maxTimeMs = fastest.timeMs;
    return t;
}
