// The alarms of the live session: speed past a threshold (hysteresis, minimum duration), no
// data, a lost device, little free space, an unsynchronised clock; each raised and cleared once
// per episode, as session events every destination hears; and the health state beside them.

#include "sensor/SampleSink.h"
#include "session/AlarmOptions.h"
#include "session/AlarmSettings.h"
#include "session/AlarmWatch.h"
#include "session/LiveSession.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Samples.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// What an alarm watch told, as "raised speed-above 1.600 @3" (value and seconds from the start).
struct Told
{
    explicit Told(AlarmWatch& watch, qint64 startMs) : m_start(startMs)
    {
        QObject::connect(&watch, &AlarmWatch::alarmEvent, &watch, [this](const SessionEvent& e) {
            QString line =
                (e.kind == SessionEvent::Kind::AlarmRaised ? s("raised ") : s("cleared ")) +
                e.alarm;
            if (std::isfinite(e.value))
                line += QLatin1Char(' ') + QString::number(e.value, 'f', 3);
            line += QStringLiteral(" @%1").arg((e.timeMs - m_start) / 1000);
            lines << line;
            texts << e.reason;
        });
    }
    QStringList lines;
    QStringList texts;
    qint64 m_start;
};

// A destination that keeps the session's events.
struct EventTape : SampleSink
{
    QList<SessionEvent> events;
    int batches = 0;
    void takeBatch(const SampleBatch&) override { ++batches; }
    void takeEvent(const SessionEvent& event) override { events << event; }
    QStringList alarms() const
    {
        QStringList lines;
        for (const SessionEvent& e : events) {
            if (e.kind == SessionEvent::Kind::AlarmRaised)
                lines << s("raised ") + e.alarm;
            else if (e.kind == SessionEvent::Kind::AlarmCleared)
                lines << s("cleared ") + e.alarm;
        }
        return lines;
    }
};

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT
private slots:
    void speedRules_data();
    void speedRules();
    void demonstrationAndUncomputedSamplesNeverRing();
    void noDataRingsAfterItsSecondsWhileThePortIsOpen();
    void lostDeviceRingsUntilItIsBack();
    void freeSpaceOfTheLogsFileSystem_data();
    void freeSpaceOfTheLogsFileSystem();
    void clockNotSynchronised();
    void changedRulesEndTheEpisode();
    void settingsFileRoundTrip();
    void settingsFileDefaultsAndNonsense();
    void commandLine_data();
    void commandLine();
    void sessionTellsEveryDestinationAfterTheBatch();
    void healthStateFollowsTheSensor();
};

void TestAlarms::speedRules_data()
{
    QTest::addColumn<bool>("above");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("hysteresis");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QList<double>>("speeds"); // one a second from 0
    QTest::addColumn<QStringList>("told");

    const QList<double> gust{0.5, 1.6, 0.5, 0.5, 0.5, 0.5};
    QTest::newRow("a gust shorter than the duration does not ring")
        << true << 1.0 << 0.1 << 3 << gust << QStringList();
    QTest::newRow("no duration: the first sample past rings")
        << true << 1.0 << 0.1 << 0 << gust
        << QStringList{s("raised speed-above 1.600 @1"), s("cleared speed-above 0.500 @2")};
    QTest::newRow("past for the duration rings once, back for as long clears once")
        << true << 1.0 << 0.1 << 2
        << QList<double>{0.5, 1.2, 1.3, 1.4, 1.5, 1.2, 0.8, 0.7, 0.6, 0.5}
        << QStringList{s("raised speed-above 1.400 @3"), s("cleared speed-above 0.600 @8")};
    QTest::newRow("equal to the threshold is not above it")
        << true << 1.0 << 0.1 << 0 << QList<double>{1.0, 1.0, 1.0} << QStringList();
    QTest::newRow("inside the hysteresis the alarm stays")
        << true << 1.0 << 0.1 << 0 << QList<double>{1.2, 0.95, 1.05, 0.91, 1.2, 0.9}
        << QStringList{s("raised speed-above 1.200 @0"), s("cleared speed-above 0.900 @5")};
    QTest::newRow("a lull shorter than the duration does not clear")
        << true << 1.0 << 0.1 << 2 << QList<double>{1.5, 1.5, 1.5, 0.2, 1.5, 1.5, 1.5}
        << QStringList{s("raised speed-above 1.500 @2")};
    QTest::newRow("two episodes, each told once")
        << true << 1.0 << 0.0 << 1
        << QList<double>{1.5, 1.5, 1.5, 0.5, 0.5, 0.5, 1.5, 1.5, 0.5, 0.5}
        << QStringList{s("raised speed-above 1.500 @1"), s("cleared speed-above 0.500 @4"),
                       s("raised speed-above 1.500 @7"), s("cleared speed-above 0.500 @9")};
    QTest::newRow("below: slack water for the duration")
        << false << 0.1 << 0.05 << 2 << QList<double>{0.3, 0.08, 0.05, 0.02, 0.12, 0.2, 0.3, 0.4}
        << QStringList{s("raised speed-below 0.020 @3"), s("cleared speed-below 0.400 @7")};
    QTest::newRow("below: equal to the threshold is not below it")
        << false << 0.1 << 0.05 << 0 << QList<double>{0.1, 0.1} << QStringList();
}

