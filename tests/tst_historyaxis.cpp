// The History's time axis: the gap rule, round-time ticks across a change of day, bearings across
// north drawn as points, the live history growing sample by sample, a click going to the sample
// nearest in time, a log file with an hour missing, and the History window on a small screen.

#include "app/HistoryPane.h"
#include "app/HistoryPlot.h"
#include "app/LivePlot.h"
#include "app/TimePlotPainter.h"
#include "history/LiveHistory.h"
#include "logformat/LogFormat.h"
#include "replay/ReplayIndex.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "history/HistorySeries.h"
#include "history/SpanStatistics.h"
#include "history/TimeAxis.h"
#include "tests/support/Samples.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include <vector>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// Milliseconds of a date and time, UTC.
qint64 utc(int d, int mo, int h, int mi, int se)
{
    return QDateTime(QDate(2009, mo, d), QTime(h, mi, se), Qt::UTC).toMSecsSinceEpoch();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QImage rendered(QWidget& w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    w.render(&image);
    return image;
}

// Rows of column x between top and bottom holding colour c.
QList<int> rowsOfColour(const QImage& image, int x, const QColor& c, int top, int bottom)
{
    QList<int> rows;
    for (int y = top; y <= bottom; ++y) {
        if (image.pixelColor(x, y) == c)
            rows << y;
    }
    return rows;
}

} // namespace

class TestHistoryAxis : public QObject
{
    Q_OBJECT

private slots:
    void gapRule_data();
    void gapRule();
    void typicalIntervalIsTheMedian();
    void ticksAtRoundTimes_data();
    void ticksAtRoundTimes();
    void stepLeavesRoomForEachStepsLabels_data();
    void stepLeavesRoomForEachStepsLabels();
    void dayLongAxisIsLabelledEveryFewHours_data();
    void dayLongAxisIsLabelledEveryFewHours();
    void bearingAcrossNorthIsDrawnAsPoints_data();
    void bearingAcrossNorthIsDrawnAsPoints();
    void liveHistoryGrowsSampleBySample();
    void livePlotShowsTheLastMinutes();
    void clickGoesToTheSampleNearestInTime_data();
    void clickGoesToTheSampleNearestInTime();
    void fileWithAnHourMissingShowsTheGap();
    void historyWindowFitsTheScreenAndWrapsItsSummary();
    void historyWindowPlace_data();
    void historyWindowPlace();
    void unitsLinesAmongRecordsAreMarkers();
    void longSummaryIsMadeInSlices();
};

void TestHistoryAxis::gapRule_data()
{
    QTest::addColumn<qint64>("typical");
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<bool>("gap");
    // Five typical intervals, and never less than 2 s.
    QTest::newRow("1 Hz, 5 s") << 1000LL << 5000LL << false;
    QTest::newRow("1 Hz, 5.001 s") << 1000LL << 5001LL << true;
    QTest::newRow("5 Hz stamped to the second, 2 s") << 0LL << 2000LL << false;
    QTest::newRow("5 Hz stamped to the second, 2.001 s") << 0LL << 2001LL << true;
    QTest::newRow("5 Hz, 1.9 s") << 200LL << 1900LL << false;
    QTest::newRow("5 Hz, 2.1 s") << 200LL << 2100LL << true;
    QTest::newRow("a sample a minute, 5 min") << 60000LL << 300000LL << false;
    QTest::newRow("a sample a minute, an hour") << 60000LL << 3600000LL << true;
    QTest::newRow("clock set back") << 1000LL << -60000LL << false;
}

void TestHistoryAxis::gapRule()
{
    QFETCH(qint64, typical);
    QFETCH(qint64, interval);
    QFETCH(bool, gap);
    QCOMPARE(isGap(interval, typical), gap);
}

