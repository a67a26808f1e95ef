// What recording costs, against two baselines fed the same records side by side in the same run:
// `cat` copying the stream to a file (no floor for a program that writes once per poll: cat
// wakes at every write and never syncs), and a minimal logger of a few lines of C
// (minimal_logger.c) that reads the port as its bytes arrive, stamps each line and writes once
// per 900 ms with one write and one fdatasync: the floor for what the recorder does. CPU time is
// read from /proc as the time on a CPU of every thread of the process (schedstat, in ns).
//
// At the sensor's fastest line rate (768 records of 15 bytes a second, 115200 baud) the
// recorder, cat and the minimal logger each log one pseudo-terminal. A second, shorter run of
// the recorder under strace counts the system calls made on the log file itself (open, stat,
// seek, write, sync, close...), per record and per poll. A third part times the main window
// logging the same stream in this process: all its threads, the sender's left out.
// Then the same at one record a second, where the cost is mostly waking up: the recorder, the
// minimal logger and the window, with the wake-ups per record (voluntary context switches of all
// their threads; their files are then in memory, so that a disk's waits are not counted).
//
// Lines: "record cost: recorder N% of a core, cat M%, ratio R; minimal logger F%, ratio Q;
//         S file system calls per record, P per poll (K records)"
//        "record cost: window N% of a core, cat M%, ratio R; minimal logger F%, ratio Q"
//        "record cost at 1 Hz: recorder N% of a core, window W%, minimal logger F%, ratios R and
//         Q; wake-ups per record: recorder A, window B, minimal logger C"

#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "recording/Recording.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr double kRecordsPerSecond = 768.0;
constexpr double kPollSeconds = 0.9;

QByteArray recordText(long n)
{
    char text[32];
    std::snprintf(text, sizeof text, "+%05ld -00515\r\n", n % 100000);
    return QByteArray(text, 15);
}

// Sends the same numbered records to every terminal at perSecond for seconds.
void flood(const std::vector<int>& masters, double seconds, double perSecond = kRecordsPerSecond)
{
    const auto start = std::chrono::steady_clock::now();
    long n = 0;
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= seconds)
            break;
        const long due = long(elapsed * perSecond) + (perSecond < 100 ? 1 : 0);
        QByteArray chunk;
        for (; n < due; ++n)
            chunk += recordText(n);
        for (const int master : masters) {
            if (!chunk.isEmpty() &&
                ::write(master, chunk.constData(), size_t(chunk.size())) != chunk.size())
                std::perror("write");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(perSecond < 100 ? 20 : 2));
    }
}

long threadId()
{
    return long(::syscall(SYS_gettid));
}

// The tasks (threads) of a process, but for one left out.
QStringList tasksOf(qint64 pid, long leftOut)
{
    QStringList tasks;
    const QDir dir(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task.toLong() != leftOut)
            tasks << dir.filePath(task);
    }
    return tasks;
}

