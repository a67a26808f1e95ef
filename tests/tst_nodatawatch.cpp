// The no-data watch: silence judged against the sensor's own rate, reported every second while
// it lasts, ended by the next valid record. The clock is driven by the test.

#include "session/LiveSession.h"
#include "session/NoDataWatch.h"
#include "settings/CommsSettings.h"

#include <QSignalSpy>
#include <QTest>

class TestNoDataWatch : public QObject
{
    Q_OBJECT
private slots:
    void silenceIsJudgedAgainstTheUsualInterval_data();
    void silenceIsJudgedAgainstTheUsualInterval();
    void silenceIsReportedEverySecondAndEndedByARecord();
    void lineNoiseIsNotData();
    void stoppedWatchReportsNothing();
};

void TestNoDataWatch::silenceIsJudgedAgainstTheUsualInterval_data()
{
    QTest::addColumn<QList<qint64>>("arrivals"); // ms after watching began
    QTest::addColumn<qint64>("checkedAt");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("reportedSeconds"); // -1: no report

    QTest::newRow("nothing yet, 2.9 s") << QList<qint64>{} << 2900LL << 3000LL << -1;
    QTest::newRow("nothing yet, 3 s") << QList<qint64>{} << 3000LL << 3000LL << 3;
    QTest::newRow("one record a second, 2.5 s after")
        << QList<qint64>{1000, 2000, 3000} << 5500LL << 3000LL << -1;
    QTest::newRow("one record a second, 3.2 s after")
        << QList<qint64>{1000, 2000, 3000} << 6200LL << 3000LL << 3;
    QTest::newRow("every 2 s: 5 s is not yet silence")
        << QList<qint64>{0, 2000, 4000, 6000} << 11000LL << 6000LL << -1;
    QTest::newRow("every 2 s: 7 s is")
        << QList<qint64>{0, 2000, 4000, 6000} << 13000LL << 6000LL << 7;
    QTest::newRow("every 1.5 s: 4.5 s, looked at from 5 s")
        << QList<qint64>{0, 1500, 3000} << 8000LL << 4500LL << 5;
    // One long gap among steady ones does not move the median.
    QTest::newRow("median, not mean")
        << QList<qint64>{0, 1000, 2000, 3000, 63000, 64000, 65000} << 68500LL << 3000LL << 3;
    // Only the last eight intervals count: the sensor went from 5 s to 1 s.
    QTest::newRow("last eight intervals")
        << QList<qint64>{0,     5000,  10000, 15000, 20000, 21000, 22000,
                         23000, 24000, 25000, 26000, 27000, 28000, 29000}
        << 32500LL << 3000LL << 3;
}

void TestNoDataWatch::silenceIsJudgedAgainstTheUsualInterval()
{
    QFETCH(QList<qint64>, arrivals);
    QFETCH(qint64, checkedAt);
    QFETCH(qint64, limit);
    QFETCH(int, reportedSeconds);

    qint64 now = 0;
    NoDataWatch watch;
    watch.setClock([&now] { return now; });
    QSignalSpy began(&watch, &NoDataWatch::noDataBegan);
    watch.start();
    for (const qint64 at : arrivals) {
        now = at;
        watch.recordArrived();
    }
    QCOMPARE(watch.limit(), limit);
    // Not woken while the sensor talks within its limit: the first look is at the whole second
    // since the last record at which the limit can have been reached.
    QCOMPARE(watch.checkTimer().interval(), int((limit + 999) / 1000 * 1000));
    now = checkedAt;
    watch.check();
    if (reportedSeconds < 0) {
        QCOMPARE(began.count(), 0);
        QVERIFY(!watch.isSilent());
    } else {
        QCOMPARE(began.count(), 1);
        QCOMPARE(began.first().first().toInt(), reportedSeconds);
        QVERIFY(watch.isSilent());
    }
}

void TestNoDataWatch::silenceIsReportedEverySecondAndEndedByARecord()
{
    qint64 now = 0;
    NoDataWatch watch;
    watch.setClock([&now] { return now; });
    QSignalSpy began(&watch, &NoDataWatch::noDataBegan);
    QSignalSpy noData(&watch, &NoDataWatch::noData);
    QSignalSpy resumed(&watch, &NoDataWatch::dataResumed);
    watch.start();
    // Nothing to look at before the shortest limit has passed: the first look is then.
    QVERIFY(watch.checkTimer().isActive());
    QCOMPARE(watch.checkTimer().interval(), 3000);
    watch.recordArrived(); // at 0
    QCOMPARE(watch.checkTimer().interval(), 3000);
    for (now = 1000; now <= 6000; now += 1000)
        watch.check();
    // Once looking, every second.
    QCOMPARE(watch.checkTimer().interval(), 1000);
    QCOMPARE(began.count(), 1);
    QCOMPARE(began.first().first().toInt(), 3);
    QCOMPARE(noData.count(), 4);
    QCOMPARE(noData.last().first().toInt(), 6);

    now = 6400;
    watch.recordArrived();
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed.first().first().toInt(), 6);
    QVERIFY(!watch.isSilent());
    // The silence is not taken for the sensor's rate.
    QCOMPARE(watch.limit(), 3000);
    now = 8000;
    watch.check();
    QCOMPARE(noData.count(), 4);
    QCOMPARE(began.count(), 1);
}

void TestNoDataWatch::lineNoiseIsNotData()
{
    // The watch as a destination of the live session: the session's batches reach it.
    LiveSession session(nullptr);
    qint64 now = 0;
    NoDataWatch& watch = session.noDataWatch();
    watch.setClock([&now] { return now; });
    QSignalSpy began(&watch, &NoDataWatch::noDataBegan);
    QSignalSpy resumed(&watch, &NoDataWatch::dataResumed);
    watch.start();

    now = 2500;
    session.receiveRecord(QStringLiteral("#*&!?~ garbage"));
    now = 3000;
    watch.check();
    QCOMPARE(began.count(), 1);
    session.receiveRecord(QStringLiteral("+0.015 +0.515"));
    QCOMPARE(resumed.count(), 1);
}

void TestNoDataWatch::stoppedWatchReportsNothing()
{
    qint64 now = 0;
    NoDataWatch watch;
    watch.setClock([&now] { return now; });
    QSignalSpy noData(&watch, &NoDataWatch::noData);
    watch.start();
    watch.stop();
    QVERIFY(!watch.checkTimer().isActive());
    now = 10000;
    watch.check();
    QCOMPARE(noData.count(), 0);
    // Starting again measures from the new start.
    watch.start();
    now = 12000;
    watch.check();
    QCOMPARE(noData.count(), 0);
    now = 13000;
    watch.check();
    QCOMPARE(noData.count(), 1);
}

QTEST_GUILESS_MAIN(TestNoDataWatch)
#include "tst_nodatawatch.moc"