void TestHistoryAxis::typicalIntervalIsTheMedian()
{
    std::vector<qint64> fiveHertz = {0, 0, 0, 0, 1000, 0, 0, 0, 0, 1000};
    QCOMPARE(medianIntervalMs(&fiveHertz), 0LL);
    std::vector<qint64> withGap = {1000, 1000, 3600000, 1000, 2000};
    QCOMPARE(medianIntervalMs(&withGap), 1000LL);
    std::vector<qint64> none;
    QCOMPARE(medianIntervalMs(&none), 0LL);
    // An even count: the lower of the middle two, an interval that occurred, as the statistics
    // of a span take it; so the plot and the summary find the same gaps (5 x 200 ms is under 2 s,
    // 5 x 1000 ms is not).
    std::vector<qint64> even = {1000, 200};
    QCOMPARE(medianIntervalMs(&even), 200LL);
    QCOMPARE(typicalIntervalMs(std::vector<qint64>{0, 200, 1200}), 200LL);

    // A series of 1 Hz with an hour missing: still 1 s.
    HistorySeries series;
    for (int k = 0; k < 100; ++k)
        series.append({0.5, 90, utc(24, 5, 10, 0, 0) + k * 1000LL + (k >= 50 ? 3600000 : 0)});
    QCOMPARE(series.typicalIntervalMs(), 1000LL);
}

void TestHistoryAxis::ticksAtRoundTimes_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("minStep");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<qint64>("firstTick");
    // Labels carry the date on the first tick and where the day changes, and never repeat.
    QTest::newRow("seconds across midnight")
        << utc(25, 5, 23, 59, 50) << utc(26, 5, 0, 0, 20) << 8000LL
        << QStringList{s("25/05/2009 23:59:50"), s("26/05/2009 00:00:00"), s("00:00:10"),
                       s("00:00:20")}
        << utc(25, 5, 23, 59, 50);
    QTest::newRow("hours across midnight")
        << utc(24, 5, 22, 10, 0) << utc(25, 5, 1, 50, 0) << 40LL * 60000
        << QStringList{s("24/05/2009 23:00"), s("25/05/2009 00:00"), s("01:00")}
        << utc(24, 5, 23, 0, 0);
    QTest::newRow("minutes, none at the start")
        << utc(24, 5, 14, 3, 7) << utc(24, 5, 14, 8, 0) << 61000LL
        << QStringList{s("24/05/2009 14:04"), s("14:06"), s("14:08")} << utc(24, 5, 14, 4, 0);
    QTest::newRow("days") << utc(23, 5, 12, 0, 0) << utc(26, 5, 12, 0, 0) << 20LL * 3600000
                          << QStringList{s("24/05/2009"), s("25/05/2009"), s("26/05/2009")}
                          << utc(24, 5, 0, 0, 0);
    QTest::newRow("six hours over the end of a month")
        << utc(31, 5, 13, 0, 0) << utc(1, 6, 13, 0, 0) << 5LL * 3600000
        << QStringList{s("31/05/2009 18:00"), s("01/06/2009 00:00"), s("06:00"), s("12:00")}
        << utc(31, 5, 18, 0, 0);
}

void TestHistoryAxis::ticksAtRoundTimes()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(qint64, minStep);
    QFETCH(QStringList, labels);
    QFETCH(qint64, firstTick);
    const std::vector<TimeTick> ticks = timeTicks(start, end, minStep, TimeBase::Utc);
    QStringList got;
    for (const TimeTick& t : ticks)
        got << t.label;
    QCOMPARE(got, labels);
    QCOMPARE(ticks.front().timeMs, firstTick);
    const qint64 step = timeTickStepMs(minStep);
    for (size_t i = 1; i < ticks.size(); ++i)
        QCOMPARE(ticks[i].timeMs - ticks[i - 1].timeMs, step);
}

void TestHistoryAxis::stepLeavesRoomForEachStepsLabels_data()
{
    QTest::addColumn<qint64>("span");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<qint64>("step");
    constexpr qint64 second = 1000, minute = 60 * second, hour = 60 * minute, day = 24 * hour;
    // Labels 7 pixels a character and 16 between: "00:00" needs 51, "00:00:00" 72 and a date 86.
    QTest::newRow("a day over 560 pixels: every 3 hours") << day << 560 << 3 * hour;
    QTest::newRow("a day over 285 pixels: every 6 hours") << day << 285 << 6 * hour;
    QTest::newRow("ten minutes: every minute") << 10 * minute << 560 << minute;
    QTest::newRow("a minute: every 10 seconds") << minute << 560 << 10 * second;
    QTest::newRow("two minutes: every 30 seconds, not 15") << 2 * minute << 560 << 30 * second;
    QTest::newRow("thirty days: every week") << 30 * day << 560 << 7 * day;
}

void TestHistoryAxis::stepLeavesRoomForEachStepsLabels()
{
    QFETCH(qint64, span);
    QFETCH(int, pixels);
    QFETCH(qint64, step);
    const auto labelPixels = [](qint64 s) { return int(timeTickLabelPattern(s).size()) * 7 + 16; };
    QCOMPARE(timeTickStepForAxis(span, pixels, labelPixels), step);
}

