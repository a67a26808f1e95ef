// How fast a long log is exported. Writes the log of about 1 GB that the replay index benchmark
// reads (--size-mb N or MARVANE_BENCH_EXPORT_MB=N for another size) into a temporary folder,
// reads it once so that it is in the page cache, then times, each as a process of its own:
// `wc -l` of the log (the yardstick: reading the same bytes and finding their line ends), and
// marvane-export of the log to CSV and to netCDF, as an operator runs it (--program runs another
// build of it). Speeds are bytes of the log per second of wall-clock time; the peak resident
// size is that of the exporting processes (the larger of the two). The outputs are deleted after
// each run, the log at the end.
//
// Details go to standard error; standard output gets one line:
// "export: CSV N MB/s, netCDF M MB/s, peak RSS R MB; wc -l W MB/s".

#include "bench/GeneratedLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    bool ok = false;
    double seconds = 0;
    double peakMb = 0;     // the child's peak resident size
    double cpuSeconds = 0; // its processor time, user and system: on a busy machine the wall
                           // clock also counts the turns other programs took
};

// Runs program with arguments, its standard output to /dev/null, and waits for it.
Run runProcess(const std::vector<QByteArray>& arguments)
{
    Run run;
    std::vector<char*> argv;
    for (const QByteArray& a : arguments)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.peakMb = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok)
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
    return run;
}

// Reads the whole file, so that every run finds it in the page cache.
void readThrough(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::vector<char> buffer(8 << 20);
    while (file.read(buffer.data(), qint64(buffer.size())) > 0) {
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QByteArray fromEnvironment = qgetenv("MARVANE_BENCH_EXPORT_MB");
    parser.addOption({QStringLiteral("size-mb"),
                      QStringLiteral("Size of the log in MB (default: MARVANE_BENCH_EXPORT_MB, "
                                     "else 1024)."),
                      QStringLiteral("N"),
                      fromEnvironment.isEmpty() ? QStringLiteral("1024")
                                                : QString::fromLatin1(fromEnvironment)});
    parser.addOption({QStringLiteral("program"),
                      QStringLiteral("The marvane-export to run (default: the one built here), "
                                     "such as an earlier build for a comparison."),
                      QStringLiteral("PATH"), QStringLiteral(MARVANE_EXPORT)});
    parser.process(app);
    const QByteArray program = QFile::encodeName(parser.value(QStringLiteral("program")));
    const qint64 megabytes = std::max(1LL, parser.value(QStringLiteral("size-mb")).toLongLong());

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString log = dir.filePath(QStringLiteral("bench.log"));
    const qint64 records = generatedlog::writeLog(log, megabytes * 1024 * 1024);
    if (records < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(log));
        return 1;
    }
    const double mb = double(QFileInfo(log).size()) / (1024.0 * 1024.0);
    std::fprintf(stderr, "log: %.0f MB, %lld records\n", mb, records);
    readThrough(log);

    const QByteArray logName = QFile::encodeName(log);
    const Run wc = runProcess({"wc", "-l", logName});
    std::fprintf(stderr, "wc -l: %.2f s (CPU %.2f s)\n", wc.seconds, wc.cpuSeconds);

    const auto exportTo = [&](const char* name) {
        const QString output = dir.filePath(QLatin1String(name));
        const Run run = runProcess({program, logName, QFile::encodeName(output)});
        std::fprintf(stderr,
                     "%s: %.2f s (CPU %.2f s, %.0f MB/s of it), %.0f MB output, peak RSS %.1f MB\n",
                     name, run.seconds, run.cpuSeconds, mb / run.cpuSeconds,
                     double(QFileInfo(output).size()) / (1024.0 * 1024.0), run.peakMb);
        QFile::remove(output);
        return run;
    };
    const Run csv = exportTo("bench.csv");
    const Run nc = exportTo("bench.nc");
    if (!wc.ok || !csv.ok || !nc.ok)
        return 1;

    std::printf("export: CSV %.0f MB/s, netCDF %.0f MB/s, peak RSS %.0f MB; wc -l %.0f MB/s\n",
                mb / csv.seconds, mb / nc.seconds, std::max(csv.peakMb, nc.peakMb),
                mb / wc.seconds);
    return 0;
}
