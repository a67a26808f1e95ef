// How many records per second the display path sustains: the main window, offscreen, takes a
// steady stream of valid records in all three units through the sample pipeline (validation, units
// set-up, both tables, readouts, both needles), and is repainted as a person sees it: the event
// loop runs every 40 ms of the run (25 frames a second), painting whatever changed. A second
// figure repaints the whole window after every record, the worst case. The sensor's fastest line
// delivers 768 records per second; the one event thread must keep well ahead of that.
//
// Last lines: "display path: N records/s" and "display path (repaint each): M records/s", the
// medians of several rounds.

#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "sensor/FlowPipeline.h"
#include "session/LiveSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

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
    MainWindow w(dir.filePath(QStringLiteral("marvane.ini")),
                 std::make_unique<PrintingPrompts>(false));
    w.show();
    QApplication::processEvents();

    const QStringList stream = records();
    const auto rounds = [&](int perRound, bool repaintEach) {
        std::vector<double> rates;
        for (int round = 0; round < 7; ++round) {
            QElapsedTimer t;
            t.start();
            qint64 nextFrame = 40;
            for (int i = 0; i < perRound; ++i) {
                w.session().receiveRecord(stream.at(i % stream.size()), SampleSource::Live);
                if (repaintEach) {
                    w.repaint();
                } else if (t.elapsed() >= nextFrame) {
                    QApplication::processEvents();
                    nextFrame = t.elapsed() + 40;
                }
            }
            QApplication::processEvents();
            rates.push_back(perRound / (double(t.nsecsElapsed()) / 1e9));
        }
        std::sort(rates.begin(), rates.end());
        return rates.at(rates.size() / 2);
    };
    const double seen = rounds(20000, false);
    const double each = rounds(500, true);
    std::printf("display path: %.0f records/s\n", seen);
    std::printf("display path (repaint each): %.0f records/s\n", each);
    return 0;
}
