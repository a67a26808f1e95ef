// A flood on the sensor's fastest line: a pseudo-terminal, mapped as the port, receives records
// paced at 115200 baud (768 records of 15 bytes per second) for 10 s, while the main window polls
// it every 900 ms with logging on. Counts what was sent and what reached the log file, and the
// longest poll.
//
// Last line: "serial flood: sent S, logged L, lost N, longest poll M ms".

#include "app/MainWindow.h"
#include "app/Prompts.h"
#include "comms/SerialSource.h"
#include "logfile/Recording.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

class BenchPrompts : public Prompts
{
public:
    QString logFile;
    bool confirm(const QString&) override { return true; } // yes, start logging
    void error(const QString& text, const QString&) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void message(const QString& text, const QString& info) override
    {
        std::fprintf(stderr, "message: %s %s\n", qPrintable(text), qPrintable(info));
    }
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override
    {
        return logFile;
    }
};

QByteArray recordBytes(long n)
{
    // mm/s records whose X counts up, so the log shows every one in order.
    char text[32];
    std::snprintf(text, sizeof text, "+%05ld -00515\r\n", n % 100000);
    return QByteArray(text, 15);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    int master = -1, slave = -1;
    char name[256] = {};
    struct termios raw;
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));
    QFile iniFile(ini);
    if (!iniFile.open(QIODevice::WriteOnly))
        return 1;
    iniFile.write("[Options]\nBaudRate=6\n[Ports]\nCOM2=" + QByteArray(name) + "\n");
    iniFile.close();

    auto prompts = std::make_unique<BenchPrompts>();
    prompts->logFile = dir.filePath(QStringLiteral("flood.log"));
    const QString logPath = prompts->logFile;
    MainWindow w(ini, std::move(prompts));
    w.show();
    w.newLogFile();
    w.connectPort();
    if (!w.connected() || !w.recording().logging()) {
        std::fprintf(stderr, "could not connect and log\n");
        return 1;
    }

    // The window's own timer is replaced by one that times each poll; same interval, same handler.
    w.serial().pollTimer().stop();
    qint64 longestNs = 0;
    QTimer poller;
    poller.setInterval(900);
    QObject::connect(&poller, &QTimer::timeout, &w, [&] {
        QElapsedTimer t;
        t.start();
        w.serial().poll();
        longestNs = std::max(longestNs, t.nsecsElapsed());
    });
    w.setTimeScaleForTests(
        0.0); // the first poll's 500 ms start-up wait is not part of a poll's work
    poller.start();

    std::atomic<long> sent{0};
    std::atomic<bool> done{false};
    std::thread sensor([&] {
        const auto start = std::chrono::steady_clock::now();
        const double perSecond = 768.0;
        long n = 0;
        while (true) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed >= seconds)
                break;
            const long due = long(elapsed * perSecond);
            QByteArray chunk;
            while (n < due)
                chunk += recordBytes(n++);
            if (!chunk.isEmpty() &&
                ::write(master, chunk.constData(), size_t(chunk.size())) != chunk.size())
                std::perror("write");
            sent = n;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done = true;
    });

    QElapsedTimer total;
    total.start();
    while (!done || total.elapsed() < (seconds + 2) * 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    sensor.join();
    w.serial().poll(); // the last bytes
    poller.stop();

    QFile log(logPath);
    long logged = 0;
    if (log.open(QIODevice::ReadOnly))
        logged = long(log.readAll().count('\n')) - 2; // header and units lines
    const long lost = sent - logged;
    std::printf("serial flood: sent %ld, logged %ld, lost %ld, longest poll %lld ms\n", long(sent),
                logged, lost, longestNs / 1000000);
    ::close(master);
    ::close(slave);
    return lost == 0 ? 0 : 1;
}
