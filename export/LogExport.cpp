#include "export/LogExport.h"

#include "export/NetCdfFile.h"
#include "logformat/LogFormat.h"
#include "logformat/LogLineScanner.h"
#include "logformat/LogSampleParser.h"
#include "logformat/StationComments.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- Reading ----------------------------------------------------------------------------------

enum class LogLineKind
{
    Blank,
    Header,
    Units,  // a units line of a known units word: a marker of the time base
    Record, // a record line whose speed, bearing and date-time read
    Bad,
};

struct LogLine
{
    LogLineKind kind = LogLineKind::Bad;
    TimeBase timeBase;                                      // Units: the clock it names
    SpeedUnitsKind units = SpeedUnitsKind::MetresPerSecond; // Record: told by its speed text
    HistorySample sample; // Record: speed in m/s, wall-clock seconds
};

// One line of a log, without its line end, as the log line scanner cut it.
LogLine readLogLine(QByteArrayView line, LogSampleParser& parser)
{
    LogLine out;
    if (line.isEmpty()) {
        out.kind = LogLineKind::Blank;
        return out;
    }
    if (isLogHeaderLine(line)) {
        out.kind = LogLineKind::Header;
        return out;
    }
    if (parser.parse(line, &out.sample)) {
        out.kind = LogLineKind::Record;
        out.units = parser.lastRecordUnits();
        return out;
    }
    // A units line as the recorder writes it; a word the program does not know makes a bad line.
    if (isLogUnitsLine(line)) {
        out.kind = LogLineKind::Units;
        out.timeBase = timeBaseOfUnitsLine(line);
    }
    return out;
}

// Opens path for reading if it is a regular file (after links). Anything else is refused without
// waiting: opening a FIFO for reading waits for a writer that may never come, and a device may
// never end. The type is looked at before opening (a device is never opened) and again on what
// was opened (the name may have been given to something else in between).
bool openRegularFile(const QString& path, QFile* file, QString* reason)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat named;
    if (native.isEmpty() || ::stat(native.constData(), &named) != 0) {
        *reason =
            native.isEmpty() ? QStringLiteral("No file name specified") : qt_error_string(errno);
        return false;
    }
    const auto notRegular = [reason](const struct stat& st) {
        *reason = S_ISDIR(st.st_mode) ? QStringLiteral("Is a directory")
                                      : QStringLiteral("not a regular file");
        return false;
    };
    if (!S_ISREG(named.st_mode))
        return notRegular(named);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = qt_error_string(errno);
        return false;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        *reason = qt_error_string(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return notRegular(opened);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *reason = file->errorString();
        return false;
    }
    return true;
}

// The good rows of a log or a data file, in file order, with the bad lines counted. Lines are cut
// by the log line scanner, as replay and the index cut them: a line longer than any a log or a
// data file holds is a bad line, passed over as it is read and never held whole, so memory stays
// bounded whatever the input.
class SpanReader
{
public:
    // assumedZone: for local times of a log that does not name their zone (invalid: the
    // computer's zone).
    explicit SpanReader(const QTimeZone& assumedZone) : m_assumed(assumedZone) {}

    bool open(const QString& path, QString* error)
    {
        QString reason;
        if (!openRegularFile(path, &m_file, &reason)) {
            *error = QStringLiteral("Cannot read %1: %2").arg(path, reason);
            return false;
        }
        m_scanner.reset(0);
        // A data file starts with its comments (or its header row); anything else is read as a
        // log, whose bad lines are then counted.
        QByteArrayView first;
        switch (readLine(&first)) {
        case Got::Line:
            m_first = first.toByteArray();
            m_hasFirst = true;
            m_dataFile = m_first.startsWith('#') || isDataFileHeaderRow(m_first);
            break;
        case Got::Overlong:
            ++m_skipped;
            break;
        case Got::End:
            break;
        }
        if (m_dataFile)
            readHead();
        return true;
    }

    bool next(DataFileRow* row)
    {
        QByteArrayView line;
        while (true) {
            if (m_hasFirst) {
                line = m_first;
                m_hasFirst = false;
            } else {
                const Got got = readLine(&line);
                if (got == Got::End)
                    return false;
                if (got == Got::Overlong) {
                    ++m_skipped;
                    continue;
                }
            }
            if (m_dataFile ? takeDataLine(line, row) : takeLogLine(line, row))
                return true;
        }
    }

    bool isDataFile() const { return m_dataFile; }
    // The comment lines at the head of a data file, without their "# ": what was recorded how.
    const QStringList& headComments() const { return m_head; }
    // What the head says of the computer's clock when the recording started ("synchronised,
    // estimated error 2 ms"); empty when it does not say.
    QString clockState() const
    {
        for (const QString& c : m_head) {
            if (c.startsWith(QLatin1String("Clock: ")))
                return c.mid(7);
        }
        return QString();
    }
    // The heading the head of a data file states (the last such line); none for a log, which
    // does not record it, and for a head that says it was not set.
    std::optional<double> heading() const
    {
        std::optional<double> heading;
        for (const QString& c : m_head)
            headingOfComment(c, &heading);
        return heading;
    }
    // The station's details the head of a data file states.
    StationDetails station() const { return stationOfComments(m_head); }
    qint64 skipped() const { return m_skipped; }
    // The clocks the rows read were stamped on, as the output states them, in order of use.
    const QStringList& clockTexts() const { return m_clockTexts; }
    bool sawLocalTime() const { return m_sawLocal; }
    // The zone local times were read in where the log named none it could be read in; empty
    // when there were none.
    QString assumedZoneId() const { return m_assumedUsed ? assumedZoneText() : QString(); }
    bool assumedZoneGiven() const { return m_assumed.isValid(); }
    QString readError() const
    {
        if (!m_readError.isEmpty())
            return m_readError;
        return m_file.error() == QFileDevice::NoError ? QString() : m_file.errorString();
    }
    // The most bytes of the input held at once.
    qint64 bytesHeld() const { return m_held; }

private:
    enum class Got
    {
        Line,     // a line, without its line end
        Overlong, // a line longer than the scanner keeps: a bad line
        End,      // the end of the file, or a read error (readError)
    };
    static constexpr qsizetype kReadChunk = 1024 * 1024;