void TestHistoryAxis::dayLongAxisIsLabelledEveryFewHours_data()
{
    QTest::addColumn<int>("width"); // of the speed pane
    QTest::newRow("default History window") << 560;
    QTest::newRow("History window at scale 2") << 285;
}

void TestHistoryAxis::dayLongAxisIsLabelledEveryFewHours()
{
    QFETCH(int, width);
    // A log of a whole day, from 00:00:07 to 23:59:57.
    HistorySeries series;
    for (int k = 0; k < 8640; ++k)
        series.append({0.5, 90, utc(1, 6, 0, 0, 7) + k * 10000LL});
    const QRect speed(48, 8, width, 150);
    const QRect bearing(48, 176, width, 120);
    const TimePlotPainter painter(&series, series.firstTimeMs(), series.lastTimeMs(), speed,
                                  bearing);
    const QFontMetrics metrics(QApplication::font());
    const std::vector<TimeAxisLabel> labels = painter.timeAxisLabels(metrics, width + 56);
    QStringList times;
    QStringList dates;
    for (const TimeAxisLabel& label : labels)
        (label.rect.top() == labels.front().rect.top() ? times : dates) << label.text;
    // More than noon alone: a label every few hours, each a round hour, and the date under the
    // first of them.
    QVERIFY2(times.size() >= 3, qPrintable(times.join(QLatin1Char(' '))));
    for (const QString& time : times)
        QVERIFY2(QRegularExpression(s("^[0-2][0-9]:00$")).match(time).hasMatch(), qPrintable(time));
    QCOMPARE(dates, QStringList{s("01/06/2009")});
    // No two labels of a line touch, and all lie inside the drawing.
    for (size_t i = 1; i < labels.size(); ++i) {
        if (labels[i].rect.top() == labels[i - 1].rect.top())
            QVERIFY(labels[i].rect.left() > labels[i - 1].rect.right());
    }
    for (const TimeAxisLabel& label : labels)
        QVERIFY(label.rect.left() >= 0 && label.rect.right() < width + 56);
    // The axis fits under the bearing pane as the plots leave room for it.
    QVERIFY(labels.back().rect.bottom() <=
            bearing.bottom() + TimePlotPainter::timeAxisHeight(metrics));
}

void TestHistoryAxis::bearingAcrossNorthIsDrawnAsPoints_data()
{
    QTest::addColumn<int>("perColumn");
    QTest::newRow("few samples a column: each drawn") << 1;
    QTest::newRow("many samples a column: the bearings seen") << 40;
}

void TestHistoryAxis::bearingAcrossNorthIsDrawnAsPoints()
{
    QFETCH(int, perColumn);
    // A flow swinging across north: 358, 359, 001, 002 over and over, one sample a second.
    HistorySeries series;
    const int bearings[] = {358, 359, 1, 2};
    const int count = 500 * perColumn;
    for (int k = 0; k < count; ++k)
        series.append({0.5, bearings[k % 4], utc(24, 5, 10, 0, 0) + k * 1000LL});
    HistoryPlot plot;
    plot.setSeries(&series);
    plot.resize(400, 300);
    plot.resize(500 + plot.width() - plot.speedPane().width(), 300);
    const QImage image = rendered(plot);
    const QRect pane = plot.bearingPane();
    // Points near the top (359) and near the bottom (001) of every column that has samples,
    // nothing in between: no bar across the circle.
    int columnsWithBoth = 0;
    for (int x = pane.left() + 2; x < pane.right() - 2; ++x) {
        const QList<int> rows =
            rowsOfColour(image, x, HistoryPlot::bearingColour(), pane.top(), pane.bottom());
        for (int y : rows) {
            const double up = double(pane.bottom() - y) / (pane.height() - 1);
            QVERIFY2(up < 0.02 || up > 0.98,
                     qPrintable(QStringLiteral("x %1 up %2").arg(x).arg(up)));
        }
        const bool top =
            std::any_of(rows.begin(), rows.end(), [&](int y) { return y <= pane.top() + 4; });
        const bool bottom =
            std::any_of(rows.begin(), rows.end(), [&](int y) { return y >= pane.bottom() - 4; });
        columnsWithBoth += top && bottom;
    }
    // Many samples a column: every column holds both sides of north. One a column (points two
    // pixels wide): half the columns meet a sample from each side.
    const int columns = pane.width() - 4;
    const int wanted = perColumn > 1 ? columns * 9 / 10 : columns * 4 / 10;
    QVERIFY2(columnsWithBoth > wanted, qPrintable(QString::number(columnsWithBoth)));
}

