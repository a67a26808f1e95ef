// The history of a recording: its reductions against record-by-record figures, the columns a plot
// draws, the summary and its text (from live samples and from a log file alike), and the plot
// widget drawing on its time axis, seeking, panning and zooming, and the operator's marks.

#include "app/HistoryPane.h"
#include "app/HistoryPlot.h"
#include "history/HistorySeries.h"
#include "history/LiveHistory.h"
#include "history/SpanStatistics.h"
#include "logformat/LogFormat.h"
#include "replay/ReplayIndex.h"
#include "session/LiveSession.h"
#include "tests/support/HistoryCompare.h"
#include "tests/support/Samples.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

#include <optional>
#include <vector>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// Milliseconds of a time of 24/05/2009 UTC.
qint64 clock(int h, int mi, int se)
{
    return QDateTime(QDate(2009, 5, 24), QTime(h, mi, se), Qt::UTC).toMSecsSinceEpoch();
}

// 50 records over 14:00:00 onwards, every seventh bad, speeds and bearings all different and the
// fastest twice (the first of them counts).
std::vector<std::optional<HistorySample>> fiftyRecords()
{
    std::vector<std::optional<HistorySample>> r;
    for (int k = 0; k < 50; ++k) {
        if (k % 7 == 3)
            r.push_back(std::nullopt);
        else if (k == 20 || k == 33)
            r.push_back(HistorySample{2.5, 45, clock(14, 0, k)});
        else
            r.push_back(HistorySample{0.1 + (k * 37 % 50) / 50.0, k * 53 % 360, clock(14, 0, k)});
    }
    return r;
}

// A series of many records: 5000 with bad ones and a few units markers among them, speeds with
// five decimals so that they are kept exactly.
std::vector<std::optional<HistorySample>> manyRecords()
{
    std::vector<std::optional<HistorySample>> r;
    for (int k = 0; k < 5000; ++k) {
        if (k % 97 == 5)
            r.push_back(std::nullopt);
        else
            r.push_back(HistorySample{(k * 7919 % 100000) / 100000.0 + 0.5, k * 53 % 360,
                                      clock(10, 0, 0) + qint64(k) * 1000});
    }
    return r;
}

void feed(HistorySeries* series, const std::vector<std::optional<HistorySample>>& records)
{
    for (const auto& r : records) {
        if (r)
            series->append(*r);
        else
            series->appendBad();
    }
}

// The figures of first..last worked out record by record.
HistoryTotals byHand(const std::vector<std::optional<HistorySample>>& records, qint64 first,
                     qint64 last)
{
    HistoryTotals t;
    first = std::max<qint64>(first, 0);
    last = std::min<qint64>(last, qint64(records.size()) - 1);
    for (qint64 k = first; k <= last; ++k) {
        ++t.records;
        const auto& r = records[size_t(k)];
        if (!r)
            continue;
        if (t.samples == 0)
            t.firstTimeMs = r->timeMs;
        t.lastTimeMs = r->timeMs;
        if (t.samples == 0 || r->speed > t.maxSpeed) {
            t.maxSpeed = r->speed;
            t.maxRecord = k;
            t.maxTimeMs = r->timeMs;
        }
        ++t.samples;
        t.sumSpeed += r->speed;
        t.sumX += r->speed * std::sin(r->bearing * M_PI / 180);
        t.sumY += r->speed * std::cos(r->bearing * M_PI / 180);
    }
    return t;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Rows of pixels in column x of image that have colour c, from top to bottom.
QList<int> rowsOfColour(const QImage& image, int x, const QColor& c, int top, int bottom)
{
    QList<int> rows;
    for (int y = top; y <= bottom; ++y) {
        if (image.pixelColor(x, y) == c)
            rows << y;
    }
    return rows;
}

QImage rendered(QWidget& w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    w.render(&image);
    return image;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void speedUnits_data();
    void speedUnits();

    void spanTotalsMatchRecordByRecord_data();
    void spanTotalsMatchRecordByRecord();
    void portionsEqualRecordsFedOneByOne_data();
    void portionsEqualRecordsFedOneByOne();
    void speedsAreKeptToTheNearestStep_data();
    void speedsAreKeptToTheNearestStep();
    void bearingsAreKeptAsWholeDegreesOfOneTurn_data();
    void bearingsAreKeptAsWholeDegreesOfOneTurn();
    void markersAndBadRecordsOfAnySpan();
    void eachRecordIsKeptCompactly();
    void columnsMatchTheRecordsInThem();

    void summaryText_data();
    void summaryText();
    void vectorMeanIsNotTheMeanOfAngles_data();
    void vectorMeanIsNotTheMeanOfAngles();
    void summaryOfNothing();
    void summaryOfASpanOfALogFile();
    void countText_data();
    void countText();
    void durationText_data();
    void durationText();

    void plotDrawsEachSampleAtItsTime();
    void plotMarksThePosition();
    void liveMarksReachTheSeriesAndThePlot();
    void movingTheMarkerReusesTheColumns();
    void clickAsksToSeekToTheSampleNearestInTime();
    void dragMovesTheSpanWithoutSeeking();
    void wheelZoomsAroundThePointer();
    void emptyPlotDrawsNoData();
    void eachSampleKeepsItsConvention();
    void residualFlowFollowsEachSamplesConvention_data();
    void residualFlowFollowsEachSamplesConvention();
};

void TestHistory::speedUnits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<double>("expected");
    const int ms = int(SpeedUnitsKind::MetresPerSecond);
    const int kn = int(SpeedUnitsKind::Knots);
    const int mm = int(SpeedUnitsKind::MillimetresPerSecond);
    QTest::newRow("same units") << 0.515 << ms << ms << 0.515;
    QTest::newRow("knots to m/s") << 1.0 << kn << ms << 1852.0 / 3600.0;
    QTest::newRow("m/s to mm/s") << 0.515 << ms << mm << 515.0;
    QTest::newRow("mm/s to m/s") << 515.0 << mm << ms << 0.515;
    QTest::newRow("knots to mm/s") << 2.0 << kn << mm << 2 * 1852000.0 / 3600;
    QTest::newRow("m/s to knots") << 1852.0 / 3600.0 << ms << kn << 1.0;
}

