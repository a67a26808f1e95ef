// How long the history plot takes to draw a long recording: 30 million samples (--samples N for
// another count) go into a history as the live session feeds it, then the plot, 1200 x 400
// pixels on the offscreen platform, is drawn into an image several times over the whole
// recording (every redraw computes its columns afresh: each round's span is one record off the
// one before) and over a zoomed span.
//
// Last line: "history plot: N ms per redraw", the median of the whole-recording redraws.

#include "app/HistoryPlot.h"
#include "processing/HistorySeries.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
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
        series.append(HistorySample{speed, bearing, 1243123200 + k});
    }
    std::printf("history: %lld samples fed in %.2f s, %lld bytes (%.1f MB)\n", count,
                timer.nsecsElapsed() / 1e9, series.memoryBytes(),
                series.memoryBytes() / (1024.0 * 1024.0));

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
    if (parser.isSet(QStringLiteral("image")))
        image.save(parser.value(QStringLiteral("image")));
    std::printf("history plot: %.2f ms per redraw\n", whole);
    return 0;
}
