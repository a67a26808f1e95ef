// How fast a long log file is indexed for review, and how fast a record of it is then reached.
// Writes a log of about 1 GB (some 30 million records; --size-mb N for another size) into a
// temporary folder, indexes it twice: first with the file's pages dropped from the page cache
// (posix_fadvise on this file alone, so other programs' caches are left alone; a virtual disk
// may still serve it from the host's cache), then with the file in the page cache. Then reads
// 100 records at random places and checks each against what was written. The file is deleted
// at the end.
//
// Last line: "replay index: N MB/s", the page-cache figure.

#include "replay/ReplayIndex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

void two(char* p, int v)
{
    p[0] = char('0' + v / 10);
    p[1] = char('0' + v % 10);
}

// Record k: speeds 0.000 to 1.499 m/s, bearings all round, one second apart from
// 24/05/2009 00:00:00. Written by hand: 30 million lines through text objects would take longer
// than the indexing measured here.
qsizetype recordLine(qint64 k, char* out)
{
    const unsigned milli = unsigned((quint64(k) * 2654435761u >> 7) % 1500);
    const int bearing = int((k * 37 + k / 97) % 360);
    // Days from 24/05/2009, walked through the calendar.
    qint64 day = k / 86400;
    const int secondOfDay = int(k % 86400);
    int y = 2009, m = 5, d = 24;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (day > 0) {
        const int length = lengths[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0);
        const qint64 step = std::min<qint64>(day, length - d + 1);
        d += int(step);
        day -= step;
        if (d > length) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    char* p = out;
    *p++ = '"';
    *p++ = char('0' + milli / 1000);
    *p++ = '.';
    *p++ = char('0' + milli / 100 % 10);
    *p++ = char('0' + milli / 10 % 10);
    *p++ = char('0' + milli % 10);
    std::memcpy(p, "\",\"", 3);
    p += 3;
    *p++ = char('0' + bearing / 100);
    two(p, bearing % 100);
    p += 2;
    std::memcpy(p, "\",\"", 3);
    p += 3;
    two(p, d);
    p[2] = '/';
    two(p + 3, m);
    p[5] = '/';
    two(p + 6, y / 100);
    two(p + 8, y % 100);
    p[10] = ' ';
    two(p + 11, secondOfDay / 3600);
    p[13] = ':';
    two(p + 14, secondOfDay / 60 % 60);
    p[16] = ':';
    two(p + 17, secondOfDay % 60);
    p += 19;
    *p++ = '"';
    *p++ = '\r';
    *p++ = '\n';
    return p - out;
}

qint64 writeLog(const QString& path, qint64 bytesWanted)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    file.write("\"Speed\",\"Bearing\",\"Date-Time\"\r\n\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n");
    std::vector<char> buffer(8 << 20);
    qint64 records = 0;
    qint64 total = file.pos();
    while (total < bytesWanted) {
        qsizetype used = 0;
        while (used + 64 < qsizetype(buffer.size()) && total + used < bytesWanted)
            used += recordLine(records++, buffer.data() + used);
        if (file.write(buffer.data(), used) != used)
            return -1;
        total += used;
    }
    file.flush();
    ::fsync(file.handle());
    return records;
}

// Drops the file's pages from the page cache (they are clean after fsync).
void dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Run
{
    double seconds = 0;
    qint64 records = 0;
    qint64 bad = 0;
    qint64 memory = 0;
    double longestPauseMs = 0; // of the event loop, which the window's thread runs
};

