// The history of a recording: block reductions against record-by-record figures, the columns a
// plot draws, the summary and its text (from live samples and from a log file alike), and the
// plot widget drawing, seeking, panning and zooming.

#include "app/HistoryPlot.h"
#include "logfile/LogFormat.h"
#include "logfile/LogSampleParser.h"
#include "logfile/ReplayIndex.h"
#include "processing/FlowPipeline.h"
#include "processing/HistorySeries.h"
#include "processing/HistorySummary.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <optional>
#include <vector>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

qint64 clock(int h, int mi, int se)
{
    return QDateTime(QDate(2009, 5, 24), QTime(h, mi, se), Qt::UTC).toSecsSinceEpoch();
}

// Records with or without a sample, fed to a series one by one and kept for reading back.
class Records : public HistoryDetailSource
{
public:
    void add(double speed, int bearing, qint64 time)
    {
        m_records.push_back(HistorySample{speed, bearing, time});
    }
    void addBad() { m_records.push_back(std::nullopt); }

    void feed(HistorySeries* series) const
    {
        for (const auto& r : m_records) {
            if (r)
                series->append(*r);
            else
                series->appendBad();
        }
    }

    bool forEachSample(qint64 first, qint64 last,
                       const std::function<void(qint64, const HistorySample&)>& sample) override
    {
        ++reads;
        for (qint64 k = first; k <= last; ++k) {
            if (m_records[size_t(k)])
                sample(k, *m_records[size_t(k)]);
        }
        return true;
    }

    const std::optional<HistorySample>& at(qint64 k) const { return m_records[size_t(k)]; }
    qint64 size() const { return qint64(m_records.size()); }
    int reads = 0;

private:
    std::vector<std::optional<HistorySample>> m_records;
};

// 50 records over 14:00:00 onwards, every seventh bad, speeds and bearings all different and the
// fastest twice (the first of them counts).
Records fiftyRecords()
{
    Records r;
    for (int k = 0; k < 50; ++k) {
        if (k % 7 == 3)
            r.addBad();
        else if (k == 20 || k == 33)
            r.add(2.5, 45, clock(14, 0, k));
        else
            r.add(0.1 + (k * 37 % 50) / 50.0, k * 53 % 360, clock(14, 0, k));
    }
    return r;
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
    void spanWithoutDetailIsWidenedToWholeBlocks();
    void blocksFedAtOnceEqualRecordsFedOneByOne();
    void memoryStaysSmall();
    void liveSamplesFeedTheHistory_data();
    void liveSamplesFeedTheHistory();

    void columnsFromBlocksMatchRecordByRecord();
    void columnsOfFewRecordsAreReadRecordByRecord();
    void fewerRecordsThanColumns();
    void bearingSpansPassingNorth_data();
    void bearingSpansPassingNorth();

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

    void plotDrawsEachColumnFromItsRecords();
    void plotMarksThePosition();
    void movingTheMarkerReusesTheColumns();
    void clickAsksToSeekToTheRecordUnderThePointer();
    void dragMovesTheSpanWithoutSeeking();
    void wheelZoomsAroundThePointer();
    void emptyPlotDrawsNoData();
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
    QTest::newRow("knots to m/s") << 1.0 << kn << ms << 0.514444;
    QTest::newRow("m/s to mm/s") << 0.515 << ms << mm << 515.0;
    QTest::newRow("mm/s to m/s") << 515.0 << mm << ms << 0.515;
    QTest::newRow("knots to mm/s") << 2.0 << kn << mm << 1028.888;
    QTest::newRow("m/s to knots") << 0.514444 << ms << kn << 1.0;
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
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    const auto row = [](qint64 first, qint64 last) {
        QTest::addRow("%lld..%lld", first, last) << first << last;
    };
    row(0, 49);  // all, ending in a part block
    row(0, 7);   // one whole block
    row(3, 5);   // inside one block
    row(3, 12);  // cut at both ends
    row(8, 15);  // whole block in the middle
    row(5, 40);  // cut blocks around whole ones
    row(16, 16); // one record
    row(17, 17); // one bad record
    row(48, 49); // the last part block
    row(-5, 60); // clamped to the series
}

