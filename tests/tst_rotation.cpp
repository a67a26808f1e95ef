// New files as a recording goes on: at each UTC day or hour, or past a size, named from a
// pattern with date fields; the batch that crosses a boundary split by each sample's own time,
// every file whole; older files of the pattern removed.

#include "base/ClockText.h"
#include "logformat/DataFileFormat.h"
#include "recording/DataFileWriter.h"
#include "logformat/LogFormat.h"
#include "recording/LogRotation.h"
#include "recording/Recording.h"
#include "sensor/FlowPipeline.h"
#include "session/LiveSession.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

qint64 utc(const char* iso)
{
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
    if (!t.isValid())
        qFatal("not a time: %s", iso);
    return t.toMSecsSinceEpoch();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("old\r\n") == 5;
}

// Sample n: the record "+0.000 +0.1nn" (0.1nn m/s) stamped at ms.
Sample sampleAt(LiveSession& session, qint64 ms, int n)
{
    const QString record = QStringLiteral("+0.000 +0.%1").arg(100 + n);
    return *session.pipeline().decodeRecord(record, SampleSource::Live, ms,
                                            session.pipeline().timeText(ms));
}

QString speedOf(int n)
{
    return QStringLiteral("0.%1").arg(100 + n);
}

// The speeds of a log's records, after checking that it starts with its header and its units
// line (an empty list, and why, when it does not).
QStringList speedsIn(const QString& path, QString* problem)
{
    const QList<QByteArray> lines = contents(path).split('\n');
    if (lines.size() < 3 || lines[0] + '\n' != logHeaderLine() ||
        lines[1] + '\n' != logUnitsLine(QStringLiteral("m/s"))) {
        *problem = path + QStringLiteral(" is not whole: ") + QString::fromLatin1(contents(path));
        return {};
    }
    QStringList speeds;
    for (const QByteArray& line : lines.mid(2, lines.size() - 3))
        speeds << QString::fromLatin1(line.mid(1, 5));
    return speeds;
}

// The times of a data file's rows, after checking its head.
QStringList rowTimesIn(const QString& path, QString* problem)
{
    const QByteArray all = contents(path);
    const qsizetype head = all.indexOf(dataFileHeaderRow());
    if (!all.startsWith("# Marvane ") || head < 0) {
        *problem = path + QStringLiteral(" has no head");
        return {};
    }
    QStringList times;
    for (const QByteArray& row : all.mid(head + dataFileHeaderRow().size()).split('\n')) {
        if (!row.isEmpty())
            times << QString::fromLatin1(row.left(row.indexOf(',')));
    }
    return times;
}

} // namespace

class TestRotation : public QObject
{
    Q_OBJECT
private slots:
    void whenToRotate_data();
    void whenToRotate();
    void fileNames_data();
    void fileNames();
    void patternsThatCannotNameTheFiles_data();
    void patternsThatCannotNameTheFiles();
    void batchAcrossABoundaryIsSplitBetweenTwoWholeFiles_data();
    void batchAcrossABoundaryIsSplitBetweenTwoWholeFiles();
    void logPastItsSizeGoesOnInANumberedFile();
    void keepDaysRemovesOnlyOlderFilesOfThePatterns();
    void appendContinuesTheNewestFileOfThePeriod();
};

void TestRotation::whenToRotate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("every");
    QTest::addColumn<qint64>("bytes");
    const int day = int(LogRotation::Every::Day);
    const int hour = int(LogRotation::Every::Hour);
    const int size = int(LogRotation::Every::Size);
    QTest::newRow("daily") << QStringLiteral("daily") << true << day << qint64(0);
    QTest::newRow("hourly") << QStringLiteral("Hourly") << true << hour << qint64(0);
    QTest::newRow("bytes") << QStringLiteral("4096") << true << size << qint64(4096);
    QTest::newRow("k") << QStringLiteral("500k") << true << size << qint64(500 * 1024);
    QTest::newRow("M") << QStringLiteral("10M") << true << size << qint64(10 << 20);
    QTest::newRow("G") << QStringLiteral("2G") << true << size << (qint64(2) << 30);
    QTest::newRow("weekly") << QStringLiteral("weekly") << false << 0 << qint64(0);
    QTest::newRow("zero") << QStringLiteral("0") << false << 0 << qint64(0);
    QTest::newRow("negative") << QStringLiteral("-5M") << false << 0 << qint64(0);
    QTest::newRow("unknown unit") << QStringLiteral("10T") << false << 0 << qint64(0);
    QTest::newRow("empty") << QString() << false << 0 << qint64(0);
}