void TestHistory::speedUnits()
{
    QFETCH(double, value);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(double, expected);
    QVERIFY(qAbs(speedInUnits(value, SpeedUnitsKind(from), SpeedUnitsKind(to)) - expected) <
            1e-12 * expected);
}

void TestHistory::spanTotalsMatchRecordByRecord_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    const auto row = [](int which, qint64 first, qint64 last) {
        QTest::addRow("%s %lld..%lld", which ? "5000" : "50", first, last)
            << which << first << last;
    };
    row(0, 0, 49);
    row(0, 3, 5);
    row(0, 16, 16); // one record
    row(0, 17, 17); // one bad record
    row(0, -5, 60); // clamped to the series
    row(1, 0, 4999);
    row(1, 127, 128);   // across the first node's edge
    row(1, 1, 4998);    // nodes of every level, single records at both ends
    row(1, 1024, 2047); // one node of the second level
    row(1, 3000, 3999);
}

void TestHistory::spanTotalsMatchRecordByRecord()
{
    QFETCH(int, which);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    const auto records = which ? manyRecords() : fiftyRecords();
    HistorySeries series;
    feed(&series, records);

    const HistoryTotals got = series.totals(first, last);
    const HistoryTotals want = byHand(records, first, last);
    QCOMPARE(got.records, want.records);
    QCOMPARE(got.samples, want.samples);
    QCOMPARE(got.badRecords(), want.badRecords());
    QVERIFY(qAbs(got.sumSpeed - want.sumSpeed) < 1e-6);
    QVERIFY(qAbs(got.sumX - want.sumX) < 1e-6);
    QVERIFY(qAbs(got.sumY - want.sumY) < 1e-6);
    QCOMPARE(got.firstTimeMs, want.firstTimeMs);
    QCOMPARE(got.lastTimeMs, want.lastTimeMs);
    QVERIFY(qAbs(got.maxSpeed - want.maxSpeed) < 1e-9);
    QCOMPARE(got.maxRecord, want.maxRecord);
    QCOMPARE(got.maxTimeMs, want.maxTimeMs);
}

void TestHistory::markersAndBadRecordsOfAnySpan()
{
    // Units lines (a recording resumed several times) and bad lines among 5000 records: any
    // span's counts, taken from whole nodes and single records, equal those counted one by one.
    HistorySeries series;
    std::vector<char> kinds; // 's'ample, 'b'ad, 'm'arker
    for (int k = 0; k < 5000; ++k) {
        if (k % 300 == 7) {
            series.appendMarker();
            kinds.push_back('m');
        } else if (k % 97 == 5) {
            series.appendBad();
            kinds.push_back('b');
        } else {
            series.append(HistorySample{0.5, 90, clock(10, 0, 0) + qint64(k) * 1000});
            kinds.push_back('s');
        }
    }
    const std::pair<qint64, qint64> spans[] = {{0, 4999},    {7, 7},      {8, 1030},   {127, 128},
                                               {1024, 2047}, {300, 4000}, {4999, 4999}};
    for (const auto& [first, last] : spans) {
        const HistoryTotals t = series.totals(first, last);
        qint64 markers = 0;
        qint64 bad = 0;
        for (qint64 k = first; k <= last; ++k) {
            markers += kinds[size_t(k)] == 'm';
            bad += kinds[size_t(k)] == 'b';
        }
        QCOMPARE(t.markers, markers);
        QCOMPARE(t.badRecords(), bad);
    }
}

void TestHistory::portionsEqualRecordsFedOneByOne_data()
{
    QTest::addColumn<int>("portionLength");
    QTest::addColumn<int>("packerFrom"); // records appended to the series before its packer is made

    QTest::newRow("one portion") << 100000 << 0;
    QTest::newRow("portions of 333") << 333 << 0;
    QTest::newRow("portions of 1") << 1 << 0;
    QTest::newRow("portions of 4096 from mid-leaf") << 4096 << 200;
    QTest::newRow("portions of 129 from mid-chunk") << 129 << 4100;
}

