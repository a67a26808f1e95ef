// The soak rig's judge, fed what the simulator sent and a log written with the log format's own
// routines: what counts as lost, duplicated, out of order and torn, what a left-out stretch
// excuses, numbers that wrap after 99999, and where a killed recorder's unlogged records begin.

#include "logformat/LogFormat.h"
#include "tools/SoakJudge.h"

#include <QBuffer>
#include <QTest>

#include <vector>

using SoakJudge::SimulatorRun;
using SoakJudge::Stretch;

using Runs = std::vector<SimulatorRun>;
using Stretches = std::vector<Stretch>;
using Numbers = std::vector<long long>;

// The counts a case expects, in the order the rig prints them.
struct Counts
{
    long long sent;
    long long counted;
    long long logged;
    long long lost;
    long long duplicated;
    long long outOfOrder;
    long long torn;
};

Q_DECLARE_METATYPE(Runs)
Q_DECLARE_METATYPE(Stretches)
Q_DECLARE_METATYPE(Numbers)
Q_DECLARE_METATYPE(Counts)

namespace {

// The record line of simulator record n: its speed in mm/s is its number, 1 to 99999 and round
// again.
QByteArray recordLine(long long n)
{
    const long long shown = (n - 1) % SoakJudge::kNumberCycle + 1;
    return logRecordLine(QString::number(shown).rightJustified(4, QLatin1Char('0')),
                         QStringLiteral("090"), QStringLiteral("24/05/2009 14:03:07"));
}

QByteArray head()
{
    return logHeaderLine() + logUnitsLine(QStringLiteral("mm/s"));
}

// A log holding these records, in this order, after its header and units lines.
QByteArray logOf(const Numbers& numbers)
{
    QByteArray log = head();
    for (const long long n : numbers)
        log += recordLine(n);
    return log;
}

// One simulator run of numbers first..last, one a second from start.
SimulatorRun run(long long first, long long last, double start, double period = 1)
{
    SimulatorRun r;
    r.first = first;
    r.last = last;
    r.start = start;
    r.period = period;
    return r;
}

} // namespace

