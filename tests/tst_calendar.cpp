// The calendar the log's stamps and the data file's times are counted by: days since 01/01/1970
// to a date and back, month lengths and leap years, against Qt's own calendar.

#include "base/Calendar.h"
#include "base/ClockText.h"

#include <QDate>
#include <QDateTime>
#include <QTest>

class TestCalendar : public QObject
{
    Q_OBJECT
private slots:
    void daysAndDatesAgreeWithQt_data();
    void daysAndDatesAgreeWithQt();
    void monthLengths_data();
    void monthLengths();
    void timesBeforeNineteenSeventyFallOnTheDayBefore();
};

void TestCalendar::daysAndDatesAgreeWithQt_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<int>("days");
    // Runs of days around the turns the arithmetic has to get right.
    QTest::newRow("1970 begins") << QDate(1969, 12, 1) << 62;
    QTest::newRow("a leap day of a century divisible by 400") << QDate(2000, 2, 20) << 20;
    QTest::newRow("no leap day in 1900") << QDate(1900, 2, 20) << 20;
    QTest::newRow("no leap day in 2100") << QDate(2100, 2, 20) << 20;
    QTest::newRow("a year's end and start") << QDate(2024, 12, 25) << 14;
    QTest::newRow("four centuries, day by day") << QDate(1800, 1, 1) << 146097;
    QTest::newRow("year 1") << QDate(1, 1, 1) << 400;
    QTest::newRow("year 9999") << QDate(9999, 1, 1) << 365;
}

void TestCalendar::daysAndDatesAgreeWithQt()
{
    QFETCH(QDate, from);
    QFETCH(int, days);
    const qint64 epoch = QDate(1970, 1, 1).toJulianDay();
    for (int i = 0; i < days; ++i) {
        const QDate date = from.addDays(i);
        const qint64 count = date.toJulianDay() - epoch;
        if (daysFromCivil(date.year(), date.month(), date.day()) != count)
            QFAIL(qPrintable(date.toString(Qt::ISODate) + QStringLiteral(": days")));
        const CivilDate back = civilFromDays(count);
        if (back.year != date.year() || back.month != date.month() || back.day != date.day())
            QFAIL(qPrintable(date.toString(Qt::ISODate) + QStringLiteral(": date")));
    }
}

void TestCalendar::monthLengths_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("length");
    QTest::newRow("January") << 2023 << 1 << 31;
    QTest::newRow("February 2023") << 2023 << 2 << 28;
    QTest::newRow("February 2024") << 2024 << 2 << 29;
    QTest::newRow("February 1900") << 1900 << 2 << 28;
    QTest::newRow("February 2000") << 2000 << 2 << 29;
    QTest::newRow("April") << 2024 << 4 << 30;
    QTest::newRow("December") << 2024 << 12 << 31;
}

void TestCalendar::monthLengths()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, length);
    QCOMPARE(daysInMonth(year, month), length);
    QCOMPARE(daysInMonth(year, month), QDate(year, month, 1).daysInMonth());
}

void TestCalendar::timesBeforeNineteenSeventyFallOnTheDayBefore()
{
    QCOMPARE(daysOfMs(0), qint64(0));
    QCOMPARE(daysOfMs(86399999), qint64(0));
    QCOMPARE(daysOfMs(86400000), qint64(1));
    QCOMPARE(daysOfMs(-1), qint64(-1));
    QCOMPARE(daysOfMs(-86400000), qint64(-1));
    QCOMPARE(daysOfMs(-86400001), qint64(-2));
    // The data file's time text is made by the same arithmetic.
    QCOMPARE(isoUtcText(-1), QStringLiteral("1969-12-31T23:59:59.999Z"));
}

QTEST_GUILESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
