#include "logfile/ReplayIndex.h"

#include "logfile/LogFormat.h"
#include "logfile/LogSampleParser.h"

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <cstring>

// What one read of the background pass found, handed to the index in the GUI thread.
struct ReplayIndex::Portion
{
    quint64 generation = 0;
    Position position; // after the portion
    qint64 fileSize = 0;
    std::vector<qint64> offsets; // of the records 0, step, 2*step, ... among the new ones
    qint64 records = 0;          // new records
    std::vector<HistoryBlock> blocks;
    bool unitsFound = false;
    QString unitsWord;
};

namespace {

// Bytes read at a time by the background pass: large reads keep the system calls few.
constexpr qsizetype kPassChunk = 4 * 1024 * 1024;
// Bytes read at a time when reading records for the display: a step of 256 records of about 36
// bytes fits in one read.
constexpr qsizetype kRecordChunk = 16 * 1024;
constexpr qsizetype kLongRunChunk = 1024 * 1024;

QString openError(const QString& path, const QFile& file)
{
    // Qt refuses folders with a wording of its own; the operator sees the system's.
    return QFileInfo(path).isDir() ? QStringLiteral("Is a directory") : file.errorString();
}

// Gathers the records of one portion into history blocks on the series' block grid.
class BlockBuilder
{
public:
    explicit BlockBuilder(int blockSize) : m_blockSize(blockSize) {}

    void add(qint64 record, const HistorySample* sample, std::vector<HistoryBlock>* blocks)
    {
        const qint64 block = record / m_blockSize;
        if (blocks->empty() || block != m_block) {
            blocks->emplace_back();
            m_block = block;
        }
        if (sample)
            blocks->back().add(int(record % m_blockSize), *sample);
    }

private:
    int m_blockSize;
    qint64 m_block = -1;
};

} // namespace

ReplayIndex::ReplayIndex(QObject* parent)
    : ReplayIndex(kDefaultIndexStep, HistorySeries::kDefaultBlockSize, parent)
{
}

ReplayIndex::ReplayIndex(int indexStep, int historyBlockSize, QObject* parent)
    : QObject(parent), m_step(std::max(indexStep, 1)), m_history(historyBlockSize)
{
    m_history.setDetailSource(this);
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, &ReplayIndex::refresh);
}

ReplayIndex::~ReplayIndex()
{
    stopPass();
}

bool ReplayIndex::open(const QString& path, QString* error)
{
    close();
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("No file name specified");
        return false;
    }
    auto reader = std::make_unique<QFile>(path);
    if (!reader->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = openError(path, *reader);
        return false;
    }
    m_reader = std::move(reader);
    startPass();
    if (m_poll.interval() > 0)
        m_poll.start();
    return true;
}

void ReplayIndex::close()
{
    stopPass();
    m_poll.stop();
    m_reader.reset();
    m_history.clear();
    m_history.setUnits(SpeedUnitsKind::MillimetresPerSecond);
    m_offsets.clear();
    m_offsets.shrink_to_fit();
    m_position = Position();
    m_unitsWord.clear();
    m_finished = false;
    m_refreshPending = false;
}

qint64 ReplayIndex::memoryBytes() const
{
    return m_history.memoryBytes() + qint64(m_offsets.capacity() * sizeof(qint64));
}

void ReplayIndex::setPollInterval(int milliseconds)
{
    if (milliseconds <= 0) {
        m_poll.stop();
        m_poll.setInterval(0);
        return;
    }
    m_poll.setInterval(milliseconds);
    if (isOpen())
        m_poll.start();
}

void ReplayIndex::refresh()
{
    if (!isOpen())
        return;
    if (isIndexing()) {
        m_refreshPending = true;
        return;
    }
    // The size is asked of the file itself each time (the handle is unbuffered). A file that has
    // become shorter than what was indexed was rewritten: nothing of it is read any more.
    if (m_reader->size() > m_position.offset)
        startPass();
}

void ReplayIndex::startPass()
{
    m_stop = false;
    m_refreshPending = false;
    const quint64 generation = ++m_generation;
    const QString path = m_reader->fileName();
    const Position start = m_position;
    const int blockSize = m_history.blockSize();
    m_worker = std::thread([this, path, start, blockSize, generation] {
        runPass(path, start, blockSize, generation);
    });
}