class TestSoakJudge : public QObject
{
    Q_OBJECT

private slots:
    void judge_data()
    {
        QTest::addColumn<Runs>("runs");
        QTest::addColumn<Stretches>("leftOut");
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<Counts>("expected");
        QTest::addColumn<Numbers>("firstLost");
        QTest::addColumn<bool>("passed");

        // Records 1..10 go out at 100 s, 101 s, ... 109 s.
        const Runs ten{run(1, 10, 100)};
        const Numbers all{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

        QTest::newRow("all received") << ten << Stretches{} << logOf(all)
                                      << Counts{10, 10, 10, 0, 0, 0, 0} << Numbers{} << true;
        QTest::newRow("one lost") << ten << Stretches{} << logOf({1, 2, 3, 4, 6, 7, 8, 9, 10})
                                  << Counts{10, 10, 9, 1, 0, 0, 0} << Numbers{5} << false;
        QTest::newRow("one duplicated")
            << ten << Stretches{} << logOf({1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10})
            << Counts{10, 10, 11, 0, 1, 0, 0} << Numbers{} << false;
        // 4 after 5: the one that comes late is out of order, not the one it passed.
        QTest::newRow("out of order")
            << ten << Stretches{} << logOf({1, 2, 3, 5, 4, 6, 7, 8, 9, 10})
            << Counts{10, 10, 10, 0, 0, 1, 0} << Numbers{} << false;
        // A recorder started again on the same log writes the last two records once more.
        QTest::newRow("two logged again after a restart")
            << ten << Stretches{} << logOf({1, 2, 3, 4, 5, 6, 5, 6, 7, 8, 9, 10})
            << Counts{10, 10, 12, 0, 2, 0, 0} << Numbers{} << false;
        // The device went between 5 and 6: a second run starts 20 s later, numbering on. The
        // records after the reconnection that never reach the log are lost, the gap itself is
        // not (nothing was sent in it).
        QTest::newRow("a device gone and back: nothing lost in the gap")
            << Runs{run(1, 5, 100), run(6, 10, 125)} << Stretches{} << logOf(all)
            << Counts{10, 10, 10, 0, 0, 0, 0} << Numbers{} << true;
        QTest::newRow("a run lost at a reconnection")
            << Runs{run(1, 5, 100), run(6, 10, 125)} << Stretches{} << logOf({1, 2, 3, 4, 5, 9, 10})
            << Counts{10, 10, 7, 3, 0, 0, 0} << Numbers{6, 7, 8} << false;
        // A kill: 104 s to 106.5 s left out, so 5, 6 and 7 (sent at 104, 105, 106 s) are not
        // counted, whether they made it into the log or not; 4 and 8, just outside, are.
        QTest::newRow("missing inside a left-out stretch")
            << ten << Stretches{{104, 106.5}} << logOf({1, 2, 3, 4, 8, 9, 10})
            << Counts{10, 7, 7, 0, 0, 0, 0} << Numbers{} << true;
        QTest::newRow("logged inside a left-out stretch")
            << ten << Stretches{{104, 106.5}} << logOf(all) << Counts{10, 7, 10, 0, 0, 0, 0}
            << Numbers{} << true;
        QTest::newRow("missing just outside a left-out stretch")
            << ten << Stretches{{104, 106.5}} << logOf({1, 2, 3, 9, 10})
            << Counts{10, 7, 5, 2, 0, 0, 0} << Numbers{4, 8} << false;
        QTest::newRow("a log with no records")
            << ten << Stretches{} << head() << Counts{10, 10, 0, 10, 0, 0, 0}
            << Numbers{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << false;
        QTest::newRow("an empty file")
            << ten << Stretches{} << QByteArray() << Counts{10, 10, 0, 10, 0, 0, 0}
            << Numbers{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << false;
        // Logging nothing proves nothing, even when nothing was there to log.
        QTest::newRow("nothing sent, nothing logged")
            << Runs{} << Stretches{} << head() << Counts{0, 0, 0, 0, 0, 0, 0} << Numbers{} << false;
        QTest::newRow("a simulator run that sent nothing")
            << Runs{run(1, 10, 100), run(11, 10, 130)} << Stretches{} << logOf(all)
            << Counts{10, 10, 10, 0, 0, 0, 0} << Numbers{} << true;
        // Only the first ten lost are named.
        QTest::newRow("many lost")
            << Runs{run(1, 30, 100)} << Stretches{} << logOf({1, 30})
            << Counts{30, 30, 2, 28, 0, 0, 0} << Numbers{2, 3, 4, 5, 6, 7, 8, 9, 10, 11} << false;

        // A write that stopped part way through a line, the record written whole after it.
        const QByteArray cut = recordLine(5).left(9);
        QTest::newRow("a line cut short, then written whole")
            << ten << Stretches{}
            << logOf({1, 2, 3, 4}) + cut + "\r\n" + recordLine(5) + recordLine(6) +
                   logOf({7, 8, 9, 10}).mid(head().size())
            << Counts{10, 10, 10, 0, 0, 0, 1} << Numbers{} << false;
        // The tail of a cut line and the next record on one line: the record is lost with it.
        QTest::newRow("a cut line running into the next record")
            << ten << Stretches{}
            << logOf({1, 2, 3, 4}) + cut + recordLine(5) +
                   logOf({6, 7, 8, 9, 10}).mid(head().size())
            << Counts{10, 10, 9, 1, 0, 0, 1} << Numbers{5} << false;
        QTest::newRow("the last line without its line end")
            << ten << Stretches{} << logOf(all).chopped(2) << Counts{10, 10, 9, 1, 0, 0, 1}
            << Numbers{10} << false;
        QTest::newRow("a record line with LF only")
            << ten << Stretches{}
            << logOf({1, 2}) + recordLine(3).chopped(2) + "\n" +
                   logOf({4, 5, 6, 7, 8, 9, 10}).mid(head().size())
            << Counts{10, 10, 9, 1, 0, 0, 1} << Numbers{3} << false;
        // A whole record line, but of a speed the simulator never sent: logged, and torn.
        QTest::newRow("a number never sent")
            << ten << Stretches{} << logOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12})
            << Counts{10, 10, 11, 0, 0, 0, 1} << Numbers{} << false;
        QTest::newRow("a second units line among the records")
            << ten << Stretches{}
            << logOf({1, 2, 3, 4, 5}) + logUnitsLine(QStringLiteral("mm/s")) +
                   logOf({6, 7, 8, 9, 10}).mid(head().size())
            << Counts{10, 10, 10, 0, 0, 0, 1} << Numbers{} << false;

        // Past 99999 the speeds start again from 1: "0001" after "99999" is 100000, not a
        // second 1. All left out here, so the log need only hold a few records.
        const Runs wrapping{run(1, 100003, 0, 0.001)};
        const Stretches wholeRun{{-1, 1000}};
        QTest::newRow("numbers wrapping past 99999")
            << wrapping << wholeRun << logOf({1, 30000, 60000, 90000, 99999, 100000, 100001})
            << Counts{100003, 0, 7, 0, 0, 0, 0} << Numbers{} << true;
        QTest::newRow("a wrapped number logged twice")
            << wrapping << wholeRun << logOf({1, 30000, 60000, 90000, 99999, 100000, 100000})
            << Counts{100003, 0, 7, 0, 1, 0, 0} << Numbers{} << false;
        QTest::newRow("a number just before the wrap after one past it")
            << wrapping << wholeRun << logOf({1, 30000, 60000, 90000, 100001, 99999, 100002})
            << Counts{100003, 0, 7, 0, 0, 1, 0} << Numbers{} << false;
    }

    void judge()
    {
        QFETCH(Runs, runs);
        QFETCH(Stretches, leftOut);
        QFETCH(QByteArray, log);
        QFETCH(Counts, expected);
        QFETCH(Numbers, firstLost);
        QFETCH(bool, passed);

        QBuffer device(&log);
        QVERIFY(device.open(QIODevice::ReadOnly));
        const SoakJudge::Tally tally = SoakJudge::judge(runs, leftOut, device);
        QCOMPARE(tally.sent, expected.sent);
        QCOMPARE(tally.counted, expected.counted);
        QCOMPARE(tally.logged, expected.logged);
        QCOMPARE(tally.lost, expected.lost);
        QCOMPARE(tally.duplicated, expected.duplicated);
        QCOMPARE(tally.outOfOrder, expected.outOfOrder);
        QCOMPARE(tally.torn, expected.torn);
        QCOMPARE(tally.firstLost, firstLost);
        QCOMPARE(tally.passed(), passed);
    }

    // A killed recorder may have left unlogged what it received since its last poll (an
    // interval before the kill), or, before its first poll, everything since it began reading.
    void unloggedSince_data()
    {
        QTest::addColumn<double>("at"); // seconds after the recorder began reading
        QTest::addColumn<double>("from");
        QTest::newRow("long after its first poll") << 60.0 << 59.0;
        QTest::newRow("just after its first poll") << 1.6 << 0.6;
        QTest::newRow("before its first poll") << 1.0 << -0.1;
        QTest::newRow("at once") << 0.0 << -0.1;
    }

    void unloggedSince()
    {
        QFETCH(double, at);
        QFETCH(double, from);
        const double ready = 500;
        QCOMPARE(SoakJudge::unloggedSince(ready + at, ready), ready + from);
    }

    void sendTimeOfEachRun()
    {
        const Runs runs{run(1, 5, 100), run(6, 10, 120, 0.5)};
        QCOMPARE(SoakJudge::sendTime(runs, 1), 100.0);
        QCOMPARE(SoakJudge::sendTime(runs, 5), 104.0);
        QCOMPARE(SoakJudge::sendTime(runs, 7), 120.5);
        QCOMPARE(SoakJudge::sendTime(runs, 11), 0.0); // never sent
    }
};

QTEST_GUILESS_MAIN(TestSoakJudge)
#include "tst_soakjudge.moc"