void TestAlarms::speedRules()
{
    QFETCH(bool, above);
    QFETCH(double, threshold);
    QFETCH(double, hysteresis);
    QFETCH(int, seconds);
    QFETCH(QList<double>, speeds);
    QFETCH(QStringList, told);

    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    AlarmSettings settings;
    SpeedAlarmSettings& rule = above ? settings.speedAbove : settings.speedBelow;
    rule = {true, threshold, hysteresis, seconds};
    watch.setSettings(settings);
    Told tape(watch, clock.utc);
    const qint64 start = clock.utc;
    for (int i = 0; i < speeds.size(); ++i) {
        // Several samples a batch or one: the samples' own times count.
        watch.takeBatch({flowSample(start + i * 1000, speeds[i], 90)});
    }
    QCOMPARE(tape.lines, told);
    if (!told.isEmpty())
        QCOMPARE(
            tape.texts.first(),
            above ? QStringLiteral("speed above %1 m/s").arg(QString::number(threshold, 'f', 3))
                  : QStringLiteral("speed below %1 m/s").arg(QString::number(threshold, 'f', 3)));
}

void TestAlarms::demonstrationAndUncomputedSamplesNeverRing()
{
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    AlarmSettings settings;
    settings.speedAbove = {true, 1.0, 0.1, 0};
    watch.setSettings(settings);
    Told tape(watch, clock.utc);
    watch.takeBatch({flowSample(clock.utc, 5.0, 0, false, SampleSource::Demonstration)});
    Sample bad = flowSample(clock.utc, 5.0, 0);
    bad.computed = false;
    watch.takeBatch({bad});
    QCOMPARE(tape.lines, QStringList());
    // A negative speed (a face-up sign) is a speed all the same.
    watch.takeBatch({flowSample(clock.utc, -5.0, 0)});
    QCOMPARE(tape.lines, QStringList{s("raised speed-above 5.000 @0")});
}

void TestAlarms::noDataRingsAfterItsSecondsWhileThePortIsOpen()
{
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    AlarmSettings settings;
    settings.noData = true;
    settings.noDataSeconds = 30;
    watch.setSettings(settings);
    Told tape(watch, clock.utc);
    const qint64 start = clock.utc;

    // Not watched before the port opens.
    clock.advance(60000);
    watch.check();
    QCOMPARE(tape.lines, QStringList());

    watch.takeEvent({SessionEvent::Kind::Connected, s("COM1"), QString()});
    clock.advance(29999);
    watch.check();
    QCOMPARE(tape.lines, QStringList());
    clock.advance(1);
    watch.check();
    clock.advance(5000);
    watch.check(); // still silent: told once
    QCOMPARE(tape.lines, QStringList{s("raised no-data 30.000 @90")});
    watch.takeBatch({flowSample(clock.utc, 0.5, 0)});
    QCOMPARE(tape.lines.last(), s("cleared no-data 35.000 @95"));
    QCOMPARE(tape.texts.last(), s("no data for 30 s"));

    // A silence that ends with the device going away is told as its loss, not as no data.
    clock.advance(31000);
    watch.check();
    watch.takeEvent({SessionEvent::Kind::Reconnecting, s("COM1"), s("gone")});
    clock.advance(100000);
    watch.check();
    QCOMPARE(tape.lines.mid(2),
             (QStringList{s("raised no-data 31.000 @126"), s("cleared no-data @126")}));
    Q_UNUSED(start)
}