void ReplayIndex::stopPass()
{
    if (m_worker.joinable()) {
        m_stop = true;
        m_worker.join();
    }
    // Portions and the end of the stopped pass may still wait in the event queue: they are
    // recognised by their generation and dropped.
    ++m_generation;
}

void ReplayIndex::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

// The background pass. It touches nothing of the index but what it was given: every finding is
// posted to the GUI thread.
void ReplayIndex::runPass(const QString& path, Position pos, int blockSize, quint64 generation)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file.seek(pos.offset)) {
        const QString reason = openError(path, file);
        post([this, generation, pos, reason] { passDone(generation, pos, -1, reason); });
        return;
    }

    LogSampleParser parser(pos.units);
    BlockBuilder builder(blockSize);
    // Room for one read and the unfinished line before it.
    std::vector<char> buffer(size_t(kPassChunk + kMaxLineLength + 2));
    qsizetype carried = 0;           // bytes of the unfinished line at the buffer's start
    qint64 bufferStart = pos.offset; // file offset of buffer[0]
    QString error;
    qint64 fileSize = 0;

    auto portion = std::make_shared<Portion>();
    HistorySample sample;

    // The units word of the units line, from its first kMaxLineLength bytes at most.
    const auto takeUnits = [&](const char* text, qsizetype length) {
        portion->unitsFound = true;
        portion->unitsWord =
            unitsWordOfLine(QByteArrayView(text, std::min(length, kMaxLineLength)));
        pos.units = speedUnitsOfUnitsWord(portion->unitsWord);
        pos.unitsTaken = true;
        parser = LogSampleParser(pos.units);
    };
    // One whole line, without its LF. An overlong line that was skipped comes without its text.
    const auto takeLine = [&](const char* text, qsizetype length, bool overlong) {
        if (length > 0 && text[length - 1] == '\r')
            --length;
        overlong = overlong || length > kMaxLineLength;
        if (pos.lines == 1) {
            if (!pos.unitsTaken)
                takeUnits(text, length);
        } else if (pos.lines >= 2) {
            const qint64 record = pos.lines - 2;
            if (record % m_step == 0)
                portion->offsets.push_back(pos.lineStart);
            const bool good = !overlong && parser.parse(QByteArrayView(text, length), &sample);
            builder.add(record, good ? &sample : nullptr, &portion->blocks);
            ++portion->records;
        }
        ++pos.lines;
    };

    while (!m_stop) {
        const qint64 got = file.read(buffer.data() + carried, kPassChunk);
        if (got < 0) {
            error = file.errorString();
            break;
        }
        if (got == 0)
            break;
        fileSize = file.size();
        const char* const base = buffer.data();
        const qsizetype end = carried + qsizetype(got);
        qsizetype at = 0;

        if (pos.skipping) {
            // The rest of an overlong line: only its end matters.
            const void* lf = std::memchr(base, '\n', size_t(end));
            if (!lf) {
                at = end;
            } else {
                at = static_cast<const char*>(lf) - base + 1;
                takeLine(base, 0, true);
                pos.skipping = false;
                pos.lineStart = bufferStart + at;
            }
        }
        if (!pos.skipping) {
            while (at < end) {
                const void* lf = std::memchr(base + at, '\n', size_t(end - at));
                if (!lf)
                    break;
                const qsizetype lineEnd = static_cast<const char*>(lf) - base;
                pos.lineStart = bufferStart + at;
                takeLine(base + at, lineEnd - at, false);
                at = lineEnd + 1;
            }
            pos.lineStart = bufferStart + at;
            // An unfinished line longer than any good line (and its CR) can be is bad already;
            // the units line gives its word from its beginning, all that is kept of it.
            if (end - at > kMaxLineLength + 1) {
                if (pos.lines == 1)
                    takeUnits(base + at, kMaxLineLength);
                pos.skipping = true;
                at = end;
            }
        }
        // The unfinished line moves to the front of the buffer for the next read.
        carried = end - at;
        if (carried > 0)
            std::memmove(buffer.data(), base + at, size_t(carried));
        bufferStart += at;
        // An unfinished line is read again by the next pass; the skipped part of an overlong one
        // is not.
        pos.offset = bufferStart;

        portion->generation = generation;
        portion->position = pos;
        portion->fileSize = fileSize;
        post([this, portion] { applyPortion(*portion); });
        portion = std::make_shared<Portion>();
        builder = BlockBuilder(blockSize);
    }
    post([this, generation, pos, fileSize, error] { passDone(generation, pos, fileSize, error); });
}

