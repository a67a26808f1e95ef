// Local time in logs: the units line names the zone and every reader understands it; one rule
// places stamps of a repeated hour and refuses those of a skipped one; and the History summary
// and the export of a log across a clock change, made by that one rule, say the same.

#include "base/LocalTimeResolver.h"
#include "base/TimeBase.h"
#include "export/LogExport.h"
#include "history/SpanStatistics.h"
#include "logformat/LogFormat.h"
#include "logformat/LogSampleParser.h"
#include "replay/ReplayIndex.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <optional>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Seconds since 01/01/1970 00:00:00 of a wall-clock reading, with no zone applied.
qint64 wall(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC)
        .toSecsSinceEpoch();
}

// Milliseconds since 1970 UTC.
qint64 utcMs(int year, int month, int day, int hour, int minute, int second = 0)
{
    return wall(year, month, day, hour, minute, second) * 1000;
}

QString clockText(qint64 wallSeconds)
{
    return QDateTime::fromSecsSinceEpoch(wallSeconds, Qt::UTC)
        .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// The computer's zone set for a while (restored at the end of the scope).
class MachineZone
{
public:
    explicit MachineZone(const QByteArray& zone)
        : m_saved(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~MachineZone()
    {
        if (m_had)
            qputenv("TZ", m_saved);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray m_saved;
    bool m_had;
};

using Stamps = QList<qint64>;
using Instants = QList<std::optional<qint64>>;

} // namespace

Q_DECLARE_METATYPE(TimeBase)
Q_DECLARE_METATYPE(Instants)

class TestLocalTime : public QObject
{
    Q_OBJECT

private slots:
    void unitsLineNamesTheZone_data();
    void unitsLineNamesTheZone();
    void unitsLinesTheReadersKnow_data();
    void unitsLinesTheReadersKnow();
    void replayOpensALogThatNamesItsZone();
    void stampsArePlacedByTheirOrder_data();
    void stampsArePlacedByTheirOrder();
    void historyAndExportAgreeAcrossAClockChange_data();
    void historyAndExportAgreeAcrossAClockChange();
};

void TestLocalTime::unitsLineNamesTheZone_data()
{
    QTest::addColumn<TimeBase>("clock");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<TimeBase>("readBack");
    const TimeBase london = TimeBase::localIn(QByteArray("Europe/London"));
    QTest::newRow("UTC") << TimeBase::Utc << QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"")
                         << TimeBase::Utc;
    QTest::newRow("local, zone not known")
        << TimeBase::Local << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local\"")
        << TimeBase::Local;
    QTest::newRow("local, named") << london
                                  << QByteArray(
                                         "\"m/s\",\"Degrees\",\"24 Hour Local Europe/London\"")
                                  << london;
    // A POSIX rule in TZ is a zone to Qt but no name for the file: the line names no zone.
    QTest::newRow("local, a rule rather than a name")
        << TimeBase::localIn(QByteArray("<+0330>-3:30"))
        << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local\"") << TimeBase::Local;
}

void TestLocalTime::unitsLineNamesTheZone()
{
    QFETCH(TimeBase, clock);
    QFETCH(QByteArray, line);
    QFETCH(TimeBase, readBack);
    QCOMPARE(logUnitsLine(s("m/s"), clock), line + "\r\n");
    QVERIFY(isLogUnitsLine(line));
    // Three quoted fields, the units word first, as every reader of the format takes it.
    QCOMPARE(unitsWordOfLine(line), s("m/s"));
    QVERIFY(timeBaseOfUnitsLine(line) == readBack);
}

void TestLocalTime::unitsLinesTheReadersKnow_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("units");
    QTest::addColumn<QByteArray>("zone"); // as the line names it
    QTest::addColumn<bool>("known");      // to this computer's database
    QTest::newRow("a deep name")
        << QByteArray("\"Knots\",\"Degrees\",\"24 Hour Local America/Argentina/Buenos_Aires\"")
        << true << QByteArray("America/Argentina/Buenos_Aires") << true;
    QTest::newRow("a sign in the name")
        << QByteArray("\"mm/s\",\"Degrees\",\"24 Hour Local Etc/GMT+5\"") << true
        << QByteArray("Etc/GMT+5") << true;
    QTest::newRow("a zone this computer does not know")
        << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local Mars/Olympus_Mons\"") << true
        << QByteArray("Mars/Olympus_Mons") << false;
    QTest::newRow("no name after the space")
        << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local \"") << false << QByteArray() << false;
    QTest::newRow("a comma in the name")
        << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local Europe/London,x\"") << false
        << QByteArray() << false;
    QTest::newRow("a name starting with a digit")
        << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local 1Zone\"") << false << QByteArray()
        << false;
    QTest::newRow("an unknown units word")
        << QByteArray("\"furlongs\",\"Degrees\",\"24 Hour Local Europe/London\"") << false
        << QByteArray("Europe/London") << true;
}