void TestHistoryAxis::liveHistoryGrowsSampleBySample()
{
    LiveHistory live;
    QSignalSpy grew(&live, &LiveHistory::grew);
    const qint64 start = utc(24, 5, 14, 0, 0);
    // Two minutes at 1 Hz in batches of 30, a demonstration sample among them (left out) and one
    // whose flow could not be computed (a bad record).
    for (int batch = 0; batch < 4; ++batch) {
        SampleBatch samples;
        for (int k = batch * 30; k < batch * 30 + 30; ++k)
            samples << flowSample(start + k * 1000LL, 0.1 + k * 0.001, (k * 7) % 360);
        samples << flowSample(start, 9.0, 0, false, SampleSource::Demonstration);
        if (batch == 2) {
            Sample failed = flowSample(start + 89500, 0, 0);
            failed.computed = false;
            samples.insert(30, failed);
        }
        live.addBatch(samples);
    }
    QCOMPARE(grew.count(), 4); // once a batch
    const HistorySeries& series = live.series();
    QCOMPARE(series.recordCount(), 121LL);
    QCOMPARE(series.sampleCount(), 120LL);
    QCOMPARE(series.badCount(), 1LL);
    // The session's time base, UTC unless the options say local time.
    QCOMPARE(series.timeBase(), TimeBase::Utc);
    // Each sample as it was given: time, speed and whole degrees.
    for (int k : {0, 1, 59, 60, 89, 119}) {
        const qint64 record = k < 90 ? k : k + 1;
        const HistorySample h = series.sampleAt(record);
        QCOMPARE(h.timeMs, start + k * 1000LL);
        QVERIFY(qAbs(h.speed - (0.1 + k * 0.001)) < 1e-9);
        QCOMPARE(h.bearing, (k * 7) % 360);
    }
    // 120 s over 120 columns: one sample a column, no blocks of 128.
    const std::vector<HistoryColumn> columns = series.columns(start, start + 119000, 120);
    for (size_t c = 0; c < columns.size(); ++c) {
        QCOMPARE(columns[c].count, 1LL);
        QCOMPARE(columns[c].firstTimeMs, start + qint64(c) * 1000);
    }
    // A later sample adds one more.
    live.addSample(flowSample(start + 120000, 0.5, 90));
    QCOMPARE(grew.count(), 5);
    QCOMPARE(series.sampleCount(), 121LL);
}

void TestHistoryAxis::livePlotShowsTheLastMinutes()
{
    LiveHistory live;
    const qint64 start = utc(24, 5, 14, 0, 0);
    SampleBatch batch;
    for (int k = 0; k < 1800; ++k)
        batch << flowSample(start + k * 1000LL, 0.5, 90);
    live.addBatch(batch);
    LivePlot plot;
    plot.setSeries(&live.series());
    plot.resize(700, 220);
    QCOMPARE(plot.spanMinutes(), 10);
    QCOMPARE(plot.spanEndMs(), start + 1799000);
    QCOMPARE(plot.spanStartMs(), start + 1799000 - 600000);
    // The wheel: away shows fewer minutes, towards more.
    const QPointF at = plot.speedPane().center();
    const auto turn = [&](int angle) {
        QWheelEvent wheel(at, plot.mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &wheel);
    };
    turn(120);
    QCOMPARE(plot.spanMinutes(), 5);
    turn(-3 * 120);
    QCOMPARE(plot.spanMinutes(), 30);
    QCOMPARE(plot.spanBox()->currentText(), s("30 min"));
    // The half hour fills the width: the speed line (0.5 m/s, the top of the scale) reaches
    // both ends of the pane.
    const QImage image = rendered(plot);
    const QRect speed = plot.speedPane();
    for (int x : {speed.left() + 1, speed.center().x(), speed.right() - 1}) {
        bool found = false;
        for (int dy = 0; dy <= 2; ++dy)
            found = found || image.pixelColor(x, speed.top() + dy) == HistoryPlot::speedColour();
        QVERIFY2(found, qPrintable(QString::number(x)));
    }
}

