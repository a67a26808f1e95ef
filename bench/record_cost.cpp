// What recording costs at the sensor's fastest line rate, against the cheapest possible logger:
// `cat` copying the same stream to a file. Two pseudo-terminals receive the same records paced
// at 115200 baud (768 records of 15 bytes a second); marvane-record logs one, cat copies the
// other, side by side in the same run. CPU time is read from /proc for each process. A second,
// shorter run of the recorder under strace counts the system calls made on the log file itself
// (open, stat, seek, write, sync, close...), per record logged. A third part times the main
// window logging the same stream in this process (its main thread's CPU time), against cat.
//
// Lines: "record cost: recorder N% of a core, cat M%, ratio R; S file system calls per record"
//        "record cost: window N% of a core, cat M%, ratio R"

#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "logfile/Recording.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr double kRecordsPerSecond = 768.0;

// Sends the same numbered records to every terminal at the line rate for seconds.
void flood(const std::vector<int>& masters, double seconds)
{
    const auto start = std::chrono::steady_clock::now();
    long n = 0;
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= seconds)
            break;
        const long due = long(elapsed * kRecordsPerSecond);
        QByteArray chunk;
        for (; n < due; ++n) {
            char text[32];
            std::snprintf(text, sizeof text, "+%05ld -00515\r\n", n % 100000);
            chunk += QByteArray(text, 15);
        }
        for (const int master : masters) {
            if (!chunk.isEmpty() &&
                ::write(master, chunk.constData(), size_t(chunk.size())) != chunk.size())
                std::perror("write");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// User and system CPU time of a process so far, in seconds.
double processCpu(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks: fields are counted after its closing parenthesis.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

double threadCpu()
{
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

QProcess* startCat(const QString& device, const QString& out)
{
    auto* cat = new QProcess;
    cat->setStandardOutputFile(out);
    cat->start(QStringLiteral("cat"), {device});
    cat->waitForStarted();
    return cat;
}

// The recorder measured: this build's, or another one named by MARVANE_RECORD_PROGRAM (an
// earlier version, to compare).
QString recorderProgram()
{
    const QString other = qEnvironmentVariable("MARVANE_RECORD_PROGRAM");
    return other.isEmpty() ? QStringLiteral(MARVANE_RECORD) : other;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("marvane.ini"))).open(QIODevice::WriteOnly);
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));

    // The recorder and cat, side by side.
    {
        RawPty forRecorder, forCat;
        if (!forRecorder.open() || !forCat.open())
            return 1;
        const QString log = dir.filePath(QStringLiteral("recorder.log"));
        QProcess recorder;
        recorder.start(recorderProgram(),
                       {QStringLiteral("--settings"), ini, QStringLiteral("--port"),
                        forRecorder.name, log});
        recorder.waitForStarted();
        std::unique_ptr<QProcess> cat(startCat(forCat.name, dir.filePath(QStringLiteral("cat.out"))));
        QThread::msleep(1500); // both settled, past the recorder's first poll wait
        const double recorderBefore = processCpu(recorder.processId());
        const double catBefore = processCpu(cat->processId());
        QElapsedTimer wall;
        wall.start();
        flood({forRecorder.master, forCat.master}, seconds);
        QThread::msleep(1200); // the last poll
        const double elapsed = wall.elapsed() / 1000.0;
        const double recorderCpu = processCpu(recorder.processId()) - recorderBefore;
        const double catCpu = processCpu(cat->processId()) - catBefore;
        recorder.terminate();
        recorder.waitForFinished();
        cat->terminate();
        cat->waitForFinished();

        // The same again, shorter, under strace: the calls made on the log file.
        RawPty traced;
        if (!traced.open())
            return 1;
        const QString tracedLog = dir.filePath(QStringLiteral("traced.log"));
        const QString trace = dir.filePath(QStringLiteral("trace.txt"));
        QProcess tracedRecorder;
        tracedRecorder.start(recorderProgram(), {QStringLiteral("--settings"), ini,
                                                 QStringLiteral("--port"), traced.name, tracedLog});
        tracedRecorder.waitForStarted();
        QProcess strace;
        strace.start(QStringLiteral("strace"),
                     {QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-o"), trace,
                      QStringLiteral("-e"),
                      QStringLiteral("trace=openat,open,close,stat,lstat,newfstatat,fstat,statx,"
                                     "lseek,write,pwrite64,fsync,fdatasync,ftruncate,flock,fcntl"),
                      QStringLiteral("-p"), QString::number(tracedRecorder.processId())});
        strace.waitForStarted();
        QThread::msleep(2500);
        flood({traced.master}, seconds / 2);
        QThread::msleep(1200);
        tracedRecorder.terminate();
        tracedRecorder.waitForFinished();
        strace.waitForFinished();
        QFile traceFile(trace);
        long calls = 0;
        if (traceFile.open(QIODevice::ReadOnly)) {
            const QByteArray name = tracedLog.toLocal8Bit();
            for (const QByteArray& line : traceFile.readAll().split('\n'))
                calls += line.contains(name) ? 1 : 0;
        }
        const long logged = qMax(1L, records(tracedLog) - 2);
        std::printf("record cost: recorder %.1f%% of a core, cat %.1f%%, ratio %.2f; %.3f file "
                    "system calls per record (%ld records)\n",
                    100 * recorderCpu / elapsed, 100 * catCpu / elapsed,
                    catCpu > 0 ? recorderCpu / catCpu : 0.0, double(calls) / double(logged),
                    records(log) - 2);
        std::fflush(stdout);
    }

    // The window logging the same stream, against cat again (this build's window only).
    if (qEnvironmentVariableIsEmpty("MARVANE_RECORD_PROGRAM")) {
        RawPty forWindow, forCat;
        if (!forWindow.open() || !forCat.open())
            return 1;
        QFile iniFile(ini);
        iniFile.open(QIODevice::WriteOnly);
        iniFile.write("[Options]\nBaudRate=6\n[Ports]\nCOM2=" + forWindow.name.toLocal8Bit() +
                      "\n");
        iniFile.close();
        auto prompts =
            std::make_unique<PrintingPrompts>(true, dir.filePath(QStringLiteral("window.log")));
        MainWindow w(ini, std::move(prompts));
        w.show();
        w.newLogFile();
        w.connectPort();
        if (!w.connected() || !w.recording().logging()) {
            std::fprintf(stderr, "could not connect and log\n");
            return 1;
        }
        std::unique_ptr<QProcess> cat(startCat(forCat.name, dir.filePath(QStringLiteral("cat2.out"))));
        runFor(1500);
        const double windowBefore = threadCpu();
        const double catBefore = processCpu(cat->processId());
        QElapsedTimer wall;
        wall.start();
        std::atomic<bool> done{false};
        std::thread sensor([&] {
            flood({forWindow.master, forCat.master}, seconds);
            done = true;
        });
        runFor(int(seconds * 1000));
        while (!done)
            runFor(20);
        sensor.join();
        runFor(1200);
        const double elapsed = wall.elapsed() / 1000.0;
        const double windowCpu = threadCpu() - windowBefore;
        const double catCpu = processCpu(cat->processId()) - catBefore;
        cat->terminate();
        cat->waitForFinished();
        std::printf("record cost: window %.1f%% of a core, cat %.1f%%, ratio %.2f\n",
                    100 * windowCpu / elapsed, 100 * catCpu / elapsed,
                    catCpu > 0 ? windowCpu / catCpu : 0.0);
    }
    return 0;
}