    // The next line; its text is valid until the next call.
    Got readLine(QByteArrayView* line)
    {
        LogLineScanner::Line l;
        while (true) {
            if (m_scanner.next(&l) || (m_ended && m_scanner.takeLast(&l))) {
                // An overlong line is counted once, when its head comes (its end may never come:
                // the file may end inside it).
                if (l.kind == LogLineScanner::Kind::CutEnd)
                    continue;
                if (l.cut)
                    return Got::Overlong;
                *line = l.text;
                return Got::Line;
            }
            if (m_ended)
                return Got::End;
            char* room = m_scanner.space(kReadChunk);
            const qint64 got = m_file.read(room, kReadChunk);
            m_scanner.commit(qsizetype(std::max<qint64>(got, 0)));
            m_held = std::max<qint64>(m_held, m_scanner.pending());
            if (got < 0) {
                m_readError = m_file.errorString();
                return Got::End;
            }
            m_ended = got == 0;
        }
    }

    // The comment lines before the first line of another kind (kept as the first line to read).
    void readHead()
    {
        // A head is a few lines; more are read as rows are (skipped), not kept.
        constexpr int kMaxHeadLines = 100;
        while (m_hasFirst && m_first.startsWith('#') && m_head.size() < kMaxHeadLines) {
            m_head << QString::fromUtf8(m_first.mid(m_first.startsWith("# ") ? 2 : 1));
            QByteArrayView line;
            const Got got = readLine(&line);
            if (got == Got::Line) {
                m_first = line.toByteArray();
            } else {
                m_hasFirst = false;
                if (got == Got::Overlong)
                    ++m_skipped;
            }
        }
    }

    bool takeDataLine(QByteArrayView line, DataFileRow* row)
    {
        if (line.isEmpty() || line.startsWith('#') || isDataFileHeaderRow(line))
            return false;
        if (parseDataFileRow(line, row))
            return true;
        ++m_skipped;
        return false;
    }

    bool takeLogLine(QByteArrayView line, DataFileRow* row)
    {
        const LogLine read = readLogLine(line, m_parser);
        switch (read.kind) {
        case LogLineKind::Blank:
        case LogLineKind::Header:
            return false;
        case LogLineKind::Units:
            useClock(read.timeBase);
            return false;
        case LogLineKind::Bad:
            ++m_skipped;
            return false;
        case LogLineKind::Record:
            break;
        }
        // The parser has read the stamp on the clock of the last units line, by the same rule as
        // the history (a local time the clocks skipped, or that cannot be placed, is a bad line).
        if (!m_clockNoted)
            noteClock();
        *row = DataFileRow();
        row->timeMs = read.sample.timeMs;
        row->units = read.units;
        row->speedMs = read.sample.speed;
        row->bearing = read.sample.bearing;
        row->bearingTo = false; // a log does not say: the program's default
        return true;
    }

    // A units line: the records after it are stamped on the clock it names.
    void useClock(const TimeBase& named)
    {
        m_named = named;
        m_clockNoted = false;
        m_parser.setTimeBase(named.knowsZone() ? named : named.assuming(assumedZone()));
    }

    // The clock of the last units line, stated once it has stamped a row.
    void noteClock()
    {
        m_clockNoted = true;
        QString text;
        if (!m_named.isLocal()) {
            text = QStringLiteral("UTC");
        } else {
            m_sawLocal = true;
            const QString id = QString::fromLatin1(m_named.zoneId());
            if (m_named.knowsZone()) {
                text = QStringLiteral("local time of %1, as the log names it").arg(id);
            } else {
                m_assumedUsed = true;
                text = (id.isEmpty() ? QStringLiteral("local time of a zone the log does not name")
                                     : QStringLiteral("local time of %1, a zone this computer "
                                                      "does not know")
                                           .arg(id)) +
                       QStringLiteral(", assumed to be %1 (%2)")
                           .arg(assumedZoneText(), assumedZoneGiven()
                                                       ? QStringLiteral("the zone given")
                                                       : QStringLiteral("this computer's zone"));
            }
        }
        if (!m_clockTexts.contains(text))
            m_clockTexts << text;
    }

    QTimeZone assumedZone() const
    {
        return m_assumed.isValid() ? m_assumed : QTimeZone::systemTimeZone();
    }
    QString assumedZoneText() const { return QString::fromLatin1(assumedZone().id()); }

    QFile m_file;
    LogLineScanner m_scanner;
    bool m_ended = false;
    qint64 m_held = 0;
    QString m_readError;
    QTimeZone m_assumed;
    LogSampleParser m_parser{SpeedUnitsKind::MetresPerSecond};
    QByteArray m_first;
    bool m_hasFirst = false;
    bool m_dataFile = false;
    QStringList m_head;
    TimeBase m_named = TimeBase::Utc; // as the last units line names it
    bool m_clockNoted = false;
    QStringList m_clockTexts;
    bool m_sawLocal = false;
    bool m_assumedUsed = false;
    qint64 m_skipped = 0;
};

// ---- What the output says about its source ----------------------------------------------------

QString linesSkippedText(qint64 n)
{
    return n == 1 ? QStringLiteral("1 line skipped") : QStringLiteral("%1 lines skipped").arg(n);
}

QString spanText(const ExportOptions& o)
{
    if (!o.fromMs && !o.toMs)
        return QStringLiteral("the whole file");
    return QStringLiteral("from %1 to %2")
        .arg(o.fromMs ? isoUtcText(*o.fromMs) : QStringLiteral("the start"),
             o.toMs ? isoUtcText(*o.toMs) : QStringLiteral("the end"));
}

QString sourceText(const SpanReader& r, const QString& input)
{
    return (r.isDataFile() ? QStringLiteral("data file ") : QStringLiteral("log file ")) +
           QFileInfo(input).fileName();
}

