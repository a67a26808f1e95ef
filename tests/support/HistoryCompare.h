#pragma once
// Whether two histories hold the same records and give the same figures, for tests that build one
// history two ways. Call QTest::currentTestFailed() after it: a failed comparison ends only this
// helper.

#include "history/HistorySeries.h"

#include <QTest>

#include <utility>
#include <vector>

// Record by record (kind, time, speed, bearing, convention, exactly), then the totals and the
// reduction of spans that cross leaves, chunks and the pyramid's nodes, exactly.
inline void compareHistories(const HistorySeries& a, const HistorySeries& b)
{
    QCOMPARE(a.recordCount(), b.recordCount());
    QCOMPARE(a.sampleCount(), b.sampleCount());
    QCOMPARE(a.markerCount(), b.markerCount());
    QCOMPARE(a.badCount(), b.badCount());
    QCOMPARE(a.firstTimeMs(), b.firstTimeMs());
    QCOMPARE(a.lastTimeMs(), b.lastTimeMs());
    QCOMPARE(a.units(), b.units());
    QCOMPARE(a.timeBase(), b.timeBase());
    const qint64 n = a.recordCount();
    for (qint64 k = 0; k < n; ++k) {
        const HistorySample x = a.sampleAt(k);
        const HistorySample y = b.sampleAt(k);
        QVERIFY2(a.isSample(k) == b.isSample(k) && x.timeMs == y.timeMs && x.speed == y.speed &&
                     x.bearing == y.bearing && x.bearingTo == y.bearingTo,
                 qPrintable(QStringLiteral("record %1").arg(k)));
    }
    const std::vector<std::pair<qint64, qint64>> spans = {
        {0, n - 1}, {1, n - 2}, {127, 4097}, {1000, 3999}, {n / 2, n - 1}, {n / 3, n / 3 + 5}};
    for (const auto& [first, last] : spans) {
        const QString span = QStringLiteral("span %1..%2").arg(first).arg(last);
        const HistoryTotals t = a.totals(first, last);
        const HistoryTotals u = b.totals(first, last);
        QVERIFY2(t.records == u.records && t.samples == u.samples && t.markers == u.markers &&
                     t.sumSpeed == u.sumSpeed && t.sumX == u.sumX && t.sumY == u.sumY &&
                     t.maxSpeed == u.maxSpeed && t.maxRecord == u.maxRecord &&
                     t.maxTimeMs == u.maxTimeMs && t.firstTimeMs == u.firstTimeMs &&
                     t.lastTimeMs == u.lastTimeMs,
                 qPrintable(QStringLiteral("totals of ") + span));
        const HistoryColumn c = a.reduce(first, last + 1);
        const HistoryColumn d = b.reduce(first, last + 1);
        QVERIFY2(c.count == d.count && c.minSpeed == d.minSpeed && c.maxSpeed == d.maxSpeed &&
                     c.meanSpeed == d.meanSpeed && c.bearingBins == d.bearingBins &&
                     c.firstTimeMs == d.firstTimeMs && c.lastTimeMs == d.lastTimeMs,
                 qPrintable(QStringLiteral("reduction of ") + span));
    }
    if (n > 0) {
        const std::vector<HistoryColumn> p = a.columns(a.firstTimeMs(), a.lastTimeMs(), 97);
        const std::vector<HistoryColumn> q = b.columns(b.firstTimeMs(), b.lastTimeMs(), 97);
        QCOMPARE(p.size(), q.size());
        for (size_t i = 0; i < p.size(); ++i) {
            QVERIFY2(p[i].firstRecord == q[i].firstRecord && p[i].endRecord == q[i].endRecord &&
                         p[i].count == q[i].count && p[i].maxSpeed == q[i].maxSpeed &&
                         p[i].bearingBins == q[i].bearingBins,
                     qPrintable(QStringLiteral("column %1").arg(i)));
        }
    }
}