void TestAlarms::lostDeviceRingsUntilItIsBack()
{
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    AlarmSettings settings;
    settings.deviceLost = true;
    watch.setSettings(settings);
    Told tape(watch, clock.utc);
    watch.takeEvent({SessionEvent::Kind::Connected, s("COM1"), QString()});
    watch.takeEvent({SessionEvent::Kind::Reconnecting, s("COM1"), s("gone")});
    watch.takeEvent({SessionEvent::Kind::Reconnecting, s("COM1"), s("gone")});
    clock.advance(4000);
    watch.takeEvent({SessionEvent::Kind::Reconnected, s("COM1"), QString()});
    // Given up: the window closes the port, and the alarm stays until a Connect.
    watch.takeEvent({SessionEvent::Kind::DeviceLost, s("COM1"), s("gone")});
    watch.takeEvent({SessionEvent::Kind::Disconnected, s("COM1"), QString()});
    QCOMPARE(tape.lines, (QStringList{s("raised device-lost @0"), s("cleared device-lost @4"),
                                      s("raised device-lost @4")}));
    watch.takeEvent({SessionEvent::Kind::Connected, s("COM1"), QString()});
    QCOMPARE(tape.lines.last(), s("cleared device-lost @4"));
}

void TestAlarms::freeSpaceOfTheLogsFileSystem_data()
{
    QTest::addColumn<QList<qint64>>("freeMb"); // one look every 10 s; negative: unknown
    QTest::addColumn<QStringList>("told");
    QTest::newRow("plenty") << QList<qint64>{900, 800} << QStringList();
    QTest::newRow("below the limit, then well above it")
        << QList<qint64>{600, 499, 450, 501, 520, 530}
        << QStringList{s("raised free-space 499.000 @10"), s("cleared free-space 530.000 @50")};
    QTest::newRow("just above the limit does not end it")
        << QList<qint64>{400, 505, 480} << QStringList{s("raised free-space 400.000 @0")};
    QTest::newRow("unknown ends it")
        << QList<qint64>{400, -1}
        << QStringList{s("raised free-space 400.000 @0"), s("cleared free-space @10")};
}

void TestAlarms::freeSpaceOfTheLogsFileSystem()
{
    QFETCH(QList<qint64>, freeMb);
    QFETCH(QStringList, told);
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    qint64 free = freeMb.first();
    QStringList asked;
    watch.setFreeSpaceProbe([&](const QString& path) {
        asked << path;
        return free < 0 ? free : free * 1024 * 1024;
    });
    watch.setLogFileSource([] { return s("/data/pier.log"); });
    AlarmSettings settings;
    settings.freeSpace = true;
    settings.freeSpaceMb = 500;
    Told tape(watch, clock.utc);
    watch.setSettings(settings); // looks at once
    for (int i = 1; i < freeMb.size(); ++i) {
        free = freeMb[i];
        clock.advance(5000);
        watch.check(); // too soon to look again
        clock.advance(5000);
        watch.check();
    }
    QCOMPARE(tape.lines, told);
    QCOMPARE(asked.size(), freeMb.size());
    QCOMPARE(asked.first(), s("/data/pier.log"));
}

void TestAlarms::clockNotSynchronised()
{
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    Told tape(watch, clock.utc);
    watch.setClockState({ClockSync::State::NotSynchronised, 0});
    QCOMPARE(tape.lines, QStringList()); // off
    AlarmSettings settings;
    settings.clock = true;
    watch.setSettings(settings); // on while it holds: told at once
    watch.setClockState({ClockSync::State::NotSynchronised, 0});
    watch.setClockState({ClockSync::State::Unknown, 0}); // says nothing either way
    watch.setClockState({ClockSync::State::Synchronised, 1500});
    QCOMPARE(tape.lines, (QStringList{s("raised clock @0"), s("cleared clock 1.500 @0")}));
    QCOMPARE(tape.texts.first(), s("clock not synchronised"));
}