void TestHistory::spanTotalsMatchRecordByRecord()
{
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    Records records = fiftyRecords();
    HistorySeries series(8);
    records.feed(&series);
    series.setDetailSource(&records);
    // A block of one record holds that record's figures exactly: the reference.
    HistorySeries single(1);
    records.feed(&single);

    const HistoryTotals got = series.totals(first, last);
    const HistoryTotals want = single.totals(first, last);
    QVERIFY(got.exact);
    QCOMPARE(got.records, want.records);
    QCOMPARE(got.samples, want.samples);
    QCOMPARE(got.badRecords(), want.badRecords());
    QVERIFY(qAbs(got.sumSpeed - want.sumSpeed) < 1e-9);
    QVERIFY(qAbs(got.sumX - want.sumX) < 1e-9);
    QVERIFY(qAbs(got.sumY - want.sumY) < 1e-9);
    QCOMPARE(got.firstTime, want.firstTime);
    QCOMPARE(got.lastTime, want.lastTime);
    QCOMPARE(float(got.maxSpeed), float(want.maxSpeed));
    QCOMPARE(got.maxRecord, want.maxRecord);
    QCOMPARE(got.maxTime, want.maxTime);
}

void TestHistory::spanWithoutDetailIsWidenedToWholeBlocks()
{
    const Records records = fiftyRecords();
    HistorySeries series(8);
    records.feed(&series);
    // Records 3..12 lie in blocks 0 and 1: without a way to read single records, both are taken.
    const HistoryTotals widened = series.totals(3, 12);
    QVERIFY(!widened.exact);
    QCOMPARE(widened.records, 16LL);
    QCOMPARE(widened.samples, series.totals(0, 15).samples);
    // Whole blocks need no detail and are exact.
    QVERIFY(series.totals(8, 23).exact);
    QVERIFY(series.totals(40, 49).exact);
}

void TestHistory::blocksFedAtOnceEqualRecordsFedOneByOne()
{
    // The index hands over records in portions that cut blocks anywhere.
    const Records records = fiftyRecords();
    HistorySeries oneByOne(8);
    records.feed(&oneByOne);

    HistorySeries portions(8);
    for (const auto& [from, to] :
         {std::pair<int, int>{0, 5}, {5, 8}, {8, 27}, {27, 28}, {28, 50}}) {
        std::vector<HistoryBlock> blocks;
        for (int k = from; k < to; ++k) {
            if (blocks.empty() || k % 8 == 0)
                blocks.emplace_back();
            if (records.at(k))
                blocks.back().add(k % 8, *records.at(k));
        }
        portions.appendBlocks(to - from, blocks);
    }
    QCOMPARE(portions.recordCount(), 50LL);
    QCOMPARE(portions.sampleCount(), oneByOne.sampleCount());
    QCOMPARE(portions.blocks().size(), oneByOne.blocks().size());
    for (size_t b = 0; b < portions.blocks().size(); ++b) {
        const HistoryBlock& x = portions.blocks()[b];
        const HistoryBlock& y = oneByOne.blocks()[b];
        QCOMPARE(x.count, y.count);
        QCOMPARE(x.minSpeed, y.minSpeed);
        QCOMPARE(x.maxSpeed, y.maxSpeed);
        QCOMPARE(x.maxOffset, y.maxOffset);
        QCOMPARE(x.firstTime, y.firstTime);
        QCOMPARE(x.lastTime, y.lastTime);
        QCOMPARE(x.minBearing, y.minBearing);
        QCOMPARE(x.maxTurned, y.maxTurned);
        QVERIFY(qAbs(x.sumX - y.sumX) < 1e-12);
    }
}

void TestHistory::memoryStaysSmall()
{
    HistorySeries series;
    const qint64 count = 1000000;
    for (qint64 k = 0; k < count; ++k)
        series.append(HistorySample{0.5, int(k % 360), k});
    QCOMPARE(series.recordCount(), count);
    // Under 0.6 byte per record, however the blocks were allocated.
    QVERIFY2(series.memoryBytes() < count * 6 / 10,
             qPrintable(QString::number(series.memoryBytes())));
    QVERIFY(series.memoryBytes() >= qint64(count / series.blockSize() * sizeof(HistoryBlock)));
}

void TestHistory::liveSamplesFeedTheHistory_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("good");
    QTest::addColumn<double>("metresPerSecond");
    QTest::newRow("m/s") << s("+0.300 +0.400") << true << 0.5;
    QTest::newRow("knots") << s("+03.00 +04.00") << true << 5.0 * 0.514444;
    QTest::newRow("mm/s") << s("+00300 +00400") << true << 0.5;
    QTest::newRow("flow not computed") << s("+0..00 +0.400") << false << 0.0;
}

