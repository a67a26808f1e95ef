// The data tables (eight rows at the window's default size): new samples enter at the chosen end,
// the oldest falls off the other, a change of direction leaves the rows already shown where they
// are, and a table that grows or shrinks keeps its newest rows next to the end samples enter at.

#include "sensor/GridRows.h"

#include <QTest>

class TestGridRows : public QObject
{
    Q_OBJECT

private slots:
    void newestRowFollowsDirection();
    void cellsStartBlank();
    void scrollsUp();
    void scrollsDown();
    void switchingDirectionLeavesRowsInPlace();
    void emptyPushBlanksNewestRow_data();
    void emptyPushBlanksNewestRow();
    void eightEmptyPushesClearTheTable_data();
    void eightEmptyPushesClearTheTable();
    void setCellWritesOnlyThatCell();
    void resizingKeepsTheNewestRows_data();
    void resizingKeepsTheNewestRows();
    void unitsMoveWithTheirRows_data();
    void unitsMoveWithTheirRows();
};

namespace {

QString speed(int sample)
{
    return QStringLiteral("    S%1").arg(sample);
}

QString bearing(int sample)
{
    return QStringLiteral("    B%1").arg(sample);
}

void pushSamples(GridRows& grid, int first, int last, bool scrollDown)
{
    for (int sample = first; sample <= last; ++sample)
        grid.push(speed(sample), bearing(sample), scrollDown);
}

// Sample number held by a row, 0 for a blank row; fails the test if the two columns disagree.
int sampleAt(const GridRows& grid, int row)
{
    const QString first = grid.cell(0, row);
    const QString second = grid.cell(1, row);
    if (first.isEmpty() && second.isEmpty())
        return 0;
    const int sample = first.mid(5).toInt();
    if (first != speed(sample) || second != bearing(sample))
        return -1;
    return sample;
}

QList<int> rows(const GridRows& grid)
{
    QList<int> samples;
    for (int row = 0; row < grid.rowCount(); ++row)
        samples << sampleAt(grid, row);
    return samples;
}

} // namespace

void TestGridRows::newestRowFollowsDirection()
{
    QCOMPARE(LastDataRow, 7);
    const GridRows grid;
    QCOMPARE(grid.rowCount(), 8);
    QCOMPARE(grid.newestRow(true), 0);
    QCOMPARE(grid.newestRow(false), 7);
}

void TestGridRows::cellsStartBlank()
{
    const GridRows grid;
    QCOMPARE(rows(grid), QList<int>({0, 0, 0, 0, 0, 0, 0, 0}));
}

void TestGridRows::scrollsUp()
{
    GridRows grid;
    pushSamples(grid, 1, 3, false);
    QCOMPARE(rows(grid), QList<int>({0, 0, 0, 0, 0, 1, 2, 3}));
    pushSamples(grid, 4, 9, false);
    QCOMPARE(rows(grid), QList<int>({2, 3, 4, 5, 6, 7, 8, 9}));
    QCOMPARE(sampleAt(grid, grid.newestRow(false)), 9);
}

void TestGridRows::scrollsDown()
{
    GridRows grid;
    pushSamples(grid, 1, 3, true);
    QCOMPARE(rows(grid), QList<int>({3, 2, 1, 0, 0, 0, 0, 0}));
    pushSamples(grid, 4, 9, true);
    QCOMPARE(rows(grid), QList<int>({9, 8, 7, 6, 5, 4, 3, 2}));
    QCOMPARE(sampleAt(grid, grid.newestRow(true)), 9);
}

void TestGridRows::switchingDirectionLeavesRowsInPlace()
{
    GridRows grid;
    pushSamples(grid, 1, 5, false);
    QCOMPARE(rows(grid), QList<int>({0, 0, 0, 1, 2, 3, 4, 5}));
    // The newest row is now row 0, still blank; the next sample pushes everything down and
    // sample 5 falls off the bottom.
    QCOMPARE(sampleAt(grid, grid.newestRow(true)), 0);
    grid.push(speed(6), bearing(6), true);
    QCOMPARE(rows(grid), QList<int>({6, 0, 0, 0, 1, 2, 3, 4}));
    // And back up: row 0 (sample 6) falls off the top.
    grid.push(speed(7), bearing(7), false);
    QCOMPARE(rows(grid), QList<int>({0, 0, 0, 1, 2, 3, 4, 7}));
}

void TestGridRows::emptyPushBlanksNewestRow_data()
{
    QTest::addColumn<bool>("scrollDown");
    QTest::newRow("up") << false;
    QTest::newRow("down") << true;
}

void TestGridRows::emptyPushBlanksNewestRow()
{
    QFETCH(bool, scrollDown);
    GridRows grid;
    pushSamples(grid, 1, 8, scrollDown);
    grid.push(QString(), QString(), scrollDown);
    const QList<int> expected =
        scrollDown ? QList<int>({0, 8, 7, 6, 5, 4, 3, 2}) : QList<int>({2, 3, 4, 5, 6, 7, 8, 0});
    QCOMPARE(rows(grid), expected);
    QVERIFY(grid.cell(0, grid.newestRow(scrollDown)).isEmpty());
    QVERIFY(grid.cell(1, grid.newestRow(scrollDown)).isEmpty());
}

