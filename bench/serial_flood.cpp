// A flood on the sensor's fastest line: a pseudo-terminal, mapped as the port through a link (as a
// udev by-id link maps a USB adapter), receives records paced at 115200 baud (768 records of 15
// bytes per second) while the main window polls it every 900 ms with logging on. Half way the
// adapter drops out: the link's device goes away and a new one takes its place a second later;
// the window reconnects by itself. Counts what was sent while a device was there and what reached
// the log file, the longest poll, and how often the window's thread woke up (voluntary context
// switches of the main thread) while connected and idle, and during the flood.
//
// Last line: "serial flood: sent S, logged L, lost N, longest poll M ms, wake-ups I/s idle,
// F/s at line rate".
//
// Before it, the reading alone (the serial connection, polled every 900 ms as the live source
// polls it, and the record framer) takes a flood far beyond any serial line through a
// pseudo-terminal: numbered records at a fixed pace (20,000 a second unless the second argument
// says otherwise), each stamped when its poll hands it out. The writer blocks when the terminal
// is full, so a reader that falls behind shows as stamps late against the pace. Then the same at
// one record a second, counting wake-ups. Its line: "serial drain: R records/s for D s through a
// pseudo-terminal: sent S, received N, lost L, duplicated U, out of order O, latest stamp M ms
// after its write; wake-ups W/s at 1 record/s".

#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "sources/RecordFramer.h"
#include "sources/SerialConnection.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

QByteArray recordBytes(long n)
{
    // mm/s records whose X counts up, so the log shows every one in order.
    char text[32];
    std::snprintf(text, sizeof text, "+%05ld -00515\r\n", n % 100000);
    return QByteArray(text, 15);
}

// Voluntary context switches of the calling (main) thread: each is one wake-up after a sleep.
long wakeUps()
{
    QFile status(QStringLiteral("/proc/thread-self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(24).trimmed().toLong();
    }
    return 0;
}

// Runs the event loop for ms milliseconds, as the program's own loop runs.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends records at the line rate for seconds, numbering on from first; returns the next number.
long flood(const RawPty& pty, long first, double seconds)
{
    const auto start = std::chrono::steady_clock::now();
    const double perSecond = 768.0;
    long n = first;
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= seconds)
            break;
        const long due = first + long(elapsed * perSecond);
        QByteArray chunk;
        while (n < due)
            chunk += recordBytes(n++);
        if (!chunk.isEmpty() &&
            ::write(pty.master, chunk.constData(), size_t(chunk.size())) != chunk.size())
            std::perror("write");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return n;
}

using SteadyClock = std::chrono::steady_clock;