void TestHistory::liveSamplesFeedTheHistory()
{
    QFETCH(QString, record);
    QFETCH(bool, good);
    QFETCH(double, metresPerSecond);
    FlowPipeline pipeline;
    const std::optional<Sample> sample = pipeline.decodeRecord(
        record, SampleSource::Serial, 0, QStringLiteral("24/05/2009 14:03:07"));
    QVERIFY(sample);
    QCOMPARE(sample->computed, good);

    const std::optional<HistorySample> h =
        historySampleOf(*sample, SpeedUnitsKind::MetresPerSecond);
    QCOMPARE(bool(h), good);
    if (!good)
        return;
    QVERIFY2(qAbs(h->speed - metresPerSecond) < 1e-9, qPrintable(QString::number(h->speed)));
    QCOMPARE(h->bearing, sample->bearingText.toInt() % 360);
    QCOMPARE(h->time, clock(14, 3, 7));

    // In a history of mm/s the same sample is a thousand times the number.
    const std::optional<HistorySample> mm =
        historySampleOf(*sample, SpeedUnitsKind::MillimetresPerSecond);
    QVERIFY(mm);
    QVERIFY(qAbs(mm->speed - 1000 * metresPerSecond) < 1e-6);
}

void TestHistory::columnsFromBlocksMatchRecordByRecord()
{
    // 1000 records, columns of 100 records on blocks of 20: no block crosses a column edge.
    Records records;
    for (int k = 0; k < 1000; ++k) {
        if (k % 13 == 0)
            records.addBad();
        else
            records.add((k * 7919 % 1000) / 100.0, k * 31 % 170 + 10, k);
    }
    HistorySeries series(20);
    records.feed(&series);
    const std::vector<HistoryColumn> columns = series.columns(0, 999, 10);
    QCOMPARE(columns.size(), size_t(10));
    for (int c = 0; c < 10; ++c) {
        float lo = 1e9f, hi = -1e9f;
        int blo = 999, bhi = -1;
        qint64 n = 0;
        for (int k = c * 100; k < c * 100 + 100; ++k) {
            if (!records.at(k))
                continue;
            lo = std::min(lo, float(records.at(k)->speed));
            hi = std::max(hi, float(records.at(k)->speed));
            blo = std::min(blo, records.at(k)->bearing);
            bhi = std::max(bhi, records.at(k)->bearing);
            ++n;
        }
        const HistoryColumn& col = columns[size_t(c)];
        QCOMPARE(col.firstRecord, qint64(c * 100));
        QCOMPARE(col.endRecord, qint64(c * 100 + 100));
        QCOMPARE(col.count, n);
        QCOMPARE(col.minSpeed, lo);
        QCOMPARE(col.maxSpeed, hi);
        QCOMPARE(col.bearingLow, blo);
        QCOMPARE(col.bearingHigh, bhi);
    }
    QCOMPARE(records.reads, 0); // a span this long is never read record by record
}

void TestHistory::columnsOfFewRecordsAreReadRecordByRecord()
{
    Records records = fiftyRecords();
    HistorySeries series(64);
    records.feed(&series);
    series.setDetailSource(&records);
    // 20 records on 20 columns inside one block: each column is exactly its record.
    const std::vector<HistoryColumn> columns = series.columns(10, 29, 20);
    QCOMPARE(columns.size(), size_t(20));
    QVERIFY(records.reads > 0);
    for (int c = 0; c < 20; ++c) {
        const HistoryColumn& col = columns[size_t(c)];
        const auto& r = records.at(10 + c);
        QCOMPARE(col.firstRecord, qint64(10 + c));
        QCOMPARE(col.count, r ? 1LL : 0LL);
        if (!r)
            continue;
        QCOMPARE(col.minSpeed, float(r->speed));
        QCOMPARE(col.maxSpeed, float(r->speed));
        QCOMPARE(col.firstTime, r->time);
    }
}