QString conventionText(const SpanReader& r)
{
    return r.isDataFile() ? QStringLiteral("as recorded in each row")
                          : QStringLiteral("from (assumed: a log file does not record it; where "
                                           "the flow comes from is the program's default)");
}

// The heading line of a CSV export's head.
QString headingText(const SpanReader& r)
{
    if (!r.isDataFile())
        return QStringLiteral("Heading: not recorded in a log file, bearings taken as relative to "
                              "the front of the sensor");
    return headingComment(r.heading());
}

QString timeBaseText(const SpanReader& r)
{
    if (r.isDataFile())
        return QStringLiteral("UTC");
    if (!r.sawLocalTime())
        return QStringLiteral("UTC, as the log's units lines say");
    const QStringList& clocks = r.clockTexts();
    QString text = clocks.size() == 1
                       ? clocks.constFirst()
                       : QStringLiteral("partly ") + clocks.join(QStringLiteral(", partly "));
    return text + QStringLiteral("; converted to UTC by the zone's rules, stamps in the repeated "
                                 "hour of a clock change placed by their order");
}

// ---- Writers ----------------------------------------------------------------------------------

class SpanWriter
{
public:
    virtual ~SpanWriter() = default;
    virtual bool begin(const QString& path, const SpanReader& reader, const QString& input,
                       const ExportOptions& options) = 0;
    virtual void add(const DataFileRow& row) = 0;
    // A row of an event (a mark, the device lost or back, an alarm) of a data file.
    virtual void addMark(const DataFileRow& row) = 0;
    // Writes what is known only at the end and gives the file its name.
    virtual bool finish(const SpanReader& reader, const QString& input,
                        const ExportOptions& options) = 0;
    virtual QString error() const = 0;
};

// Work handed to a thread of its own, one piece at a time, in order: a piece is taken while the
// one before is still being done, and post waits only while one is waiting to be taken. The
// writers make and write their output on it while the thread that posts the rows goes on
// reading; that thread touches the output itself only after wait (the netCDF library, for one,
// is never called from two threads at once).
class BackgroundWork
{
public:
    BackgroundWork() = default;
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;
    ~BackgroundWork()
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void post(std::function<void()> work)
    {
        if (!m_thread.joinable() && !m_here) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                m_here = true; // no thread to be had: the work is done by the caller, in order
            }
        }
        if (m_here) {
            work();
            return;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_waiting; });
        m_waiting = std::move(work);
        m_changed.notify_all();
    }

    // Until everything posted is done.
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_waiting && !m_busy; });
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (true) {
            m_changed.wait(lock, [this] { return m_waiting || m_stopping; });
            if (!m_waiting)
                return; // stopping, with nothing left to do
            std::function<void()> work = std::move(m_waiting);
            m_waiting = nullptr;
            m_busy = true;
            m_changed.notify_all();
            lock.unlock();
            work();
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_waiting;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_here = false; // the work is done in post
    std::thread m_thread;
};

class CsvSpanWriter : public SpanWriter
{
public:
    bool begin(const QString& path, const SpanReader& reader, const QString& input,
               const ExportOptions& options) override
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            m_error = m_file.errorString();
            return false;
        }
        QStringList head = {QStringLiteral("Marvane %1 data file, exported by %2")
                                .arg(QStringLiteral(MARVANE_VERSION), options.program)};
        head << stationComments(options.station.value_or(reader.station()));
        head << QStringList{
            QStringLiteral("Source: ") + sourceText(reader, input),
            QStringLiteral("Span: ") + spanText(options),
            QStringLiteral("Bearing convention: ") + conventionText(reader),
        };
        if (!reader.clockState().isEmpty())
            head << QStringLiteral("Clock: ") + reader.clockState();
        head << headingText(reader);
        head << (reader.isDataFile()
                     ? QStringLiteral(
                           "Times below: UTC; convention and face: in force for each row")
                     : QStringLiteral("Times below: UTC; x, y and face are empty: a log file does "
                                      "not keep them"));
        m_rows = dataFileCommentLines(head) + dataFileHeaderRow();
        m_rows.reserve(kWriteSize + 4096);
        return true;
    }
    // Rows are made into text on a thread of their own while the next ones are read, in one
    // buffer written a megabyte at a time.
    void add(const DataFileRow& row) override
    {
        m_batch.push_back(row);
        if (m_batch.size() >= kBatchRows)
            postBatch();
    }
    // Kept as rows of their own, in place, as the data file has them.
    void addMark(const DataFileRow& row) override { add(row); }
    bool finish(const SpanReader&, const QString&, const ExportOptions&) override
    {
        // What is known only once the whole input is read (lines skipped, the clocks of a log's
        // stamps) is not written here: a "#" line after the rows is a row to many readers. It is
        // in the result, for standard error or the window.
        postBatch();
        m_writing.wait(); // the file is this thread's again
        writeRows();
        if (!m_error.isEmpty())
            return false; // the file, never committed, is removed
        if (!m_file.commit()) {
            if (m_error.isEmpty())
                m_error = m_file.errorString();
            return false;
        }
        return true;
    }
    QString error() const override { return m_error; }