void TestHistory::portionsEqualRecordsFedOneByOne()
{
    // The index packs records in another thread and hands them over in portions of any length,
    // markers among them, from wherever the series ended (a pass that goes on after a refresh).
    QFETCH(int, portionLength);
    QFETCH(int, packerFrom);
    auto records = manyRecords();
    // A clock set wrong for a while: times too far from their chunk's base are kept aside.
    for (size_t k = 3000; k < 3010; ++k) {
        if (records[k])
            records[k]->timeMs += 40LL * 86400 * 1000;
    }
    // Bearings as the live session may give them (whole turns on), in both conventions.
    for (size_t k = 10; k < records.size(); k += 211) {
        if (records[k]) {
            records[k]->bearing += 720;
            records[k]->bearingTo = true;
        }
    }
    HistorySeries oneByOne;
    HistorySeries portions;
    oneByOne.setUnits(SpeedUnitsKind::Knots);
    portions.setUnits(SpeedUnitsKind::Knots);
    std::optional<HistorySeries::Packer> packer;
    int inPortion = 0;
    for (size_t k = 0; k < records.size(); ++k) {
        const bool marker = k == 2500 || k == 4200;
        if (marker)
            oneByOne.appendMarker();
        if (records[k])
            oneByOne.append(*records[k]);
        else
            oneByOne.appendBad();
        if (qint64(k) < packerFrom) {
            // Fed directly before the packer takes over.
            if (marker)
                portions.appendMarker();
            if (records[k])
                portions.append(*records[k]);
            else
                portions.appendBad();
            continue;
        }
        if (!packer)
            packer = portions.packer();
        if (marker)
            packer->appendMarker();
        if (records[k])
            packer->append(*records[k]);
        else
            packer->appendBad();
        if (++inPortion >= portionLength || k + 1 == records.size()) {
            QVERIFY(portions.appendPortion(packer->take()));
            inPortion = 0;
        }
    }
    QCOMPARE(portions.recordCount(), 5002LL);
    QCOMPARE(portions.markerCount(), 2LL);
    QCOMPARE(portions.badCount(), 52LL); // every 97th of 5000, from record 5; not the markers
    compareHistories(portions, oneByOne);
    if (QTest::currentTestFailed())
        return;
    // Record 3001 is the 3000th given (the marker before 2500 comes first), 40 days on.
    QCOMPARE(portions.sampleAt(3001).timeMs, clock(10, 0, 0) + 3000LL * 1000 + 40LL * 86400 * 1000);
    QCOMPARE(portions.sampleAt(10).bearing, 10 * 53 % 360);
    QVERIFY(portions.sampleAt(10).bearingTo);

    // A portion that does not go on where the series ends is refused, and nothing changes.
    HistorySeries other;
    HistorySeries::Packer stale = other.packer();
    stale.appendBad();
    QVERIFY(!portions.appendPortion(stale.take()));
    QCOMPARE(portions.recordCount(), 5002LL);
}

void TestHistory::eachRecordIsKeptCompactly()
{
    HistorySeries series;
    const qint64 count = 1000000;
    const qint64 start = clock(0, 0, 0);
    for (qint64 k = 0; k < count; ++k)
        series.append(HistorySample{0.51234, int(k % 360), start + k * 200});
    QCOMPARE(series.recordCount(), count);
    // Each record's time, speed and bearing, read back as they went in.
    for (qint64 k : {0LL, 4095LL, 4096LL, 777777LL, count - 1}) {
        const HistorySample s = series.sampleAt(k);
        QCOMPARE(s.timeMs, start + k * 200);
        QCOMPARE(s.bearing, int(k % 360));
        QVERIFY(qAbs(s.speed - 0.51234) < 1e-12);
    }
    // 8 bytes a record and the pyramid above them (about 0.43 byte a record) once the room kept
    // for growth is given back.
    series.squeeze();
    QVERIFY2(series.memoryBytes() < count * 85 / 10,
             qPrintable(QString::number(series.memoryBytes())));
    QVERIFY(series.memoryBytes() >= count * 8);
    // A time far from the others (a clock set wrong for a while) is kept as well.
    series.append(HistorySample{0.5, 0, start + 100LL * 86400 * 1000});
    QCOMPARE(series.sampleAt(count).timeMs, start + 100LL * 86400 * 1000);
}

void TestHistory::speedsAreKeptToTheNearestStep_data()
{
    QTest::addColumn<SpeedUnitsKind>("units");
    QTest::addColumn<double>("step");

    QTest::newRow("m/s") << SpeedUnitsKind::MetresPerSecond << 1e-5;
    QTest::newRow("knots") << SpeedUnitsKind::Knots << 1e-4;
    QTest::newRow("mm/s") << SpeedUnitsKind::MillimetresPerSecond << 1e-2;
}

void TestHistory::speedsAreKeptToTheNearestStep()
{
    // A speed is kept as the whole number of steps nearest to speed / step, halves away from
    // zero, up to the largest number of steps kept: speeds as the log writes them, speeds
    // converted from other units, and speeds a few units in the last place around half a step.
    QFETCH(SpeedUnitsKind, units);
    QFETCH(double, step);
    constexpr double kMaxSteps = double((1 << 22) - 1);
    std::vector<double> speeds = {0.0, -1.0, step / 2, step * 1.5, step * 2.5, 1e9};
    quint64 noise = 0x9e3779b97f4a7c15ull;
    const auto next = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 7;
        noise ^= noise << 17;
        return noise;
    };
    // Some 300 of each row's 16,000 speeds around half a step round differently when multiplied
    // by the steps per unit instead of divided by the step.
    for (int i = 0; i < 2000; ++i) {
        const double whole = double(next() % (1 << 22));
        speeds.push_back(whole * step);                                   // whole steps
        speeds.push_back(double(next() % 100000) / 1000 * 1852.0 / 3600); // knots as m/s
        double half = (whole + 0.5) * step;
        for (int k = 0; k < 4; ++k)
            half = std::nextafter(half, 0.0);
        for (int k = 0; k < 8; ++k) {
            speeds.push_back(half);
            half = std::nextafter(half, 1e300);
        }
    }
    HistorySeries series;
    series.setUnits(units);
    HistorySeries packed;
    packed.setUnits(units);
    HistorySeries::Packer packer = packed.packer();
    for (size_t k = 0; k < speeds.size(); ++k) {
        series.append(HistorySample{speeds[k], 0, clock(12, 0, 0) + qint64(k)});
        packer.append(HistorySample{speeds[k], 0, clock(12, 0, 0) + qint64(k)});
    }
    QVERIFY(packed.appendPortion(packer.take()));
    for (size_t k = 0; k < speeds.size(); ++k) {
        const double steps = std::min(std::round(std::max(speeds[k], 0.0) / step), kMaxSteps);
        const double expected = steps * step;
        QVERIFY2(series.sampleAt(qint64(k)).speed == expected &&
                     packed.sampleAt(qint64(k)).speed == expected,
                 qPrintable(QStringLiteral("%1 kept as %2, not %3")
                                .arg(speeds[k], 0, 'g', 17)
                                .arg(series.sampleAt(qint64(k)).speed, 0, 'g', 17)
                                .arg(expected, 0, 'g', 17)));
    }
}

