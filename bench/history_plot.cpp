// How long the history plot takes to draw a long recording: 30 million samples (--samples N for
// another count) go into a history as the live session feeds it, then the plot, 1200 x 400
// pixels on the offscreen platform, is drawn into an image several times over the whole
// recording (every redraw computes its columns afresh: each round's span is one record off the
// one before) and over a zoomed span.
//
// Then the live strip chart: a live history of two hours at 1 Hz, one more sample before every
// redraw (as the session's batches come), shown over the whole two hours and over the default
// ten minutes.
//
// Lines: "history plot: N ms per redraw", the median of the whole-recording redraws, and
// "history plot (live, 1 Hz, 2 h): N ms per redraw", the median of the strip chart's redraws
// over two hours.

#include "app/HistoryPane.h"
#include "app/HistoryPlot.h"
#include "app/LivePlot.h"
#include "history/LiveHistory.h"
#include "history/HistorySeries.h"
#include "history/SpanStatistics.h"
#include "tests/support/Samples.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The plot keeps its columns while nothing but the position marker changes; each round here
// moves the span by one record so that every redraw computes its columns afresh.
double medianRedraw(HistoryPlot& plot, QImage& image, qint64 first, qint64 last, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        plot.setSpan(first + i % 2, last - (i + 1) % 2);
        QElapsedTimer t;
        t.start();
        plot.render(&image);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("samples"), QStringLiteral("Number of samples."),
                      QStringLiteral("N"), QStringLiteral("30000000")});
    parser.addOption({QStringLiteral("image"), QStringLiteral("Save the last redraw as PNG."),
                      QStringLiteral("path")});
    parser.process(app);
    const qint64 count = std::max(1LL, parser.value(QStringLiteral("samples")).toLongLong());

    HistorySeries series;
    QElapsedTimer timer;
    timer.start();
    // A slowly turning tide with some noise, one sample a second.
    quint64 noise = 88172645463325252ull;
    for (qint64 k = 0; k < count; ++k) {
        noise ^= noise << 13;
        noise ^= noise >> 7;
        noise ^= noise << 17;
        const double tide = (k % 44700) / 44700.0;
        const double speed = 0.2 + 0.8 * (tide < 0.5 ? tide : 1 - tide) + (noise % 100) / 1000.0;
        const int bearing = int((tide < 0.5 ? 80 : 260) + noise % 20) % 360;
        series.append(HistorySample{speed, bearing, (1243123200 + k) * 1000});
    }
    std::printf("history: %lld samples fed in %.2f s, %lld bytes (%.1f MB, %.2f bytes a sample)\n",
                count, timer.nsecsElapsed() / 1e9, series.memoryBytes(),
                series.memoryBytes() / (1024.0 * 1024.0),
                double(series.memoryBytes()) / double(count));
    // A log file's history gives back its room for growth once indexed to the end.
    series.squeeze();
    std::printf("history after squeeze (as a log file's): %lld bytes, %.2f bytes a sample\n",
                series.memoryBytes(), double(series.memoryBytes()) / double(count));

    HistoryPlot plot;
    plot.setSeries(&series);
    plot.resize(1200, 400);
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
    plot.render(&image); // first use of fonts and the paint engine

    const qint64 middle = count / 2;
    plot.setPosition(middle + 50000);
    const double zoomed =
        medianRedraw(plot, image, middle, middle + std::min<qint64>(count, 200000) - 1, 9);
    std::printf("zoomed to 200,000 samples: %.2f ms per redraw\n", zoomed);
    if (parser.isSet(QStringLiteral("image")))
        image.save(parser.value(QStringLiteral("image")) + QStringLiteral(".zoomed.png"));

    const double whole = medianRedraw(plot, image, 0, count - 1, 9);
    {
        // How much of a redraw is the reduction of the history to columns.
        std::vector<double> times;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            const auto columns = series.columns(series.firstTimeMs() + i, series.lastTimeMs(),
                                                plot.speedPane().width());
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("columns of the whole recording: %.2f ms\n", times[times.size() / 2]);
    }
    {
        // The statistics of the whole recording, as the History window's summary makes them.
        QElapsedTimer t;
        t.start();
        const QString summary = historySpanSummary(series, 0, count - 1);
        const double ms = t.nsecsElapsed() / 1e6;
        // The window makes it in slices, one per turn of its event loop.
        std::printf("summary of the whole recording: %.0f ms, made by the window in slices of "
                    "%lld records (%.1f ms each; %lld characters)\n",
                    ms, qint64(HistoryPane::kSummarySlice),
                    ms * double(HistoryPane::kSummarySlice) / double(count),
                    qint64(summary.size()));
    }
    if (parser.isSet(QStringLiteral("image")))
        image.save(parser.value(QStringLiteral("image")));
    std::printf("history plot: %.2f ms per redraw\n", whole);

    // The live strip chart, fed as the session feeds it.
    LiveHistory live;
    const qint64 start = QDateTime(QDate(2026, 12, 10), QTime(8, 0)).toMSecsSinceEpoch();
    const auto liveSample = [start](qint64 k) {
        return flowSample(start + k * 1000, 0.4 + 0.3 * std::sin(double(k) / 300.0),
                          double((k / 10) % 360));
    };
    const qint64 twoHours = 2 * 3600;
    for (qint64 k = 0; k < twoHours; ++k)
        live.addBatch({liveSample(k)});
    LivePlot strip;
    strip.setSeries(&live.series());
    strip.resize(900, 240);
    QImage stripImage(strip.size(), QImage::Format_ARGB32_Premultiplied);
    strip.render(&stripImage);
    const auto stripRedraws = [&](int minutes, qint64* next) {
        strip.setSpanMinutes(minutes);
        std::vector<double> times;
        for (int i = 0; i < 21; ++i) {
            live.addBatch({liveSample((*next)++)});
            QElapsedTimer t;
            t.start();
            strip.render(&stripImage);
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    qint64 next = twoHours;
    const double tenMinutes = stripRedraws(10, &next);
    std::printf("history plot (live, 1 Hz, 10 min shown): %.2f ms per redraw\n", tenMinutes);
    const double wholeLive = stripRedraws(120, &next);
    if (parser.isSet(QStringLiteral("image")))
        stripImage.save(parser.value(QStringLiteral("image")) + QStringLiteral(".live.png"));
    std::printf("history plot (live, 1 Hz, 2 h): %.2f ms per redraw\n", wholeLive);
    return 0;
}