void TestLocalTime::unitsLinesTheReadersKnow()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, units);
    QFETCH(QByteArray, zone);
    QFETCH(bool, known);
    QCOMPARE(isLogUnitsLine(line), units);
    const TimeBase clock = timeBaseOfUnitsLine(line);
    QVERIFY(clock.isLocal());
    QCOMPARE(clock.zoneId(), zone);
    QCOMPARE(clock.knowsZone(), known);
    if (known)
        QCOMPARE(clock.zone().id(), zone);
}

void TestLocalTime::replayOpensALogThatNamesItsZone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("named.log"));
    QVERIFY(
        writeFile(path, logHeaderLine() +
                            logUnitsLine(s("m/s"), TimeBase::localIn(QByteArray("Asia/Tokyo"))) +
                            logRecordLine(s("0.515"), s("088"), s("24/05/2009 23:03:07"))));
    FlowPipeline pipeline(nullptr);
    ReplaySession session(&pipeline);
    QString reason;
    QVERIFY2(session.open(path, &reason), qPrintable(reason));
    QVERIFY(QTest::qWaitFor([&] { return session.index().isFinished(); }));
    // Tokyo is nine hours ahead of UTC all year, whatever this computer's zone.
    QCOMPARE(session.index().history().sampleAt(0).timeMs, utcMs(2009, 5, 24, 14, 3, 7));
    QCOMPARE(session.index().history().timeBase().zone().id(), QByteArray("Asia/Tokyo"));
}

void TestLocalTime::stampsArePlacedByTheirOrder_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<Stamps>("stamps");
    QTest::addColumn<Instants>("instants");
    // Lord Howe Island goes back half an hour at 02:00 (UTC+11 to UTC+10:30) on 07/04/2024:
    // 01:30 to 01:59 happen twice.
    QTest::newRow("a repeated half hour")
        << QByteArray("Australia/Lord_Howe")
        << Stamps{wall(2024, 4, 7, 1, 20), wall(2024, 4, 7, 1, 40), wall(2024, 4, 7, 1, 35),
                  wall(2024, 4, 7, 1, 50), wall(2024, 4, 7, 1, 45), wall(2024, 4, 7, 2, 0)}
        << Instants{utcMs(2024, 4, 6, 14, 20), utcMs(2024, 4, 6, 14, 40),
                    utcMs(2024, 4, 6, 15, 5),                // back: the second 01:35
                    utcMs(2024, 4, 6, 15, 20), std::nullopt, // back again: not placed
                    utcMs(2024, 4, 6, 15, 30)};
    // St. John's goes forward at 02:00 (UTC-3:30 to UTC-2:30) on 10/03/2024: 02:00 to 02:59
    // never happen. The days either side keep one offset all day.
    QTest::newRow("a skipped hour and plain days")
        << QByteArray("America/St_Johns")
        << Stamps{wall(2024, 3, 9, 23, 59), wall(2024, 3, 10, 1, 59), wall(2024, 3, 10, 2, 30),
                  wall(2024, 3, 10, 3, 0), wall(2024, 3, 11, 12, 0)}
        << Instants{utcMs(2024, 3, 10, 3, 29), utcMs(2024, 3, 10, 5, 29), std::nullopt,
                    utcMs(2024, 3, 10, 5, 30), utcMs(2024, 3, 11, 14, 30)};
    QTest::newRow("a log that starts in the repeated hour")
        << QByteArray("Europe/London") << Stamps{wall(2024, 10, 27, 1, 30)}
        << Instants{std::nullopt};
}

void TestLocalTime::stampsArePlacedByTheirOrder()
{
    QFETCH(QByteArray, zone);
    QFETCH(Stamps, stamps);
    QFETCH(Instants, instants);
    LocalTimeResolver resolver{QTimeZone(zone)};
    Instants got;
    for (const qint64 stamp : stamps)
        got << resolver.toUtcMs(stamp);
    QCOMPARE(got, instants);

    // The parser of log lines goes by the same rule: a stamp not placed is a bad line.
    LogSampleParser parser(SpeedUnitsKind::MetresPerSecond, TimeBase::localIn(zone));
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        HistorySample sample;
        const QByteArray line =
            logRecordLine(s("0.515"), s("088"), clockText(stamps[i])).chopped(2);
        QCOMPARE(parser.parse(line, &sample), instants[i].has_value());
        if (instants[i])
            QCOMPARE(sample.timeMs, *instants[i]);
    }
}