private:
    static constexpr qsizetype kWriteSize = 1024 * 1024;
    static constexpr qint64 kWritebackStep = 8 * 1024 * 1024;
    static constexpr size_t kBatchRows = 16384;

    void postBatch()
    {
        m_writing.post([this, rows = std::move(m_batch)]() mutable {
            for (const DataFileRow& row : rows) {
                appendDataFileRowLine(&m_rows, row);
                if (m_rows.size() >= kWriteSize)
                    writeRows();
            }
            rows.clear();
            const std::lock_guard<std::mutex> lock(m_spareMutex);
            m_spare.push_back(std::move(rows));
        });
        // The batches' memory goes round (new memory each time costs the system more than the
        // rows take to make).
        m_batch.clear(); // moved from
        const std::lock_guard<std::mutex> lock(m_spareMutex);
        if (!m_spare.empty()) {
            m_batch = std::move(m_spare.back());
            m_spare.pop_back();
        } else {
            m_batch.reserve(kBatchRows);
        }
    }

    void writeRows()
    {
        // A write cut short (a file size limit reached) is followed by one for the rest, which
        // fails with the system's reason; commit then fails and leaves nothing behind.
        const char* rest = m_rows.constData();
        qint64 left = m_rows.size();
        while (left > 0) {
            const qint64 written = m_file.write(rest, left);
            if (written <= 0) {
                if (m_error.isEmpty()) // the reason, which commit does not keep
                    m_error = m_file.errorString();
                break;
            }
            rest += written;
            left -= written;
        }
        m_written += m_rows.size();
        m_rows.resize(0); // the buffer is kept for the next rows
        // The disk is set to work on what was written as it comes (without waiting for it), so
        // that the sync before the file takes its name (in commit) finds little left to do.
        if (m_written - m_queued >= kWritebackStep) {
            ::sync_file_range(m_file.handle(), m_queued, m_written - m_queued,
                              SYNC_FILE_RANGE_WRITE);
            m_queued = m_written;
        }
    }

    QSaveFile m_file;
    QByteArray m_rows;
    qint64 m_written = 0;             // bytes handed to the file
    qint64 m_queued = 0;              // of them, given to the disk to write
    std::vector<DataFileRow> m_batch; // rows not yet handed to the thread
    std::mutex m_spareMutex;
    std::vector<std::vector<DataFileRow>> m_spare; // batches written, for more rows
    // Last, so that it is stopped (its work done) before the file goes.
    BackgroundWork m_writing;
    QString m_error;
};

// The netCDF file is one time series (CF discrete sampling geometry, featureType "timeSeries",
// a single feature). Where the times strictly increase (a data file: arrival times to the
// millisecond), time is its coordinate variable, time(time), and sel, interp and align work on
// it. Where they do not (a log: its stamps are whole seconds, which a sensor sending once a
// second or faster repeats; or a clock set back during a recording), a coordinate variable would
// break CF and every reader that needs a unique index: the samples then lie along an "obs"
// dimension and time(obs) is an auxiliary coordinate, named by each variable's coordinates
// attribute.
enum class TimeLayout
{
    Coordinate,   // dimension time, coordinate variable time(time)
    Observations, // dimension obs, auxiliary coordinate time(obs)
};

// A row's units as the record_units flag: 0 m/s, 1 knots, 2 mm/s, as its flag_meanings say.
qint8 unitsFlag(SpeedUnitsKind units)
{
    switch (units) {
    case SpeedUnitsKind::MetresPerSecond:
        return 0;
    case SpeedUnitsKind::Knots:
        return 1;
    case SpeedUnitsKind::MillimetresPerSecond:
        break;
    }
    return 2;
}

class NetCdfSpanWriter : public SpanWriter
{
public:
    bool begin(const QString& path, const SpanReader& reader, const QString& input,
               const ExportOptions& options) override
    {
        m_path = path;
        m_station = options.station.value_or(reader.station());
        m_withRecord = reader.isDataFile();
        m_source = sourceText(reader, input);
        m_convention = conventionText(reader);
        m_seriesId = QFileInfo(input).fileName();
        m_heading = reader.heading();
        m_headingText = headingText(reader).mid(9); // without "Heading: "
        // The file is defined with the first rows in hand (see flush).
        return true;
    }

    void add(const DataFileRow& row) override
    {
        if (m_rows > 0 && row.timeMs <= m_lastTimeMs)
            m_increasing = false;
        m_lastTimeMs = row.timeMs;
        ++m_rows;
        m_times.push_back(double(row.timeMs) / 1000.0);
        m_speeds.push_back(row.speedMs);
        // Below 720 the turn is one exact subtraction, which is what fmod gives.
        const double turned = row.bearing + (row.bearingTo ? 0.0 : 180.0);
        const double towards = turned >= 360.0 && turned < 720.0 ? turned - 360.0
                               : turned >= 0.0 && turned < 360.0 ? turned
                                                                 : std::fmod(turned, 360.0);
        m_directions.push_back(towards);
        if (m_heading) {
            // Bearings turned by a heading are true: the flow's components east and north.
            const double radians = towards * M_PI / 180.0;
            m_easts.push_back(row.speedMs * std::sin(radians));
            m_norths.push_back(row.speedMs * std::cos(radians));
        }
        m_bearings.push_back(row.bearing);
        m_conventions.push_back(row.bearingTo ? 1 : 0);
        m_unitCodes.push_back(unitsFlag(row.units));
        if (m_withRecord) {
            const double nan = std::numeric_limits<double>::quiet_NaN();
            m_xs.push_back(row.xMs.value_or(nan));
            m_ys.push_back(row.yMs.value_or(nan));
            m_faces.push_back(row.faceUp ? (*row.faceUp ? 1 : 0) : -1);
        }
        if (m_times.size() >= kChunk)
            flush();
    }

    void addMark(const DataFileRow& row) override
    {
        m_markTimes.push_back(double(row.timeMs) / 1000.0);
        m_markNotes.push_back(row.note);
    }

    bool finish(const SpanReader& reader, const QString& input,
                const ExportOptions& options) override
    {
        flush();
        m_putter.wait(); // the library is this thread's again
        const TimeLayout wanted = m_increasing ? TimeLayout::Coordinate : TimeLayout::Observations;
        if (wanted != m_layout && !relayout(wanted))
            return false;
        m_nc->redefine();
        defineMarks();
        m_nc->setAttribute(NetCdfFile::kGlobal, "time_base", timeBaseText(reader));
        // How far the times can be trusted: the computer's clock as the recording found it.
        if (!reader.clockState().isEmpty())
            m_nc->setAttribute(NetCdfFile::kGlobal, "computer_clock", reader.clockState());
        m_nc->setAttribute(NetCdfFile::kGlobal, "history",
                           QStringLiteral("%1 %2: %3 (%4) to %5; time stamps: %6; %7")
                               .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                                    options.program, sourceText(reader, input), spanText(options),
                                    QFileInfo(m_path).fileName(), timeBaseText(reader),
                                    linesSkippedText(reader.skipped())));
        m_nc->endDefinitions();
        if (m_markTimeVar >= 0) {
            m_nc->putDoubles(m_markTimeVar, 0, m_markTimes);
            m_nc->putTexts(m_markNoteVar, 0, m_markNotes);
        }
        return m_nc->commit();
    }

    QString error() const override
    {
        return !m_error.isEmpty() ? m_error : m_nc ? m_nc->errorText() : QString();
    }