void TestRotation::whenToRotate()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, every);
    QFETCH(qint64, bytes);
    QString error;
    const std::optional<LogRotation> rotation = LogRotation::fromText(text, &error);
    QCOMPARE(rotation.has_value(), valid);
    if (!valid) {
        QVERIFY2(error.startsWith(QStringLiteral("--rotate wants daily, hourly or a size")),
                 qPrintable(error));
        return;
    }
    QCOMPARE(int(rotation->every()), every);
    QCOMPARE(rotation->maxBytes(), bytes);
}

void TestRotation::fileNames_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("a day") << QStringLiteral("pier-%Y%m%d.log") << 1
                           << QStringLiteral("pier-20261211.log");
    QTest::newRow("the second of a day")
        << QStringLiteral("pier-%Y%m%d.log") << 2 << QStringLiteral("pier-20261211-2.log");
    QTest::newRow("every field, in a folder")
        << QStringLiteral("/var/log/marvane/%Y-%m-%dT%H%M%S.log") << 1
        << QStringLiteral("/var/log/marvane/2026-12-11T043759.log");
    QTest::newRow("no field") << QStringLiteral("flow.log") << 3 << QStringLiteral("flow-3.log");
    QTest::newRow("no extension") << QStringLiteral("logs/flow-%H") << 2
                                  << QStringLiteral("logs/flow-04-2");
    QTest::newRow("a field after the last point")
        << QStringLiteral("flow.%Y") << 2 << QStringLiteral("flow.2026-2");
    QTest::newRow("a percent sign")
        << QStringLiteral("100%%-%d.log") << 1 << QStringLiteral("100%-11.log");
}

void TestRotation::fileNames()
{
    QFETCH(QString, pattern);
    QFETCH(int, number);
    QFETCH(QString, name);
    // Always in UTC, whatever the computer's zone.
    QCOMPARE(LogRotation::fileName(pattern, utc("2026-12-11T04:37:59.900Z"), number), name);
}

void TestRotation::patternsThatCannotNameTheFiles_data()
{
    QTest::addColumn<QString>("every");
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("problem"); // the start of it; empty: none
    QTest::newRow("daily") << QStringLiteral("daily") << 0 << QStringLiteral("pier-%Y%m%d.log")
                           << QString();
    QTest::newRow("daily without the day")
        << QStringLiteral("daily") << 0 << QStringLiteral("pier-%Y%m.log")
        << QStringLiteral("needs %Y, %m and %d in its name for a new file each day");
    QTest::newRow("hourly without the hour")
        << QStringLiteral("hourly") << 0 << QStringLiteral("pier-%Y%m%d.log")
        << QStringLiteral("needs %Y, %m, %d and %H");
    QTest::newRow("by size without fields")
        << QStringLiteral("10M") << 0 << QStringLiteral("flow.log") << QString();
    QTest::newRow("by size, keeping days, without the date")
        << QStringLiteral("10M") << 7 << QStringLiteral("flow.log")
        << QStringLiteral("needs %Y, %m and %d in its name to tell old files");
    QTest::newRow("unknown field")
        << QStringLiteral("daily") << 0 << QStringLiteral("pier-%Y%m%d-%j.log")
        << QStringLiteral("has %j, which is not a date field");
    QTest::newRow("field in the folder")
        << QStringLiteral("daily") << 0 << QStringLiteral("/data/%Y/pier-%Y%m%d.log")
        << QStringLiteral("has date fields in its folder");
}