// Writes numbered records (number n as "+NNNNN -00515", n modulo 100000) at perSecond for
// seconds, from number first, blocking when the terminal is full. Returns how many it wrote.
long paced(int master, long first, double perSecond, double seconds, SteadyClock::time_point start)
{
    const long total = long(perSecond * seconds);
    long n = 0;
    while (n < total) {
        const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
        const long due = std::min(total, long(elapsed * perSecond) + 1);
        QByteArray chunk;
        for (; n < due; ++n)
            chunk += recordBytes(first + n);
        for (qsizetype done = 0; done < chunk.size();) {
            const ssize_t wrote =
                ::write(master, chunk.constData() + done, size_t(chunk.size() - done));
            if (wrote <= 0) {
                std::perror("write");
                return n;
            }
            done += wrote;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return n;
}

struct DrainResult
{
    long sent = 0;
    long received = 0;
    long lost = 0;
    long duplicated = 0;
    long outOfOrder = 0;
    double latestStampMs = 0; // the longest time from a record's due time to its poll
    double wakeUps = 0;       // per second of the main thread
};

// Reads what a writer thread sends at perSecond for seconds through a fresh pseudo-terminal,
// polling as the live source does, and checks every record.
DrainResult drain(double perSecond, double seconds)
{
    DrainResult result;
    RawPty pty;
    if (!pty.open())
        return result;
    SerialConnection port;
    PortSettings line;
    line.baudRateValue = 115200;
    line.byteSizeValue = 8;
    QString reason;
    if (!port.open(pty.name, &reason, QString(), &line)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return result;
    }
    RecordFramer framer;
    std::vector<int> seen(size_t(perSecond * seconds) + 1, 0);
    long expected = 0; // the next number in order
    SteadyClock::time_point start;
    const auto take = [&] {
        const auto now = SteadyClock::now();
        for (const QByteArray& record : framer.feed(port.poll())) {
            // Numbers are sent modulo 100000; the true one is the nearest at or after the last.
            const long low = record.mid(1, 5).toLong();
            long n = expected - (expected % 100000) + low;
            if (n < expected - 50000)
                n += 100000;
            if (n < 0 || size_t(n) >= seen.size())
                continue;
            if (++seen[size_t(n)] > 1)
                ++result.duplicated;
            if (n != expected)
                ++result.outOfOrder;
            expected = n + 1;
            ++result.received;
            const double due = double(n) / perSecond;
            const double at = std::chrono::duration<double>(now - start).count();
            result.latestStampMs = std::max(result.latestStampMs, (at - due) * 1000.0);
        }
    };
    QTimer pollTimer;
    pollTimer.setInterval(SerialSource::kPollInterval);
    QObject::connect(&pollTimer, &QTimer::timeout, &port, take);
    pollTimer.start();

    std::atomic<bool> done{false};
    start = SteadyClock::now();
    const long before = wakeUps();
    std::thread writer([&] {
        result.sent = paced(pty.master, 0, perSecond, seconds, start);
        done = true;
    });
    runFor(int(seconds * 1000));
    while (!done)
        runFor(20);
    writer.join();
    const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
    result.wakeUps = double(wakeUps() - before) / elapsed;
    // The last records: one more poll interval and a little.
    runFor(SerialSource::kPollInterval + 200);
    for (long n = 0; n < result.sent; ++n)
        result.lost += seen[size_t(n)] == 0 ? 1 : 0;
    port.close();
    pty.close();
    return result;
}

long loggedLines(const QString& path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return long(log.readAll().count('\n')) - 2; // header and units lines
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const double drainRate = argc > 2 ? std::atof(argv[2]) : 20000.0;

    const double drainSeconds = 5.0;
    const DrainResult flooded = drain(drainRate, drainSeconds);
    const DrainResult quiet = drain(1.0, 6.0);
    std::printf("serial drain: %.0f records/s for %.0f s through a pseudo-terminal: sent %ld, "
                "received %ld, lost %ld, duplicated %ld, out of order %ld, latest stamp %.0f ms "
                "after its write; wake-ups %.1f/s at 1 record/s\n",
                drainRate, drainSeconds, flooded.sent, flooded.received, flooded.lost,
                flooded.duplicated, flooded.outOfOrder, flooded.latestStampMs, quiet.wakeUps);
    std::fflush(stdout);
    const bool drainedWell = flooded.sent > 0 && flooded.lost == 0 && flooded.duplicated == 0 &&
                             flooded.outOfOrder == 0 && flooded.latestStampMs < 1000.0;

    RawPty pty;
    if (!pty.open()) {
        std::perror("openpty");
        return 1;
    }
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sensor"));
    QFile::link(pty.name, link);
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));
    QFile iniFile(ini);
    if (!iniFile.open(QIODevice::WriteOnly))
        return 1;
    iniFile.write("[Options]\nBaudRate=6\n[Ports]\nCOM2=" + link.toLocal8Bit() + "\n");
    iniFile.close();

    const QString logPath = dir.filePath(QStringLiteral("flood.log"));
    auto prompts = std::make_unique<PrintingPrompts>(true, logPath);
    MainWindow w(ini, std::move(prompts));
    w.show();
    w.newLogFile();
    w.connectPort();
    if (!w.connected() || !w.recording().logging()) {
        std::fprintf(stderr, "could not connect and log\n");
        return 1;
    }

    // Each poll timed from its timer's tick to the end of its handling: the source handles the
    // tick first, this slot runs after it.
    qint64 longestNs = 0;
    QElapsedTimer tick;
    QTimer& pollTimer = w.serial().pollTimer();
    struct TickWatch : QObject
    {
        QElapsedTimer* tick;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Timer)
                tick->start();
            return false;
        }
    } watch;
    watch.tick = &tick;
    pollTimer.installEventFilter(&watch);
    QObject::connect(&pollTimer, &QTimer::timeout, &w, [&] {
        if (tick.isValid())
            longestNs = std::max(longestNs, tick.nsecsElapsed());
    });

    // Connected and idle: the sensor says nothing.
    runFor(2000); // past the first poll's start-up wait
    long before = wakeUps();
    QElapsedTimer phase;
    phase.start();
    runFor(3000);
    const double idleRate = double(wakeUps() - before) * 1000.0 / double(phase.elapsed());

    // The flood, with a dropout half way.
    const double half = seconds / 2.0;
    std::atomic<long> sent{0};
    std::atomic<bool> done{false};
    std::thread sensor([&] {
        sent = flood(pty, 0, half);
        done = true;
    });
    before = wakeUps();
    phase.restart();
    runFor(int(half * 1000)); // one wait for the whole run: the benchmark adds no wake-ups
    while (!done)
        runFor(20);
    sensor.join();
    const double floodRate = double(wakeUps() - before) * 1000.0 / double(phase.elapsed());

    // Everything sent is logged before the adapter goes: what a device takes with it when it
    // vanishes mid-byte is not the program's to keep.
    for (int i = 0; i < 50 && loggedLines(logPath) < sent; ++i)
        runFor(100);
    pty.close();
    QFile::remove(link);
    runFor(1000);
    RawPty second;
    if (!second.open())
        return 1;
    QFile::link(second.name, link);
    QElapsedTimer back;
    back.start();
    while (w.serial().isReconnecting() && back.elapsed() < 5000)
        runFor(50);
    if (w.serial().isReconnecting() || !w.connected()) {
        std::fprintf(stderr, "did not reconnect\n");
        return 1;
    }
    done = false;
    std::thread sensor2([&] {
        sent = flood(second, sent, half);
        done = true;
    });
    runFor(int(half * 1000));
    while (!done)
        runFor(20);
    sensor2.join();
    runFor(2000); // the last polls

    const long logged = loggedLines(logPath);
    const long lost = sent - logged;
    std::printf("serial flood: sent %ld, logged %ld, lost %ld, longest poll %lld ms, wake-ups "
                "%.1f/s idle, %.1f/s at line rate\n",
                long(sent), logged, lost, longestNs / 1000000, idleRate, floodRate);
    second.close();
    return lost == 0 && drainedWell ? 0 : 1;
}
