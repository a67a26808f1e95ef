// How fast a long log file is indexed for review, and how fast a record of it is then reached.
// Writes a log of about 1 GB (some 30 million records; --size-mb N for another size) into a
// temporary folder, indexes it twice: first with the file's pages dropped from the page cache
// (posix_fadvise on this file alone, so other programs' caches are left alone; a virtual disk
// may still serve it from the host's cache), then with the file in the page cache. Then reads
// 100 records at random places and checks each against what was written. Then opens the file in
// the main window with its History window shown, as File > Open does, and times how long it takes
// until the History has been drawn over the whole file (--no-window leaves this out). The file
// is deleted at the end.
//
// While indexing, a timer ticking every millisecond measures the longest time the event loop (the
// window's thread) was kept from its work, and how much of that time the thread itself was
// working (the rest it waited for a processor: on a busy machine other programs take turns).
// The CPU time of the index is given beside its wall-clock time for the same reason.
//
// Last line: "replay index: N MB/s", the page-cache figure.

#include "app/HistoryPane.h"
#include "app/HistoryPlot.h"
#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "bench/GeneratedLog.h"
#include "history/SpanStatistics.h"
#include "replay/ReplayIndex.h"
#include "replay/ReplaySession.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Drops the file's pages from the page cache (they are clean after fsync).
void dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// CPU seconds of this thread, and of the whole process.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Pages the process has touched for the first time (or again after giving them back) so far.
qint64 pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_minflt) + qint64(usage.ru_majflt);
}

// A line of /proc/self/status in MB ("VmHWM": the peak resident size so far, "VmRSS": now).
double statusMegabytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// A timer ticking every millisecond shows how long the event loop was kept from its work, and
// how much of that its thread was working rather than waiting for a processor.
class PauseWatch
{
public:
    explicit PauseWatch(QObject* context)
    {
        m_ticks.setInterval(1);
        QObject::connect(&m_ticks, &QTimer::timeout, context, [this] { tick(); });
    }
    void start()
    {
        m_sinceTick.start();
        m_cpuAtTick = threadCpuSeconds();
        m_ticks.start();
    }
    void stop() { m_ticks.stop(); }
    double longestMs() const { return m_longestMs; }
    double longestWorkingMs() const { return m_longestWorkingMs; }
    double cpuOfLongestMs() const { return m_cpuOfLongestMs; }

private:
    void tick()
    {
        const double wall = m_sinceTick.nsecsElapsed() / 1e6;
        const double cpuNow = threadCpuSeconds();
        const double cpu = (cpuNow - m_cpuAtTick) * 1000;
        if (wall > m_longestMs) {
            m_longestMs = wall;
            m_cpuOfLongestMs = cpu;
        }
        m_longestWorkingMs = std::max(m_longestWorkingMs, cpu);
        m_sinceTick.restart();
        m_cpuAtTick = cpuNow;
    }

    QTimer m_ticks;
    QElapsedTimer m_sinceTick;
    double m_cpuAtTick = 0;
    double m_longestMs = 0;
    double m_longestWorkingMs = 0; // the most CPU time the thread spent between two ticks
    double m_cpuOfLongestMs = 0;
};

struct Run
{
    double seconds = 0;
    qint64 records = 0;
    qint64 bad = 0;
    qint64 memory = 0;
    double longestPauseMs = 0; // of the event loop, which the window's thread runs
    double cpuOfLongestPauseMs = 0;
    double longestWorkingMs = 0;
    double loopCpuSeconds = 0;  // of the event loop's thread
    double otherCpuSeconds = 0; // of the other threads: the background pass
    qint64 pageFaults = 0;
};

Run indexOnce(ReplayIndex& index, const QString& path)
{
    QEventLoop loop;
    QObject::connect(&index, &ReplayIndex::finished, &loop, &QEventLoop::quit);
    QObject::connect(&index, &ReplayIndex::failed, &loop, [&loop](const QString& reason) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(reason));
        loop.quit();
    });
    PauseWatch pauses(&loop);
    const double loopCpu = threadCpuSeconds();
    const double processCpu = processCpuSeconds();
    const qint64 faults = pageFaults();
    QElapsedTimer timer;
    timer.start();
    pauses.start();
    QString error;
    if (!index.open(path, &error)) {
        std::fprintf(stderr, "cannot open: %s\n", qPrintable(error));
        return {};
    }
    loop.exec();
    Run run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    pauses.stop();
    run.loopCpuSeconds = threadCpuSeconds() - loopCpu;
    run.otherCpuSeconds = processCpuSeconds() - processCpu - run.loopCpuSeconds;
    run.pageFaults = pageFaults() - faults;
    run.records = index.recordCount();
    run.bad = index.badLineCount();
    run.memory = index.memoryBytes();
    run.longestPauseMs = pauses.longestMs();
    run.cpuOfLongestPauseMs = pauses.cpuOfLongestMs();
    run.longestWorkingMs = pauses.longestWorkingMs();
    QObject::disconnect(&index, nullptr, &loop, nullptr);
    return run;
}

struct WindowRun
{
    double drawnSeconds = -1;    // File > Open to the end of the first paint over every record
    double finishedSeconds = -1; // to the index's end
    double summarySeconds = -1;  // to the summary of the whole file shown
    double longestPauseMs = 0;
    double cpuOfLongestPauseMs = 0;
    double longestWorkingMs = 0;
};