void TestHistory::fewerRecordsThanColumns()
{
    Records records;
    for (int k = 0; k < 5; ++k)
        records.add(k + 1.0, 10 * k, k);
    HistorySeries series(4);
    records.feed(&series);
    series.setDetailSource(&records);
    const std::vector<HistoryColumn> columns = series.columns(0, 4, 10);
    QCOMPARE(columns.size(), size_t(10));
    // Each record fills two columns side by side.
    for (int c = 0; c < 10; ++c) {
        QCOMPARE(columns[size_t(c)].firstRecord, qint64(c / 2));
        QCOMPARE(columns[size_t(c)].endRecord, qint64(c / 2 + 1));
        QCOMPARE(columns[size_t(c)].maxSpeed, float(c / 2 + 1));
    }
}

void TestHistory::bearingSpansPassingNorth_data()
{
    QTest::addColumn<QList<int>>("bearings");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("around east") << QList<int>{80, 100, 95} << 80 << 100;
    QTest::newRow("across north") << QList<int>{350, 355, 5, 10} << -10 << 10;
    QTest::newRow("north only") << QList<int>{0, 0} << 0 << 0;
    QTest::newRow("west of north") << QList<int>{340, 359} << 340 << 359;
    QTest::newRow("across south") << QList<int>{170, 190} << 170 << 190;
    QTest::newRow("all round") << QList<int>{0, 120, 240} << 0 << 240;
}

void TestHistory::bearingSpansPassingNorth()
{
    QFETCH(QList<int>, bearings);
    QFETCH(int, low);
    QFETCH(int, high);
    // Through blocks (two records per block) and through single records alike.
    for (bool detail : {false, true}) {
        Records records;
        for (int b : bearings)
            records.add(1.0, b, 0);
        HistorySeries series(2);
        records.feed(&series);
        if (detail)
            series.setDetailSource(&records);
        const std::vector<HistoryColumn> columns = series.columns(0, records.size() - 1, 1);
        QCOMPARE(columns.size(), size_t(1));
        QCOMPARE(columns[0].bearingLow, low);
        QCOMPARE(columns[0].bearingHigh, high);
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
    // Mean speed (0.4 + 0.6 + 1.05 + 0.15) / 4 = 0.55. The flow vector sums to
    // X = (0.4 + 0.6) sin 80 + 1.2 = 2.1848, Y = (0.4 - 0.6) cos 80 = -0.0347: bearing 90.9,
    // where the mean of the angles is 90.
    const QString expected = s("Samples: 4\n"
                               "First: 24/05/2009 14:03:07\n"
                               "Last: 24/05/2009 17:15:12\n"
                               "Duration: 3 h 12 min 5 s\n"
                               "Mean speed: 0.550 m/s\n"
                               "Maximum speed: 1.050 m/s at 24/05/2009 15:01:22\n"
                               "Vector-mean bearing: 091\n"
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
        ReplayIndex index(2, 2);
        QString error;
        QVERIFY(index.open(path, &error));
        QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));
        text = HistorySummary::of(index.history()).toText();
    } else {
        HistorySeries series(2);
        series.append({0.4, 80, clock(14, 3, 7)});
        series.append({0.6, 100, clock(14, 3, 8)});
        series.appendBad();
        series.append({1.05, 90, clock(15, 1, 22)});
        series.append({0.15, 90, clock(17, 15, 12)});
        text = HistorySummary::of(series).toText();
    }
    QCOMPARE(text, expected);
}

void TestHistory::vectorMeanIsNotTheMeanOfAngles_data()
{
    QTest::addColumn<QList<int>>("bearings");
    QTest::addColumn<QList<double>>("speeds");
    QTest::addColumn<QString>("line");
    QTest::newRow("350 and 010") << QList<int>{350, 10} << QList<double>{0.5, 0.5}
                                 << s("Vector-mean bearing: 000");
    QTest::newRow("north and east")
        << QList<int>{0, 90} << QList<double>{1, 1} << s("Vector-mean bearing: 045");
    QTest::newRow("the faster flow weighs more")
        << QList<int>{0, 90} << QList<double>{1, 3} << s("Vector-mean bearing: 072");
    QTest::newRow("just west of north")
        << QList<int>{359, 357} << QList<double>{1, 1} << s("Vector-mean bearing: 358");
    QTest::newRow("opposite flows cancel")
        << QList<int>{45, 225} << QList<double>{1, 1} << s("Vector-mean bearing: -");
    QTest::newRow("no flow") << QList<int>{10} << QList<double>{0} << s("Vector-mean bearing: -");
}