void ReplayIndex::applyPortion(const Portion& portion)
{
    if (portion.generation != m_generation)
        return;
    m_offsets.insert(m_offsets.end(), portion.offsets.begin(), portion.offsets.end());
    if (portion.unitsFound) {
        m_unitsWord = portion.unitsWord;
        m_history.setUnits(portion.position.units);
    }
    m_history.appendBlocks(portion.records, portion.blocks);
    m_position = portion.position;
    emit progress(m_position.offset, portion.fileSize);
    if (portion.records > 0)
        emit countChanged(m_history.recordCount());
}

void ReplayIndex::passDone(quint64 generation, const Position& end, qint64 fileSize,
                           const QString& error)
{
    if (generation != m_generation)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_position = end;
    if (!error.isEmpty()) {
        m_poll.stop();
        emit failed(error);
        return;
    }
    if (fileSize >= 0)
        emit progress(m_position.offset, std::max(fileSize, m_position.offset));
    if (!m_finished) {
        m_finished = true;
        emit finished();
    }
    if (m_refreshPending)
        refresh();
}

bool ReplayIndex::forEachRecordLine(qint64 first, qint64 last,
                                    const std::function<void(qint64, QByteArrayView)>& line,
                                    QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!isOpen())
        return fail(QStringLiteral("File not open"));
    if (first < 0 || first > last || last >= recordCount())
        return fail(QStringLiteral("No such record"));

    const qint64 step = first / m_step;
    if (step >= qint64(m_offsets.size()) || !m_reader->seek(m_offsets[size_t(step)]))
        return fail(m_reader->errorString());
    qint64 record = step * m_step;

    // One read for a single step; reads of up to a megabyte for long runs of records.
    const qint64 expected = (last - record + 1) * 40;
    QByteArray chunk(qsizetype(std::clamp<qint64>(expected, kRecordChunk, kLongRunChunk)),
                     Qt::Uninitialized);
    QByteArray text; // a line begun in an earlier read, at most kMaxLineLength + 1 bytes of it
    const auto deliver = [&](QByteArrayView whole) {
        if (whole.endsWith('\r'))
            whole.chop(1);
        line(record, whole.first(std::min(whole.size(), kMaxLineLength)));
    };
    while (record <= last) {
        const qint64 got = m_reader->read(chunk.data(), chunk.size());
        if (got < 0)
            return fail(m_reader->errorString());
        if (got == 0)
            return fail(QStringLiteral("The file has become shorter"));
        const char* p = chunk.constData();
        const char* const end = p + got;
        while (p < end && record <= last) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = lf ? lf : end;
            // A line that lies whole in this read is handed on where it lies.
            if (lf && text.isEmpty()) {
                if (record >= first)
                    deliver(QByteArrayView(p, std::min<qsizetype>(stop - p, kMaxLineLength + 1)));
            } else if (record >= first) {
                const qsizetype room = kMaxLineLength + 1 - text.size();
                text.append(p, std::min<qsizetype>(stop - p, std::max<qsizetype>(room, 0)));
                if (lf)
                    deliver(text);
            }
            if (!lf)
                break;
            text.clear();
            ++record;
            p = lf + 1;
        }
    }
    return true;
}

QByteArray ReplayIndex::readRecordLine(qint64 record, QString* error)
{
    QByteArray out;
    forEachRecordLine(
        record, record, [&out](qint64, QByteArrayView line) { out = line.toByteArray(); }, error);
    return out;
}

bool ReplayIndex::forEachSample(qint64 first, qint64 last,
                                const std::function<void(qint64, const HistorySample&)>& sample)
{
    LogSampleParser parser(m_history.units());
    HistorySample s;
    return forEachRecordLine(first, last, [&](qint64 record, QByteArrayView line) {
        if (line.size() < kMaxLineLength && parser.parse(line, &s))
            sample(record, s);
    });
}