void TestHistoryAxis::clickGoesToTheSampleNearestInTime_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("record");
    // Samples at 0, 1, 2, 10 and 30 s (records 0, 1, 2, 4, 5); record 3 is a bad line.
    QTest::newRow("on a sample") << 1000LL << 1LL;
    QTest::newRow("between two, nearer the first") << 5000LL << 2LL;
    QTest::newRow("half way: the earlier") << 6000LL << 2LL;
    QTest::newRow("nearer the later") << 7000LL << 4LL;
    QTest::newRow("in a long gap") << 21000LL << 5LL;
    QTest::newRow("before the first") << -5000LL << 0LL;
    QTest::newRow("after the last") << 99000LL << 5LL;
}

void TestHistoryAxis::clickGoesToTheSampleNearestInTime()
{
    QFETCH(qint64, at);
    QFETCH(qint64, record);
    const qint64 start = utc(24, 5, 12, 0, 0);
    HistorySeries series;
    for (qint64 t : {0, 1000, 2000})
        series.append({0.5, 90, start + t});
    series.appendBad();
    series.append({0.5, 90, start + 10000});
    series.append({0.5, 90, start + 30000});
    QCOMPARE(series.nearestSample(start + at), record);

    // Through the plot: 30 s over 301 columns, a column every 0.1 s.
    if (at < 0 || at > 30000)
        return;
    HistoryPlot plot;
    plot.setSeries(&series);
    plot.resize(400, 300);
    plot.resize(301 + plot.width() - plot.speedPane().width(), 300);
    plot.setTimeSpan(start, start + 30000);
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);
    const int x = plot.speedPane().left() + int(at / 100);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(x, plot.speedPane().center().y()));
    QCOMPARE(seek.count(), 1);
    QCOMPARE(seek.first().at(0).toLongLong(), record);
}

void TestHistoryAxis::fileWithAnHourMissingShowsTheGap()
{
    // Ten minutes at 1 Hz from 10:00:00, an hour with nothing, ten more minutes from 11:10:00.
    QTemporaryDir dir;
    const QString path = dir.filePath(s("gap.log"));
    QByteArray file = logHeaderLine() + logUnitsLine(s("m/s"));
    const auto add = [&](qint64 timeMs, int k) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(s("dd/MM/yyyy HH:mm:ss"));
        file +=
            logRecordLine(s("0.500"), QString::number(90 + k % 10).rightJustified(3, u'0'), time);
    };
    for (int k = 0; k < 600; ++k)
        add(utc(24, 5, 10, 0, 0) + k * 1000LL, k);
    for (int k = 0; k < 600; ++k)
        add(utc(24, 5, 11, 10, 0) + k * 1000LL, k);
    QVERIFY(writeFile(path, file));
    ReplayIndex index;
    QString error;
    QVERIFY(index.open(path, &error));
    QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));
    const HistorySeries& history = index.history();
    QCOMPARE(history.recordCount(), 1200LL);
    QCOMPARE(history.typicalIntervalMs(), 1000LL);

    // 10:00:00 to 11:19:59 over 1000 columns, 4.8 s each: the hour from 10:09:59 to 11:10:00
    // lies between columns 125 and 875.
    HistoryPlot plot;
    plot.setSeries(&history);
    plot.resize(400, 300);
    plot.resize(1000 + plot.width() - plot.speedPane().width(), 300);
    const QImage image = rendered(plot);
    const QRect speed = plot.speedPane();
    const auto speedRows = [&](int column) {
        return rowsOfColour(image, speed.left() + column, HistoryPlot::speedColour(), speed.top(),
                            speed.bottom());
    };
    for (int c : {5, 60, 120, 880, 940, 995})
        QVERIFY2(!speedRows(c).isEmpty(), qPrintable(QString::number(c)));
    for (int c : {130, 300, 500, 700, 870}) {
        QVERIFY2(speedRows(c).isEmpty(), qPrintable(QString::number(c)));
        // Shaded as a gap (a column on a time tick carries the tick's grid line instead).
        const QColor shade = image.pixelColor(speed.left() + c, speed.top() + speed.height() / 4);
        QVERIFY2(shade == QColor(238, 238, 238) || shade == QColor(215, 215, 215),
                 qPrintable(QString::number(c) + QLatin1Char(' ') + shade.name()));
    }
    // The columns of the hour hold no record.
    const std::vector<HistoryColumn> columns =
        history.columns(plot.spanStartMs(), plot.spanEndMs(), 1000);
    for (int c = 126; c < 874; ++c)
        QCOMPARE(columns[size_t(c)].count, 0LL);
    // A click in the gap goes to the nearer side of it.
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(speed.left() + 300, speed.center().y()));
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(speed.left() + 700, speed.center().y()));
    QCOMPARE(seek.count(), 2);
    QCOMPARE(seek.at(0).at(0).toLongLong(), 599LL);
    QCOMPARE(seek.at(1).at(0).toLongLong(), 600LL);
}