void TestHistory::bearingsAreKeptAsWholeDegreesOfOneTurn_data()
{
    QTest::addColumn<int>("bearing");
    QTest::addColumn<int>("kept");

    QTest::newRow("0") << 0 << 0;
    QTest::newRow("359") << 359 << 359;
    QTest::newRow("360 is north") << 360 << 0;
    QTest::newRow("two turns and 5") << 725 << 5;
    QTest::newRow("-1") << -1 << 359;
    QTest::newRow("-90") << -90 << 270;
    QTest::newRow("-720") << -720 << 0;
}

void TestHistory::bearingsAreKeptAsWholeDegreesOfOneTurn()
{
    QFETCH(int, bearing);
    QFETCH(int, kept);
    HistorySeries series;
    series.append(HistorySample{0.5, bearing, clock(9, 0, 0)});
    HistorySeries::Packer packer = series.packer();
    packer.append(HistorySample{0.5, bearing, clock(9, 0, 1)});
    QVERIFY(series.appendPortion(packer.take()));
    QCOMPARE(series.sampleAt(0).bearing, kept);
    QCOMPARE(series.sampleAt(1).bearing, kept);
}

void TestHistory::columnsMatchTheRecordsInThem()
{
    const auto records = manyRecords();
    HistorySeries series;
    feed(&series, records);
    // 5000 s over 37 columns: about 135 records each, cut anywhere.
    const qint64 start = clock(10, 0, 0) + 1500;
    const qint64 end = clock(10, 0, 0) + 4999000;
    const std::vector<HistoryColumn> columns = series.columns(start, end, 37);
    QCOMPARE(columns.size(), size_t(37));
    const double width = double(end - start) / 37;
    for (int c = 0; c < 37; ++c) {
        const HistoryColumn& col = columns[size_t(c)];
        HistoryColumn want;
        double sum = 0;
        for (qint64 k = 0; k < qint64(records.size()); ++k) {
            const qint64 t = series.timeMsAt(k);
            const bool inside = t >= start + std::ceil(c * width) &&
                                (c == 36 ? t <= end : t < start + std::ceil((c + 1) * width));
            if (!inside || !records[size_t(k)])
                continue;
            const HistorySample& s = *records[size_t(k)];
            if (want.count == 0) {
                want.minSpeed = want.maxSpeed = float(s.speed);
                want.firstTimeMs = s.timeMs;
            }
            want.minSpeed = std::min(want.minSpeed, float(s.speed));
            want.maxSpeed = std::max(want.maxSpeed, float(s.speed));
            want.bearingBins |= quint64(1) << (s.bearing * 64 / 360);
            want.lastTimeMs = s.timeMs;
            sum += s.speed;
            ++want.count;
        }
        QCOMPARE(col.count, want.count);
        QCOMPARE(col.minSpeed, want.minSpeed);
        QCOMPARE(col.maxSpeed, want.maxSpeed);
        QVERIFY(qAbs(col.meanSpeed - sum / double(want.count)) < 1e-5);
        QCOMPARE(col.bearingBins, want.bearingBins);
        QCOMPARE(col.firstTimeMs, want.firstTimeMs);
        QCOMPARE(col.lastTimeMs, want.lastTimeMs);
    }
}

void TestHistory::summaryText_data()
{
    QTest::addColumn<bool>("fromLogFile");
    QTest::newRow("live samples") << false;
    QTest::newRow("log file") << true;
}

void TestHistory::summaryText()
{
    QFETCH(bool, fromLogFile);
    // The summary the History window shows. Mean speed (0.4 + 0.6 + 1.05 + 0.15) / 4 = 0.55;
    // deviations -0.15, 0.05, 0.5, -0.4: sqrt(0.435 / 4) = 0.330. The flow vectors sum to
    // X = 0.4 sin 80 + 0.6 sin 100 + 1.2 = 2.1848, Y = 0.4 cos 80 + 0.6 cos 100 = -0.0347:
    // 0.5463 m/s a sample, bearing 90.9, where the mean of the angles is 90. Intervals 1 s,
    // 58 min 14 s and 2 h 13 min 50 s: the median is the middle one, so no gap.
    const QString expected = s("Samples: 4\n"
                               "First: 24/05/2009 14:03:07\n"
                               "Last: 24/05/2009 17:15:12\n"
                               "Duration: 3 h 12 min 5 s\n"
                               "Times: UTC\n"
                               "Gaps: 0\n"
                               "Mean speed: 0.550 m/s\n"
                               "Minimum speed: 0.150 m/s at 24/05/2009 17:15:12\n"
                               "Maximum speed: 1.050 m/s at 24/05/2009 15:01:22\n"
                               "Standard deviation of speed: 0.330 m/s\n"
                               "Residual speed: 0.546 m/s\n"
                               "Residual bearing: 091 (flow from)\n"
                               "Bad lines: 1\n");
    QString text;
    if (fromLogFile) {
        QTemporaryDir dir;
        const QString path = dir.filePath(s("survey.log"));
        QVERIFY(writeFile(path, logHeaderLine() + logUnitsLine(s("m/s")) +
                                    logRecordLine(s("0.400"), s("080"), s("24/05/2009 14:03:07")) +
                                    logRecordLine(s("0.600"), s("100"), s("24/05/2009 14:03:08")) +
                                    "\"0.700\",\"088\"\r\n" +
                                    logRecordLine(s("1.050"), s("090"), s("24/05/2009 15:01:22")) +
                                    logRecordLine(s("0150"), s("090"), s("24/05/2009 17:15:12"))));
        ReplayIndex index(2);
        QString error;
        QVERIFY(index.open(path, &error));
        QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));
        text = historySpanSummary(index.history(), 0, index.history().recordCount() - 1);
    } else {
        HistorySeries series;
        series.append({0.4, 80, clock(14, 3, 7)});
        series.append({0.6, 100, clock(14, 3, 8)});
        series.appendBad();
        series.append({1.05, 90, clock(15, 1, 22)});
        series.append({0.15, 90, clock(17, 15, 12)});
        text = historySpanSummary(series, 0, series.recordCount() - 1);
    }
    QCOMPARE(text, expected);
}