private:
    static constexpr size_t kChunk = 16384;

    struct Variables
    {
        int time = -1, speed = -1, direction = -1, recorded = -1, east = -1, north = -1,
            convention = -1, units = -1, x = -1, y = -1, face = -1;
        // Of the same type, in the same order in every file: for copying from one to another.
        std::vector<int> doubles() const
        {
            std::vector<int> v = {time, speed, direction, recorded};
            if (east >= 0)
                v.insert(v.end(), {east, north});
            if (x >= 0)
                v.insert(v.end(), {x, y});
            return v;
        }
        std::vector<int> bytes() const
        {
            std::vector<int> v = {convention, units};
            if (face >= 0)
                v.push_back(face);
            return v;
        }
    };

    // Everything known before the first row, in the given layout; leaves define mode. The
    // variables are defined in the order a reader looks for them (tools list them so): time,
    // speed and direction, the components, then the flags and the series' identifier.
    bool define(NetCdfFile& nc, TimeLayout layout, Variables* v) const
    {
        if (!nc.create(m_path))
            return false;
        const bool coordinate = layout == TimeLayout::Coordinate;
        const int samples = nc.defineDimension(coordinate ? "time" : "obs", 0);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double noByte = -1;
        // The variables' coordinates: the series' identifier, and time where it is no
        // coordinate variable; with a station, its position (time always named then).
        const bool station = !m_station.isEmpty();
        QStringList named;
        if (!coordinate ||
            (station && (m_station.latitude || m_station.longitude || m_station.depth)))
            named << QStringLiteral("time");
        if (m_station.latitude)
            named << QStringLiteral("lat");
        if (m_station.longitude)
            named << QStringLiteral("lon");
        if (m_station.depth)
            named << QStringLiteral("depth");
        named << (station ? QStringLiteral("station") : QStringLiteral("series_id"));
        const QString coordinates = named.join(QLatin1Char(' '));
        const auto dataVariable = [&](const char* name, NetCdfFile::Type type,
                                      const double* fill = nullptr) {
            const int id = nc.defineVariable(name, type, samples, kChunk, fill);
            nc.setAttribute(id, "coordinates", coordinates);
            return id;
        };

        v->time = nc.defineVariable("time", NetCdfFile::Type::Double, samples, kChunk);
        nc.setAttribute(v->time, "standard_name", QStringLiteral("time"));
        nc.setAttribute(v->time, "long_name", QStringLiteral("time of the sample"));
        nc.setAttribute(v->time, "units", QStringLiteral("seconds since 1970-01-01 00:00:00 UTC"));
        nc.setAttribute(v->time, "calendar", QStringLiteral("standard"));
        if (coordinate) {
            nc.setAttribute(v->time, "axis", QStringLiteral("T"));
        } else {
            nc.setAttribute(v->time, "comment",
                            QStringLiteral("In the order recorded. The times do not strictly "
                                           "increase (a log's stamps are whole seconds, which "
                                           "samples of one second share), so time is an "
                                           "auxiliary coordinate along obs, not a coordinate "
                                           "variable."));
        }

        v->speed = dataVariable("sea_water_speed", NetCdfFile::Type::Double);
        nc.setAttribute(v->speed, "standard_name", QStringLiteral("sea_water_speed"));
        nc.setAttribute(v->speed, "long_name", QStringLiteral("flow speed"));
        nc.setAttribute(v->speed, "units", QStringLiteral("m s-1"));

        // One direction for the whole file, whatever the convention of each sample: where the
        // flow goes, the convention of the standard name. The standard name means a bearing
        // clockwise from true north: only a heading makes the sensor's bearing one. Without it
        // the direction is relative to the sensor's front, and says so with no standard name,
        // so that no tool takes it for a true direction.
        v->direction = dataVariable("direction_of_sea_water_velocity", NetCdfFile::Type::Double);
        if (m_heading) {
            nc.setAttribute(v->direction, "standard_name",
                            QStringLiteral("sea_water_velocity_to_direction"));
            nc.setAttribute(v->direction, "long_name",
                            QStringLiteral("direction the flow goes to, clockwise from true "
                                           "north"));
        } else {
            nc.setAttribute(v->direction, "long_name",
                            QStringLiteral("direction the flow goes to, clockwise, relative to "
                                           "the front of the sensor"));
        }
        nc.setAttribute(v->direction, "units", QStringLiteral("degree"));
        nc.setAttribute(v->direction, "comment",
                        (m_heading ? QStringLiteral("The sensor's bearing turned by its heading "
                                                    "(see sensor_heading). ")
                                   : QStringLiteral("No heading was set (see sensor_heading): "
                                                    "0 is the front of the sensor, not north. ")) +
                            QStringLiteral("Bearings recorded as where the flow comes from are "
                                           "turned by 180 degrees; bearing_as_recorded keeps "
                                           "them as recorded."));

        v->recorded = dataVariable("bearing_as_recorded", NetCdfFile::Type::Double);
        nc.setAttribute(v->recorded, "long_name", QStringLiteral("flow bearing as recorded"));
        nc.setAttribute(v->recorded, "units", QStringLiteral("degree"));
        nc.setAttribute(v->recorded, "comment",
                        QStringLiteral("in the convention given by bearing_convention"));

        if (m_heading) {
            v->east = dataVariable("eastward_sea_water_velocity", NetCdfFile::Type::Double);
            nc.setAttribute(v->east, "standard_name",
                            QStringLiteral("eastward_sea_water_velocity"));
            nc.setAttribute(v->east, "long_name", QStringLiteral("eastward flow"));
            nc.setAttribute(v->east, "units", QStringLiteral("m s-1"));
            v->north = dataVariable("northward_sea_water_velocity", NetCdfFile::Type::Double);
            nc.setAttribute(v->north, "standard_name",
                            QStringLiteral("northward_sea_water_velocity"));
            nc.setAttribute(v->north, "long_name", QStringLiteral("northward flow"));
            nc.setAttribute(v->north, "units", QStringLiteral("m s-1"));
        }

        if (m_withRecord) {
            v->x = dataVariable("x_velocity", NetCdfFile::Type::Double, &nan);
            nc.setAttribute(v->x, "long_name",
                            QStringLiteral("X component of the flow across the sensor's face, "
                                           "sign as received"));
            nc.setAttribute(v->x, "units", QStringLiteral("m s-1"));
            v->y = dataVariable("y_velocity", NetCdfFile::Type::Double, &nan);
            nc.setAttribute(v->y, "long_name",
                            QStringLiteral("Y component of the flow across the sensor's face, "
                                           "sign as received"));
            nc.setAttribute(v->y, "units", QStringLiteral("m s-1"));
        }

        v->convention = dataVariable("bearing_convention", NetCdfFile::Type::Byte);
        nc.setAttribute(v->convention, "long_name",
                        QStringLiteral("convention of bearing_as_recorded"));
        nc.setAttribute(v->convention, "flag_values", std::vector<qint8>{0, 1});
        nc.setAttribute(v->convention, "flag_meanings", QStringLiteral("from to"));
        if (!m_withRecord) {
            nc.setAttribute(v->convention, "comment",
                            QStringLiteral("assumed from: a log file does not record the "
                                           "convention; from is the program's default"));
        }

        v->units = dataVariable("record_units", NetCdfFile::Type::Byte);
        nc.setAttribute(v->units, "long_name", QStringLiteral("speed units of the record"));
        nc.setAttribute(v->units, "flag_values", std::vector<qint8>{0, 1, 2});
        nc.setAttribute(v->units, "flag_meanings",
                        QStringLiteral("metres_per_second knots millimetres_per_second"));

        if (m_withRecord) {
            v->face = dataVariable("face", NetCdfFile::Type::Byte, &noByte);
            nc.setAttribute(v->face, "long_name",
                            QStringLiteral("sensor face in force (up: X changes sign)"));
            nc.setAttribute(v->face, "flag_values", std::vector<qint8>{0, 1});
            nc.setAttribute(v->face, "flag_meanings", QStringLiteral("down up"));
        }

        const int series = nc.defineScalarText(station ? "station" : "series_id");
        nc.setAttribute(series, "cf_role", QStringLiteral("timeseries_id"));
        QString seriesId = m_seriesId;
        if (!station) {
            nc.setAttribute(series, "long_name",
                            QStringLiteral("the file the time series was exported from"));
        } else if (!m_station.id.isEmpty()) {
            seriesId = m_station.id;
            nc.setAttribute(series, "long_name", QStringLiteral("station id"));
        } else if (!m_station.name.isEmpty()) {
            seriesId = m_station.name;
            nc.setAttribute(series, "long_name", QStringLiteral("station name"));
        } else {
            nc.setAttribute(series, "long_name",
                            QStringLiteral("the file the time series was exported from (the "
                                           "station has no id or name)"));
        }
        const std::vector<std::pair<int, double>> position = definePosition(nc);

        nc.setAttribute(NetCdfFile::kGlobal, "Conventions", QStringLiteral("CF-1.8"));
        nc.setAttribute(NetCdfFile::kGlobal, "featureType", QStringLiteral("timeSeries"));
        nc.setAttribute(NetCdfFile::kGlobal, "title",
                        QStringLiteral("Flow speed and direction from a two-axis flow sensor"));
        nc.setAttribute(
            NetCdfFile::kGlobal, "source",
            QStringLiteral("Marvane %1, %2").arg(QStringLiteral(MARVANE_VERSION), m_source));
        nc.setAttribute(NetCdfFile::kGlobal, "bearing_convention", m_convention);
        nc.setAttribute(NetCdfFile::kGlobal, "sensor_heading", m_headingText);
        if (m_heading)
            nc.setAttribute(NetCdfFile::kGlobal, "sensor_heading_degrees_true", *m_heading);
        const auto global = [&nc](const char* name, const QString& text) {
            if (!text.isEmpty())
                nc.setAttribute(NetCdfFile::kGlobal, name, text);
        };
        global("station_name", m_station.name);
        global("station_id", m_station.id);
        global("instrument", m_station.instrument);
        global("instrument_serial_number", m_station.serialNumber);
        global("institution", m_station.institution);
        nc.endDefinitions();
        nc.putText(series, seriesId);
        for (const auto& [variable, value] : position)
            nc.putScalar(variable, value);
        return nc.ok();
    }

    // The events of the span (marks, the device lost or back, alarms), along a dimension of
    // their own: mark_time, on the samples' time units, and mark_note, its words as the data
    // file has them. Nothing without events.
    void defineMarks()
    {
        if (m_markTimes.empty())
            return;
        const int marks = m_nc->defineDimension("mark", m_markTimes.size());
        m_markTimeVar =
            m_nc->defineVariable("mark_time", NetCdfFile::Type::Double, marks, m_markTimes.size());
        const int time = m_markTimeVar;
        m_nc->setAttribute(time, "long_name",
                           QStringLiteral("time of an event marked during the recording"));
        m_nc->setAttribute(time, "units", QStringLiteral("seconds since 1970-01-01 00:00:00 UTC"));
        m_nc->setAttribute(time, "calendar", QStringLiteral("standard"));
        m_markNoteVar = m_nc->defineTextVariable("mark_note", marks);
        const int note = m_markNoteVar;
        m_nc->setAttribute(note, "long_name", QStringLiteral("what happened at mark_time"));
        m_nc->setAttribute(note, "comment",
                           QStringLiteral("\"mark\" or \"mark: <the operator's note>\", \"device "
                                          "lost\", \"device back\", \"alarm raised: ...\", "
                                          "\"alarm cleared: ...\""));
    }

    // The station's position, scalar variables for those known (lat, lon, depth); the ids with
    // their values, for writing once out of define mode.
    std::vector<std::pair<int, double>> definePosition(NetCdfFile& nc) const
    {
        struct Coordinate
        {
            const char* name;
            std::optional<double> StationDetails::*value;
            const char* standardName;
            const char* longName;
            const char* units;
            const char* axis;
        };
        static const Coordinate kCoordinates[] = {
            {"lat", &StationDetails::latitude, "latitude", "station latitude", "degrees_north",
             "Y"},
            {"lon", &StationDetails::longitude, "longitude", "station longitude", "degrees_east",
             "X"},
            {"depth", &StationDetails::depth, "depth", "depth of the sensor", "m", "Z"},
        };
        std::vector<std::pair<int, double>> values;
        for (const Coordinate& c : kCoordinates) {
            const std::optional<double>& value = m_station.*c.value;
            if (!value)
                continue;
            const int id = nc.defineScalar(c.name, NetCdfFile::Type::Double);
            nc.setAttribute(id, "standard_name", QString::fromLatin1(c.standardName));
            nc.setAttribute(id, "long_name", QString::fromLatin1(c.longName));
            nc.setAttribute(id, "units", QString::fromLatin1(c.units));
            if (c.value == &StationDetails::depth)
                nc.setAttribute(id, "positive", QStringLiteral("down"));
            nc.setAttribute(id, "axis", QString::fromLatin1(c.axis));
            values.emplace_back(id, *value);
        }
        return values;
    }

    // The rows written so far, copied into a new file of the other layout.
    bool relayout(TimeLayout layout)
    {
        auto next = std::make_unique<NetCdfFile>();
        Variables vars;
        if (!define(*next, layout, &vars)) {
            m_error = next->errorText();
            return false;
        }
        const std::vector<int> fromDoubles = m_vars.doubles(), toDoubles = vars.doubles();
        const std::vector<int> fromBytes = m_vars.bytes(), toBytes = vars.bytes();
        for (size_t start = 0; start < m_written; start += kChunk) {
            const size_t count = std::min(kChunk, m_written - start);
            for (size_t i = 0; i < fromDoubles.size(); ++i)
                next->putDoubles(toDoubles[i], start,
                                 m_nc->getDoubles(fromDoubles[i], start, count));
            for (size_t i = 0; i < fromBytes.size(); ++i)
                next->putBytes(toBytes[i], start, m_nc->getBytes(fromBytes[i], start, count));
        }
        if (!m_nc->ok() || !next->ok()) {
            m_error = !m_nc->ok() ? m_nc->errorText() : next->errorText();
            return false;
        }
        m_nc = std::move(next); // the first file is dropped unwritten
        m_vars = vars;
        m_layout = layout;
        return true;
    }

    void flush()
    {
        if (!m_nc) {
            // The layout the first rows ask for: rarely wrong, and made good at the end when it
            // is (a repeat further on), at the cost of a copy.
            m_layout = m_increasing ? TimeLayout::Coordinate : TimeLayout::Observations;
            m_nc = std::make_unique<NetCdfFile>();
            define(*m_nc, m_layout, &m_vars);
        }
        const size_t count = m_times.size();
        // The library compresses and writes these rows on a thread of its own while the next
        // ones are read.
        m_putter.post([nc = m_nc.get(), vars = m_vars, start = m_written,
                       heading = m_heading.has_value(), withRecord = m_withRecord,
                       times = std::move(m_times), speeds = std::move(m_speeds),
                       directions = std::move(m_directions), bearings = std::move(m_bearings),
                       easts = std::move(m_easts), norths = std::move(m_norths),
                       conventions = std::move(m_conventions), unitCodes = std::move(m_unitCodes),
                       xs = std::move(m_xs), ys = std::move(m_ys), faces = std::move(m_faces)] {
            nc->putDoubles(vars.time, start, times);
            nc->putDoubles(vars.speed, start, speeds);
            nc->putDoubles(vars.direction, start, directions);
            nc->putDoubles(vars.recorded, start, bearings);
            if (heading) {
                nc->putDoubles(vars.east, start, easts);
                nc->putDoubles(vars.north, start, norths);
            }
            nc->putBytes(vars.convention, start, conventions);
            nc->putBytes(vars.units, start, unitCodes);
            if (withRecord) {
                nc->putDoubles(vars.x, start, xs);
                nc->putDoubles(vars.y, start, ys);
                nc->putBytes(vars.face, start, faces);
            }
        });
        m_written += count;
        for (auto* v :
             {&m_times, &m_speeds, &m_directions, &m_bearings, &m_easts, &m_norths, &m_xs, &m_ys}) {
            v->clear(); // moved from
            v->reserve(kChunk);
        }
        for (auto* v : {&m_conventions, &m_unitCodes, &m_faces}) {
            v->clear();
            v->reserve(kChunk);
        }
    }

    std::unique_ptr<NetCdfFile> m_nc;
    QString m_path;
    QString m_source;
    QString m_convention;
    QString m_seriesId;
    QString m_error;
    bool m_withRecord = false;
    TimeLayout m_layout = TimeLayout::Coordinate;
    Variables m_vars;
    bool m_increasing = true; // every time so far later than the one before
    qint64 m_lastTimeMs = 0;
    qint64 m_rows = 0;
    size_t m_written = 0;
    std::optional<double> m_heading; // as the source states it; none: not set, or not known
    QString m_headingText;
    StationDetails m_station;
    std::vector<double> m_times, m_speeds, m_directions, m_bearings, m_easts, m_norths, m_xs, m_ys;
    std::vector<qint8> m_conventions, m_unitCodes, m_faces;
    std::vector<double> m_markTimes;
    std::vector<QString> m_markNotes;
    int m_markTimeVar = -1;
    int m_markNoteVar = -1;
    // Last, so that it is stopped (its work done) before the file goes.
    BackgroundWork m_putter;
};

