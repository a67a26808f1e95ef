#include "replay/ReplayIndex.h"

#include "logformat/LogFormat.h"
#include "logformat/LogLineScanner.h"
#include "logformat/LogSampleParser.h"

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
    std::vector<qint64> offsets;        // of the records 0, step, 2*step, ... among the new ones
    std::vector<HistoryRecord> records; // the new records
    bool unitsFound = false;
    QString unitsWord;
    TimeBase unitsTimeBase; // of the units line, when found
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

} // namespace

ReplayIndex::ReplayIndex(QObject* parent) : ReplayIndex(kDefaultIndexStep, parent) {}

ReplayIndex::ReplayIndex(int indexStep, QObject* parent)
    : QObject(parent), m_step(std::max(indexStep, 1))
{
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
    m_history.setTimeBase(TimeBase::Utc);
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
    m_worker = std::thread([this, path, start, generation] { runPass(path, start, generation); });
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
void ReplayIndex::runPass(const QString& path, Position pos, quint64 generation)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file.seek(pos.offset)) {
        const QString reason = openError(path, file);
        post([this, generation, pos, reason] { passDone(generation, pos, -1, reason); });
        return;
    }

    LogSampleParser parser(pos.units, pos.timeBase);
    parser.setPreviousStampMs(pos.previousStampMs);
    LogLineScanner scanner;
    scanner.reset(pos.offset, pos.skipping, pos.lineStart);
    QString error;
    qint64 fileSize = 0;
    auto portion = std::make_shared<Portion>();
    HistoryRecord record;

    // The units word and clock of the units line, from its first kMaxLineLength bytes at most.
    const auto takeUnits = [&](QByteArrayView text) {
        portion->unitsFound = true;
        portion->unitsWord = unitsWordOfLine(text);
        pos.units = speedUnitsOfUnitsWord(portion->unitsWord);
        pos.timeBase = timeBaseOfUnitsLine(text);
        pos.unitsTaken = true;
        portion->unitsTimeBase = pos.timeBase;
        parser = LogSampleParser(pos.units, pos.timeBase);
    };
    // One whole line (an overlong one comes when its end has come, without its text).
    const auto takeLine = [&](const LogLineScanner::Line& line) {
        if (pos.lines == 1) {
            if (!pos.unitsTaken)
                takeUnits(line.text);
        } else if (pos.lines >= 2) {
            const qint64 number = pos.lines - 2;
            if (number % m_step == 0)
                portion->offsets.push_back(line.offset);
            if (!line.cut && parser.parse(line.text, &record.sample)) {
                record.kind = HistoryRecord::Kind::Sample;
            } else if (!line.cut && isLogUnitsLine(line.text)) {
                // A recording resumed into the file: its stamps are on the clock it names.
                record.kind = HistoryRecord::Kind::Marker;
                parser.setTimeBase(timeBaseOfUnitsLine(line.text));
                pos.timeBase = parser.timeBase();
            } else {
                record.kind = HistoryRecord::Kind::Bad;
            }
            portion->records.push_back(record);
        }
        ++pos.lines;
    };

    while (!m_stop) {
        char* room = scanner.space(kPassChunk);
        const qint64 got = file.read(room, kPassChunk);
        scanner.commit(qsizetype(std::max<qint64>(got, 0)));
        if (got < 0) {
            error = file.errorString();
            break;
        }
        if (got == 0)
            break;
        fileSize = file.size();
        LogLineScanner::Line line;
        while (scanner.next(&line)) {
            if (line.kind != LogLineScanner::Kind::CutHead)
                takeLine(line);
            else if (pos.lines == 1 && !pos.unitsTaken)
                takeUnits(line.text); // all that is kept of an overlong units line
        }
        // An unfinished line is read again by the next pass; the skipped part of an overlong one
        // is not.
        pos.skipping = scanner.skipping();
        pos.lineStart = pos.skipping ? scanner.skipLineStart() : scanner.offset();
        pos.offset = scanner.offset();
        pos.previousStampMs = parser.previousStampMs();

        portion->generation = generation;
        portion->position = pos;
        portion->fileSize = fileSize;
        post([this, portion] { applyPortion(*portion); });
        portion = std::make_shared<Portion>();
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
        m_history.setTimeBase(portion.unitsTimeBase);
    }
    m_history.appendRecords(portion.records);
    m_position = portion.position;
    emit progress(m_position.offset, portion.fileSize);
    if (!portion.records.empty())
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
        m_history.squeeze();
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
    const qsizetype chunk = qsizetype(std::clamp<qint64>(expected, kRecordChunk, kLongRunChunk));
    LogLineScanner scanner(m_offsets[size_t(step)]);
    while (record <= last) {
        char* room = scanner.space(chunk);
        const qint64 got = m_reader->read(room, chunk);
        scanner.commit(qsizetype(std::max<qint64>(got, 0)));
        if (got < 0)
            return fail(m_reader->errorString());
        if (got == 0)
            return fail(QStringLiteral("The file has become shorter"));
        LogLineScanner::Line next;
        while (record <= last && scanner.next(&next)) {
            // An overlong line is handed on as its first part and counted when its end comes.
            if (next.kind != LogLineScanner::Kind::CutEnd && record >= first)
                line(record, next.text);
            if (next.kind != LogLineScanner::Kind::CutHead)
                ++record;
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