// Time on a CPU of every thread of a process so far, in seconds (but for one thread left out).
double processCpu(qint64 pid, long leftOut = 0)
{
    double seconds = 0;
    for (const QString& task : tasksOf(pid, leftOut)) {
        QFile stat(task + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            seconds += stat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return seconds;
}

// Times the threads of a process went to sleep and were woken again (voluntary context
// switches), but for one thread left out.
long wakeUps(qint64 pid, long leftOut = 0)
{
    long count = 0;
    for (const QString& task : tasksOf(pid, leftOut)) {
        QFile status(task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                count += line.mid(24).trimmed().toLong();
        }
    }
    return count;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

long records(const QString& path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return long(log.readAll().count('\n'));
}

std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments,
                                const QString& out = QString())
{
    auto process = std::make_unique<QProcess>();
    if (!out.isEmpty())
        process->setStandardOutputFile(out);
    process->start(program, arguments);
    process->waitForStarted();
    return process;
}

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

// The recorder measured: this build's, or another one named by MARVANE_RECORD_PROGRAM (an
// earlier version, to compare).
QString recorderProgram()
{
    const QString other = qEnvironmentVariable("MARVANE_RECORD_PROGRAM");
    return other.isEmpty() ? QStringLiteral(MARVANE_RECORD) : other;
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0.0;
}

// The main window connected to the terminal of forWindow through COM2, logging.
std::unique_ptr<MainWindow> loggingWindow(const QString& ini, const RawPty& forWindow,
                                          const QString& log)
{
    QFile iniFile(ini);
    iniFile.open(QIODevice::WriteOnly);
    iniFile.write("[Options]\nBaudRate=6\n[Ports]\nCOM2=" + forWindow.name.toLocal8Bit() + "\n");
    iniFile.close();
    auto window = std::make_unique<MainWindow>(ini, std::make_unique<PrintingPrompts>(true, log));
    window->show();
    window->newLogFile();
    window->connectPort();
    if (!window->connected() || !window->recording().logging()) {
        std::fprintf(stderr, "could not connect and log\n");
        return nullptr;
    }
    return window;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    // "slow" as the second argument: the part at one record a second only.
    const bool slowOnly = argc > 2 && QByteArray(argv[2]) == "slow";
    const double slowSeconds = std::max(20.0, seconds * 1.5);
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("marvane.ini"))).open(QIODevice::WriteOnly);
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));
    const QString floorLogger = QStringLiteral(MINIMAL_LOGGER);
    const qint64 self = QCoreApplication::applicationPid();

    // The recorder, cat and the minimal logger, side by side.
    if (!slowOnly) {
        RawPty forRecorder, forCat, forFloor;
        if (!forRecorder.open() || !forCat.open() || !forFloor.open())
            return 1;
        const QString log = dir.filePath(QStringLiteral("recorder.log"));
        auto recorder = start(recorderProgram(), {QStringLiteral("--settings"), ini,
                                                  QStringLiteral("--port"), forRecorder.name, log});
        auto cat =
            start(QStringLiteral("cat"), {forCat.name}, dir.filePath(QStringLiteral("cat.out")));
        auto floor = start(floorLogger, {forFloor.name, dir.filePath(QStringLiteral("floor.out"))});
        QThread::msleep(1500); // all settled, past the recorder's first poll wait
        const double recorderBefore = processCpu(recorder->processId());
        const double catBefore = processCpu(cat->processId());
        const double floorBefore = processCpu(floor->processId());
        QElapsedTimer wall;
        wall.start();
        flood({forRecorder.master, forCat.master, forFloor.master}, seconds);
        QThread::msleep(1200); // the last poll
        const double elapsed = wall.elapsed() / 1000.0;
        const double recorderCpu = processCpu(recorder->processId()) - recorderBefore;
        const double catCpu = processCpu(cat->processId()) - catBefore;
        const double floorCpu = processCpu(floor->processId()) - floorBefore;
        stop(*recorder);
        stop(*cat);
        stop(*floor);

        // The same again, shorter, under strace: the calls made on the log file.
        RawPty traced;
        if (!traced.open())
            return 1;
        const QString tracedLog = dir.filePath(QStringLiteral("traced.log"));
        const QString trace = dir.filePath(QStringLiteral("trace.txt"));
        auto tracedRecorder =
            start(recorderProgram(), {QStringLiteral("--settings"), ini, QStringLiteral("--port"),
                                      traced.name, tracedLog});
        auto strace =
            start(QStringLiteral("strace"),
                  {QStringLiteral("-f"), QStringLiteral("-ttt"), QStringLiteral("-y"),
                   QStringLiteral("-o"), trace, QStringLiteral("-e"),
                   QStringLiteral("trace=openat,open,close,stat,lstat,newfstatat,fstat,statx,"
                                  "lseek,write,pwrite64,fsync,fdatasync,ftruncate,flock,fcntl"),
                   QStringLiteral("-p"), QString::number(tracedRecorder->processId())});
        QThread::msleep(2500);
        const double tracedSeconds = seconds / 2;
        const double flowFrom = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
        flood({traced.master}, tracedSeconds);
        // Calls until half a poll after the last record count as made while records came, so
        // that they divide by the polls of that time.
        const double flowTo = double(QDateTime::currentMSecsSinceEpoch()) / 1000 + kPollSeconds / 2;
        QThread::msleep(1200);
        stop(*tracedRecorder);
        strace->waitForFinished();
        long calls = 0;
        long whileFlowing = 0;
        QFile traceFile(trace);
        if (traceFile.open(QIODevice::ReadOnly)) {
            const QByteArray name = tracedLog.toLocal8Bit();
            for (const QByteArray& line : traceFile.readAll().split('\n')) {
                if (!line.contains(name))
                    continue;
                ++calls;
                // "PID SECONDS.MICROS call(...)", or without the PID.
                const QList<QByteArray> fields = line.simplified().split(' ');
                bool ok = false;
                double at = fields.value(0).contains('.') ? fields.value(0).toDouble(&ok) : 0;
                if (!ok)
                    at = fields.value(1).toDouble(&ok);
                if (ok && at >= flowFrom && at <= flowTo)
                    ++whileFlowing;
            }
        }
        const long logged = qMax(1L, records(tracedLog) - 2);
        std::printf("record cost: recorder %.2f%% of a core, cat %.2f%%, ratio %.2f; minimal "
                    "logger %.2f%%, ratio %.2f; %.3f file system calls per record, %.1f per poll "
                    "(%ld records)\n",
                    100 * recorderCpu / elapsed, 100 * catCpu / elapsed, ratio(recorderCpu, catCpu),
                    100 * floorCpu / elapsed, ratio(recorderCpu, floorCpu),
                    double(calls) / double(logged),
                    double(whileFlowing) / (tracedSeconds / kPollSeconds), records(log) - 2);
        std::fflush(stdout);
    }

    // The window logging the same stream, against cat and the minimal logger again.
    if (!slowOnly && qEnvironmentVariableIsEmpty("MARVANE_RECORD_PROGRAM")) {
        RawPty forWindow, forCat, forFloor;
        if (!forWindow.open() || !forCat.open() || !forFloor.open())
            return 1;
        auto w = loggingWindow(ini, forWindow, dir.filePath(QStringLiteral("window.log")));
        if (!w)
            return 1;
        auto cat =
            start(QStringLiteral("cat"), {forCat.name}, dir.filePath(QStringLiteral("cat2.out")));
        auto floor =
            start(floorLogger, {forFloor.name, dir.filePath(QStringLiteral("floor2.out"))});
        runFor(1500);
        std::atomic<long> sensorThread{0};
        std::atomic<bool> go{false};
        std::atomic<bool> done{false};
        std::thread sensor([&] {
            sensorThread = threadId();
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            flood({forWindow.master, forCat.master, forFloor.master}, seconds);
            done = true;
        });
        while (sensorThread == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double windowBefore = processCpu(self, sensorThread);
        const double catBefore = processCpu(cat->processId());
        const double floorBefore = processCpu(floor->processId());
        QElapsedTimer wall;
        wall.start();
        go = true;
        runFor(int(seconds * 1000));
        while (!done)
            runFor(20);
        runFor(1200);
        const double elapsed = wall.elapsed() / 1000.0;
        const double windowCpu = processCpu(self, sensorThread) - windowBefore;
        const double catCpu = processCpu(cat->processId()) - catBefore;
        const double floorCpu = processCpu(floor->processId()) - floorBefore;
        sensor.join();
        stop(*cat);
        stop(*floor);
        w->disconnectPort();
        std::printf("record cost: window %.2f%% of a core, cat %.2f%%, ratio %.2f; minimal logger "
                    "%.2f%%, ratio %.2f\n",
                    100 * windowCpu / elapsed, 100 * catCpu / elapsed, ratio(windowCpu, catCpu),
                    100 * floorCpu / elapsed, ratio(windowCpu, floorCpu));
        std::fflush(stdout);
    }

    // One record a second: the recorder, the window and the minimal logger side by side. Their
    // files are kept in memory (/dev/shm) when it can be had, so that the waits of a disk's
    // sync do not count as wake-ups: what is counted is how often each is woken to work.
    {
        QTemporaryDir memory(QStringLiteral("/dev/shm/record_cost-XXXXXX"));
        QTemporaryDir& slowDir = memory.isValid() ? memory : dir;
        RawPty forRecorder, forWindow, forFloor;
        if (!forRecorder.open() || !forWindow.open() || !forFloor.open())
            return 1;
        auto recorder = start(recorderProgram(),
                              {QStringLiteral("--settings"), ini, QStringLiteral("--port"),
                               forRecorder.name, slowDir.filePath(QStringLiteral("slow.log"))});
        auto floor =
            start(floorLogger, {forFloor.name, slowDir.filePath(QStringLiteral("floor3.out"))});
        auto w = loggingWindow(ini, forWindow, slowDir.filePath(QStringLiteral("slow-window.log")));
        if (!w)
            return 1;
        runFor(1500);
        std::atomic<long> sensorThread{0};
        std::atomic<bool> go{false};
        std::atomic<bool> done{false};
        std::thread sensor([&] {
            sensorThread = threadId();
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            flood({forRecorder.master, forWindow.master, forFloor.master}, slowSeconds, 1.0);
            done = true;
        });
        while (sensorThread == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double recorderBefore = processCpu(recorder->processId());
        const double windowBefore = processCpu(self, sensorThread);
        const double floorBefore = processCpu(floor->processId());
        const long recorderWakes = wakeUps(recorder->processId());
        const long windowWakes = wakeUps(self, sensorThread);
        const long floorWakes = wakeUps(floor->processId());
        QElapsedTimer wall;
        wall.start();
        go = true;
        // The window's thread is this one: it waits in the event loop as the program does.
        runFor(int(slowSeconds * 1000));
        while (!done)
            runFor(200);
        const double elapsed = wall.elapsed() / 1000.0;
        const double recorderCpu = processCpu(recorder->processId()) - recorderBefore;
        const double windowCpu = processCpu(self, sensorThread) - windowBefore;
        const double floorCpu = processCpu(floor->processId()) - floorBefore;
        const double sent = std::ceil(slowSeconds);
        const double recorderPerRecord =
            double(wakeUps(recorder->processId()) - recorderWakes) / sent;
        const double windowPerRecord = double(wakeUps(self, sensorThread) - windowWakes) / sent;
        const double floorPerRecord = double(wakeUps(floor->processId()) - floorWakes) / sent;
        sensor.join();
        stop(*recorder);
        stop(*floor);
        w->disconnectPort();
        std::printf("record cost at 1 Hz: recorder %.3f%% of a core, window %.3f%%, minimal logger "
                    "%.3f%%, ratios %.1f and %.1f; wake-ups per record: recorder %.1f, window "
                    "%.1f, minimal logger %.1f\n",
                    100 * recorderCpu / elapsed, 100 * windowCpu / elapsed,
                    100 * floorCpu / elapsed, ratio(recorderCpu, floorCpu),
                    ratio(windowCpu, floorCpu), recorderPerRecord, windowPerRecord, floorPerRecord);
    }
    return 0;
}