void TestHistoryAxis::historyWindowFitsTheScreenAndWrapsItsSummary()
{
    FlowPipeline pipeline(nullptr);
    ReplaySession session(&pipeline);
    LiveHistory live;
    live.addSample(flowSample(utc(24, 5, 14, 0, 0), 0.5, 90));
    HistoryPane pane(&session, &live);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const QSize room = pane.screen()->availableGeometry().size();
    QVERIFY(pane.width() <= room.width());
    QVERIFY(pane.height() <= room.height());
    QCOMPARE(pane.summaryText()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    // Narrowed to its smallest, the Copy button stays inside the window.
    pane.resize(pane.minimumSizeHint());
    QTRY_VERIFY(pane.rect().contains(pane.copyButton()->geometry()));
}

void TestHistoryAxis::historyWindowPlace_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("mainFrame");
    QTest::addColumn<int>("belowMenuBar");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<QRect>("expected");
    const QRect wide(0, 0, 1920, 1040);
    const QSize history(902, 420);
    // Beside the main window where the screen has room: right first, then left, below, above.
    QTest::newRow("right") << wide << QRect(300, 200, 634, 450) << 248 << history
                           << QRect(934, 200, 902, 420);
    QTest::newRow("left") << wide << QRect(1100, 200, 634, 450) << 248 << history
                          << QRect(198, 200, 902, 420);
    QTest::newRow("right, moved up to stay on the screen")
        << wide << QRect(300, 800, 634, 200) << 848 << history << QRect(934, 620, 902, 420);
    QTest::newRow("below") << QRect(0, 0, 1280, 1024) << QRect(300, 100, 634, 450) << 148 << history
                           << QRect(300, 550, 902, 420);
    QTest::newRow("above") << QRect(0, 0, 1280, 1024) << QRect(300, 500, 634, 450) << 548 << history
                           << QRect(300, 80, 902, 420);
    // No room beside it (1280 x 900, the main window centred): over it, under its menu bar.
    QTest::newRow("over, below the menu bar") << QRect(0, 0, 1280, 900) << QRect(323, 225, 634, 450)
                                              << 273 << history << QRect(323, 273, 902, 420);
    // Scale 2 on 1280 x 900 (640 x 450 logical) with a panel along the top: shortened to fit.
    QTest::newRow("over, shortened to the screen")
        << QRect(0, 20, 640, 430) << QRect(0, 20, 640, 430) << 62 << QSize(630, 420)
        << QRect(0, 62, 630, 388);
    // Too little room under the menu bar even shortened: the window's bottom on the screen's.
    QTest::newRow("over, moved up") << QRect(0, 0, 640, 450) << QRect(0, 0, 640, 450) << 300
                                    << QSize(630, 420) << QRect(0, 30, 630, 420);
}

void TestHistoryAxis::historyWindowPlace()
{
    QFETCH(QRect, available);
    QFETCH(QRect, mainFrame);
    QFETCH(int, belowMenuBar);
    QFETCH(QSize, frameSize);
    QFETCH(QRect, expected);
    const QRect place = historyWindowFrame(frameSize, mainFrame, belowMenuBar, available, 300);
    QCOMPARE(place, expected);
    QVERIFY(available.contains(place));
}