void TestRotation::patternsThatCannotNameTheFiles()
{
    QFETCH(QString, every);
    QFETCH(int, keepDays);
    QFETCH(QString, pattern);
    QFETCH(QString, problem);
    std::optional<LogRotation> rotation = LogRotation::fromText(every, nullptr);
    QVERIFY(rotation);
    rotation->setKeepDays(keepDays);
    const QString said = rotation->patternProblem(pattern);
    if (problem.isEmpty())
        QCOMPARE(said, QString());
    else
        QVERIFY2(said.startsWith(problem), qPrintable(said));
}

void TestRotation::batchAcrossABoundaryIsSplitBetweenTwoWholeFiles_data()
{
    QTest::addColumn<QString>("every");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QList<qint64>>("times"); // one batch with samples 1.., then sample n+1 alone
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("inFirst"); // how many samples belong to the first file
    QTest::newRow("midnight UTC") << QStringLiteral("daily") << QStringLiteral("pier-%Y%m%d")
                                  << utc("2026-12-10T23:59:58Z")
                                  << QList<qint64>{utc("2026-12-10T23:59:59.200Z"),
                                                   utc("2026-12-10T23:59:59.999Z"),
                                                   utc("2026-12-11T00:00:00.000Z"),
                                                   utc("2026-12-11T00:00:00.700Z")}
                                  << QStringLiteral("pier-20261210")
                                  << QStringLiteral("pier-20261211") << 2;
    QTest::newRow("the hour") << QStringLiteral("hourly") << QStringLiteral("pier-%Y%m%d%H")
                              << utc("2026-12-11T04:59:00Z")
                              << QList<qint64>{utc("2026-12-11T04:59:59.500Z"),
                                               utc("2026-12-11T05:00:00.100Z"),
                                               utc("2026-12-11T05:00:00.900Z")}
                              << QStringLiteral("pier-2026121104")
                              << QStringLiteral("pier-2026121105") << 1;
    QTest::newRow("the whole batch past midnight")
        << QStringLiteral("daily") << QStringLiteral("pier-%Y%m%d") << utc("2026-12-10T23:59:58Z")
        << QList<qint64>{utc("2026-12-11T00:00:00.400Z"), utc("2026-12-11T00:00:00.400Z")}
        << QStringLiteral("pier-20261210") << QStringLiteral("pier-20261211") << 0;
    QTest::newRow("a clock stepped back stays in the new day")
        << QStringLiteral("daily") << QStringLiteral("pier-%Y%m%d") << utc("2026-12-10T23:59:58Z")
        << QList<qint64>{utc("2026-12-10T23:59:59.900Z"), utc("2026-12-11T00:00:00.100Z"),
                         utc("2026-12-10T23:59:59.950Z")}
        << QStringLiteral("pier-20261210") << QStringLiteral("pier-20261211") << 1;
}

