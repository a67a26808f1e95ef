// The wait that handlers use to pace themselves: timers and commands keep running inside it, it
// lasts at least its time, waits nest, and the thread sleeps between events.

#include "base/SettingsFile.h"
#include "base/Wait.h"

#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QTest>
#include <QTimer>

#include <limits>

#include <time.h>

namespace {

// Processor time of the whole process, in milliseconds.
double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1.0e6;
}

// Lets events left over from a previous test run out so they do not count in the next one.
void drainEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace

class TestPause : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { drainEvents(); }

    void lastsAtLeastItsTimeAndNotMuchMore_data();
    void lastsAtLeastItsTimeAndNotMuchMore();
    void timerKeepsTickingDuringWait();
    void zeroReturnsWithoutDispatching();
    void negativeWaitIsOnePass_data();
    void negativeWaitIsOnePass();
    void queuedCallPostedDuringWaitRunsBeforeItEnds();
    void nestedWaits_data();
    void nestedWaits();
    void waitDoesNotKeepProcessorBusy();
};

void TestPause::lastsAtLeastItsTimeAndNotMuchMore_data()
{
    QTest::addColumn<int>("ms");
    QTest::newRow("1 ms") << 1;
    QTest::newRow("20 ms") << 20;
    QTest::newRow("150 ms") << 150;
    QTest::newRow("500 ms, the first poll's wait") << 500;
}

void TestPause::lastsAtLeastItsTimeAndNotMuchMore()
{
    QFETCH(int, ms);
    QElapsedTimer clock;
    clock.start();
    waitProcessingEvents(ms);
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= ms, qPrintable(QStringLiteral("took %1 ms").arg(took)));
    // Generous, for a loaded machine; a wait that runs on by whole timer periods still fails.
    QVERIFY2(took <= ms + 300, qPrintable(QStringLiteral("took %1 ms").arg(took)));
}

void TestPause::timerKeepsTickingDuringWait()
{
    QTimer ticker;
    int ticks = 0;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(50);

    QElapsedTimer clock;
    clock.start();
    waitProcessingEvents(500);
    const qint64 took = clock.elapsed();
    ticker.stop();

    // About ten ticks in 500 ms; at least five even on a slow machine.
    QVERIFY2(ticks >= 5, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
    QVERIFY(took >= 500);
}

void TestPause::zeroReturnsWithoutDispatching()
{
    bool delivered = false;
    QMetaObject::invokeMethod(
        this, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    QTimer due;
    bool fired = false;
    connect(&due, &QTimer::timeout, this, [&fired] { fired = true; });
    due.setSingleShot(true);
    due.start(0);

    waitProcessingEvents(0);
    QVERIFY(!delivered);
    QVERIFY(!fired);

    // The queued call was real: the next pass of the event loop delivers it.
    QTRY_VERIFY(delivered);
    QTRY_VERIFY(fired);
}

void TestPause::negativeWaitIsOnePass_data()
{
    QTest::addColumn<int>("ms");
    QTest::newRow("-1") << -1;
    QTest::newRow("-1000") << -1000;
    QTest::newRow("smallest") << std::numeric_limits<int>::min();
}

void TestPause::negativeWaitIsOnePass()
{
    QFETCH(int, ms);
    bool delivered = false;
    QMetaObject::invokeMethod(
        this, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    QTimer later;
    bool fired = false;
    connect(&later, &QTimer::timeout, this, [&fired] { fired = true; });
    later.setSingleShot(true);
    later.start(300);

    QElapsedTimer clock;
    clock.start();
    waitProcessingEvents(ms);
    const qint64 took = clock.elapsed();

    QVERIFY(delivered);
    // One pass does not wait for anything that is not due yet.
    QVERIFY(!fired);
    QVERIFY2(took < 200, qPrintable(QStringLiteral("took %1 ms").arg(took)));
}

void TestPause::queuedCallPostedDuringWaitRunsBeforeItEnds()
{
    QElapsedTimer clock;
    clock.start();
    qint64 ranAt = -1;
    QTimer::singleShot(100, this, [this, &clock, &ranAt] {
        // A command posted while the handler waits, like a menu click.
        QMetaObject::invokeMethod(
            this, [&clock, &ranAt] { ranAt = clock.elapsed(); }, Qt::QueuedConnection);
    });
    waitProcessingEvents(400);
    const qint64 took = clock.elapsed();
    QVERIFY(ranAt >= 100);
    QVERIFY(ranAt < took);
    QVERIFY(took >= 400);
}

void TestPause::nestedWaits_data()
{
    QTest::addColumn<int>("outerMs");
    QTest::addColumn<int>("innerStartMs");
    QTest::addColumn<int>("innerMs");

    QTest::newRow("inner outlasts outer") << 300 << 50 << 400;
    QTest::newRow("inner ends first, outer keeps its own time") << 400 << 50 << 100;
    QTest::newRow("inner is one pass") << 200 << 50 << -1;
}

void TestPause::nestedWaits()
{
    QFETCH(int, outerMs);
    QFETCH(int, innerStartMs);
    QFETCH(int, innerMs);

    QStringList returns;
    QElapsedTimer clock;
    clock.start();
    qint64 innerStartedAt = -1;
    qint64 innerTook = -1;
    QTimer::singleShot(innerStartMs, this, [&] {
        innerStartedAt = clock.elapsed();
        QElapsedTimer inner;
        inner.start();
        waitProcessingEvents(innerMs);
        innerTook = inner.elapsed();
        returns << QStringLiteral("inner");
    });

    waitProcessingEvents(outerMs);
    const qint64 outerTook = clock.elapsed();
    returns << QStringLiteral("outer");

    QCOMPARE(returns, QStringList({QStringLiteral("inner"), QStringLiteral("outer")}));
    QVERIFY(innerStartedAt >= innerStartMs);
    QVERIFY(innerTook >= innerMs);
    QVERIFY2(outerTook >= outerMs, qPrintable(QStringLiteral("outer took %1 ms").arg(outerTook)));
    QVERIFY2(outerTook >= innerStartedAt + innerTook,
             qPrintable(QStringLiteral("outer took %1 ms").arg(outerTook)));
    const qint64 longest = qMax<qint64>(outerMs, innerStartMs + qMax(innerMs, 0));
    QVERIFY2(outerTook <= longest + 300,
             qPrintable(QStringLiteral("outer took %1 ms").arg(outerTook)));
}

void TestPause::waitDoesNotKeepProcessorBusy()
{
    // A timer running during the wait, as the clock label's does: the thread wakes for it and
    // sleeps again.
    QTimer clockLabel;
    int ticks = 0;
    connect(&clockLabel, &QTimer::timeout, this, [&ticks] { ++ticks; });
    clockLabel.start(100);

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuMs();
    waitProcessingEvents(1000);
    const double cpu = processCpuMs() - cpuBefore;
    const qint64 took = wall.elapsed();

    QVERIFY(ticks >= 5);
    QVERIFY(took >= 1000);
    QVERIFY2(cpu < 0.2 * double(took),
             qPrintable(QStringLiteral("%1 ms of processor time in %2 ms").arg(cpu).arg(took)));
}

QTEST_MAIN(TestPause)
#include "tst_pause.moc"