void TestHistory::vectorMeanIsNotTheMeanOfAngles_data()
{
    QTest::addColumn<QList<int>>("bearings");
    QTest::addColumn<QList<double>>("speeds");
    QTest::addColumn<QString>("line");
    QTest::newRow("350 and 010") << QList<int>{350, 10} << QList<double>{0.5, 0.5}
                                 << s("Residual bearing: 000 (flow from)");
    QTest::newRow("north and east")
        << QList<int>{0, 90} << QList<double>{1, 1} << s("Residual bearing: 045 (flow from)");
    QTest::newRow("the faster flow weighs more")
        << QList<int>{0, 90} << QList<double>{1, 3} << s("Residual bearing: 072 (flow from)");
    QTest::newRow("just west of north")
        << QList<int>{359, 357} << QList<double>{1, 1} << s("Residual bearing: 358 (flow from)");
    QTest::newRow("opposite flows cancel")
        << QList<int>{45, 225} << QList<double>{1, 1} << s("Residual bearing: -");
    QTest::newRow("no flow") << QList<int>{10} << QList<double>{0} << s("Residual bearing: -");
}

void TestHistory::vectorMeanIsNotTheMeanOfAngles()
{
    QFETCH(QList<int>, bearings);
    QFETCH(QList<double>, speeds);
    QFETCH(QString, line);
    HistorySeries series;
    for (int i = 0; i < bearings.size(); ++i)
        series.append({speeds[i], bearings[i], clock(12, 0, i)});
    const QString text = historySpanSummary(series, 0, series.recordCount() - 1);
    QVERIFY2(text.split(QLatin1Char('\n')).contains(line), qPrintable(text));
}

void TestHistory::summaryOfNothing()
{
    HistorySeries series;
    series.setUnits(SpeedUnitsKind::Knots);
    series.appendBad();
    series.appendBad();
    const auto summary = [&series] {
        return historySpanSummary(series, 0, series.recordCount() - 1);
    };
    QCOMPARE(summary(), s("Samples: 0\n"
                          "First: -\n"
                          "Last: -\n"
                          "Duration: -\n"
                          "Times: UTC\n"
                          "Gaps: -\n"
                          "Mean speed: -\n"
                          "Minimum speed: -\n"
                          "Maximum speed: -\n"
                          "Standard deviation of speed: -\n"
                          "Residual speed: -\n"
                          "Residual bearing: -\n"
                          "Bad lines: 2\n"));
    series.append({5.15, 271, clock(9, 0, 0)});
    QCOMPARE(summary(), s("Samples: 1\n"
                          "First: 24/05/2009 09:00:00\n"
                          "Last: 24/05/2009 09:00:00\n"
                          "Duration: 0 s\n"
                          "Times: UTC\n"
                          "Gaps: 0\n"
                          "Mean speed: 05.15 Knots\n"
                          "Minimum speed: 05.15 Knots at 24/05/2009 09:00:00\n"
                          "Maximum speed: 05.15 Knots at 24/05/2009 09:00:00\n"
                          "Standard deviation of speed: 00.00 Knots\n"
                          "Residual speed: 05.15 Knots\n"
                          "Residual bearing: 271 (flow from)\n"
                          "Bad lines: 2\n"));
}

void TestHistory::summaryOfASpanOfALogFile()
{
    // 1000 records in mm/s, one a second from 10:00:00, speed k mm/s, bearing 90; a bad line at
    // record 500.
    QTemporaryDir dir;
    const QString path = dir.filePath(s("span.log"));
    QByteArray file = logHeaderLine() + logUnitsLine(s("mm/s"));
    for (int k = 0; k < 1000; ++k) {
        const QString time = QDateTime::fromMSecsSinceEpoch(clock(10, 0, 0) + k * 1000, Qt::UTC)
                                 .toString(s("dd/MM/yyyy hh:mm:ss"));
        file += k == 500 ? QByteArray("junk\r\n")
                         : logRecordLine(QString::number(k).rightJustified(4, QLatin1Char('0')),
                                         s("090"), time);
    }
    QVERIFY(writeFile(path, file));
    ReplayIndex index(16);
    QString error;
    QVERIFY(index.open(path, &error));
    QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));

    // Records 250..749. Mean of 250..749 without 500: ((250 + 749) / 2 * 500 - 500) / 499 =
    // 499.499; their population standard deviation 144.48; all flowing the same way, so the
    // residual flow is the mean. One interval of 2 s where the bad line is: no gap.
    const HistoryTotals totals = index.history().totals(250, 749);
    QCOMPARE(totals.samples, 499LL);
    QCOMPARE(totals.badRecords(), 1LL);
    QCOMPARE(historySpanSummary(index.history(), 250, 749),
             s("Samples: 499\n"
               "First: 24/05/2009 10:04:10\n"
               "Last: 24/05/2009 10:12:29\n"
               "Duration: 8 min 19 s\n"
               "Times: UTC\n"
               "Gaps: 0\n"
               "Mean speed: 0499 mm/s\n"
               "Minimum speed: 0250 mm/s at 24/05/2009 10:04:10\n"
               "Maximum speed: 0749 mm/s at 24/05/2009 10:12:29\n"
               "Standard deviation of speed: 0144 mm/s\n"
               "Residual speed: 0499 mm/s\n"
               "Residual bearing: 090 (flow from)\n"
               "Bad lines: 1\n"));
}