void TestAlarms::changedRulesEndTheEpisode()
{
    ManualClock clock;
    AlarmWatch watch;
    watch.setClock(&clock);
    AlarmSettings settings;
    settings.speedAbove = {true, 1.0, 0.1, 0};
    settings.deviceLost = true;
    watch.setSettings(settings);
    Told tape(watch, clock.utc);
    watch.takeBatch({flowSample(clock.utc, 2.0, 0)});
    watch.takeEvent({SessionEvent::Kind::Reconnecting, s("COM1"), s("gone")});
    QCOMPARE(watch.raised(), (QStringList{s("speed-above"), s("device-lost")}));
    settings.speedAbove.thresholdMs = 3.0;
    watch.setSettings(settings);
    QCOMPARE(watch.raised(), QStringList{s("device-lost")});
    watch.setSettings(AlarmSettings());
    QCOMPARE(watch.raised(), QStringList());
    // The cleared alarm is told in the words it was raised with.
    QCOMPARE(tape.lines, (QStringList{s("raised speed-above 2.000 @0"), s("raised device-lost @0"),
                                      s("cleared speed-above @0"), s("cleared device-lost @0")}));
    QCOMPARE(tape.texts[2], s("speed above 1.000 m/s"));
}

void TestAlarms::settingsFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("marvane.ini"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Options]\r\nCommPort=1\r\n; the operator's own line\r\n");
    }
    AlarmSettings settings;
    settings.speedAbove = {true, 1.25, 0.05, 15};
    settings.speedBelow = {true, 0.03, 0.01, 120};
    settings.noData = true;
    settings.noDataSeconds = 45;
    settings.deviceLost = true;
    settings.freeSpace = true;
    settings.freeSpaceMb = 250;
    settings.clock = true;
    saveAlarmSettings(path, settings);
    QVERIFY(loadAlarmSettings(path) == settings);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.startsWith("[Options]\r\nCommPort=1\r\n; the operator's own line\r\n"));
    QVERIFY(text.contains("[Alarms]"));
    QVERIFY(text.contains("SpeedAboveMs=1.25"));
}

void TestAlarms::settingsFileDefaultsAndNonsense()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("marvane.ini"));
    QVERIFY(!loadAlarmSettings(path).anyOn()); // off by default
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Alarms]\nSpeedAbove=1\nSpeedAboveMs=fast\nSpeedAboveSeconds=-4\nNoData=1\n"
            "NoDataSeconds=0\nFreeSpaceMb=x\n");
    f.close();
    const AlarmSettings read = loadAlarmSettings(path);
    const AlarmSettings d;
    QVERIFY(read.speedAbove.on);
    QCOMPARE(read.speedAbove.thresholdMs, d.speedAbove.thresholdMs);
    QCOMPARE(read.speedAbove.seconds, d.speedAbove.seconds);
    QVERIFY(read.noData);
    QCOMPARE(read.noDataSeconds, d.noDataSeconds);
    QCOMPARE(read.freeSpaceMb, d.freeSpaceMb);
    QVERIFY(alarmSettingsError(read).isEmpty());
}

void TestAlarms::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QStringList>("described");
    QTest::newRow("none") << QStringList() << QString() << QStringList();
    QTest::newRow("every kind") << QStringList{s("--alarm-speed-above"),
                                               s("1.5"),
                                               s("--alarm-speed-below"),
                                               s("0.05"),
                                               s("--alarm-hysteresis"),
                                               s("0.02"),
                                               s("--alarm-duration"),
                                               s("20"),
                                               s("--alarm-no-data"),
                                               s("30"),
                                               s("--alarm-device-lost"),
                                               s("--alarm-free-space"),
                                               s("200"),
                                               s("--alarm-clock")}
                                << QString()
                                << QStringList{
                                       s("speed above 1.500 m/s for 20 s (hysteresis 0.020 m/s)"),
                                       s("speed below 0.050 m/s for 20 s (hysteresis 0.020 m/s)"),
                                       s("no data for 30 s"),
                                       s("device lost"),
                                       s("less than 200 MB free for the log"),
                                       s("clock not synchronised")};
    QTest::newRow("a speed that is not one")
        << QStringList{s("--alarm-speed-above"), s("1,5")}
        << s("--alarm-speed-above wants metres per second from 0 to 100, not 1,5") << QStringList();
    QTest::newRow("negative seconds")
        << QStringList{s("--alarm-no-data"), s("-3")}
        << s("--alarm-no-data wants whole seconds from 1 to 86400, not -3") << QStringList();
    QTest::newRow("no alarms with one named")
        << QStringList{s("--no-alarms"), s("--alarm-clock")}
        << s("--no-alarms and --alarm-clock exclude each other") << QStringList();
}