// ---- The span ---------------------------------------------------------------------------------

ExportResult failure(ExportResult::Status status, const QString& error)
{
    ExportResult r;
    r.status = status;
    r.error = error;
    return r;
}

QString emptySpanText(const QString& input, const ExportOptions& options)
{
    if (!options.fromMs && !options.toMs)
        return QStringLiteral("No samples in %1").arg(input);
    return QStringLiteral("No samples in %1 %2").arg(input, spanText(options));
}

// What a reading of a span gathers besides its counts.
enum class Gather
{
    Counts,     // an export: the rows go to the writer, their statistics are not asked for
    Statistics, // a summary: the statistics of the samples too
};

// Reads the span of reader, giving each of its samples to take and each of its events to mark;
// fills the counts, and with Gather::Statistics the statistics (of the samples alone).
template <typename Take, typename Mark>
void readSpan(SpanReader& reader, const ExportOptions& options, ExportResult* result,
              Gather gather, Take take, Mark mark)
{
    SpanStatisticsBuilder statistics;
    qint64 badInSpan = 0;
    qint64 skippedBefore = 0; // at the last row of the span
    DataFileRow row;
    while (reader.next(&row)) {
        if ((options.fromMs && row.timeMs < *options.fromMs) ||
            (options.toMs && row.timeMs > *options.toMs))
            continue;
        if (row.event) {
            mark(row);
            continue;
        }
        // Bad lines count in the span's statistics when they stand among its samples (or, for
        // the whole file, anywhere).
        if (result->samples > 0 || !options.fromMs)
            badInSpan += reader.skipped() - skippedBefore;
        skippedBefore = reader.skipped();
        ++result->samples;
        if (gather == Gather::Statistics)
            statistics.add(SpanSample{row.timeMs, row.speedMs, row.bearing, row.bearingTo});
        take(row);
    }
    if (!options.toMs)
        badInSpan += reader.skipped() - skippedBefore;
    result->skippedLines = reader.skipped();
    result->inputBytesHeld = reader.bytesHeld();
    result->statistics = statistics.result(badInSpan);
    result->assumedZone = reader.assumedZoneId();
    if (reader.sawLocalTime())
        result->sourceTimes = timeBaseText(reader);
    result->assumedZoneGiven = reader.assumedZoneGiven();
}

} // namespace