void TestHistory::countText_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0LL << s("0");
    QTest::newRow("999") << 999LL << s("999");
    QTest::newRow("1000") << 1000LL << s("1,000");
    QTest::newRow("56789") << 56789LL << s("56,789");
    QTest::newRow("30 million") << 30123456LL << s("30,123,456");
}

void TestHistory::countText()
{
    QFETCH(qint64, count);
    QFETCH(QString, text);
    QCOMPARE(::countText(count), text);
}

void TestHistory::durationText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0LL << s("0 s");
    QTest::newRow("seconds") << 59LL << s("59 s");
    QTest::newRow("a minute") << 60LL << s("1 min 0 s");
    QTest::newRow("an hour") << 3600LL << s("1 h 0 min 0 s");
    QTest::newRow("example") << 11525LL << s("3 h 12 min 5 s");
    QTest::newRow("more than a day") << 90061LL << s("25 h 1 min 1 s");
    QTest::newRow("clock set back") << -65LL << s("-1 min 5 s");
}

void TestHistory::durationText()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(::durationText(seconds), text);
}

// 2000 records, one a second from 10:00:00: slow flow to the east, except records 1000..1099,
// fast flow to the west.
static void feedPlotRecords(HistorySeries* series)
{
    for (int k = 0; k < 2000; ++k) {
        const bool fast = k >= 1000 && k < 1100;
        series->append({fast ? 1.0 : 0.1, fast ? 270 : 90, clock(10, 0, 0) + k * 1000LL});
    }
}

// A plot whose panes are 1000 pixels wide: about two samples per column.
static void sizeForThousandColumns(HistoryPlot& plot)
{
    plot.resize(400, 300);
    const int margins = plot.width() - plot.speedPane().width();
    plot.resize(1000 + margins, 300);
    QCOMPARE(plot.speedPane().width(), 1000);
}

// Rows of pixels in column x near colour c (the speed line is drawn smoothed).
static QList<int> rowsNearColour(const QImage& image, int x, const QColor& c, int top, int bottom)
{
    QList<int> rows;
    for (int y = top; y <= bottom; ++y) {
        const QColor p = image.pixelColor(x, y);
        if (qAbs(p.red() - c.red()) + qAbs(p.green() - c.green()) + qAbs(p.blue() - c.blue()) < 90)
            rows << y;
    }
    return rows;
}

void TestHistory::plotDrawsEachSampleAtItsTime()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    const QImage image = rendered(plot);
    const QRect speed = plot.speedPane();
    const QRect bearing = plot.bearingPane();

    // 1999 s over 1000 columns: fast records 1000..1099 stand at 500.2..549.7. Their speed
    // reaches the top of the scale (1.0); elsewhere the speed stays in the lowest tenth.
    for (int c : {0, 100, 490, 505, 525, 545, 560, 999}) {
        const int x = speed.left() + c;
        const QList<int> rows =
            rowsNearColour(image, x, HistoryPlot::speedColour(), speed.top(), speed.bottom());
        QVERIFY2(!rows.isEmpty(), qPrintable(QString::number(c)));
        const bool fast = c > 500 && c < 550;
        if (fast)
            QVERIFY2(rows.first() <= speed.top() + 2, qPrintable(QString::number(c)));
        else
            QVERIFY2(rows.first() >= speed.bottom() - speed.height() / 10 - 2,
                     qPrintable(QString::number(c)));
        // Bearing 270 (three quarters up) for the fast records, 90 (a quarter up) elsewhere.
        const QList<int> bearingRows =
            rowsOfColour(image, x, HistoryPlot::bearingColour(), bearing.top(), bearing.bottom());
        QVERIFY(!bearingRows.isEmpty());
        const double up = double(bearing.bottom() - bearingRows.first()) / bearing.height();
        QVERIFY2(qAbs(up - (fast ? 0.75 : 0.25)) < 0.02, qPrintable(QString::number(up)));
    }
    // Nothing drawn left of the panes.
    QVERIFY(
        rowsNearColour(image, speed.left() - 1, HistoryPlot::speedColour(), 0, image.height() - 1)
            .isEmpty());
}