void TestGridRows::eightEmptyPushesClearTheTable_data()
{
    QTest::addColumn<bool>("fillDown");
    QTest::addColumn<bool>("clearDown");
    QTest::newRow("up, cleared up") << false << false;
    QTest::newRow("up, cleared down") << false << true;
    QTest::newRow("down, cleared up") << true << false;
    QTest::newRow("down, cleared down") << true << true;
}

void TestGridRows::eightEmptyPushesClearTheTable()
{
    QFETCH(bool, fillDown);
    QFETCH(bool, clearDown);
    GridRows grid;
    pushSamples(grid, 1, 11, fillDown);
    for (int i = 0; i < LastDataRow + 1; ++i)
        grid.push(QString(), QString(), clearDown);
    QCOMPARE(rows(grid), QList<int>({0, 0, 0, 0, 0, 0, 0, 0}));
}

void TestGridRows::setCellWritesOnlyThatCell()
{
    GridRows grid;
    grid.setCell(1, 3, QStringLiteral("    090"));
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row <= LastDataRow; ++row) {
            const QString expected =
                column == 1 && row == 3 ? QStringLiteral("    090") : QString();
            QCOMPARE(grid.cell(column, row), expected);
        }
    }
    // Both columns travel with a push.
    grid.push(QStringLiteral("a"), QStringLiteral("b"), true);
    QCOMPARE(grid.cell(1, 4), QStringLiteral("    090"));
    QCOMPARE(grid.cell(0, 4), QString());
    QCOMPARE(grid.cell(0, 0), QStringLiteral("a"));
    QCOMPARE(grid.cell(1, 0), QStringLiteral("b"));
}

void TestGridRows::resizingKeepsTheNewestRows_data()
{
    QTest::addColumn<bool>("scrollDown");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QList<int>>("expected");  // after samples 1..9 pushed into eight rows
    QTest::addColumn<QList<int>>("afterPush"); // and then sample 10
    QTest::newRow("down, grown") << true << 11 << QList<int>({9, 8, 7, 6, 5, 4, 3, 2, 0, 0, 0})
                                 << QList<int>({10, 9, 8, 7, 6, 5, 4, 3, 2, 0, 0});
    QTest::newRow("up, grown") << false << 11 << QList<int>({0, 0, 0, 2, 3, 4, 5, 6, 7, 8, 9})
                               << QList<int>({0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    // Never fewer rows than at the default size, never more than the most a screen holds.
    QTest::newRow("down, too few") << true << 3 << QList<int>({9, 8, 7, 6, 5, 4, 3, 2})
                                   << QList<int>({10, 9, 8, 7, 6, 5, 4, 3});
    QTest::newRow("up, too few") << false << 0 << QList<int>({2, 3, 4, 5, 6, 7, 8, 9})
                                 << QList<int>({3, 4, 5, 6, 7, 8, 9, 10});
}

void TestGridRows::resizingKeepsTheNewestRows()
{
    QFETCH(bool, scrollDown);
    QFETCH(int, rowCount);
    QFETCH(QList<int>, expected);
    QFETCH(QList<int>, afterPush);
    GridRows grid;
    pushSamples(grid, 1, 9, scrollDown);
    grid.setRowCount(rowCount, scrollDown);
    QCOMPARE(rows(grid), expected);
    grid.push(speed(10), bearing(10), scrollDown);
    QCOMPARE(rows(grid), afterPush);
    QCOMPARE(sampleAt(grid, grid.newestRow(scrollDown)), 10);

    // Shrunk back to eight rows: the eight newest stay, the newest still where samples enter.
    grid.setRowCount(GridRows::kDefaultRows, scrollDown);
    const QList<int> newestEight =
        scrollDown ? QList<int>({10, 9, 8, 7, 6, 5, 4, 3}) : QList<int>({3, 4, 5, 6, 7, 8, 9, 10});
    QCOMPARE(rows(grid), newestEight);

    grid.setRowCount(100000, scrollDown);
    QCOMPARE(grid.rowCount(), GridRows::kMaxRows);
}

void TestGridRows::unitsMoveWithTheirRows_data()
{
    QTest::addColumn<bool>("scrollDown");
    QTest::newRow("up") << false;
    QTest::newRow("down") << true;
}

void TestGridRows::unitsMoveWithTheirRows()
{
    QFETCH(bool, scrollDown);
    GridRows grid;
    // Sample n is in the units kAllSpeedUnits[n % 3].
    const auto unitsOf = [](int sample) { return kAllSpeedUnits[sample % 3]; };
    for (int sample = 1; sample <= 10; ++sample)
        grid.push(speed(sample), bearing(sample), scrollDown, unitsOf(sample));
    grid.push(speed(11), bearing(11), scrollDown); // no units
    grid.setRowCount(12, scrollDown);              // grown at the oldest end
    for (int row = 0; row < grid.rowCount(); ++row) {
        const int sample = sampleAt(grid, row);
        QCOMPARE(grid.units(row), sample > 0 && sample <= 10
                                      ? std::optional<SpeedUnitsKind>(unitsOf(sample))
                                      : std::nullopt);
    }
}

QTEST_GUILESS_MAIN(TestGridRows)
#include "tst_gridrows.moc"