// Opens path in the main window with the History window shown, as File > Open does, and waits
// until the History's plot has been painted with all records of the file and its summary shows
// summary. The plot's paint that ends the wait is the first one made with the whole file indexed.
WindowRun openInWindow(const QString& settingsPath, const QString& path, qint64 records,
                       const QString& summary)
{
    MainWindow window(settingsPath, std::make_unique<PrintingPrompts>());
    window.show();
    HistoryPane* pane = window.historyPane();
    pane->show();
    HistoryPlot* plot = pane->plot();
    QEventLoop loop;
    // The window and the History window painted once before the file is opened.
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();

    WindowRun run;
    QElapsedTimer timer;
    const ReplayIndex& index = window.replay().index();
    const auto checkDone = [&] {
        if (run.drawnSeconds >= 0 && run.summarySeconds >= 0 && run.finishedSeconds >= 0)
            loop.quit();
    };
    // Watches the plot's paints: the first made with the whole file is painted here, to know
    // when it ends.
    struct PaintWatch : QObject
    {
        std::function<bool(QObject*, QEvent*)> filter;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            return filter(watched, event);
        }
    } watch;
    watch.filter = [&](QObject* watched, QEvent* event) {
        if (event->type() != QEvent::Paint || run.drawnSeconds >= 0 || !plot->series() ||
            plot->series()->recordCount() != records)
            return false;
        static_cast<QObject*>(watched)->event(event);
        run.drawnSeconds = timer.nsecsElapsed() / 1e9;
        checkDone();
        return true;
    };
    plot->installEventFilter(&watch);
    const auto summaryShown = [&] {
        if (run.summarySeconds < 0 && pane->summaryText()->toPlainText() == summary) {
            run.summarySeconds = timer.nsecsElapsed() / 1e9;
            checkDone();
        }
    };
    QObject::connect(pane->summaryText(), &QPlainTextEdit::textChanged, &loop, summaryShown);
    QObject::connect(&index, &ReplayIndex::finished, &loop, [&] {
        run.finishedSeconds = timer.nsecsElapsed() / 1e9;
        checkDone();
    });
    PauseWatch pauses(&loop);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(600000);

    timer.start();
    pauses.start();
    window.openReplayFile(path);
    loop.exec();
    pauses.stop();
    plot->removeEventFilter(&watch);
    run.longestPauseMs = pauses.longestMs();
    run.cpuOfLongestPauseMs = pauses.cpuOfLongestMs();
    run.longestWorkingMs = pauses.longestWorkingMs();
    window.closeReplay();
    return run;
}

} // namespace

int main(int argc, char* argv[])
{
    // The windows are drawn off screen unless a platform is named.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Size of the log in MB."),
                      QStringLiteral("N"), QStringLiteral("1024")});
    parser.addOption(
        {QStringLiteral("no-window"), QStringLiteral("Leave out the History window's timing.")});
    parser.process(app);
    const qint64 megabytes = std::max(1LL, parser.value(QStringLiteral("size-mb")).toLongLong());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.log"));
    QElapsedTimer timer;
    timer.start();
    const qint64 written = generatedlog::writeLog(path, megabytes * 1024 * 1024);
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
    std::printf("index CPU time, file in the page cache: %.2f s on the background pass, %.2f s "
                "on the event loop's thread (%.0f MB per CPU second of the pass); %lld page "
                "faults (%.0f MB of pages)\n",
                warm.otherCpuSeconds, warm.loopCpuSeconds,
                mb / std::max(warm.otherCpuSeconds, 1e-9), warm.pageFaults,
                warm.pageFaults * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0));
    std::printf("longest pause of the event loop while indexing: %.1f ms\n", warm.longestPauseMs);
    std::printf("  of which its thread was working %.1f ms (the rest it waited for a processor); "
                "most work between two ticks: %.1f ms\n",
                warm.cpuOfLongestPauseMs, warm.longestWorkingMs);
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
        const qsizetype length = generatedlog::recordLine(k, expected) - 2;
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

    // The figures of the whole file, as the History window's summary shows them.
    const QString summary = historySpanSummary(history, 0, warm.records - 1);
    const double indexMb = warm.memory / (1024.0 * 1024.0);
    std::printf("peak memory (resident) up to here: %.0f MB, for an index of %.0f MB\n",
                statusMegabytes("VmHWM"), indexMb);
    index.close();
    std::printf("memory (resident) with the index closed: %.0f MB\n", statusMegabytes("VmRSS"));

    if (!parser.isSet(QStringLiteral("no-window"))) {
        const WindowRun shown =
            openInWindow(dir.filePath(QStringLiteral("marvane.ini")), path, warm.records, summary);
        std::printf("History window: drawn over the whole file %.2f s after File > Open (index "
                    "finished at %.2f s), its summary of the whole file shown at %.2f s\n",
                    shown.drawnSeconds, shown.finishedSeconds, shown.summarySeconds);
        std::printf("longest pause of the event loop in the window until then: %.1f ms (its "
                    "thread working %.1f ms of it; most work between two ticks: %.1f ms)\n",
                    shown.longestPauseMs, shown.cpuOfLongestPauseMs, shown.longestWorkingMs);
        std::printf("peak memory (resident), window included: %.0f MB\n", statusMegabytes("VmHWM"));
        if (shown.drawnSeconds < 0 || shown.summarySeconds < 0)
            ++wrong;
    }

    const bool ok = warm.records == written && warm.bad == 0 && wrong == 0;
    if (!ok)
        std::printf("MISMATCH: %d records read back wrong\n", wrong);
    std::printf("replay seek: median %.3f ms, max %.3f ms\n", times[times.size() / 2],
                times.back());
    std::printf("replay index: %.0f MB/s\n", mb / warm.seconds);
    return ok ? 0 : 1;
}