void TestAlarms::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, described);
    QCommandLineParser parser;
    addAlarmOptions(parser);
    QVERIFY2(parser.parse(QStringList{s("marvane-record")} + arguments),
             qPrintable(parser.errorText()));
    AlarmSettings settings;
    QString why;
    QCOMPARE(readAlarmOptions(parser, settings, &why), error.isEmpty());
    QCOMPARE(why, error);
    if (error.isEmpty())
        QCOMPARE(alarmDescriptions(settings), described);
}

void TestAlarms::sessionTellsEveryDestinationAfterTheBatch()
{
    ManualClock clock;
    LiveSession session(nullptr);
    session.setClock(&clock);
    EventTape tape;
    session.addSink(&tape);
    QSignalSpy told(&session, &LiveSession::sessionEvent);
    AlarmSettings settings;
    settings.speedAbove = {true, 1.0, 0.1, 0};
    session.setAlarms(settings);
    // A batch of three: raised by the second, told once, after every destination has the batch.
    session.receiveArrived({"+2.000 +0.000", "+2.000 +0.000", "+2.000 +0.000"},
                           {clock.utc, clock.utc + 300, clock.utc + 600});
    QCOMPARE(tape.alarms(), QStringList{s("raised speed-above")});
    QCOMPARE(tape.batches, 1);
    const SessionEvent& raised = tape.events.last();
    QCOMPARE(raised.reason, s("speed above 1.000 m/s"));
    QCOMPARE(raised.value, 2.0);
    QCOMPARE(raised.timeMs, clock.utc);
    QCOMPARE(told.size(), 1);
    QCOMPARE(session.healthState().alarms, QStringList{s("speed-above")});
    session.receiveArrived({"+0.100 +0.000"}, {clock.utc + 1000});
    QCOMPARE(tape.alarms(), (QStringList{s("raised speed-above"), s("cleared speed-above")}));
    QCOMPARE(session.healthState().alarms, QStringList());
}

void TestAlarms::healthStateFollowsTheSensor()
{
    ManualClock clock;
    clock.sync = {ClockSync::State::Synchronised, 1500};
    LiveSession session(nullptr);
    session.setClock(&clock);
    HealthState health = session.healthState();
    QCOMPARE(health.connection, s("not connected"));
    QVERIFY(!health.receiving);
    QCOMPARE(health.lastSampleMs, qint64(-1));
    QVERIFY(!health.logging);
    QCOMPARE(health.clock.state, ClockSync::State::Synchronised);

    const QByteArray json = healthPayload(health, clock.utc);
    QVERIFY(json.startsWith("{\"state\":\"running\",\"time\":\"2009-05-24T14:03:07.000Z\""));
    QVERIFY(json.contains("\"lastSample\":null"));
    QVERIFY(json.contains("\"logging\":null"));
    QVERIFY(json.contains("\"clock\":{\"estimatedErrorMs\":2,\"state\":\"synchronised\""));
    QVERIFY(!json.contains("online"));
    QCOMPARE(offlinePayload(), QByteArray("{\"state\":\"offline\"}"));
    QCOMPARE(alarmPayload(s("device-lost"), false, clock.utc, std::nan(""), s("device lost")),
             QByteArray("{\"alarm\":\"device-lost\",\"state\":\"cleared\","
                        "\"time\":\"2009-05-24T14:03:07.000Z\",\"value\":null,"
                        "\"text\":\"device lost\"}"));
}

QTEST_GUILESS_MAIN(TestAlarms)
#include "tst_alarms.moc"