Run indexOnce(ReplayIndex& index, const QString& path)
{
    QEventLoop loop;
    QObject::connect(&index, &ReplayIndex::finished, &loop, &QEventLoop::quit);
    QObject::connect(&index, &ReplayIndex::failed, &loop, [&loop](const QString& reason) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(reason));
        loop.quit();
    });
    // A timer ticking every millisecond shows how long the event loop was kept from its work.
    QTimer ticks;
    ticks.setInterval(1);
    QElapsedTimer sinceTick;
    double longestPause = 0;
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        longestPause = std::max(longestPause, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticks.start();
    QString error;
    if (!index.open(path, &error)) {
        std::fprintf(stderr, "cannot open: %s\n", qPrintable(error));
        return {};
    }
    loop.exec();
    Run run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.records = index.recordCount();
    run.bad = index.badLineCount();
    run.memory = index.memoryBytes();
    run.longestPauseMs = longestPause;
    QObject::disconnect(&index, nullptr, &loop, nullptr);
    return run;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Size of the log in MB."),
                      QStringLiteral("N"), QStringLiteral("1024")});
    parser.process(app);
    const qint64 megabytes = std::max(1LL, parser.value(QStringLiteral("size-mb")).toLongLong());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.log"));
    QElapsedTimer timer;
    timer.start();
    const qint64 written = writeLog(path, megabytes * 1024 * 1024);
    if (written < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const qint64 size = QFile(path).size();
    const double mb = size / (1024.0 * 1024.0);
    std::printf("log: %.0f MB, %lld records, written in %.1f s\n", mb, written,
                timer.nsecsElapsed() / 1e9);

    ReplayIndex index;
    index.setPollInterval(0);
    dropFromCache(path);
    const Run cold = indexOnce(index, path);
    std::printf("index, file dropped from the page cache: %.2f s, %.0f MB/s\n", cold.seconds,
                mb / cold.seconds);
    index.close();
    const Run warm = indexOnce(index, path);
    std::printf("index, file in the page cache: %.2f s, %.0f MB/s\n", warm.seconds,
                mb / warm.seconds);
    std::printf("longest pause of the event loop while indexing: %.1f ms\n", warm.longestPauseMs);
    std::printf("records %lld (written %lld), bad lines %lld\n", warm.records, written, warm.bad);
    std::printf("index memory: %lld bytes (offsets and history)\n", warm.memory);
    const HistoryTotals totals = index.history().totals();
    std::printf("history: %lld samples, mean speed %.4f m/s\n", totals.samples,
                totals.sumSpeed / double(std::max<qint64>(totals.samples, 1)));

    // Seeking: 100 records anywhere in the file, each checked against what was written.
    std::mt19937_64 random(20090524);
    std::vector<double> times;
    int wrong = 0;
    char expected[64];
    for (int i = 0; i < 100; ++i) {
        const qint64 k = qint64(random() % quint64(warm.records));
        QElapsedTimer t;
        t.start();
        const QByteArray line = index.readRecordLine(k);
        times.push_back(t.nsecsElapsed() / 1e6);
        const qsizetype length = recordLine(k, expected) - 2;
        if (line != QByteArray(expected, length))
            ++wrong;
    }
    std::sort(times.begin(), times.end());

    // The columns of a zoomed plot: 65,536 records over 1200 columns, from the history alone.
    std::vector<double> detail;
    const HistorySeries& history = index.history();
    const qint64 middle = warm.records / 2;
    const qint64 zoomed = std::min<qint64>(65536, warm.records / 2);
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer t;
        t.start();
        const std::vector<HistoryColumn> columns =
            history.columns(history.timeMsAt(middle + i * 1000),
                            history.timeMsAt(middle + i * 1000 + zoomed - 1), 1200);
        detail.push_back(t.nsecsElapsed() / 1e6);
        if (columns.size() != 1200)
            ++wrong;
    }
    std::sort(detail.begin(), detail.end());
    std::printf("plot columns of %lld records: median %.2f ms\n", zoomed,
                detail[detail.size() / 2]);

    const bool ok = warm.records == written && warm.bad == 0 && wrong == 0;
    if (!ok)
        std::printf("MISMATCH: %d records read back wrong\n", wrong);
    std::printf("replay seek: median %.3f ms, max %.3f ms\n", times[times.size() / 2],
                times.back());
    std::printf("replay index: %.0f MB/s\n", mb / warm.seconds);
    return ok ? 0 : 1;
}
