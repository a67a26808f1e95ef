#include "history/HistorySeries.h"

#include "sensor/FlowComputation.h"

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

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

// Steps in one unit: 1 / speedStep, exactly (powers of ten that a double holds exactly).
double stepsPerUnit(SpeedUnitsKind units)
{
    switch (units) {
    case SpeedUnitsKind::MetresPerSecond:
        return 1e5;
    case SpeedUnitsKind::Knots:
        return 1e4;
    case SpeedUnitsKind::MillimetresPerSecond:
        return 1e2;
    }
    return 1e5;
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
HistorySeries::~HistorySeries() = default;

void HistorySeries::Tally::addSample(qint64 timeMs)
{
    if (samples == 0) {
        minTimeMs = maxTimeMs = timeMs;
    } else {
        minTimeMs = std::min(minTimeMs, timeMs);
        maxTimeMs = std::max(maxTimeMs, timeMs);
    }
    lastTimeMs = timeMs;
    ++samples;
}

void HistorySeries::Tally::addLater(const Tally& later)
{
    if (later.samples > 0) {
        minTimeMs = samples == 0 ? later.minTimeMs : std::min(minTimeMs, later.minTimeMs);
        maxTimeMs = samples == 0 ? later.maxTimeMs : std::max(maxTimeMs, later.maxTimeMs);
    }
    samples += later.samples;
    markers += later.markers;
    lastTimeMs = later.lastTimeMs;
}

void HistorySeries::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_count = 0;
    m_chunkBase.clear();
    m_chunkBase.shrink_to_fit();
    m_farTimes.clear();
    m_levels.clear();
    m_tally = Tally();
    m_marks.clear();
    ++m_revision;
}