void TestLocalTime::historyAndExportAgreeAcrossAClockChange_data()
{
    QTest::addColumn<bool>("named");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<qint64>("samples");
    QTest::addColumn<qint64>("bad");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("duration");

    // London, 27/10/2024: at 02:00 BST the clocks go back to 01:00 GMT. A sample every 10 s from
    // 00:59:00 through both passes of 01:00 to 01:59 until 02:01:00: 733 samples, no gap.
    QByteArray autumn;
    const auto add = [](QByteArray* log, qint64 from, qint64 until) {
        for (qint64 t = from; t <= until; t += 10)
            *log += logRecordLine(s("0.500"), s("090"), clockText(t));
    };
    add(&autumn, wall(2024, 10, 27, 0, 59), wall(2024, 10, 27, 1, 59, 50));
    add(&autumn, wall(2024, 10, 27, 1, 0), wall(2024, 10, 27, 1, 59, 50));
    add(&autumn, wall(2024, 10, 27, 2, 0), wall(2024, 10, 27, 2, 1));
    // London, 31/03/2024: at 01:00 GMT the clocks go forward to 02:00 BST. A stamp in the hour
    // that never was is a bad line; 00:59:50 GMT and 02:00:00 BST are 10 s apart.
    QByteArray spring;
    add(&spring, wall(2024, 3, 31, 0, 30), wall(2024, 3, 31, 0, 59, 50));
    spring += logRecordLine(s("0.500"), s("090"), s("31/03/2024 01:33:10"));
    add(&spring, wall(2024, 3, 31, 2, 0), wall(2024, 3, 31, 2, 30));

    for (const bool named : {true, false}) {
        const char* how = named ? "named" : "not named, the computer's";
        QTest::addRow("autumn, zone %s", how) << named << autumn << qint64(733) << qint64(0)
                                              << s("27/10/2024 00:59:00") << s("2 h 2 min 0 s");
        QTest::addRow("spring, zone %s", how) << named << spring << qint64(361) << qint64(1)
                                              << s("31/03/2024 00:30:00") << s("1 h 0 min 0 s");
    }
}

void TestLocalTime::historyAndExportAgreeAcrossAClockChange()
{
    QFETCH(bool, named);
    QFETCH(QByteArray, log);
    QFETCH(qint64, samples);
    QFETCH(qint64, bad);
    QFETCH(QString, first);
    QFETCH(QString, duration);
    // A log that names its zone is read in it wherever it is read; an older one in the
    // computer's zone.
    MachineZone machine(named ? QByteArray("Asia/Tokyo") : QByteArray("Europe/London"));
    const TimeBase clock = named ? TimeBase::localIn(QByteArray("Europe/London")) : TimeBase::Local;

    QTemporaryDir dir;
    const QString path = dir.filePath(s("change.log"));
    QVERIFY(writeFile(path, logHeaderLine() + logUnitsLine(s("m/s"), clock) + log));

    ReplayIndex index;
    QString error;
    QVERIFY2(index.open(path, &error), qPrintable(error));
    QVERIFY(QTest::qWaitFor([&] { return index.isFinished() && !index.isIndexing(); }));
    const HistorySeries& history = index.history();
    const QString shown = historySpanSummary(history, 0, history.recordCount() - 1);

    const ExportResult exported = spanStatisticsOfFile(path);
    QVERIFY2(exported.ok(), qPrintable(exported.error));
    QCOMPARE(exported.samples, samples);
    QCOMPARE(exported.skippedLines, bad);

    // The figures the History window shows: every sample at its own instant, in order.
    QVERIFY2(shown.contains(QStringLiteral("Samples: %1\n").arg(samples)), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("First: ") + first + QLatin1Char('\n')),
             qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("Duration: ") + duration + QLatin1Char('\n')),
             qPrintable(shown));
    QVERIFY2(shown.contains(s("Times: Europe/London\n")), qPrintable(shown));
    QVERIFY2(shown.contains(s("Gaps: 0\n")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("Bad lines: %1\n").arg(bad)), qPrintable(shown));
    for (qint64 r = 1; r < history.recordCount(); ++r) {
        if (history.isSample(r) && history.isSample(r - 1))
            QCOMPARE(history.timeMsAt(r) - history.timeMsAt(r - 1), 10000LL);
    }
    // And the export of the same span says the same, word for word.
    QCOMPARE(spanSummaryText(exported.statistics, history.units(), history.timeBase().zone()),
             shown);

    // So does a part chosen in the History window that begins before the change and ends after
    // it, exported between the times the History window gives its ends: in autumn from the first
    // pass of the repeated hour into the second, in spring from before the skipped hour (and the
    // bad line in it) to after it.
    const qint64 spanFirst = history.recordCount() / 4;
    const qint64 spanLast = history.recordCount() * 3 / 4;
    QVERIFY(history.isSample(spanFirst) && history.isSample(spanLast));
    ExportOptions span;
    span.fromMs = history.timeMsAt(spanFirst);
    span.toMs = history.timeMsAt(spanLast);
    const QString shownSpan = historySpanSummary(history, spanFirst, spanLast);
    const ExportResult exportedSpan = spanStatisticsOfFile(path, span);
    QVERIFY2(exportedSpan.ok(), qPrintable(exportedSpan.error));
    qint64 samplesInSpan = 0;
    for (qint64 r = spanFirst; r <= spanLast; ++r)
        samplesInSpan += history.isSample(r) ? 1 : 0;
    QCOMPARE(exportedSpan.samples, samplesInSpan);
    QCOMPARE(spanSummaryText(exportedSpan.statistics, history.units(), history.timeBase().zone()),
             shownSpan);
}

QTEST_MAIN(TestLocalTime)
#include "tst_localtime.moc"