// A mark of the live session reaches its history as a mark beside the samples (no record, no
// statistic), and the plot draws a line in the mark's colour at its time, through both panes,
// with its note beside it; a mark outside the span is not drawn.
void TestHistory::liveMarksReachTheSeriesAndThePlot()
{
    LiveSession session(nullptr);
    LiveHistory& live = session.history();
    QSignalSpy marked(&live, &LiveHistory::marked);
    session.receiveRecord(QStringLiteral("+0.100 +0.000"));
    const qint64 records = live.series().recordCount();
    const SessionEvent mark = session.mark(QStringLiteral("diver in the water"));
    session.receiveRecord(QStringLiteral("+0.200 +0.000"));
    QCOMPARE(marked.count(), 1);
    QCOMPARE(live.series().marks().size(), size_t(1));
    QCOMPARE(live.series().marks().front().timeMs, mark.timeMs);
    QCOMPARE(live.series().marks().front().note, QStringLiteral("diver in the water"));
    QCOMPARE(live.series().recordCount(), records + 1); // the second sample only

    // Drawn on a series of its own: 2000 s over 1000 columns, a mark at 1500 s and one at
    // 1500.9 s in the same column, one without a note at 500 s.
    HistorySeries series;
    feedPlotRecords(&series);
    series.addMark({clock(10, 0, 0) + 1500 * 1000LL, QStringLiteral("diver in the water")});
    series.addMark({clock(10, 0, 0) + 500 * 1000LL, QString()});
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    const QRect speed = plot.speedPane();
    const QRect bearing = plot.bearingPane();
    const int x = plot.xOfTime(clock(10, 0, 0) + 1500 * 1000LL);
    QCOMPARE(x, speed.left() + 750);
    QImage image = rendered(plot);
    QList<int> rows = rowsOfColour(image, x, HistoryPlot::markColour(), 0, image.height() - 1);
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows.first(), speed.top());
    QCOMPARE(rows.last(), bearing.bottom());
    QVERIFY(rowsOfColour(image, x - 1, HistoryPlot::markColour(), 0, image.height() - 1).isEmpty());
    const int x500 = plot.xOfTime(clock(10, 0, 0) + 500 * 1000LL);
    QCOMPARE(rowsOfColour(image, x500, HistoryPlot::markColour(), 0, image.height() - 1).size(),
             bearing.bottom() - speed.top() + 1);
    // The note: text in the mark's colour right of the line, near the top of the speed pane.
    int notePixels = 0;
    for (int c = x + 2; c < x + 60; ++c)
        notePixels +=
            int(rowsNearColour(image, c, HistoryPlot::markColour(), speed.top(), speed.top() + 20)
                    .size());
    QVERIFY2(notePixels > 10, qPrintable(QString::number(notePixels)));
    // Without a note, nothing beside its line.
    int besideUnnoted = 0;
    for (int c = x500 + 2; c < x500 + 60; ++c)
        besideUnnoted +=
            int(rowsNearColour(image, c, HistoryPlot::markColour(), speed.top(), speed.top() + 20)
                    .size());
    QCOMPARE(besideUnnoted, 0);

    // Outside the span: not drawn.
    plot.setTimeSpan(clock(10, 0, 0), clock(10, 0, 0) + 1000 * 1000LL);
    QCOMPARE(plot.xOfTime(clock(10, 0, 0) + 1500 * 1000LL), -1);
    image = rendered(plot);
    for (int c = speed.left() + 501; c <= speed.right(); ++c)
        QVERIFY(
            rowsOfColour(image, c, HistoryPlot::markColour(), bearing.bottom(), bearing.bottom())
                .isEmpty());
}

void TestHistory::plotMarksThePosition()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    const QRect speed = plot.speedPane();
    const QRect bearing = plot.bearingPane();

    // Record 1500 is 1500 s into 1999 s: column 0.5 + 1500 * 999 / 1999 = 750.1.
    plot.setPosition(1500);
    QCOMPARE(plot.xOfRecord(1500), speed.left() + 750);
    QImage image = rendered(plot);
    const QList<int> rows =
        rowsOfColour(image, speed.left() + 750, HistoryPlot::markerColour(), 0, image.height() - 1);
    QCOMPARE(rows.first(), speed.top());
    QCOMPARE(rows.last(), bearing.bottom());
    QVERIFY(
        rowsOfColour(image, speed.left() + 749, HistoryPlot::markerColour(), 0, image.height() - 1)
            .isEmpty());

    // Outside the span: no marker.
    plot.setSpan(0, 999);
    QCOMPARE(plot.xOfRecord(1500), -1);
    image = rendered(plot);
    for (int x = speed.left(); x <= speed.right(); ++x)
        QVERIFY(rowsOfColour(image, x, HistoryPlot::markerColour(), speed.top(), speed.top())
                    .isEmpty());
}

void TestHistory::movingTheMarkerReusesTheColumns()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    rendered(plot);
    const quint64 revision = series.revision();
    // A replay moving on redraws the marker from the columns already made; a grown history
    // makes them again, and the new fastest sample lifts the right end to the top of the scale.
    for (qint64 k : {10, 11, 12}) {
        plot.setPosition(k);
        rendered(plot);
    }
    QCOMPARE(series.revision(), revision);
    series.append({5.0, 0, clock(10, 40, 0)});
    plot.showAll();
    const QImage image = rendered(plot);
    const QRect speed = plot.speedPane();
    const QList<int> rows = rowsNearColour(image, speed.right(), HistoryPlot::speedColour(),
                                           speed.top(), speed.bottom());
    QVERIFY(!rows.isEmpty());
    QVERIFY(rows.first() <= speed.top() + 2);
}

void TestHistory::clickAsksToSeekToTheSampleNearestInTime()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);

    // The first second on the middle of column 0, the last on the middle of column 999: column
    // 250 is 250 * 1999 / 999 = 500.25 s in, record 500 is nearest.
    const int y = plot.speedPane().center().y();
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(plot.speedPane().left() + 250, y));
    QCOMPARE(seek.count(), 1);
    QCOMPARE(seek.takeFirst().at(0).toLongLong(), 500LL);

    // On a span of 99 s, about ten pixels a second: column 437 is 1243.3 s.
    plot.setSpan(1200, 1299);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(plot.speedPane().left() + 437, y));
    QCOMPARE(seek.count(), 1);
    QCOMPARE(seek.takeFirst().at(0).toLongLong(), 1243LL);
}

void TestHistory::dragMovesTheSpanWithoutSeeking()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    plot.setSpan(500, 999);
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);
    QSignalSpy span(&plot, &HistoryPlot::spanChanged);

    const int y = plot.speedPane().center().y();
    const int x = plot.speedPane().left() + 600;
    QTest::mousePress(&plot, Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(&plot, QPoint(x - 50, y));
    QTest::mouseMove(&plot, QPoint(x - 100, y));
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, QPoint(x - 100, y));
    // 100 pixels of a 1000-pixel span of 499 s: 49.9 s later, 549.9 s to 1048.9 s.
    QCOMPARE(plot.spanFirst(), 550LL);
    QCOMPARE(plot.spanLast(), 1048LL);
    QVERIFY(span.count() >= 1);
    QCOMPARE(seek.count(), 0);

    // The span stops at the end of the history.
    QTest::mousePress(&plot, Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(&plot, QPoint(x - 2000, y));
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, QPoint(x - 2000, y));
    QCOMPARE(plot.spanLast(), 1999LL);
    QCOMPARE(plot.spanFirst(), 1500LL);
}