HistorySeries::Block HistorySeries::newBlock()
{
    static_assert(sizeof(Packed) == 8, "eight bytes a record");
    static_assert(kBlockRecords % kLeafRecords == 0, "a leaf lies in one block");
    // Twice the size is mapped and the ends cut off, so that the block starts on a multiple of
    // its size, as a large page must.
    void* const mapped = ::mmap(nullptr, kBlockBytes * 2, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kBlockBytes - 1) & ~std::uintptr_t(kBlockBytes - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::uintptr_t end = aligned + kBlockBytes;
    if (start + kBlockBytes * 2 > end)
        ::munmap(reinterpret_cast<void*>(end), start + kBlockBytes * 2 - end);
    void* const block = reinterpret_cast<void*>(aligned);
    // Only advice: without large pages the block is taken a page at a time as it is written.
    ::madvise(block, kBlockBytes, MADV_HUGEPAGE);
    return Block(static_cast<Packed*>(block));
}

void HistorySeries::BlockRelease::operator()(Packed* block) const
{
    if (block)
        ::munmap(block, bytes);
}

void HistorySeries::restoreLastBlock()
{
    if (m_blocks.empty() || m_blocks.back().get_deleter().bytes == kBlockBytes)
        return;
    Block& last = m_blocks.back();
    void* const grown = ::mremap(last.get(), last.get_deleter().bytes, kBlockBytes, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED)
        throw std::bad_alloc();
    last.release();
    last = Block(static_cast<Packed*>(grown));
}

qint64 HistorySeries::memoryBytes() const
{
    qint64 bytes = qint64(sizeof(*this)) + qint64(m_blocks.capacity() * sizeof(m_blocks[0])) +
                   qint64(m_chunkBase.capacity() * sizeof(qint64)) +
                   qint64(m_farTimes.size() * (sizeof(qint64) * 2 + sizeof(void*) * 2));
    for (const Block& block : m_blocks)
        bytes += qint64(block.get_deleter().bytes);
    for (const NodeLevel& level : m_levels)
        bytes += level.memoryBytes();
    return bytes;
}

qint64 HistorySeries::nodeSize(int level) const
{
    qint64 size = kLeafRecords;
    for (int l = 0; l < level; ++l)
        size *= kFanOut;
    return size;
}

void HistorySeries::NodeLevel::push_back(const Node& node)
{
    const size_t in = m_size & kSegmentMask;
    if (in == 0) {
        m_segments.emplace_back(new Node[kSegmentNodes]);
        m_lastCapacity = kSegmentNodes;
    } else if (in == m_lastCapacity) {
        std::unique_ptr<Node[]> whole(new Node[kSegmentNodes]);
        std::copy(m_segments.back().get(), m_segments.back().get() + in, whole.get());
        m_segments.back() = std::move(whole);
        m_lastCapacity = kSegmentNodes;
    }
    m_segments.back()[in] = node;
    ++m_size;
}

void HistorySeries::NodeLevel::squeeze()
{
    const size_t in = m_size & kSegmentMask;
    if (in != 0 && in < m_lastCapacity) {
        std::unique_ptr<Node[]> fitted(new Node[in]);
        std::copy(m_segments.back().get(), m_segments.back().get() + in, fitted.get());
        m_segments.back() = std::move(fitted);
        m_lastCapacity = in;
    }
    m_segments.shrink_to_fit();
}

qint64 HistorySeries::NodeLevel::memoryBytes() const
{
    qint64 nodes = 0;
    if (!m_segments.empty())
        nodes = qint64((m_segments.size() - 1) * kSegmentNodes + m_lastCapacity);
    return qint64(sizeof(*this)) + qint64(m_segments.capacity() * sizeof(m_segments[0])) +
           nodes * qint64(sizeof(Node));
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

double HistorySeries::speedOf(const Packed& p, SpeedUnitsKind units)
{
    return double(p.speedAndBearing >> kSpeedShift) * speedStep(units);
}

int HistorySeries::sampleCode(const HistorySample& sample)
{
    // The bearing is already whole degrees: only turns are taken off, by integer arithmetic.
    int degrees = sample.bearing;
    if (degrees < 0 || degrees >= 360) {
        degrees %= 360;
        if (degrees < 0)
            degrees += 360;
    }
    return degrees + (sample.bearingTo ? kToFlag : 0);
}

Q_ALWAYS_INLINE HistorySeries::Packed HistorySeries::pack(qint64 timeMs, qint64 chunkBase,
                                                          double speed, int code,
                                                          SpeedUnitsKind units, bool* far)
{
    const qint64 offset = timeMs - chunkBase;
    Packed p;
    *far = offset > std::numeric_limits<qint32>::max() || offset <= kFarTime;
    p.timeOffset = *far ? kFarTime : qint32(offset);
    quint32 steps = 0;
    if (isSampleCode(code)) {
        const double value = std::max(speed, 0.0);
        // The steps are the speed divided by the step, rounded. A speed read from a log has
        // fewer decimals than a step, so it is nearly always a whole number of steps: then the
        // product by the steps per unit (one rounding of an exact product) lies within a few
        // units in the last place of that quotient, and further than a quarter from any half, so
        // both round to the same whole number, without a division. Otherwise the quotient decides.
        const double scaled = value * stepsPerUnit(units);
        if (scaled < double(kMaxSpeedSteps)) {
            const quint32 nearest = quint32(scaled + 0.5);
            const double rest = scaled - double(nearest);
            if (rest > -0.25 && rest < 0.25) {
                p.speedAndBearing = (nearest << kSpeedShift) | quint32(code);
                return p;
            }
        }
        const double s = value / speedStep(units);
        if (!(s < double(kMaxSpeedSteps))) {
            steps = kMaxSpeedSteps;
        } else {
            // Halves away from zero, as std::round, in fixed point with 31 bits after the point:
            // below 2^22 the scaling is exact, and the floor of s * 2^31 reaches (k + 1/2) * 2^31
            // exactly when s reaches k + 1/2.
            constexpr double kScale = double(1u << 31);
            steps = quint32((quint64(s * kScale) + (quint64(1) << 30)) >> 31);
        }
    }
    p.speedAndBearing = (steps << kSpeedShift) | quint32(code);
    return p;
}

HistorySeries::Node HistorySeries::leafOf(const Packed* records, SpeedUnitsKind units)
{
    // Made for every 128 records while a file is indexed: the sums are kept in locals and added
    // in record order.
    const Trig& table = trig();
    const double step = speedStep(units);
    Node leaf;
    double sumSpeed = 0, sumX = 0, sumY = 0;
    float minSpeed = 0, maxSpeed = 0;
    quint64 bins = 0;
    quint32 count = 0, markers = 0;
    for (int r = 0; r < kLeafRecords; ++r) {
        const quint32 packed = records[r].speedAndBearing;
        const int code = int(packed & kBearingMask);
        markers += code == kMarkerCode;
        if (!isSampleCode(code))
            continue;
        const double value = double(packed >> kSpeedShift) * step;
        const float speed = float(value);
        if (count == 0) {
            minSpeed = maxSpeed = speed;
        } else {
            minSpeed = std::min(minSpeed, speed);
            maxSpeed = std::max(maxSpeed, speed);
        }
        const int from = fromBearingOfCode(code);
        sumSpeed += value;
        sumX += value * table.sine[size_t(from)];
        sumY += value * table.cosine[size_t(from)];
        bins |= quint64(1) << (bearingOfCode(code) * kBearingBins / 360);
        ++count;
    }
    leaf.sumSpeed = sumSpeed;
    leaf.sumX = sumX;
    leaf.sumY = sumY;
    leaf.bins = bins;
    leaf.minSpeed = minSpeed;
    leaf.maxSpeed = maxSpeed;
    leaf.count = count;
    leaf.markers = markers;
    return leaf;
}

void HistorySeries::appendPacked(qint64 timeMs, double speed, int bearingCode)
{
    const qint64 record = m_count;
    if ((record & kChunkMask) == 0)
        m_chunkBase.push_back(timeMs);
    if ((record & kBlockMask) == 0)
        m_blocks.push_back(newBlock());
    else if (m_blocks.back().get_deleter().bytes != kBlockBytes)
        restoreLastBlock(); // squeezed: mapped whole again before it takes more

    bool far = false;
    const Packed p = pack(timeMs, m_chunkBase.back(), speed, bearingCode, m_units, &far);
    if (far)
        m_farTimes[record] = timeMs;
    m_blocks.back()[size_t(record & kBlockMask)] = p;
    ++m_count;

    // Nodes are made once they are complete: a span only ever uses whole nodes, so the last,
    // growing part of the series is read record by record until its node is full.
    if (m_count % kLeafRecords == 0)
        addLeaf(leafOf(&packedAt(m_count - kLeafRecords), m_units));
    ++m_revision;
}

void HistorySeries::addLeaf(const Node& leaf)
{
    if (m_levels.empty())
        m_levels.emplace_back();
    m_levels[0].push_back(leaf);
    // Every kFanOut complete nodes of a level make one of the level above.
    for (size_t level = 0; m_levels[level].size() % kFanOut == 0; ++level) {
        if (level + 1 == m_levels.size())
            m_levels.emplace_back();
        Node above;
        const NodeLevel& below = m_levels[level];
        for (size_t i = below.size() - kFanOut; i < below.size(); ++i)
            mergeNode(&above, below[i]);
        m_levels[level + 1].push_back(above);
    }
}

void HistorySeries::append(const HistorySample& sample)
{
    m_tally.addSample(sample.timeMs);
    appendPacked(sample.timeMs, sample.speed, sampleCode(sample));
}

void HistorySeries::appendBad()
{
    appendPacked(m_tally.lastTimeMs, 0, kBadCode);
}

void HistorySeries::appendMarker()
{
    ++m_tally.markers;
    appendPacked(m_tally.lastTimeMs, 0, kMarkerCode);
}

HistorySeries::Packer HistorySeries::packer()
{
    Packer packer;
    packer.m_units = m_units;
    packer.m_next = m_count;
    if ((m_count & kChunkMask) != 0)
        packer.m_chunkBase = m_chunkBase.back();
    if ((m_count & kBlockMask) != 0) {
        restoreLastBlock();
        packer.m_block = m_blocks.back().get();
    }
    packer.m_portion.m_firstRecord = m_count;
    packer.m_portion.m_units = m_units;
    packer.m_portion.m_tally.lastTimeMs = m_tally.lastTimeMs;
    return packer;
}

bool HistorySeries::appendPortion(Portion&& portion)
{
    if (portion.m_firstRecord != m_count)
        return false;
    // One block for every block boundary crossed: the records that complete the last block are
    // already in it.
    const qint64 end = m_count + portion.m_count;
    const qint64 begun =
        ((end + kBlockMask) >> kBlockShift) - ((m_count + kBlockMask) >> kBlockShift);
    if (qint64(portion.m_blocks.size()) != begun)
        return false;
    if (portion.isEmpty())
        return true;
    m_units = portion.m_units;
    for (Block& block : portion.m_blocks)
        m_blocks.push_back(std::move(block));
    m_count = end;
    m_chunkBase.insert(m_chunkBase.end(), portion.m_chunkBases.begin(), portion.m_chunkBases.end());
    for (const auto& [record, timeMs] : portion.m_farTimes)
        m_farTimes[record] = timeMs;
    for (const Node& leaf : portion.m_leaves)
        addLeaf(leaf);
    m_tally.addLater(portion.m_tally);
    ++m_revision;
    return true;
}

void HistorySeries::squeeze()
{
    // The last block's pages past the last record go back to the system.
    if (!m_blocks.empty() && (m_count & kBlockMask) != 0) {
        Block& last = m_blocks.back();
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        const size_t used =
            (size_t(m_count & kBlockMask) * sizeof(Packed) + page - 1) / page * page;
        if (used < last.get_deleter().bytes) {
            ::munmap(reinterpret_cast<char*>(last.get()) + used, last.get_deleter().bytes - used);
            last.get_deleter().bytes = used;
        }
    }
    m_blocks.shrink_to_fit();
    m_chunkBase.shrink_to_fit();
    for (NodeLevel& level : m_levels)
        level.squeeze();
}

Q_ALWAYS_INLINE void HistorySeries::Packer::appendPacked(qint64 timeMs, double speed, int code)
{
    if ((m_next & kChunkMask) == 0) {
        m_chunkBase = timeMs;
        m_portion.m_chunkBases.push_back(timeMs);
    }
    if ((m_next & kBlockMask) == 0) {
        m_portion.m_blocks.push_back(takeBlock());
        m_block = m_portion.m_blocks.back().get();
    }
    bool far = false;
    const Packed p = pack(timeMs, m_chunkBase, speed, code, m_units, &far);
    if (far)
        m_portion.m_farTimes.emplace_back(m_next, timeMs);
    m_block[m_next & kBlockMask] = p;
    ++m_next;
    ++m_portion.m_count;
    // A leaf never straddles two blocks: its records lie together in this one.
    if (m_next % kLeafRecords == 0)
        m_portion.m_leaves.push_back(
            leafOf(m_block + ((m_next - kLeafRecords) & kBlockMask), m_units));
}

HistorySeries::Block HistorySeries::Packer::takeBlock()
{
    Block block = m_nextBlock.valid() ? m_nextBlock.get() : newBlock();
    // Fresh memory is cleared by the system when it is first written, which takes a good part of
    // the time packing a block's records takes: the next block is taken and written to once
    // meanwhile, in a thread of its own, and is ready when the packer reaches it.
    m_nextBlock = std::async(std::launch::async, [] {
        Block next = newBlock();
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        char* const bytes = reinterpret_cast<char*>(next.get());
        for (size_t at = 0; at < kBlockBytes; at += page)
            bytes[at] = 0;
        return next;
    });
    return block;
}

void HistorySeries::Packer::append(const HistorySample& sample)
{
    m_portion.m_tally.addSample(sample.timeMs);
    appendPacked(sample.timeMs, sample.speed, sampleCode(sample));
}

void HistorySeries::Packer::appendBad()
{
    appendPacked(m_portion.m_tally.lastTimeMs, 0, kBadCode);
}

void HistorySeries::Packer::appendMarker()
{
    ++m_portion.m_tally.markers;
    appendPacked(m_portion.m_tally.lastTimeMs, 0, kMarkerCode);
}

HistorySeries::Portion HistorySeries::Packer::take()
{
    Portion next;
    next.m_firstRecord = m_next;
    next.m_units = m_units;
    next.m_tally.lastTimeMs = m_portion.m_tally.lastTimeMs;
    // Portions of one pass are alike in length: room for as many leaves and chunks as the last.
    next.m_leaves.reserve(m_portion.m_leaves.size() + 1);
    next.m_chunkBases.reserve(m_portion.m_chunkBases.size() + 1);
    std::swap(next, m_portion);
    // Packed in the units in force at the end (a units line comes before any record).
    next.m_units = m_units;
    // The block in progress goes with this portion; the packer goes on writing its rest, which
    // the series does not read until the portion that holds those records has been taken in.
    return next;
}

bool HistorySeries::isSample(qint64 record) const
{
    return record >= 0 && record < recordCount() &&
           isSampleCode(int(packedAt(record).speedAndBearing & kBearingMask));
}

qint64 HistorySeries::timeMsAt(qint64 record) const
{
    const Packed& p = packedAt(record);
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
    const Packed& p = packedAt(record);
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
    if (m_tally.samples == 0)
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
            const Packed& p = packedAt(r);
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
            const Packed& p = packedAt(r);
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
