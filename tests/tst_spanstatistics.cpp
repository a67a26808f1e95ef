// The statistics of a span of samples, against figures worked out by hand: the gap rule, the
// mean, extremes and spread of the speed, and the residual flow across north and across a change
// of the bearing convention.

#include "history/SpanStatistics.h"

#include <QDateTime>
#include <QTest>

#include <vector>

using Samples = std::vector<SpanSample>;
Q_DECLARE_METATYPE(Samples)

namespace {

SpanSample at(qint64 ms, double speed, double bearing, bool to)
{
    return SpanSample{ms, speed, bearing, to};
}

qint64 may24()
{
    return QDateTime(QDate(2009, 5, 24), QTime(14, 3, 7), QTimeZone::utc()).toMSecsSinceEpoch();
}

} // namespace

class TestSpanStatistics : public QObject
{
    Q_OBJECT

private slots:
    void gapRule_data()
    {
        QTest::addColumn<qint64>("interval");
        QTest::addColumn<qint64>("typical");
        QTest::addColumn<bool>("gap");
        QTest::newRow("five intervals exactly is not a gap") << 5000LL << 1000LL << false;
        QTest::newRow("just over five intervals") << 5001LL << 1000LL << true;
        QTest::newRow("5 Hz: one missing second is not a gap") << 1999LL << 200LL << false;
        QTest::newRow("5 Hz: two seconds is not yet") << 2000LL << 200LL << false;
        QTest::newRow("5 Hz: just over two seconds is") << 2001LL << 200LL << true;
        QTest::newRow("stamped to the second: 0 typical, 1 s step") << 1000LL << 0LL << false;
        QTest::newRow("stamped to the second: 3 s step") << 3000LL << 0LL << true;
        QTest::newRow("a minute apart, four minutes") << 240000LL << 60000LL << false;
    }
    void gapRule()
    {
        QFETCH(qint64, interval);
        QFETCH(qint64, typical);
        QFETCH(bool, gap);
        QCOMPARE(isGap(interval, typical), gap);
    }

    void typicalInterval_data()
    {
        QTest::addColumn<std::vector<qint64>>("times");
        QTest::addColumn<qint64>("typical");
        QTest::newRow("none") << std::vector<qint64>{} << 0LL;
        QTest::newRow("one") << std::vector<qint64>{5} << 0LL;
        QTest::newRow("steady 1 s with one dropout")
            << std::vector<qint64>{0, 1000, 2000, 9000, 10000} << 1000LL;
        // Intervals 0 x8, 1000, 3000: the lower median is 0.
        QTest::newRow("5 Hz stamped to the second")
            << std::vector<qint64>{0, 0, 0, 0, 0, 1000, 1000, 1000, 1000, 1000, 4000} << 0LL;
        // Intervals 200, 300, 200 and a step back (not counted): median 200.
        QTest::newRow("clock set back") << std::vector<qint64>{1000, 1200, 1500, 500, 700} << 200LL;
    }
    void typicalInterval()
    {
        QFETCH(std::vector<qint64>, times);
        QFETCH(qint64, typical);
        QCOMPARE(typicalIntervalMs(times), typical);
    }

    void figures_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<qint64>("gaps");
        QTest::addColumn<qint64>("longestGap");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("minSpeed");
        QTest::addColumn<qint64>("minTime");
        QTest::addColumn<double>("maxSpeed");
        QTest::addColumn<qint64>("maxTime");
        QTest::addColumn<double>("stdDev");
        QTest::addColumn<double>("residual");
        QTest::addColumn<int>("bearing"); // -1: none
        QTest::addColumn<bool>("bearingTo");