void TestHistory::vectorMeanIsNotTheMeanOfAngles()
{
    QFETCH(QList<int>, bearings);
    QFETCH(QList<double>, speeds);
    QFETCH(QString, line);
    HistorySeries series;
    for (int i = 0; i < bearings.size(); ++i)
        series.append({speeds[i], bearings[i], clock(12, 0, i)});
    QVERIFY2(HistorySummary::of(series).toText().split(QLatin1Char('\n')).contains(line),
             qPrintable(HistorySummary::of(series).toText()));
}

void TestHistory::summaryOfNothing()
{
    HistorySeries series;
    series.setUnits(SpeedUnitsKind::Knots);
    series.appendBad();
    series.appendBad();
    QCOMPARE(HistorySummary::of(series).toText(), s("Samples: 0\n"
                                                    "First: -\n"
                                                    "Last: -\n"
                                                    "Duration: -\n"
                                                    "Mean speed: -\n"
                                                    "Maximum speed: -\n"
                                                    "Vector-mean bearing: -\n"
                                                    "Bad lines: 2\n"));
    series.append({5.15, 271, clock(9, 0, 0)});
    QCOMPARE(HistorySummary::of(series).toText(), s("Samples: 1\n"
                                                    "First: 24/05/2009 09:00:00\n"
                                                    "Last: 24/05/2009 09:00:00\n"
                                                    "Duration: 0 s\n"
                                                    "Mean speed: 05.15 Knots\n"
                                                    "Maximum speed: 05.15 Knots at 24/05/2009 "
                                                    "09:00:00\n"
                                                    "Vector-mean bearing: 271\n"
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
        const QString time = QDateTime::fromSecsSinceEpoch(clock(10, 0, 0) + k, Qt::UTC)
                                 .toString(s("dd/MM/yyyy hh:mm:ss"));
        file += k == 500 ? QByteArray("junk\r\n")
                         : logRecordLine(QString::number(k).rightJustified(4, QLatin1Char('0')),
                                         s("090"), time);
    }
    QVERIFY(writeFile(path, file));
    ReplayIndex index(16, 64);
    QString error;
    QVERIFY(index.open(path, &error));
    QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));

    // Records 250..749: the blocks cut at both ends are read from the file. Mean of 250..749
    // without 500 = (250 + 749) / 2 * 500 - 500 over 499.
    const HistorySummary span = HistorySummary::of(index.history(), 250, 749);
    QVERIFY(span.totals().exact);
    QCOMPARE(span.samples(), 499LL);
    QCOMPARE(span.badLines(), 1LL);
    QCOMPARE(span.toText(), s("Samples: 499\n"
                              "First: 24/05/2009 10:04:10\n"
                              "Last: 24/05/2009 10:12:29\n"
                              "Duration: 8 min 19 s\n"
                              "Mean speed: 0499 mm/s\n"
                              "Maximum speed: 0749 mm/s at 24/05/2009 10:12:29\n"
                              "Vector-mean bearing: 090\n"
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
    QCOMPARE(HistorySummary::countText(count), text);
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
    QCOMPARE(HistorySummary::durationText(seconds), text);
}

// 2000 records: slow flow to the east, except records 1000..1099, fast flow to the west.
static Records plotRecords()
{
    Records r;
    for (int k = 0; k < 2000; ++k) {
        if (k >= 1000 && k < 1100)
            r.add(1.0, 270, clock(10, 0, 0) + k);
        else
            r.add(0.1, 90, clock(10, 0, 0) + k);
    }
    return r;
}

// A plot whose panes are 1000 pixels wide: two records per column.
static void sizeForThousandColumns(HistoryPlot& plot)
{
    plot.resize(400, 300);
    const int margins = plot.width() - plot.speedPane().width();
    plot.resize(1000 + margins, 300);
    QCOMPARE(plot.speedPane().width(), 1000);
}

void TestHistory::plotDrawsEachColumnFromItsRecords()
{
    Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
    series.setDetailSource(&records);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    const QImage image = rendered(plot);
    const QRect speed = plot.speedPane();
    const QRect bearing = plot.bearingPane();

    // Fast records 1000..1099 are columns 500..549: their speed reaches the top of the scale
    // (1.0), elsewhere the speed stays in the lowest tenth.
    for (int c : {0, 100, 499, 500, 525, 549, 550, 999}) {
        const int x = speed.left() + c;
        const QList<int> rows =
            rowsOfColour(image, x, HistoryPlot::speedColour(), speed.top(), speed.bottom());
        QVERIFY2(!rows.isEmpty(), qPrintable(QString::number(c)));
        const bool fast = c >= 500 && c < 550;
        if (fast)
            QVERIFY2(rows.first() <= speed.top() + 1, qPrintable(QString::number(c)));
        else
            QVERIFY2(rows.first() >= speed.bottom() - speed.height() / 10 - 1,
                     qPrintable(QString::number(c)));
        // Bearing 270 (three quarters up) for the fast records, 90 (a quarter up) elsewhere.
        const QList<int> bearingRows =
            rowsOfColour(image, x, HistoryPlot::bearingColour(), bearing.top(), bearing.bottom());
        QVERIFY(!bearingRows.isEmpty());
        const double up = double(bearing.bottom() - bearingRows.first()) / bearing.height();
        QVERIFY2(qAbs(up - (fast ? 0.75 : 0.25)) < 0.02, qPrintable(QString::number(up)));
    }
    // Nothing drawn left of the panes.
    QVERIFY(rowsOfColour(image, speed.left() - 1, HistoryPlot::speedColour(), 0, image.height() - 1)
                .isEmpty());
}

void TestHistory::plotMarksThePosition()
{
    const Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    const QRect speed = plot.speedPane();
    const QRect bearing = plot.bearingPane();

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
    image = rendered(plot);
    for (int x = speed.left(); x <= speed.right(); ++x)
        QVERIFY(rowsOfColour(image, x, HistoryPlot::markerColour(), speed.top(), speed.top())
                    .isEmpty());
}

void TestHistory::movingTheMarkerReusesTheColumns()
{
    Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
    series.setDetailSource(&records);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);

    rendered(plot);
    const int reads = records.reads;
    QCOMPARE(reads, 1);
    // A replay moving on redraws the marker from the columns already made.
    for (qint64 k : {10, 11, 12}) {
        plot.setPosition(k);
        rendered(plot);
    }
    QCOMPARE(records.reads, reads);
    // A new span, a new width or a grown history makes them again.
    plot.setSpan(100, 1099);
    rendered(plot);
    QCOMPARE(records.reads, reads + 1);
    plot.resize(plot.width() - 10, plot.height());
    rendered(plot);
    QCOMPARE(records.reads, reads + 2);
    records.add(5.0, 0, clock(12, 0, 0));
    series.append({5.0, 0, clock(12, 0, 0)});
    plot.showAll();
    const QImage image = rendered(plot);
    QCOMPARE(records.reads, reads + 3);
    // The new fastest sample lifts the last column to the top of the scale (5 m/s).
    const QRect speed = plot.speedPane();
    const QList<int> rows =
        rowsOfColour(image, speed.right(), HistoryPlot::speedColour(), speed.top(), speed.bottom());
    QVERIFY(!rows.isEmpty());
    QVERIFY(rows.first() <= speed.top() + 1);
}