void TestHistory::wheelZoomsAroundThePointer()
{
    HistorySeries series;
    feedPlotRecords(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    QSignalSpy span(&plot, &HistoryPlot::spanChanged);

    // Column 300 is 300 * 1999 / 999 = 600.3 s in: record 600.
    const QPointF at(plot.speedPane().left() + 300, plot.speedPane().center().y());
    const qint64 under = plot.recordAt(int(at.x()));
    QCOMPARE(under, 600LL);
    const auto turn = [&](int angle) {
        QWheelEvent wheel(at, plot.mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &wheel);
    };
    turn(120);
    QVERIFY(!plot.showsAll());
    // 0.8 of 1999 s: 1599.2 s, 1599 or 1600 samples.
    QVERIFY(qAbs(plot.spanLast() - plot.spanFirst() + 1 - 1600) <= 1);
    QVERIFY(qAbs(plot.recordAt(int(at.x())) - under) <= 1);
    QCOMPARE(span.count(), 1);
    turn(5 * 120);
    QVERIFY(plot.spanLast() - plot.spanFirst() + 1 < 600);
    QVERIFY(qAbs(plot.recordAt(int(at.x())) - under) <= 1);
    // Zooming out past the whole history shows all of it again.
    turn(-20 * 120);
    QVERIFY(plot.showsAll());
    QCOMPARE(plot.spanFirst(), 0LL);
    QCOMPARE(plot.spanLast(), 1999LL);
}

void TestHistory::emptyPlotDrawsNoData()
{
    HistoryPlot plot;
    plot.resize(600, 300);
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);
    HistorySeries series;
    const HistorySeries* none = nullptr;
    for (const HistorySeries* shown : {none, static_cast<const HistorySeries*>(&series)}) {
        plot.setSeries(shown);
        const QImage image = rendered(plot);
        for (int x = 0; x < image.width(); x += 7)
            QVERIFY(rowsOfColour(image, x, HistoryPlot::speedColour(), 0, image.height() - 1)
                        .isEmpty());
        QTest::mouseClick(&plot, Qt::LeftButton, {}, plot.speedPane().center());
    }
    QCOMPARE(seek.count(), 0);
}

void TestHistory::eachSampleKeepsItsConvention()
{
    // The same flow, from the east (2 m/s), recorded alternately as "from 090" and "to 270",
    // enough records for whole nodes of the pyramid and single records at the end.
    HistorySeries series;
    const qint64 count = 5000;
    for (qint64 k = 0; k < count; ++k) {
        const bool to = k % 2 == 1;
        series.append(HistorySample{2.0, to ? 270 : 90, clock(8, 0, 0) + k * 1000, to});
    }
    for (qint64 k : {0LL, 1LL, 4096LL, count - 1}) {
        const HistorySample s = series.sampleAt(k);
        QCOMPARE(s.bearingTo, k % 2 == 1);
        QCOMPARE(s.bearing, k % 2 == 1 ? 270 : 90);
    }
    // The plot shows each bearing as recorded...
    const HistoryColumn all = series.reduce(0, count);
    QCOMPARE(all.bearingBins, (quint64(1) << (90 * 64 / 360)) | (quint64(1) << (270 * 64 / 360)));
    // ...and the vector mean takes each in its own sense: the flow comes from 090, at 2 m/s.
    for (const auto& [first, last] : {std::pair<qint64, qint64>{0, count - 1}, {4097, 4099}}) {
        const HistoryTotals t = series.totals(first, last);
        QVERIFY2(qAbs(t.sumX / double(t.samples) - 2.0) < 1e-9,
                 qPrintable(QString::number(t.sumX)));
        QVERIFY(qAbs(t.sumY) < 1e-6 * double(t.samples));
        // Given where the flow goes, as the two conventions are mixed: to 270.
        QVERIFY(historySpanSummary(series, first, last)
                    .contains(QStringLiteral("Residual bearing: 270 (flow to)\n")));
    }
}

void TestHistory::residualFlowFollowsEachSamplesConvention_data()
{
    // Worked by hand: the flows as vectors towards where they go, added, averaged.
    QTest::addColumn<QList<int>>("bearings");
    QTest::addColumn<QList<bool>>("to");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("all from") << QList<int>{90, 90} << QList<bool>{false, false}
                              << QStringList{s("Residual speed: 1.000 m/s"),
                                             s("Residual bearing: 090 (flow from)")};
    QTest::newRow("all to") << QList<int>{0, 90} << QList<bool>{true, true}
                            << QStringList{s("Residual speed: 0.707 m/s"),
                                           s("Residual bearing: 045 (flow to)")};
    // The operator switched From to To half way through the same eastward flow: read as all
    // "from", the two halves would cancel.
    QTest::newRow("switched half way")
        << QList<int>{270, 270, 90, 90} << QList<bool>{false, false, true, true}
        << QStringList{s("Residual speed: 1.000 m/s"), s("Residual bearing: 090 (flow to)")};
}

void TestHistory::residualFlowFollowsEachSamplesConvention()
{
    QFETCH(QList<int>, bearings);
    QFETCH(QList<bool>, to);
    QFETCH(QStringList, lines);
    // Samples of the live session, 1 m/s each, as the pipeline hands them over.
    LiveHistory live;
    for (int i = 0; i < bearings.size(); ++i)
        live.addSample(flowSample(clock(9, 0, i), 1.0, bearings[i], to[i]));
    const QStringList summary =
        historySpanSummary(live.series(), 0, live.series().recordCount() - 1)
            .split(QLatin1Char('\n'));
    for (const QString& line : lines)
        QVERIFY2(summary.contains(line), qPrintable(summary.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