void TestRotation::batchAcrossABoundaryIsSplitBetweenTwoWholeFiles()
{
    QFETCH(QString, every);
    QFETCH(QString, pattern);
    QFETCH(qint64, start);
    QFETCH(QList<qint64>, times);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, inFirst);
    QTemporaryDir dir;
    LiveSession session(nullptr);
    qint64 now = start;
    session.pipeline().setClock([&now] { return now; });
    std::optional<LogRotation> rule = LogRotation::fromText(every, nullptr);
    QVERIFY(rule);
    rule->setLogPattern(dir.filePath(pattern + QStringLiteral(".log")));
    rule->setDataPattern(dir.filePath(pattern + QStringLiteral(".csv")));
    QSignalSpy rotated(&session, &LiveSession::filesRotated);
    QString reason;
    QVERIFY2(session.startRotation(*rule, false, &reason), qPrintable(reason));
    QCOMPARE(session.recording().currentFile(), dir.filePath(first + QStringLiteral(".log")));
    session.recording().setLogging(true);

    SampleBatch batch;
    for (int i = 0; i < times.size(); ++i)
        batch << sampleAt(session, times[i], i + 1);
    session.handBatch(batch);
    // The next poll, after the boundary: the new files go on.
    now = times.last() + 900;
    session.handBatch({sampleAt(session, now, int(times.size()) + 1)});
    session.finish();

    QCOMPARE(rotated.count(), 1);
    QCOMPARE(rotated.at(0).at(0).toString(), dir.filePath(second + QStringLiteral(".log")));
    QCOMPARE(rotated.at(0).at(1).toString(), dir.filePath(second + QStringLiteral(".csv")));
    QStringList expectedFirst;
    QStringList expectedSecond;
    QStringList timesFirst;
    QStringList timesSecond;
    for (int i = 0; i <= times.size(); ++i) {
        const qint64 ms = i < times.size() ? times[i] : now;
        (i < inFirst ? expectedFirst : expectedSecond) << speedOf(i + 1);
        (i < inFirst ? timesFirst : timesSecond) << isoUtcText(ms);
    }
    // Both files whole, every sample in exactly one of them, in order; the data files alike.
    QString problem;
    const QString firstLog = dir.filePath(first + QStringLiteral(".log"));
    const QString secondLog = dir.filePath(second + QStringLiteral(".log"));
    if (inFirst == 0) {
        QCOMPARE(contents(firstLog), logHeaderLine()); // no sample ever came that day
    } else {
        QCOMPARE(speedsIn(firstLog, &problem), expectedFirst);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    QCOMPARE(speedsIn(secondLog, &problem), expectedSecond);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(rowTimesIn(dir.filePath(first + QStringLiteral(".csv")), &problem), timesFirst);
    QCOMPARE(rowTimesIn(dir.filePath(second + QStringLiteral(".csv")), &problem), timesSecond);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

void TestRotation::logPastItsSizeGoesOnInANumberedFile()
{
    QTemporaryDir dir;
    LiveSession session(nullptr);
    qint64 now = utc("2026-12-11T04:37:00Z");
    session.pipeline().setClock([&now] { return now; });
    // The header, the units line and a record make 99 bytes: each poll past 64 starts a file.
    std::optional<LogRotation> rule = LogRotation::fromText(QStringLiteral("64"), nullptr);
    QVERIFY(rule);
    rule->setLogPattern(dir.filePath(QStringLiteral("flow.log")));
    rule->setDataPattern(dir.filePath(QStringLiteral("flow.csv")));
    QString reason;
    QVERIFY2(session.startRotation(*rule, false, &reason), qPrintable(reason));
    session.recording().setLogging(true);
    QSignalSpy rotated(&session, &LiveSession::filesRotated);
    // Two samples in each poll: a poll is never split by size.
    for (int poll = 0; poll < 3; ++poll) {
        now += 1000;
        session.handBatch(
            {sampleAt(session, now, 2 * poll + 1), sampleAt(session, now + 1, 2 * poll + 2)});
    }
    session.finish();

    QCOMPARE(rotated.count(), 2);
    const QStringList names{QStringLiteral("flow"), QStringLiteral("flow-2"),
                            QStringLiteral("flow-3")};
    for (int i = 0; i < names.size(); ++i) {
        QString problem;
        const QString log = dir.filePath(names[i] + QStringLiteral(".log"));
        QCOMPARE(speedsIn(log, &problem), (QStringList{speedOf(2 * i + 1), speedOf(2 * i + 2)}));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(rowTimesIn(dir.filePath(names[i] + QStringLiteral(".csv")), &problem).size(), 2);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 6);
}

void TestRotation::keepDaysRemovesOnlyOlderFilesOfThePatterns()
{
    QTemporaryDir dir;
    const QStringList gone{QStringLiteral("pier-20261201.log"), QStringLiteral("pier-20261203.log"),
                           QStringLiteral("pier-20261203-2.log"),
                           QStringLiteral("pier-20261203.csv")};
    const QStringList kept{QStringLiteral("pier-20261204.log"),   // seven days before
                           QStringLiteral("pier-20261204-2.csv"), // the same day
                           QStringLiteral("pier-20261210.log"),
                           QStringLiteral("pier-notes.log"),      // not a name of the pattern
                           QStringLiteral("pier-20261201.log.1"), // logrotate's, not ours
                           QStringLiteral("pier-20261301.log"),   // no such day
                           QStringLiteral("other-20261201.log"),  // another pattern
                           QStringLiteral("pier-20261201.txt")};
    for (const QString& name : gone + kept)
        QVERIFY(touch(dir.filePath(name)));

    LiveSession session(nullptr);
    qint64 now = utc("2026-12-11T00:00:05Z");
    session.pipeline().setClock([&now] { return now; });
    std::optional<LogRotation> rule = LogRotation::fromText(QStringLiteral("daily"), nullptr);
    QVERIFY(rule);
    rule->setKeepDays(7);
    rule->setLogPattern(dir.filePath(QStringLiteral("pier-%Y%m%d.log")));
    rule->setDataPattern(dir.filePath(QStringLiteral("pier-%Y%m%d.csv")));
    QSignalSpy removed(&session, &LiveSession::oldFilesRemoved);
    QString reason;
    QVERIFY2(session.startRotation(*rule, false, &reason), qPrintable(reason));
    QCOMPARE(removed.count(), 1);
    QStringList told = removed.at(0).at(0).toStringList();
    for (QString& path : told)
        path = QFileInfo(path).fileName();
    told.sort();
    QStringList expected = gone;
    expected.sort();
    QCOMPARE(told, expected);
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    QStringList all = kept + QStringList{QStringLiteral("pier-20261211.log"),
                                         QStringLiteral("pier-20261211.csv")};
    left.sort();
    all.sort();
    QCOMPARE(left, all);

    // A day later, at the next file, the next oldest go too.
    session.recording().setLogging(true);
    now = utc("2026-12-12T00:00:01Z");
    session.handBatch({sampleAt(session, now, 1)});
    QCOMPARE(removed.count(), 2);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("pier-20261204.log"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("pier-20261204-2.csv"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("pier-20261210.log"))));
    session.finish();
}