void TestHistory::clickAsksToSeekToTheRecordUnderThePointer()
{
    const Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    QSignalSpy seek(&plot, &HistoryPlot::seekRequested);

    const int y = plot.speedPane().center().y();
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(plot.speedPane().left() + 250, y));
    QCOMPARE(seek.count(), 1);
    QCOMPARE(seek.takeFirst().at(0).toLongLong(), 500LL);

    // On a span of 100 records, ten pixels per record.
    plot.setSpan(1200, 1299);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(plot.speedPane().left() + 437, y));
    QCOMPARE(seek.count(), 1);
    QCOMPARE(seek.takeFirst().at(0).toLongLong(), 1243LL);
}

void TestHistory::dragMovesTheSpanWithoutSeeking()
{
    const Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
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
    // 100 pixels of a 1000-pixel span of 500 records: 50 records later.
    QCOMPARE(plot.spanFirst(), 550LL);
    QCOMPARE(plot.spanLast(), 1049LL);
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
    const Records records = plotRecords();
    HistorySeries series(16);
    records.feed(&series);
    HistoryPlot plot;
    plot.setSeries(&series);
    sizeForThousandColumns(plot);
    QSignalSpy span(&plot, &HistoryPlot::spanChanged);

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
    QCOMPARE(plot.spanLast() - plot.spanFirst() + 1, 1600LL);
    QCOMPARE(plot.recordAt(int(at.x())), under);
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

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
