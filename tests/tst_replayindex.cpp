// Indexing log files for review: counting records and bad lines, line ends, torn and overlong
// lines, files that grow, seeking to any record, and the sample read from each record line.

#include "base/NumberText.h"
#include "logformat/LogFormat.h"
#include "logformat/LogSampleParser.h"
#include "replay/ReplayIndex.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size();
}

QByteArray header()
{
    return logHeaderLine();
}

QByteArray units(const char* word)
{
    return logUnitsLine(s(word));
}

QByteArray record(const char* speed, const char* bearing, const char* dateTime)
{
    return logRecordLine(s(speed), s(bearing), s(dateTime));
}

// Record k of a generated file: every record different, so that reading the wrong one shows.
// Written with snprintf: the large files of these tests are made of hundreds of thousands.
QByteArray numberedLine(int k)
{
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "\"0.%03d\",\"%03d\",\"%02d/05/2009 %02d:%02d:%02d\"",
                      k % 1000, k % 360, 1 + k / 86400 % 28, k / 3600 % 24, k / 60 % 60, k % 60);
    return QByteArray(line, length);
}

// Waits until the index has gone through the whole file as it is now.
bool waitIndexed(ReplayIndex& index)
{
    return QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }, 10000);
}

qint64 localSeconds(int y, int mo, int d, int h, int mi, int se)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, se), Qt::UTC).toSecsSinceEpoch();
}

} // namespace

class TestReplayIndex : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void counts_data();
    void counts();
    void seekingReadsTheRightLine_data();
    void seekingReadsTheRightLine();
    void recordsOutsideTheIndexAreRefused();
    void overlongLinesAreCutWhenRead();
    void badLinesAreCountedOnceAcrossRefreshes();
    void appendedLinesAreIndexedOnRefresh();
    void tornLineCountsOnceItsLineEndArrives();
    void pollingFollowsARunningRecording();
    void overlongLineStillBeingWrittenIsSkippedAsItComes();
    void recordsCanBeReadBeforeIndexingEnds();
    void unitsChangingMidFileAreConvertedToTheFileUnits_data();
    void unitsChangingMidFileAreConvertedToTheFileUnits();
    void failedOpenLeavesTheIndexClosed();
    void openingAnotherFileStartsAfresh();

    void sampleOfLine_data();
    void sampleOfLine();
    void oneParserFollowsChangingDatesAndUnits();
    void dateTimeText_data();
    void dateTimeText();