void TestRotation::appendContinuesTheNewestFileOfThePeriod()
{
    QTemporaryDir dir;
    const QByteArray older = logHeaderLine() + logUnitsLine(QStringLiteral("m/s")) +
                             logRecordLine(QStringLiteral("0.500"), QStringLiteral("000"),
                                           QStringLiteral("11/12/2026 01:00:00"));
    for (const char* name : {"pier-20261211.log", "pier-20261211-2.log"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(older);
    }
    LiveSession session(nullptr);
    session.pipeline().setClock([] { return utc("2026-12-11T09:00:00Z"); });
    std::optional<LogRotation> rule = LogRotation::fromText(QStringLiteral("daily"), nullptr);
    QVERIFY(rule);
    rule->setLogPattern(dir.filePath(QStringLiteral("pier-%Y%m%d.log")));
    QString reason;
    QStringList made;
    QVERIFY2(session.startRotation(*rule, true, &reason, &made), qPrintable(reason));
    QCOMPARE(session.recording().currentFile(),
             dir.filePath(QStringLiteral("pier-20261211-2.log")));
    QVERIFY(made.isEmpty());
    session.recording().setLogging(true);
    session.receiveRecord(QStringLiteral("+0.000 +0.101"));
    QCOMPARE(contents(dir.filePath(QStringLiteral("pier-20261211-2.log"))),
             older + logRecordLine(QStringLiteral("0.101"), QStringLiteral("000"),
                                   QStringLiteral("11/12/2026 09:00:00")));
    QCOMPARE(contents(dir.filePath(QStringLiteral("pier-20261211.log"))), older);

    // Without append the first free number is taken.
    LiveSession fresh(nullptr);
    fresh.pipeline().setClock([] { return utc("2026-12-11T09:00:00Z"); });
    QVERIFY(fresh.startRotation(*rule, false, &reason, &made));
    QCOMPARE(fresh.recording().currentFile(), dir.filePath(QStringLiteral("pier-20261211-3.log")));
    QCOMPARE(made, QStringList{dir.filePath(QStringLiteral("pier-20261211-3.log"))});
}

QTEST_GUILESS_MAIN(TestRotation)
#include "tst_rotation.moc"
