// How many records per second the display path sustains: the main window, offscreen, takes a
// steady stream of valid records in all three units through the sample pipeline (validation, units
// set-up, both tables, readouts, both needle redraws). The sensor's fastest line delivers 768
// records per second; the one event thread must keep well ahead of that.
//
// Last line: "display path: N records/s", the median of several rounds.

#include "app/MainWindow.h"
#include "app/Prompts.h"
#include "processing/FlowPipeline.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Nothing in this run may wait for a person.
class NoPrompts : public Prompts
{
public:
    bool confirm(const QString&) override { return false; }
    void error(const QString& text, const QString&) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void message(const QString& text, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override
    {
        return std::nullopt;
    }
};

QStringList records()
{
    QStringList out;
    for (int i = 0; i < 300; ++i) {
        const int d = i % 10;
        switch ((i / 10) % 3) {
        case 0:
            out << QStringLiteral("+0%1%2 -00515").arg(d).arg(i % 100, 3, 10, QLatin1Char('0'));
            break;
        case 1:
            out << QStringLiteral("-%1.%2 +0.515").arg(d).arg(i % 1000, 3, 10, QLatin1Char('0'));
            break;
        default:
            out << QStringLiteral("+0%1.%2 -05.15").arg(d).arg(i % 100, 2, 10, QLatin1Char('0'));
            break;
        }
    }
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    MainWindow w(dir.filePath(QStringLiteral("marvane.ini")), std::make_unique<NoPrompts>());
    w.show();
    QApplication::processEvents();

    const QStringList stream = records();
    const int perRound = 6000;
    std::vector<double> rates;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < perRound; ++i) {
            w.pipeline().processRecord(stream.at(i % stream.size()), SampleSource::Serial);
            // Let the window repaint now and then, as the event loop does between polls.
            if (i % 700 == 699)
                QApplication::processEvents();
        }
        QApplication::processEvents();
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        rates.push_back(perRound / seconds);
        std::printf("round %d: %.0f records/s\n", round + 1, rates.back());
    }
    std::sort(rates.begin(), rates.end());
    std::printf("display path: %.0f records/s\n", rates.at(rates.size() / 2));
    return 0;
}