private:
    QString path(const char* name) const { return m_dir->filePath(s(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestReplayIndex::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestReplayIndex::cleanup()
{
    m_dir.reset();
}

void TestReplayIndex::counts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("records");
    QTest::addColumn<qint64>("bad");
    QTest::addColumn<QString>("unitsWord");

    const QByteArray r1 = record("0.515", "088", "24/05/2009 14:03:07");
    const QByteArray r2 = record("0.516", "089", "24/05/2009 14:03:08");
    const QByteArray r3 = record("0.517", "090", "24/05/2009 14:03:09");
    const QByteArray ms = header() + units("m/s");

    QTest::newRow("empty file") << QByteArray() << 0LL << 0LL << QString();
    QTest::newRow("header only") << header() << 0LL << 0LL << QString();
    QTest::newRow("header without line end") << header().chopped(2) << 0LL << 0LL << QString();
    QTest::newRow("header and units") << ms << 0LL << 0LL << s("m/s");
    QTest::newRow("units line without line end")
        << header() + units("Knots").chopped(2) << 0LL << 0LL << QString();
    QTest::newRow("three records, CR LF") << ms + r1 + r2 + r3 << 3LL << 0LL << s("m/s");
    QTest::newRow("three records, LF")
        << QByteArray(ms + r1 + r2 + r3).replace("\r\n", "\n") << 3LL << 0LL << s("m/s");
    QTest::newRow("mixed line ends") << ms + r1.chopped(2) + "\n" + r2 + r3.chopped(2) + "\n"
                                     << 3LL << 0LL << s("m/s");
    QTest::newRow("torn last line") << ms + r1 + r2 + r3.left(20) << 2LL << 0LL << s("m/s");
    QTest::newRow("last line without its LF")
        << ms + r1 + r2 + r3.chopped(1) << 2LL << 0LL << s("m/s");
    QTest::newRow("overlong line among records")
        << ms + r1 + QByteArray(5000, 'x') + "\r\n" + r2 << 3LL << 1LL << s("m/s");
    QTest::newRow("overlong line at the end") << ms + r1 + QByteArray(9000, '"') + "\n"
                                              << 2LL << 1LL << s("m/s");
    QTest::newRow("blank lines are records")
        << ms + r1 + "\r\n" + "\n" + r2 << 4LL << 2LL << s("m/s");
    QTest::newRow("bad lines") << ms + r1 + record("0.515", "361", "24/05/2009 14:03:07") +
                                      record("0.515", "abc", "24/05/2009 14:03:07") +
                                      record("1.5", "088", "24/05/2009 14:03:07") +
                                      record("", "088", "24/05/2009 14:03:07") +
                                      record("0.515", "088", "31/02/2009 14:03:07") +
                                      record("0.515", "088", "24/05/2009 24:03:07") +
                                      QByteArray("0.515,088,24/05/2009 14:03:07\r\n") +
                                      QByteArray(
                                          "\"0.515\",\"088\",\"24/05/2009 14:03:07\",\"x\"\r\n") +
                                      r2
                               << 10LL << 8LL << s("m/s");
    QTest::newRow("no units line: the first record takes its place")
        << header() + r1 + r2 + r3 << 2LL << 0LL << s("0.515");
    QTest::newRow("Knots") << header() + units("Knots") +
                                  record("05.15", "271", "24/05/2009 14:03:07")
                           << 1LL << 0LL << s("Knots");
    QTest::newRow("overlong units line")
        << header() + "\"mm/s" + QByteArray(6000, ' ') + "\r\n" + r1 << 1LL << 0LL
        << QString(s("mm/s") + QString(4096 - 5, QLatin1Char(' ')));
}

void TestReplayIndex::counts()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, records);
    QFETCH(qint64, bad);
    QFETCH(QString, unitsWord);
    QVERIFY(writeFile(path("test.log"), file));

    ReplayIndex index;
    QSignalSpy finished(&index, &ReplayIndex::finished);
    QString error;
    QVERIFY2(index.open(path("test.log"), &error), qPrintable(error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(index.recordCount(), records);
    QCOMPARE(index.badLineCount(), bad);
    QCOMPARE(index.unitsWord(), unitsWord);
    QCOMPARE(index.history().recordCount(), records);
    QCOMPARE(index.history().sampleCount(), records - bad);
    // Everything up to the last line end is indexed, a torn line is not.
    QCOMPARE(index.bytesIndexed(), qint64(file.lastIndexOf('\n') + 1));
}

void TestReplayIndex::seekingReadsTheRightLine_data()
{
    QTest::addColumn<qint64>("record");
    for (qint64 k : {0, 1, 15, 16, 17, 31, 32, 255, 256, 1000, 1023, 2047, 2048, 2998, 2999})
        QTest::newRow(qPrintable(QString::number(k))) << k;
}

void TestReplayIndex::seekingReadsTheRightLine()
{
    QFETCH(qint64, record);
    // 3000 records, every fifth ending in LF alone, an offset kept every 16 records.
    QByteArray file = header() + units("m/s");
    for (int k = 0; k < 3000; ++k)
        file += numberedLine(k) + (k % 5 == 0 ? "\n" : "\r\n");
    QVERIFY(writeFile(path("seek.log"), file));

    ReplayIndex index(16);
    QString error;
    QVERIFY(index.open(path("seek.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 3000LL);
    QCOMPARE(index.readRecordLine(record, &error), numberedLine(int(record)));

    // A run of lines from there on, across the next kept offset.
    const qint64 last = std::min<qint64>(record + 20, 2999);
    QList<QByteArray> lines;
    QList<qint64> numbers;
    QVERIFY(index.forEachRecordLine(
        record, last,
        [&](qint64 k, QByteArrayView line) {
            numbers << k;
            lines << line.toByteArray();
        },
        &error));
    QCOMPARE(numbers.size(), int(last - record + 1));
    for (int i = 0; i < numbers.size(); ++i) {
        QCOMPARE(numbers[i], record + i);
        QCOMPARE(lines[i], numberedLine(int(record + i)));
    }
}

void TestReplayIndex::recordsOutsideTheIndexAreRefused()
{
    QVERIFY(writeFile(path("short.log"),
                      header() + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07")));
    ReplayIndex index;
    QString error;
    QCOMPARE(index.readRecordLine(0, &error), QByteArray());
    QCOMPARE(error, s("File not open"));
    QVERIFY(index.open(path("short.log"), &error));
    QVERIFY(waitIndexed(index));
    for (qint64 k : {-1, 1, 100}) {
        error.clear();
        QCOMPARE(index.readRecordLine(k, &error), QByteArray());
        QCOMPARE(error, s("No such record"));
    }
    QCOMPARE(index.readRecordLine(0, &error),
             record("0.515", "088", "24/05/2009 14:03:07").chopped(2));
}

void TestReplayIndex::overlongLinesAreCutWhenRead()
{
    const QByteArray longest(ReplayIndex::kMaxLineLength, 'a');
    const QByteArray tooLong(ReplayIndex::kMaxLineLength + 1, 'b');
    const QByteArray wayTooLong(100000, 'c');
    QVERIFY(writeFile(path("long.log"), header() + units("m/s") + longest + "\r\n" + tooLong +
                                            "\r\n" + wayTooLong + "\n" + "last\r\n"));
    ReplayIndex index(2);
    QString error;
    QVERIFY(index.open(path("long.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 4LL);
    QCOMPARE(index.badLineCount(), 4LL);
    QCOMPARE(index.readRecordLine(0), longest);
    QCOMPARE(index.readRecordLine(1), tooLong.left(ReplayIndex::kMaxLineLength));
    QCOMPARE(index.readRecordLine(2), wayTooLong.left(ReplayIndex::kMaxLineLength));
    QCOMPARE(index.readRecordLine(3), QByteArray("last"));
}

void TestReplayIndex::badLinesAreCountedOnceAcrossRefreshes()
{
    QVERIFY(writeFile(path("bad.log"), header() + units("m/s") + "junk\r\n" +
                                           record("0.515", "088", "24/05/2009 14:03:07") +
                                           "more junk\r\n"));
    ReplayIndex index;
    index.setPollInterval(0);
    QString error;
    QVERIFY(index.open(path("bad.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.badLineCount(), 2LL);
    for (int i = 0; i < 3; ++i) {
        index.refresh();
        QVERIFY(waitIndexed(index));
    }
    QCOMPARE(index.badLineCount(), 2LL);
    QVERIFY(appendToFile(path("bad.log"), "junk again\r\n"));
    index.refresh();
    QTRY_COMPARE(index.recordCount(), 4);
    QCOMPARE(index.badLineCount(), 3LL);
}

void TestReplayIndex::appendedLinesAreIndexedOnRefresh()
{
    QByteArray file = header() + units("m/s");
    for (int k = 0; k < 44; ++k)
        file += numberedLine(k) + "\r\n";
    QVERIFY(writeFile(path("grow.log"), file));
    ReplayIndex index(16);
    index.setPollInterval(0);
    QSignalSpy counts(&index, &ReplayIndex::countChanged);
    QString error;
    QVERIFY(index.open(path("grow.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 44LL);

    QByteArray more;
    for (int k = 44; k < 100; ++k)
        more += numberedLine(k) + "\r\n";
    QVERIFY(appendToFile(path("grow.log"), more));
    index.refresh();
    QTRY_COMPARE(index.recordCount(), 100);
    QCOMPARE(counts.last().at(0).toLongLong(), 100);
    QCOMPARE(index.badLineCount(), 0LL);
    QCOMPARE(index.history().sampleCount(), 100LL);
    for (int k : {39, 43, 44, 47, 48, 63, 64, 99})
        QCOMPARE(index.readRecordLine(k), numberedLine(k));
    // The history goes on across the cut: records 40..47, 4 from each pass, in order.
    const HistoryTotals joined = index.history().totals(40, 47);
    QCOMPARE(joined.samples, 8LL);
    QCOMPARE(joined.firstTimeMs, localSeconds(2009, 5, 1, 0, 0, 40) * 1000);
    QCOMPARE(joined.lastTimeMs, localSeconds(2009, 5, 1, 0, 0, 47) * 1000);
    QCOMPARE(joined.maxSpeed, 0.047);
    QCOMPARE(joined.maxRecord, 47LL);
}

void TestReplayIndex::tornLineCountsOnceItsLineEndArrives()
{
    const QByteArray line = record("0.515", "088", "24/05/2009 14:03:07");
    QVERIFY(writeFile(path("torn.log"), header() + units("m/s") + line + line.left(10)));
    ReplayIndex index;
    index.setPollInterval(0);
    QString error;
    QVERIFY(index.open(path("torn.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 1LL);

    QVERIFY(appendToFile(path("torn.log"), line.mid(10, 20)));
    index.refresh();
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 1LL);

    // The CR arrives before the LF: still the same line.
    QVERIFY(appendToFile(path("torn.log"), line.mid(30).chopped(1)));
    index.refresh();
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 1LL);

    QVERIFY(appendToFile(path("torn.log"), "\n"));
    index.refresh();
    QTRY_COMPARE(index.recordCount(), 2);
    QCOMPARE(index.badLineCount(), 0LL);
    QCOMPARE(index.readRecordLine(1), line.chopped(2));
}

void TestReplayIndex::pollingFollowsARunningRecording()
{
    QVERIFY(writeFile(path("live.log"), header()));
    ReplayIndex index;
    index.setPollInterval(10);
    QString error;
    QVERIFY(index.open(path("live.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 0LL);
    QVERIFY(!index.hasUnitsLine());

    QVERIFY(appendToFile(path("live.log"), units("Knots")));
    QTRY_VERIFY(index.hasUnitsLine());
    QCOMPARE(index.unitsWord(), s("Knots"));
    QCOMPARE(index.units(), SpeedUnitsKind::Knots);
    for (int k = 1; k <= 3; ++k) {
        QVERIFY(appendToFile(path("live.log"), record("05.15", "271", "24/05/2009 14:03:07")));
        QTRY_COMPARE(index.recordCount(), qint64(k));
    }
}

void TestReplayIndex::overlongLineStillBeingWrittenIsSkippedAsItComes()
{
    QVERIFY(writeFile(path("long.log"), header() + units("m/s") + QByteArray(5000, 'x')));
    ReplayIndex index(1);
    index.setPollInterval(0);
    QString error;
    QVERIFY(index.open(path("long.log"), &error));
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 0LL);
    // What has been read of the long line is not read again.
    QVERIFY(index.bytesIndexed() > 5000);

    QVERIFY(appendToFile(path("long.log"), QByteArray(5000, 'y')));
    index.refresh();
    QVERIFY(waitIndexed(index));
    QCOMPARE(index.recordCount(), 0LL);
    QVERIFY(index.bytesIndexed() > 10000);

    QVERIFY(
        appendToFile(path("long.log"), "y\r\n" + record("0.515", "088", "24/05/2009 14:03:07")));
    index.refresh();
    QTRY_COMPARE(index.recordCount(), 2);
    QCOMPARE(index.badLineCount(), 1LL);
    QCOMPARE(index.readRecordLine(0), QByteArray(ReplayIndex::kMaxLineLength, 'x'));
    QCOMPARE(index.readRecordLine(1), record("0.515", "088", "24/05/2009 14:03:07").chopped(2));
}

void TestReplayIndex::recordsCanBeReadBeforeIndexingEnds()
{
    // Some 11 MB: more than one read of the background pass.
    QByteArray file = header() + units("m/s");
    const int count = 300000;
    file.reserve(qsizetype(count) * 37 + 100);
    for (int k = 0; k < count; ++k)
        file += numberedLine(k) + "\r\n";
    QVERIFY(writeFile(path("big.log"), file));

    ReplayIndex index;
    bool readEarly = false;
    QByteArray early;
    connect(&index, &ReplayIndex::countChanged, this, [&](qint64 records) {
        if (!index.isFinished() && !readEarly) {
            readEarly = true;
            early = index.readRecordLine(records - 1);
            QCOMPARE(early, numberedLine(int(records - 1)));
        }
    });
    QSignalSpy progress(&index, &ReplayIndex::progress);
    QString error;
    QVERIFY(index.open(path("big.log"), &error));
    QVERIFY(waitIndexed(index));
    QVERIFY(readEarly);
    QVERIFY(!early.isEmpty());
    QVERIFY(progress.count() >= 2);
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(file.size()));
    QCOMPARE(progress.last().at(1).toLongLong(), qint64(file.size()));
    QCOMPARE(index.recordCount(), qint64(count));
    QCOMPARE(index.badLineCount(), 0LL);
    QCOMPARE(index.readRecordLine(count - 1), numberedLine(count - 1));
    QCOMPARE(index.readRecordLine(123457), numberedLine(123457));
}

void TestReplayIndex::unitsChangingMidFileAreConvertedToTheFileUnits_data()
{
    QTest::addColumn<QByteArray>("unitsLine");
    QTest::addColumn<double>("sum");
    QTest::addColumn<double>("highest");
    // Records of 0.515 m/s, 01.00 knots (1852/3600 m/s) and 0500 mm/s.
    const double knot = 1852.0 / 3600.0;
    QTest::newRow("m/s file") << units("m/s") << 0.515 + knot + 0.5 << 0.515;
    QTest::newRow("mm/s file") << units("mm/s") << 515.0 + knot * 1000 + 500.0 << 515.0;
    QTest::newRow("Knots file") << units("Knots") << 0.515 / knot + 1.0 + 0.5 / knot
                                << 0.515 / knot;
}

void TestReplayIndex::unitsChangingMidFileAreConvertedToTheFileUnits()
{
    QFETCH(QByteArray, unitsLine);
    QFETCH(double, sum);
    QFETCH(double, highest);
    QVERIFY(writeFile(path("mixed.log"), header() + unitsLine +
                                             record("0.515", "000", "24/05/2009 14:03:07") +
                                             record("01.00", "000", "24/05/2009 14:03:08") +
                                             record("0500", "000", "24/05/2009 14:03:09")));
    ReplayIndex index;
    QString error;
    QVERIFY(index.open(path("mixed.log"), &error));
    QVERIFY(waitIndexed(index));
    const HistoryTotals t = index.history().totals();
    QCOMPARE(t.samples, 3LL);
    // The history keeps speeds to a hundredth of the last decimal shown (0.00001 m/s, 0.0001 kn,
    // 0.01 mm/s): a converted speed is within half of that.
    QVERIFY2(qAbs(t.sumSpeed - sum) < 1e-4 * sum, qPrintable(QString::number(t.sumSpeed, 'g', 12)));
    QVERIFY(qAbs(t.maxSpeed - highest) < 1e-4 * highest);
    QCOMPARE(t.maxRecord, 0LL);
    // All flow straight ahead: Y is the sum of the speeds.
    QVERIFY(qAbs(t.sumY - sum) < 1e-4 * sum);
}

void TestReplayIndex::failedOpenLeavesTheIndexClosed()
{
    ReplayIndex index;
    QString error;
    QVERIFY(!index.open(path("missing.log"), &error));
    QCOMPARE(error, s("No such file or directory"));
    QVERIFY(!index.isOpen());
    QVERIFY(!index.open(m_dir->path(), &error));
    QCOMPARE(error, s("Is a directory"));
    QVERIFY(!index.open(QString(), &error));
    QCOMPARE(index.recordCount(), 0LL);
}

void TestReplayIndex::openingAnotherFileStartsAfresh()
{
    QByteArray big = header() + units("m/s");
    for (int k = 0; k < 200000; ++k)
        big += numberedLine(k) + "\r\n";
    QVERIFY(writeFile(path("big.log"), big));
    QVERIFY(writeFile(path("small.log"), header() + units("Knots") +
                                             record("05.15", "271", "24/05/2009 14:03:07") +
                                             "junk\r\n"));
    ReplayIndex index;
    QString error;
    QVERIFY(index.open(path("big.log"), &error));
    // The second file is opened while the first may still be indexed: nothing of the first
    // reaches the second's index.
    QVERIFY(index.open(path("small.log"), &error));
    QVERIFY(waitIndexed(index));
    QTest::qWait(0);
    QCOMPARE(index.recordCount(), 2LL);
    QCOMPARE(index.badLineCount(), 1LL);
    QCOMPARE(index.unitsWord(), s("Knots"));
    QCOMPARE(index.readRecordLine(0), record("05.15", "271", "24/05/2009 14:03:07").chopped(2));
    index.close();
    QVERIFY(!index.isOpen());
    QCOMPARE(index.recordCount(), 0LL);
}

void TestReplayIndex::sampleOfLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("fileUnits"); // SpeedUnitsKind
    QTest::addColumn<bool>("good");
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("bearing");
    QTest::addColumn<qint64>("time");

    const int ms = int(SpeedUnitsKind::MetresPerSecond);
    const int kn = int(SpeedUnitsKind::Knots);
    const int mm = int(SpeedUnitsKind::MillimetresPerSecond);
    const qint64 t = localSeconds(2009, 5, 24, 14, 3, 7);
    const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };

    row("m/s") << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"") << ms << true << 0.515
               << 88 << t;
    row("knots") << QByteArray("\"05.15\",\"271\",\"24/05/2009 14:03:07\"") << kn << true << 5.15
                 << 271 << t;
    row("mm/s") << QByteArray("\"0515\",\"359\",\"24/05/2009 14:03:07\"") << mm << true << 515.0
                << 359 << t;
    row("wide speed") << QByteArray("\"12.345\",\"000\",\"24/05/2009 14:03:07\"") << ms << true
                      << 12.345 << 0 << t;
    row("360 is north") << QByteArray("\"0.515\",\"360\",\"24/05/2009 14:03:07\"") << ms << true
                        << 0.515 << 0 << t;
    row("short bearing") << QByteArray("\"0.515\",\"5\",\"24/05/2009 14:03:07\"") << ms << true
                         << 0.515 << 5 << t;
    row("mm/s record in a m/s file")
        << QByteArray("\"0250\",\"010\",\"24/05/2009 14:03:07\"") << ms << true << 0.25 << 10 << t;
    row("knots record in a mm/s file") << QByteArray("\"02.00\",\"010\",\"24/05/2009 14:03:07\"")
                                       << mm << true << 2 * 1852000.0 / 3600 << 10 << t;
    row("leap day") << QByteArray("\"0.515\",\"088\",\"29/02/2008 00:00:00\"") << ms << true
                    << 0.515 << 88 << localSeconds(2008, 2, 29, 0, 0, 0);

    const auto bad = [&](const char* name, const char* line) {
        row(name) << QByteArray(line) << ms << false << 0.0 << 0 << qint64(0);
    };
    bad("empty", "");
    bad("unquoted", "0.515,088,24/05/2009 14:03:07");
    bad("missing closing quote", "\"0.515\",\"088\",\"24/05/2009 14:03:07");
    bad("four fields", "\"0.515\",\"088\",\"24/05/2009 14:03:07\",\"1\"");
    bad("two fields", "\"0.515\",\"24/05/2009 14:03:07\"");
    bad("quote inside a field", "\"0.5\"15\",\"088\",\"24/05/2009 14:03:07\"");
    bad("blank after separator", "\"0.515\", \"088\",\"24/05/2009 14:03:07\"");
    bad("speed without digits", "\".\",\"088\",\"24/05/2009 14:03:07\"");
    bad("speed with sign", "\"-0.515\",\"088\",\"24/05/2009 14:03:07\"");
    bad("speed whose decimals tell no units", "\"0.5\",\"088\",\"24/05/2009 14:03:07\"");
    bad("two points", "\"0.5.1\",\"088\",\"24/05/2009 14:03:07\"");
    bad("bearing 361", "\"0.515\",\"361\",\"24/05/2009 14:03:07\"");
    bad("bearing of four digits", "\"0.515\",\"0088\",\"24/05/2009 14:03:07\"");
    bad("empty bearing", "\"0.515\",\"\",\"24/05/2009 14:03:07\"");
    bad("negative bearing", "\"0.515\",\"-88\",\"24/05/2009 14:03:07\"");
    bad("no such day", "\"0.515\",\"088\",\"29/02/2009 14:03:07\"");
    bad("month 13", "\"0.515\",\"088\",\"24/13/2009 14:03:07\"");
    bad("hour 24", "\"0.515\",\"088\",\"24/05/2009 24:00:00\"");
    bad("second 60", "\"0.515\",\"088\",\"24/05/2009 14:03:60\"");
    bad("date with dashes", "\"0.515\",\"088\",\"24-05-2009 14:03:07\"");
    bad("date cut short", "\"0.515\",\"088\",\"24/05/2009 14:03\"");
}

void TestReplayIndex::sampleOfLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, fileUnits);
    QFETCH(bool, good);
    QFETCH(double, speed);
    QFETCH(int, bearing);
    QFETCH(qint64, time);

    LogSampleParser parser{SpeedUnitsKind(fileUnits)};
    HistorySample sample;
    QCOMPARE(parser.parse(line, &sample), good);
    if (!good)
        return;
    QVERIFY2(qAbs(sample.speed - speed) < 1e-9 * speed, qPrintable(QString::number(sample.speed)));
    QCOMPARE(sample.bearing, bearing);
    QCOMPARE(sample.timeMs, time * 1000);

    // The fields are those the replay shows for the line.
    const LogRecordFields fields = splitLogRecordLine(line, 5);
    const QString caption = readoutCaptionForSpeedText(fields.speed);
    SpeedUnitsKind recordUnits = SpeedUnitsKind::MillimetresPerSecond;
    for (SpeedUnitsKind k : {SpeedUnitsKind::MetresPerSecond, SpeedUnitsKind::Knots})
        recordUnits = unitsInfo(k).readoutCaption == caption ? k : recordUnits;
    const double shown =
        speedInUnits(double(textToFloat(fields.speed)), recordUnits, SpeedUnitsKind(fileUnits));
    QVERIFY(qAbs(shown - sample.speed) <= 1e-12 * shown);
    QCOMPARE(textToInt(fields.bearing) % 360, sample.bearing);
}

void TestReplayIndex::oneParserFollowsChangingDatesAndUnits()
{
    // The parser remembers the last date and the last speed layout: what it remembers must never
    // stand in for a different text.
    LogSampleParser parser{SpeedUnitsKind::MetresPerSecond};
    struct Case
    {
        const char* line;
        bool good;
        double speed;
        qint64 time;
    };
    const Case cases[] = {
        {"\"0.515\",\"088\",\"24/05/2009 23:59:59\"", true, 0.515,
         localSeconds(2009, 5, 24, 23, 59, 59)},
        {"\"0.516\",\"088\",\"25/05/2009 00:00:00\"", true, 0.516,
         localSeconds(2009, 5, 25, 0, 0, 0)},
        {"\"0.517\",\"088\",\"31/02/2009 00:00:01\"", false, 0, 0},
        {"\"0.518\",\"088\",\"31/02/2009 00:00:01\"", false, 0, 0},
        {"\"0.519\",\"088\",\"25/05/2009 00:00:02\"", true, 0.519,
         localSeconds(2009, 5, 25, 0, 0, 2)},
        {"\"0.519\",\"088\",\"25/05/2009 00:61:02\"", false, 0, 0},
        {"\"01.00\",\"088\",\"25/05/2009 00:00:03\"", true, 1852.0 / 3600.0,
         localSeconds(2009, 5, 25, 0, 0, 3)},
        {"\"1.0\",\"088\",\"25/05/2009 00:00:04\"", false, 0, 0},
        {"\"1.0\",\"088\",\"25/05/2009 00:00:04\"", false, 0, 0},
        {"\"0500\",\"088\",\"25/05/2009 00:00:05\"", true, 0.5, localSeconds(2009, 5, 25, 0, 0, 5)},
        {"\"0.500\",\"088\",\"25/05/2009 00:00:06\"", true, 0.5,
         localSeconds(2009, 5, 25, 0, 0, 6)},
    };
    for (const Case& c : cases) {
        HistorySample sample;
        QCOMPARE(parser.parse(QByteArrayView(c.line), &sample), c.good);
        if (!c.good)
            continue;
        QVERIFY2(qAbs(sample.speed - c.speed) < 1e-12, c.line);
        QCOMPARE(sample.timeMs, c.time * 1000);
    }
}

void TestReplayIndex::dateTimeText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("example") << QByteArray("24/05/2009 14:03:07") << true
                             << localSeconds(2009, 5, 24, 14, 3, 7);
    QTest::newRow("start of 1970") << QByteArray("01/01/1970 00:00:00") << true << 0LL;
    QTest::newRow("before 1970") << QByteArray("31/12/1969 23:59:59") << true << -1LL;
    QTest::newRow("end of a leap century")
        << QByteArray("31/12/2000 23:59:59") << true << localSeconds(2000, 12, 31, 23, 59, 59);
    QTest::newRow("29 February 2000")
        << QByteArray("29/02/2000 12:00:00") << true << localSeconds(2000, 2, 29, 12, 0, 0);
    QTest::newRow("29 February 2100") << QByteArray("29/02/2100 12:00:00") << false << 0LL;
    QTest::newRow("day 0") << QByteArray("00/05/2009 14:03:07") << false << 0LL;
    QTest::newRow("31 April") << QByteArray("31/04/2009 14:03:07") << false << 0LL;
    QTest::newRow("minute 60") << QByteArray("24/05/2009 14:60:07") << false << 0LL;
    QTest::newRow("letters") << QByteArray("2a/05/2009 14:03:07") << false << 0LL;
    QTest::newRow("trailing blank") << QByteArray("24/05/2009 14:03:07 ") << false << 0LL;
}

void TestReplayIndex::dateTimeText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(qint64, seconds);
    qint64 parsed = 12345;
    QCOMPARE(parseLogDateTime(text, &parsed), valid);
    if (valid)
        QCOMPARE(parsed, seconds);
}

QTEST_GUILESS_MAIN(TestReplayIndex)
#include "tst_replayindex.moc"