void TestHistoryAxis::unitsLinesAmongRecordsAreMarkers()
{
    // A recording resumed into a file written on the local clock: its units line again, between
    // records. It keeps a place among the records' numbers but is neither a sample nor a bad
    // line; the replay passes over it without a step of its own and shows no error for it.
    QTemporaryDir dir;
    const QString path = dir.filePath(s("resumed.log"));
    const QByteArray localUnits = "\"m/s\",\"Degrees\",\"24 Hour Local\"\r\n";
    QVERIFY(isLogUnitsLine(localUnits.chopped(2)));
    QCOMPARE(timeBaseOfUnitsLine(localUnits.chopped(2)), TimeBase::Local);
    QCOMPARE(timeBaseOfUnitsLine(logUnitsLine(s("m/s")).chopped(2)), TimeBase::Utc);
    QVERIFY(writeFile(path, logHeaderLine() + localUnits +
                                logRecordLine(s("0.515"), s("088"), s("24/05/2009 14:03:07")) +
                                localUnits +
                                logRecordLine(s("0.520"), s("090"), s("24/05/2009 15:00:00"))));
    ReplayIndex index;
    QString error;
    QVERIFY(index.open(path, &error));
    QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));
    QCOMPARE(index.recordCount(), 3LL);
    QCOMPARE(index.badLineCount(), 0LL);
    QCOMPARE(index.history().markerCount(), 1LL);
    QCOMPARE(index.history().sampleCount(), 2LL);
    // Stamps read on the local clock.
    QCOMPARE(index.history().sampleAt(0).timeMs,
             QDateTime(QDate(2009, 5, 24), QTime(14, 3, 7)).toMSecsSinceEpoch());

    FlowPipeline pipeline(nullptr);
    ReplaySession session(&pipeline);
    QSignalSpy shown(&pipeline, &FlowPipeline::sampleReady);
    QVERIFY(session.open(path, &error));
    for (int step = 0; step < 2; ++step)
        QVERIFY(session.step());
    QVERIFY(!session.step()); // the end: two steps showed both records
    QCOMPARE(session.position(), 2LL);
    QCOMPARE(shown.count(), 2);
    QCOMPARE(session.recordsKnown(), 2LL);
    for (const QList<QVariant>& args : shown)
        QVERIFY(args.at(0).value<Sample>().error.isEmpty());
}

QTEST_MAIN(TestHistoryAxis)
void TestHistoryAxis::longSummaryIsMadeInSlices()
{
    // More samples than one slice of the summary takes: the statistics are gathered over several
    // turns of the event loop (the window answers meanwhile) and come out as if made at once,
    // also when the live history grows or the span changes while they are made.
    FlowPipeline pipeline(nullptr);
    ReplaySession session(&pipeline);
    LiveHistory live;
    const qint64 start = utc(24, 5, 14, 0, 0);
    const auto feed = [&](qint64 from, qint64 count) {
        SampleBatch batch;
        for (qint64 k = from; k < from + count; ++k)
            batch.append(flowSample(start + k * 200, 0.3 + 0.2 * std::sin(double(k) / 500.0),
                                    double((k / 7) % 360)));
        live.addBatch(batch);
    };
    const qint64 first = 2 * HistoryPane::kSummarySlice + 321;
    feed(0, first);
    HistoryPane pane(&session, &live);
    pane.show();
    QVERIFY(pane.summaryPending());
    const auto whole = [&] {
        return historySpanSummary(live.series(), 0, live.series().recordCount() - 1);
    };
    QVERIFY(pane.summaryText()->toPlainText() != whole());
    // Grown at its end while the summary is being made.
    feed(first, HistoryPane::kSummarySlice);
    QTRY_VERIFY_WITH_TIMEOUT(!pane.summaryPending() && pane.summaryText()->toPlainText().startsWith(
                                                           QStringLiteral("Samples: 300,321\n")),
                             20000);
    QCOMPARE(pane.summaryText()->toPlainText(), whole());
    // Copy gives the text shown once it is the span's.
    pane.copyButton()->click();
    QCOMPARE(QApplication::clipboard()->text(), whole());
    // A live session's next batch: only its samples are added to what was gathered.
    feed(first + HistoryPane::kSummarySlice, 10);
    QTRY_VERIFY(pane.summaryText()->toPlainText().startsWith(QStringLiteral("Samples: 300,331\n")));
    QCOMPARE(pane.summaryText()->toPlainText(), whole());

    // Another span, zoomed in by the wheel as the operator would: made again from its start.
    HistoryPlot* plot = pane.plot();
    const QPointF at(plot->width() / 3.0, plot->height() / 2.0);
    QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    QVERIFY(plot->spanFirst() > 0);
    QTRY_VERIFY(!pane.summaryPending() && pane.summaryText()->toPlainText() != whole());
    QCOMPARE(pane.summaryText()->toPlainText(),
             historySpanSummary(live.series(), pane.plot()->spanFirst(), pane.plot()->spanLast()));
}

#include "tst_historyaxis.moc"