        QTest::newRow("opposite flows of equal speed cancel")
            << Samples{at(0, 1.0, 90, false), at(1000, 1.0, 270, false)} << 0LL << 0LL << 1.0 << 1.0
            << 0LL << 1.0 << 0LL << 0.0 << 0.0 << -1 << false;
        // East parts cancel; north part cos 10 = 0.984808.
        QTest::newRow("across north 350 and 010")
            << Samples{at(0, 1.0, 350, true), at(1000, 1.0, 10, true)} << 0LL << 0LL << 1.0 << 1.0
            << 0LL << 1.0 << 0LL << 0.0 << 0.984808 << 0 << true;
        // From 270 is the flow going to 090: both samples go to 090 at 2 m/s.
        QTest::newRow("From switched to To mid-run")
            << Samples{at(0, 2.0, 270, false), at(1000, 2.0, 90, true)} << 0LL << 0LL << 2.0 << 2.0
            << 0LL << 2.0 << 0LL << 0.0 << 2.0 << 90 << true;
        // Mean 1, deviations -0.5 0 0.5: variance 0.5/3, deviation 0.408248.
        QTest::newRow("three speeds, all from north")
            << Samples{at(0, 0.5, 0, false), at(1000, 1.0, 0, false), at(2000, 1.5, 0, false)}
            << 0LL << 0LL << 1.0 << 0.5 << 0LL << 1.5 << 2000LL << 0.408248 << 1.0 << 0 << false;
        // To 000 at 1 and to 090 at 1: mean vector (0.5, 0.5), 0.707107 towards 045.
        QTest::newRow("quarter turn")
            << Samples{at(0, 1.0, 0, true), at(1000, 1.0, 90, true)} << 0LL << 0LL << 1.0 << 1.0
            << 0LL << 1.0 << 0LL << 0.0 << 0.707107 << 45 << true;
        // Intervals 1000 1000 1000 7000 1000: typical 1000, one gap of 7 s.
        QTest::newRow("one dropout")
            << Samples{at(0, 1, 0, true),    at(1000, 1, 0, true),    at(2000, 1, 0, true),
                       at(3000, 1, 0, true), at(10000, 0.5, 0, true), at(11000, 0.5, 0, true)}
            << 1LL << 7000LL << 5.0 / 6.0 << 0.5 << 10000LL << 1.0 << 0LL << 0.235702 << 5.0 / 6.0
            << 0 << true;
        QTest::newRow("no samples") << Samples{} << 0LL << 0LL << 0.0 << 0.0 << 0LL << 0.0 << 0LL
                                    << 0.0 << 0.0 << -1 << true;
    }
    void figures()
    {
        QFETCH(Samples, samples);
        QFETCH(qint64, gaps);
        QFETCH(qint64, longestGap);
        QFETCH(double, mean);
        QFETCH(double, minSpeed);
        QFETCH(qint64, minTime);
        QFETCH(double, maxSpeed);
        QFETCH(qint64, maxTime);
        QFETCH(double, stdDev);
        QFETCH(double, residual);
        QFETCH(int, bearing);
        QFETCH(bool, bearingTo);

        const SpanStatistics s = spanStatistics(samples, 3);
        const auto near = [](double a, double b) { return std::abs(a - b) < 1e-6; };
        QCOMPARE(s.samples, qint64(samples.size()));
        QCOMPARE(s.badLines, 3);
        QCOMPARE(s.gaps, gaps);
        QCOMPARE(s.longestGapMs, longestGap);
        QVERIFY2(near(s.meanSpeed, mean), qPrintable(QString::number(s.meanSpeed)));
        QVERIFY(near(s.minSpeed, minSpeed));
        QCOMPARE(s.minTimeMs, minTime);
        QVERIFY(near(s.maxSpeed, maxSpeed));
        QCOMPARE(s.maxTimeMs, maxTime);
        QVERIFY2(near(s.speedStdDev, stdDev), qPrintable(QString::number(s.speedStdDev)));
        QVERIFY2(near(s.residualSpeed, residual), qPrintable(QString::number(s.residualSpeed)));
        QCOMPARE(s.residualBearing.value_or(-1), bearing);
        QCOMPARE(s.residualBearingTo, bearingTo);
    }

    void summaryText_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<int>("units");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("text");

        // 0.5, 1.0, 1.5 a second apart, then 1.0 an hour later; all from north. Mean 1,
        // deviation sqrt(0.5 / 4) = 0.353553; the flow goes to 180, which is from 000.
        const qint64 t = may24();
        const Samples run{at(t, 0.5, 0, false), at(t + 1000, 1.0, 0, false),
                          at(t + 2000, 1.5, 0, false), at(t + 3602000, 1.0, 0, false)};
        QTest::newRow("m/s, UTC")
            << run << int(SpeedUnitsKind::MetresPerSecond) << QByteArray("UTC")
            << QStringLiteral("Samples: 4\n"
                              "First: 24/05/2009 14:03:07\n"
                              "Last: 24/05/2009 15:03:09\n"
                              "Duration: 1 h 0 min 2 s\n"
                              "Times: UTC\n"
                              "Gaps: 1, longest 1 h 0 min 0 s after 24/05/2009 14:03:09\n"
                              "Mean speed: 1.000 m/s\n"
                              "Minimum speed: 0.500 m/s at 24/05/2009 14:03:07\n"
                              "Maximum speed: 1.500 m/s at 24/05/2009 14:03:09\n"
                              "Standard deviation of speed: 0.354 m/s\n"
                              "Residual speed: 1.000 m/s\n"
                              "Residual bearing: 000 (flow from)\n"
                              "Bad lines: 2\n");
        // 1 m/s = 1.943846 kn, 0.5 = 0.971923, 1.5 = 2.915769, 0.353553 = 0.687251; summer
        // time in London is UTC + 1.
        QTest::newRow("knots, London")
            << run << int(SpeedUnitsKind::Knots) << QByteArray("Europe/London")
            << QStringLiteral("Samples: 4\n"
                              "First: 24/05/2009 15:03:07\n"
                              "Last: 24/05/2009 16:03:09\n"
                              "Duration: 1 h 0 min 2 s\n"
                              "Times: Europe/London\n"
                              "Gaps: 1, longest 1 h 0 min 0 s after 24/05/2009 "
                              "15:03:09\n"
                              "Mean speed: 01.94 Knots\n"
                              "Minimum speed: 00.97 Knots at 24/05/2009 15:03:07\n"
                              "Maximum speed: 02.92 Knots at 24/05/2009 15:03:09\n"
                              "Standard deviation of speed: 00.69 Knots\n"
                              "Residual speed: 01.94 Knots\n"
                              "Residual bearing: 000 (flow from)\n"
                              "Bad lines: 2\n");
        QTest::newRow("nothing") << Samples{} << int(SpeedUnitsKind::MetresPerSecond)
                                 << QByteArray("UTC")
                                 << QStringLiteral("Samples: 0\n"
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
                                                   "Bad lines: 2\n");
    }
    void summaryText()
    {
        QFETCH(Samples, samples);
        QFETCH(int, units);
        QFETCH(QByteArray, zone);
        QFETCH(QString, text);
        const QTimeZone tz = zone == "UTC" ? QTimeZone::utc() : QTimeZone(zone);
        QVERIFY(tz.isValid());
        QCOMPARE(spanSummaryText(spanStatistics(samples, 2), SpeedUnitsKind(units), tz), text);
    }
};

QTEST_GUILESS_MAIN(TestSpanStatistics)
#include "tst_spanstatistics.moc"
