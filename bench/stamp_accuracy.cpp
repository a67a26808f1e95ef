// How close a data file's times are to the moments its records arrived. A sender writes numbered
// records into a raw pseudo-terminal, one write per record, at 1, 5 and 20 records a second and
// at the line rate of 19200 baud (15 bytes of 8N1 take 7.8 ms: 128 records a second), and
// remembers the wall-clock time just before each write. marvane-record logs the terminal with a
// data file beside the log; each row of the data file is matched to its record by the record's
// number (its X field) and its time compared with the write time.
//
// One line per rate (128 Hz is the line rate):
//   "stamp delay at R Hz: median M ms, p99 P ms, max X ms; rows sharing a stamp S of N"
// S counts the rows whose time another row has too. A record that never reached the data file
// is reported on a line of its own. Beside the recorder, the minimal logger of record_cost
// (minimal_logger.c: it reads as bytes arrive and stamps each line) takes the same records on a
// terminal of its own; its line, "  minimal logger at R Hz: ...", tells what the machine itself
// allows at that moment (a busy machine delays both).
//
// The first argument scales how long each rate runs (1: 30, 100, 300 and 1280 records).

#include "bench/BenchSupport.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

qint64 wallMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Writes count records to each terminal, number n at start + n * period, each in one write;
// returns each record's write time (ms since 1970 UTC) by terminal and number.
std::vector<std::vector<qint64>> send(const std::vector<int>& masters, int count, double perSecond)
{
    std::vector<std::vector<qint64>> written(masters.size(), std::vector<qint64>(size_t(count), 0));
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    const long periodNs = long(1e9 / perSecond);
    for (int n = 0; n < count; ++n) {
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
        char text[32];
        std::snprintf(text, sizeof text, "+%05d -00515\r\n", n);
        for (size_t m = 0; m < masters.size(); ++m) {
            written[m][size_t(n)] = wallMs();
            if (::write(masters[m], text, 15) != 15)
                std::perror("write");
        }
        next.tv_nsec += periodNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
    }
    return written;
}

struct Row
{
    int number = 0;
    qint64 timeMs = 0;
};

// The rows of a data file: its time and the record's number, read from X ("+00012").
QList<Row> readRows(const QString& path)
{
    QList<Row> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith("time,"))
            continue;
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 2)
            continue;
        const QDateTime time =
            QDateTime::fromString(QString::fromLatin1(fields.at(0)), Qt::ISODateWithMs);
        bool ok = false;
        const int number = fields.at(1).toInt(&ok);
        if (time.isValid() && ok)
            rows.append({number, time.toMSecsSinceEpoch()});
    }
    return rows;
}

// The minimal logger's lines: "TIME_MS,+NNNNN -00515".
QList<Row> readFloorRows(const QString& path)
{
    QList<Row> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(',');
        bool timeOk = false;
        bool numberOk = false;
        const qint64 time = fields.value(0).toLongLong(&timeOk);
        const int number = fields.value(1).left(6).toInt(&numberOk);
        if (timeOk && numberOk)
            rows.append({number, time});
    }
    return rows;
}

double percentile(std::vector<qint64> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const size_t rank = size_t(std::ceil(p * double(values.size())));
    return double(values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1]);
}

double median(std::vector<qint64> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? double(values[mid]) : (values[mid - 1] + values[mid]) / 2.0;
}

void report(const char* who, const char* label, const QList<Row>& rows,
            const std::vector<qint64>& written, const char* where)
{
    std::vector<qint64> delays;
    std::map<qint64, int> perStamp;
    std::vector<bool> seen(written.size(), false);
    for (const Row& row : rows) {
        if (row.number < 0 || size_t(row.number) >= written.size())
            continue;
        delays.push_back(row.timeMs - written[size_t(row.number)]);
        seen[size_t(row.number)] = true;
        ++perStamp[row.timeMs];
    }
    long sharing = 0;
    for (const auto& [stamp, rowsThere] : perStamp)
        sharing += rowsThere > 1 ? rowsThere : 0;
    const long missing = long(std::count(seen.begin(), seen.end(), false));
    std::printf("%s at %s Hz: median %.0f ms, p99 %.0f ms, max %.0f ms; rows sharing a stamp %ld "
                "of %zu\n",
                who, label, median(delays), percentile(delays, 0.99),
                delays.empty() ? 0.0 : double(*std::max_element(delays.begin(), delays.end())),
                sharing, delays.size());
    if (missing > 0)
        std::printf("%s at %s Hz: %ld of %zu records missing from %s\n", who, label, missing,
                    written.size(), where);
}

bool measure(const QString& recorder, const QString& ini, QTemporaryDir& dir, const char* label,
             double perSecond, int count)
{
    RawPty pty;
    RawPty forFloor;
    if (!pty.open() || !forFloor.open()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    const QString name = QString::fromLatin1(label);
    const QString log = dir.filePath(name + QStringLiteral(".log"));
    const QString data = dir.filePath(name + QStringLiteral(".csv"));
    const QString floorOut = dir.filePath(name + QStringLiteral(".floor"));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(recorder, {QStringLiteral("--settings"), ini, QStringLiteral("--port"), pty.name,
                             QStringLiteral("--baud"), QStringLiteral("19200"),
                             QStringLiteral("--data-file"), data, log});
    if (!process.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(recorder));
        return false;
    }
    QProcess floor;
    floor.start(QStringLiteral(MINIMAL_LOGGER), {forFloor.name, floorOut});
    floor.waitForStarted();
    // Past the recorder's first poll, which waits longer than the others.
    QThread::msleep(2000);
    const auto written = send({pty.master, forFloor.master}, count, perSecond);
    QThread::msleep(1500); // the last poll
    process.terminate();
    process.waitForFinished(10000);
    floor.terminate();
    floor.waitForFinished(10000);

    report("stamp delay", label, readRows(data), written[0], "the data file");
    report("  minimal logger", label, readFloorRows(floorOut), written[1], "its file");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    const double scale = argc > 1 ? std::max(0.05, std::atof(argv[1])) : 1.0;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));
    QFile(ini).open(QIODevice::WriteOnly);
    const QString other = qEnvironmentVariable("MARVANE_RECORD_PROGRAM");
    const QString recorder = other.isEmpty() ? QStringLiteral(MARVANE_RECORD) : other;

    struct Rate
    {
        const char* label;
        double perSecond;
        int count;
    };
    // 19200 baud, 8N1: ten bits a byte, 15 bytes a record.
    const Rate rates[] = {
        {"1", 1, 30}, {"5", 5, 100}, {"20", 20, 300}, {"128", 19200.0 / 150, 1280}};
    for (const Rate& rate : rates) {
        if (!measure(recorder, ini, dir, rate.label, rate.perSecond,
                     std::max(5, int(rate.count * scale))))
            return 1;
    }
    return 0;
}