StationDetails stationDetailsOfFile(const QString& input)
{
    SpanReader reader{QTimeZone()};
    QString error;
    if (!reader.open(input, &error))
        return StationDetails();
    return reader.station();
}

std::optional<ExportFormat> exportFormatForPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (suffix == QLatin1String("nc"))
        return ExportFormat::NetCdf;
    return std::nullopt;
}

ExportResult spanStatisticsOfFile(const QString& input, const ExportOptions& options)
{
    SpanReader reader(options.localZone);
    QString error;
    if (!reader.open(input, &error))
        return failure(ExportResult::Status::CannotRead, error);
    ExportResult result;
    readSpan(
        reader, options, &result, Gather::Statistics, [](const DataFileRow&) {},
        [](const DataFileRow&) {});
    if (!reader.readError().isEmpty()) {
        result.status = ExportResult::Status::CannotRead;
        result.error = QStringLiteral("Cannot read %1: %2").arg(input, reader.readError());
    } else if (result.samples == 0) {
        result.status = ExportResult::Status::EmptySpan;
        result.error = emptySpanText(input, options);
    }
    return result;
}

ExportResult exportSpan(const QString& input, const QString& output, const ExportOptions& options)
{
    const std::optional<ExportFormat> format = exportFormatForPath(output);
    if (!format) {
        return failure(
            ExportResult::Status::UnknownFormat,
            QStringLiteral("Cannot tell the format of %1: name it .csv or .nc").arg(output));
    }
    if (!options.overwrite && QFileInfo::exists(output)) {
        return failure(ExportResult::Status::OutputExists,
                       QStringLiteral("%1 exists already (--force replaces it)").arg(output));
    }
    if (QFileInfo(output).absoluteFilePath() == QFileInfo(input).absoluteFilePath()) {
        return failure(ExportResult::Status::OutputExists,
                       QStringLiteral("%1 is the file being read").arg(output));
    }
    SpanReader reader(options.localZone);
    QString error;
    if (!reader.open(input, &error))
        return failure(ExportResult::Status::CannotRead, error);

    std::unique_ptr<SpanWriter> writer;
    if (*format == ExportFormat::Csv)
        writer = std::make_unique<CsvSpanWriter>();
    else
        writer = std::make_unique<NetCdfSpanWriter>();
    if (!writer->begin(output, reader, input, options)) {
        return failure(ExportResult::Status::CannotWrite,
                       QStringLiteral("Cannot write %1: %2").arg(output, writer->error()));
    }

    ExportResult result;
    readSpan(
        reader, options, &result, Gather::Counts,
        [&writer](const DataFileRow& row) { writer->add(row); },
        [&writer](const DataFileRow& row) { writer->addMark(row); });
    if (!reader.readError().isEmpty()) {
        result.status = ExportResult::Status::CannotRead;
        result.error = QStringLiteral("Cannot read %1: %2").arg(input, reader.readError());
        return result; // the writer, destroyed unfinished, leaves nothing behind
    }
    if (result.samples == 0) {
        result.status = ExportResult::Status::EmptySpan;
        result.error = emptySpanText(input, options);
        return result;
    }
    if (!writer->finish(reader, input, options)) {
        result.status = ExportResult::Status::CannotWrite;
        result.error = QStringLiteral("Cannot write %1: %2").arg(output, writer->error());
    }
    return result;
}
