// The live session: one road from the sources to every destination, in batches.

#include "history/LiveHistory.h"
#include "logformat/DataFileFormat.h"
#include "outputs/MqttPayload.h"
#include "outputs/NmeaSentence.h"
#include "recording/DataFileWriter.h"
#include "recording/Recording.h"
#include "sensor/FlowPipeline.h"
#include "sensor/SampleSink.h"
#include "session/AlarmSettings.h"
#include "session/ClockWatch.h"
#include "session/LiveSession.h"
#include "session/NoDataWatch.h"
#include "settings/ProgramOptions.h"
#include "sources/DemoSource.h"
#include "tests/support/FailingFileDevice.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Pty.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A destination that keeps what it was handed.
struct Tape : SampleSink
{
    QList<SampleBatch> batches;
    QList<SessionEvent::Kind> events;
    QStringList clockTold; // what the clock's events said, in order
    void takeBatch(const SampleBatch& batch) override { batches << batch; }
    void takeEvent(const SessionEvent& event) override
    {
        events << event.kind;
        if (event.kind == SessionEvent::Kind::ClockState ||
            event.kind == SessionEvent::Kind::ClockStepped)
            clockTold << event.reason;
    }
    SampleBatch samples() const
    {
        SampleBatch all;
        for (const SampleBatch& batch : batches)
            all += batch;
        return all;
    }
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// 24/05/2009 14:03:07 UTC.
constexpr qint64 kStamp = 1243173787000;

} // namespace

class TestLiveSession : public QObject
{
    Q_OBJECT
private slots:
    void pollBecomesOneBatchWithOneStamp();
    void samplesCarryNumbersInTheirUnitsAndInMetresPerSecond_data();
    void samplesCarryNumbersInTheirUnitsAndInMetresPerSecond();
    void headingOffsetTurnsEveryBearing_data();
    void headingOffsetTurnsEveryBearing();
    void headingNotSetIsNotZero();
    void headingIsReadFromTheSettingsFile_data();
    void headingIsReadFromTheSettingsFile();
    void headingTakenAwayLeavesAnEmptyValue();
    void everyDestinationStatesTheBearingItsTextShows_data();
    void everyDestinationStatesTheBearingItsTextShows();
    void timeBaseStampsAndLabelsTheLog_data();
    void timeBaseStampsAndLabelsTheLog();
    void demonstrationHasTheDisplayToItself();
    void demonstrationReachesDestinationsOnlyWhenLogged();
    void secondDemonstrationIsRefused();
    void destinationsHearEventsInOrder();
    void oneWriteAndOneSyncPerBatch();
    void marksAndAlarmsAreRowsOfTheDataFileWhileLogging();
    void markComesAfterTheRecordsReadBeforeIt();
    void secondRecordingOfOneFileIsRefused();
    void recordsAreStampedWhenTheyArrive();
    void clockStatesReachTheDestinations_data();
    void clockStatesReachTheDestinations();
};

void TestLiveSession::pollBecomesOneBatchWithOneStamp()
{
    LiveSession session(nullptr);
    qint64 now = kStamp;
    int readings = 0;
    session.pipeline().setClock([&] {
        ++readings;
        return now++;
    });
    Tape tape;
    session.addSink(&tape);
    QSignalSpy shown(&session, &LiveSession::batchReady);
    // Line noise in the middle is dropped; the records around it travel together.
    session.receiveRecords({"+00015 +00515", "#garbage#", "+0.015 +0.515", "+00.15 +05.15"});
    QCOMPARE(readings, 1);
    QCOMPARE(tape.batches.size(), 1);
    const SampleBatch& batch = tape.batches.first();
    QCOMPARE(batch.size(), 3);
    for (const Sample& s : batch) {
        QCOMPARE(s.timeMs, kStamp);
        QCOMPARE(s.timeText, QStringLiteral("24/05/2009 14:03:07"));
    }
    QCOMPARE(shown.count(), 1);
    // The log file's destination came first, the tape after the built-in ones.
    QCOMPARE(session.history().series().recordCount(), 3);
}

void TestLiveSession::samplesCarryNumbersInTheirUnitsAndInMetresPerSecond_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("faceUp");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("speedMs");
    QTest::addColumn<QString>("speedText");
    QTest::addColumn<QString>("bearingText");
    // Worked by hand: speed = hypot(x, y); bearing = atan2(x', y) with x' = -x face up, from.
    // 0.3, 0.4 -> 0.5; knots times 1852/3600; mm/s over 1000.
    QTest::newRow("m/s face down") << "+0.300 +0.400" << false << 0.3 << 0.4 << 0.5 << "0.500"
                                   << "037";
    QTest::newRow("m/s face up") << "+0.300 +0.400" << true << 0.3 << 0.4 << 0.5 << "0.500"
                                 << "323";
    QTest::newRow("knots") << "+03.00 -04.00" << false << 3.0 << -4.0 << 5.0 * 1852 / 3600
                           << "05.00"
                           << "143";
    QTest::newRow("mm/s") << "-00300 +00400" << false << -300.0 << 400.0 << 0.5 << "0500"
                          << "323";
}

void TestLiveSession::samplesCarryNumbersInTheirUnitsAndInMetresPerSecond()
{
    QFETCH(QString, record);
    QFETCH(bool, faceUp);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, speedMs);
    QFETCH(QString, speedText);
    QFETCH(QString, bearingText);
    FlowPipeline pipeline;
    pipeline.setFaceUp(faceUp);
    const std::optional<Sample> s =
        pipeline.decodeRecord(record, SampleSource::Live, kStamp, QString());
    QVERIFY(s && s->computed);
    QCOMPARE(s->x, x); // as received: the face is not applied to what was measured
    QCOMPARE(s->y, y);
    const double toMs = speedMs / s->speed;
    QVERIFY(qAbs(s->xMs - x * toMs) < 1e-12 && qAbs(s->yMs - y * toMs) < 1e-12);
    QVERIFY2(qAbs(s->speedMs - speedMs) < 1e-12, qPrintable(QString::number(s->speedMs)));
    QCOMPARE(s->speedText, speedText);
    QCOMPARE(s->bearingText, bearingText);
    QCOMPARE(s->faceUp, faceUp);
    QVERIFY(!s->bearingTo);
}

void TestLiveSession::headingOffsetTurnsEveryBearing_data()
{
    QTest::addColumn<double>("heading");
    QTest::addColumn<bool>("to");
    QTest::addColumn<QString>("bearingText");
    // +0.300 +0.400 face down comes from 036.87.
    QTest::newRow("none") << 0.0 << false << "037";
    QTest::newRow("east") << 90.0 << false << "127";
    QTest::newRow("across north") << 330.0 << false << "007";
    QTest::newRow("negative") << -40.0 << false << "357";
    QTest::newRow("to, turned") << 90.0 << true << "307";
}

void TestLiveSession::headingOffsetTurnsEveryBearing()
{
    QFETCH(double, heading);
    QFETCH(bool, to);
    QFETCH(QString, bearingText);
    QTemporaryDir dir;
    ProgramOptions options(dir.filePath(QStringLiteral("marvane.ini")));
    OptionValues values;
    values.comms.orientation = 1; // face down
    values.headingOffset = heading;
    options.setValues(values);
    LiveSession session(&options);
    session.pipeline().setBearingTo(to);
    Tape tape;
    session.addSink(&tape);
    session.receiveRecord(QStringLiteral("+0.300 +0.400"));
    const Sample& s = tape.batches.first().first();
    QCOMPARE(s.bearingText, bearingText);
    QVERIFY(s.bearing >= 0 && s.bearing < 360);
    QVERIFY(s.headingOffset == heading);
}

// Without a heading the bearing is the sensor's own, and every destination says it has none:
// the MQTT payload has no "heading", the plotter gets no VDR sentence, the data file's head says
// so. A heading of 0 (the sensor declared to face north) gives the same bearing, stated as true.
void TestLiveSession::headingNotSetIsNotZero()
{
    for (const std::optional<double>& heading : {std::optional<double>(), std::optional(0.0)}) {
        QTemporaryDir dir;
        ProgramOptions options(dir.filePath(QStringLiteral("marvane.ini")));
        OptionValues values;
        values.comms.orientation = 1; // face down
        values.headingOffset = heading;
        options.setValues(values);
        LiveSession session(&options);
        Tape tape;
        session.addSink(&tape);
        session.receiveRecord(QStringLiteral("+0.300 +0.400"));
        const Sample& s = tape.batches.first().first();
        QCOMPARE(s.bearingText, QStringLiteral("037"));
        QVERIFY(s.headingOffset == heading);

        const QJsonObject json = QJsonDocument::fromJson(*mqttPayload(s)).object();
        QCOMPARE(json.contains(QStringLiteral("heading")), bool(heading));
        if (heading)
            QCOMPARE(json.value(QStringLiteral("heading")).toDouble(), 0.0);
        QCOMPARE(bool(vdrSentence(s)), bool(heading));
        QCOMPARE(dataFileComments(session.dataFileHeader(QString()))
                     .contains(heading ? QStringLiteral("Heading: 0 degrees true, added to every "
                                                        "bearing")
                                       : QStringLiteral("Heading: not set, bearings relative to "
                                                        "the front of the sensor")),
                 true);
    }
}

void TestLiveSession::headingIsReadFromTheSettingsFile_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("set");
    QTest::addColumn<double>("degrees");
    QTest::newRow("no key") << QByteArray("[Options]\nCommPort=0\n") << false << 0.0;
    QTest::newRow("empty") << QByteArray("[Options]\nHeading=\n") << false << 0.0;
    QTest::newRow("not a number") << QByteArray("[Options]\nHeading=north\n") << false << 0.0;
    QTest::newRow("0: facing north") << QByteArray("[Options]\nHeading=0\n") << true << 0.0;
    QTest::newRow("12.5") << QByteArray("[Options]\nHeading=12.5\n") << true << 12.5;
    QTest::newRow("beyond a turn") << QByteArray("[Options]\nHeading=370\n") << true << 10.0;
}

void TestLiveSession::headingIsReadFromTheSettingsFile()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, set);
    QFETCH(double, degrees);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
    file.close();
    const OptionValues values = readOptionValues(path, nullptr);
    QCOMPARE(bool(values.headingOffset), set);
    if (set)
        QCOMPARE(*values.headingOffset, degrees);
}

// A file that never had a heading gets no key; one whose heading is taken away keeps the key,
// empty, which an earlier version reads as 0 (its bearings as before) and this one as not set.
void TestLiveSession::headingTakenAwayLeavesAnEmptyValue()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    ProgramOptions options(path);
    OptionValues values;
    options.save(values);
    const auto text = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QVERIFY2(!text().contains("Heading"), text().constData());
    values.headingOffset = 0;
    options.save(values);
    QVERIFY2(text().contains("\nHeading=0\r\n") || text().contains("\nHeading=0\n"),
             text().constData());
    QVERIFY(readOptionValues(path, nullptr).headingOffset == 0.0);
    values.headingOffset.reset();
    options.save(values);
    QVERIFY2(text().contains("\nHeading=\r\n") || text().contains("\nHeading=\n"),
             text().constData());
    QVERIFY(!readOptionValues(path, nullptr).headingOffset);
}

void TestLiveSession::everyDestinationStatesTheBearingItsTextShows_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("faceUp");
    QTest::addColumn<bool>("to");
    QTest::addColumn<double>("heading");
    QTest::addColumn<double>("bearing"); // the number the sample carries, MQTT's "bearing"
    QTest::addColumn<QString>("bearingText");
    QTest::addColumn<QByteArray>("vdrSet");
    QTest::addColumn<QByteArray>("dataFileBearing");
    // Straight back is 180 from; to, it is north: 0 in every destination, never 360.
    QTest::newRow("face down, to, straight back") << "+0.000 -0.500" << false << true << 0.0 << 0.0
                                                  << "000" << QByteArray("0.0") << QByteArray("0");
    QTest::newRow("face down, from, straight back")
        << "+0.000 -0.500" << false << false << 0.0 << 180.0 << "180" << QByteArray("0.0")
        << QByteArray("180");
    QTest::newRow("face up, to, straight back") << "+0.000 -0.500" << true << true << 0.0 << 0.0
                                                << "000" << QByteArray("0.0") << QByteArray("0");
    QTest::newRow("face down, from, straight ahead")
        << "+0.000 +0.500" << false << false << 0.0 << 0.0 << "000" << QByteArray("180.0")
        << QByteArray("0");
    // A heading that brings the bearing round to north exactly.
    QTest::newRow("from the right, heading 270")
        << "+0.500 +0.000" << false << false << 270.0 << 0.0 << "000" << QByteArray("180.0")
        << QByteArray("0");
    QTest::newRow("to, heading -180") << "+0.000 +0.500" << false << true << -180.0 << 0.0 << "000"
                                      << QByteArray("0.0") << QByteArray("0");
    // Just west of north: the number keeps its decimals, the text its whole degree.
    QTest::newRow("face down, from, a sliver west")
        << "-0.001 +0.500" << false << false << 0.0 << 359.885408 << "000" << QByteArray("179.9")
        << QByteArray("359.885");
}

void TestLiveSession::everyDestinationStatesTheBearingItsTextShows()
{
    QFETCH(QString, record);
    QFETCH(bool, faceUp);
    QFETCH(bool, to);
    QFETCH(double, heading);
    QFETCH(double, bearing);
    QFETCH(QString, bearingText);
    QTemporaryDir dir;
    ProgramOptions options(dir.filePath(QStringLiteral("marvane.ini")));
    OptionValues values;
    values.comms.orientation = faceUp ? 0 : 1;
    values.headingOffset = heading;
    options.setValues(values);
    LiveSession session(&options);
    session.pipeline().setBearingTo(to);
    Tape tape;
    session.addSink(&tape);
    session.receiveRecord(record);
    const Sample& s = tape.batches.first().first();

    QCOMPARE(s.bearingText, bearingText);
    QVERIFY2(qAbs(s.bearing - bearing) < 1e-6, qPrintable(QString::number(s.bearing, 'g', 17)));
    QVERIFY(s.bearing >= 0 && s.bearing < 360);

    const std::optional<QByteArray> payload = mqttPayload(s);
    QVERIFY(payload);
    const QJsonObject json = QJsonDocument::fromJson(*payload).object();
    QCOMPARE(json.value(QStringLiteral("bearingText")).toString(), bearingText);
    QVERIFY2(qAbs(json.value(QStringLiteral("bearing")).toDouble() - bearing) < 1e-6,
             payload->constData());
    QVERIFY2(json.value(QStringLiteral("bearing")).toDouble() < 360, payload->constData());

    const std::optional<QByteArray> vdr = vdrSentence(s);
    QVERIFY(vdr);
    QTEST(vdr->split(',').at(1), "vdrSet");

    const std::optional<DataFileRow> row = DataFileWriter::rowOf(s);
    QVERIFY(row);
    QTEST(dataFileRowLine(*row).split(',').at(7), "dataFileBearing");
}

void TestLiveSession::timeBaseStampsAndLabelsTheLog_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<QByteArray>("expected");
    // Tokyo is 9 hours ahead of UTC all year.
    QTest::newRow("UTC") << false
                         << QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                                       "\"0.515\",\"002\",\"24/05/2009 14:03:07\"\r\n");
    QTest::newRow("local") << true
                           << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local Asia/Tokyo\"\r\n"
                                         "\"0.515\",\"002\",\"24/05/2009 23:03:07\"\r\n");
}

void TestLiveSession::timeBaseStampsAndLabelsTheLog()
{
    QFETCH(bool, local);
    QFETCH(QByteArray, expected);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    QTemporaryDir dir;
    ProgramOptions options(dir.filePath(QStringLiteral("marvane.ini")));
    OptionValues values;
    values.comms.orientation = 1;
    values.localTime = local;
    options.setValues(values);
    LiveSession session(&options);
    session.pipeline().setClock([] { return kStamp; });
    const QString log = dir.filePath(QStringLiteral("run.log"));
    QString reason;
    QVERIFY2(session.recording().createFile(log, &reason), qPrintable(reason));
    session.recording().setLogging(true);
    session.receiveRecord(QStringLiteral("+0.015 +0.515"));
    qputenv("TZ", zone);
    tzset();
    QCOMPARE(readAll(log), QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"\r\n") + expected);
}

void TestLiveSession::demonstrationHasTheDisplayToItself()
{
    LiveSession session(nullptr);
    session.demonstration().setTimeScale(1000); // no record of its own during the test
    Tape tape;
    session.addSink(&tape);
    QList<SampleSource> shown;
    connect(&session, &LiveSession::batchReady, this,
            [&](const SampleBatch& b) { shown << b.first().source; });
    QVERIFY(session.startDemonstration(false));
    session.receiveRecord(QStringLiteral("+00015 +00515"));
    session.receiveRecord(QStringLiteral("+00016 +00515"), SampleSource::Demonstration);
    session.stopDemonstration();
    session.receiveRecord(QStringLiteral("+00017 +00515"));
    // Live samples go on to the destinations all along, but are not shown meanwhile (the
    // demonstration's first record comes at once when it starts).
    QCOMPARE(shown, (QList<SampleSource>{SampleSource::Demonstration, SampleSource::Demonstration,
                                         SampleSource::Live}));
    QCOMPARE(tape.batches.size(), 2);
    QCOMPARE(tape.batches.at(0).first().rawX, QStringLiteral("+00015"));
    QCOMPARE(tape.batches.at(1).first().rawX, QStringLiteral("+00017"));
}

void TestLiveSession::demonstrationReachesDestinationsOnlyWhenLogged()
{
    for (const bool logged : {false, true}) {
        LiveSession session(nullptr);
        session.demonstration().setTimeScale(0.001);
        Tape tape;
        session.addSink(&tape);
        QSignalSpy finished(&session, &LiveSession::demonstrationFinished);
        QVERIFY(session.startDemonstration(logged));
        QVERIFY(finished.wait(5000));
        QCOMPARE(tape.batches.size(), logged ? 30 : 0);
        // The history keeps measurements only.
        QCOMPARE(session.history().series().recordCount(), 0);
    }
}

void TestLiveSession::secondDemonstrationIsRefused()
{
    LiveSession session(nullptr);
    session.demonstration().setTimeScale(0.01);
    QSignalSpy shown(&session, &LiveSession::batchReady);
    QSignalSpy finished(&session, &LiveSession::demonstrationFinished);
    QVERIFY(session.startDemonstration(false));
    QVERIFY(!session.startDemonstration(false));
    QVERIFY(finished.wait(5000));
    QCOMPARE(shown.count(), 30);                // one run, never two interleaved
    QVERIFY(session.startDemonstration(false)); // once it has ended, again
    session.stopDemonstration();
}

void TestLiveSession::destinationsHearEventsInOrder()
{
    LiveSession session(nullptr);
    Tape tape;
    session.addSink(&tape);
    qint64 now = 0;
    session.noDataWatch().setClock([&now] { return now; });
    session.noDataWatch().start();
    now = NoDataWatch::kMinimumLimit + 1;
    session.noDataWatch().check();
    session.receiveRecord(QStringLiteral("+00015 +00515"));
    QCOMPARE(tape.events, (QList<SessionEvent::Kind>{SessionEvent::Kind::NoData,
                                                     SessionEvent::Kind::DataAgain}));
    // The watch itself is a destination: the record ended the silence.
    QVERIFY(!session.noDataWatch().isSilent());
    session.finish();
    QCOMPARE(tape.events.last(), SessionEvent::Kind::Finishing);
    QVERIFY(!session.noDataWatch().isWatching());
}

void TestLiveSession::oneWriteAndOneSyncPerBatch()
{
    // A poll of 500 records reaches the log and the data file whole, in one piece of work each:
    // each file grows once (no torn batch is ever seen by a reader between records) and is
    // synced once, so after a crash the data file holds every poll the log holds.
    QTemporaryDir dir;
    FailingFileDevice device;
    LiveSession session(nullptr);
    session.setFileDevice(&device);
    session.pipeline().setClock([] { return kStamp; });
    const QString log = dir.filePath(QStringLiteral("run.log"));
    const QString data = dir.filePath(QStringLiteral("run.csv"));
    QString reason;
    QVERIFY(session.recording().createFile(log, &reason));
    QVERIFY2(session.openDataFile(data, false, &reason), qPrintable(reason));
    session.recording().setLogging(true);
    QList<QByteArray> poll;
    for (int i = 0; i < 500; ++i)
        poll << QByteArray("+0.015 +0.515");
    for (int n = 0; n < 3; ++n)
        session.receiveRecords(poll);
    const QList<QByteArray> lines = readAll(log).split('\n');
    QCOMPARE(lines.size(), 2 + 3 * 500 + 1);
    QCOMPARE(session.recording().samplesWritten(), qint64(3 * 500));
    QCOMPARE(readAll(data).count("\n2009-05-24T14:03:07.000Z,"), 3 * 500);
    for (const QString& file : {log, data}) {
        QCOMPARE(device.opens(file), 1);      // kept open
        QCOMPARE(device.writes(file), 1 + 3); // the head, then one per poll
        QCOMPARE(device.syncs(file), 1 + 3);
    }
}

// A mark and an alarm's beginning and end reach the data file as rows of their own, at their
// times, in the order they happened among the samples; while logging is off they give no row
// (the data file holds what the log holds), though the history still has the mark. A note is
// one line of at most 120 characters.
void TestLiveSession::marksAndAlarmsAreRowsOfTheDataFileWhileLogging()
{
    QTemporaryDir dir;
    ManualClock clock;
    LiveSession session(nullptr);
    session.setClock(&clock);
    const QString log = dir.filePath(QStringLiteral("run.log"));
    const QString data = dir.filePath(QStringLiteral("run.csv"));
    QString reason;
    QVERIFY(session.recording().createFile(log, &reason));
    QVERIFY2(session.openDataFile(data, false, &reason), qPrintable(reason));
    session.recording().setLogging(true);
    AlarmSettings alarms;
    alarms.speedAbove = {true, 1.0, 0.1, 0};
    session.setAlarms(alarms);

    session.receiveRecord(QStringLiteral("+0.500 +0.000"));
    clock.advance(250);
    const SessionEvent first = session.mark(QStringLiteral("first\nignored"));
    QCOMPARE(first.kind, SessionEvent::Kind::Mark);
    QCOMPARE(first.timeMs, clock.utc);
    QCOMPARE(first.reason, QStringLiteral("first"));
    clock.advance(750);
    session.receiveRecord(QStringLiteral("+2.000 +0.000")); // raises
    clock.advance(1000);
    session.receiveRecord(QStringLiteral("+0.100 +0.000")); // clears
    session.recording().setLogging(false);
    clock.advance(1000);
    session.mark(QStringLiteral("not logged"));
    session.recording().setLogging(true);
    clock.advance(1000);
    session.mark(QString(200, QLatin1Char('x')));

    QList<QByteArray> rows = readAll(data).split('\n');
    while (!rows.isEmpty() && !rows.first().startsWith("time,"))
        rows.removeFirst();
    QVERIFY(!rows.isEmpty());
    rows.removeFirst(); // the header row
    rows.removeLast();  // after the last line end
    for (QByteArray& row : rows)
        row = row.trimmed();
    QCOMPARE(rows, (QList<QByteArray>{
                       "2009-05-24T14:03:07.000Z,+0.500,+0.000,m/s,0.5,0,0.5,90,from,down,",
                       "2009-05-24T14:03:07.250Z,,,,,,,,,,mark: first",
                       "2009-05-24T14:03:08.000Z,+2.000,+0.000,m/s,2,0,2,90,from,down,",
                       "2009-05-24T14:03:08.000Z,,,,,,,,,,alarm raised: speed above 1.000 m/s",
                       "2009-05-24T14:03:09.000Z,+0.100,+0.000,m/s,0.1,0,0.1,90,from,down,",
                       "2009-05-24T14:03:09.000Z,,,,,,,,,,alarm cleared: speed above 1.000 m/s",
                       "2009-05-24T14:03:11.000Z,,,,,,,,,,mark: " + QByteArray(120, 'x')}));
    QCOMPARE(session.history().series().marks().size(), size_t(3));
    QCOMPARE(session.history().series().marks().at(1).note, QStringLiteral("not logged"));
}

// A record read a moment before a mark, still waiting for the next poll, is handed on before the
// mark: the data file never has a mark above a sample stamped before it.
void TestLiveSession::markComesAfterTheRecordsReadBeforeIt()
{
    Pty pty;
    QVERIFY(pty.ok());
    LiveSession session(nullptr);
    Tape tape;
    session.addSink(&tape);
    QString reason;
    QVERIFY2(session.openSource(&reason, pty.path()), qPrintable(reason));
    session.startSource();
    pty.send("+00015 +00515\r\n");
    // Read and stamped; the first poll is more than a second away.
    QTRY_COMPARE_WITH_TIMEOUT(session.source().recordsWaiting(), 1, 1000);
    QVERIFY(tape.batches.isEmpty());
    tape.events.clear();
    const SessionEvent mark = session.mark(QStringLiteral("diver down"));
    QCOMPARE(tape.samples().size(), 1);
    QCOMPARE(tape.events, QList<SessionEvent::Kind>{SessionEvent::Kind::Mark});
    QVERIFY(tape.samples().first().timeMs <= mark.timeMs);
    session.closeSource();
}

void TestLiveSession::secondRecordingOfOneFileIsRefused()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("run.log"));
    Recording first;
    QString reason;
    QVERIFY(first.createFile(log, &reason));
    first.setLogging(true);
    // Another recording (here in the same process, as two windows would be) is refused, and
    // the file is not emptied.
    Recording second;
    QVERIFY(!second.createFile(log, &reason));
    QVERIFY2(reason.contains(QStringLiteral("process %1").arg(QCoreApplication::applicationPid())),
             qPrintable(reason));
    QVERIFY(!second.continueFile(log, &reason));
    QCOMPARE(readAll(log), QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"\r\n"));
    // The same recording may make its own file anew.
    QVERIFY2(first.createFile(log, &reason), qPrintable(reason));
}

void TestLiveSession::recordsAreStampedWhenTheyArrive()
{
    // Four records written 200 ms apart reach the destinations in one poll (the first poll
    // comes 1.4 s after Connect), each with the time its line end was read.
    Pty pty;
    QVERIFY(pty.ok());
    LiveSession session(nullptr);
    Tape tape;
    session.addSink(&tape);
    QString reason;
    QVERIFY2(session.openSource(&reason, pty.path()), qPrintable(reason));
    session.startSource();
    QList<qint64> written;
    for (int i = 0; i < 4; ++i) {
        QTimer::singleShot(200 * i, Qt::PreciseTimer, this, [&pty, &written, i] {
            written << QDateTime::currentMSecsSinceEpoch();
            pty.send(QStringLiteral("+0001%1 +00515\r\n").arg(i).toLatin1());
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(tape.samples().size(), 4, 5000);
    session.closeSource();
    QCOMPARE(tape.batches.size(), 1); // still handed on once per poll
    const SampleBatch samples = tape.samples();
    // A loaded test machine may read a record late, and the next one then seems early: the
    // tolerance allows for that, not for one stamp shared by the poll.
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(samples.at(i).rawX, QStringLiteral("+0001%1").arg(i));
        const qint64 delay = samples.at(i).timeMs - written.at(i);
        QVERIFY2(delay >= 0 && delay <= 150, qPrintable(QString::number(delay)));
        if (i > 0) {
            const qint64 apart = samples.at(i).timeMs - samples.at(i - 1).timeMs;
            QVERIFY2(apart >= 50 && apart <= 350, qPrintable(QString::number(apart)));
        }
    }
    QVERIFY(samples.last().timeMs - samples.first().timeMs >= 480);
}

void TestLiveSession::clockStatesReachTheDestinations_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<qint64>("errorBefore"); // microseconds
    QTest::addColumn<int>("after");
    QTest::addColumn<qint64>("errorAfter");
    QTest::addColumn<qint64>("step"); // ms the wall clock jumps against the steady one
    QTest::addColumn<QString>("stateBefore");
    QTest::addColumn<QString>("stateAfter");
    QTest::addColumn<QStringList>("told");
    const int sync = int(ClockSync::State::Synchronised);
    const int unsync = int(ClockSync::State::NotSynchronised);
    const int unknown = int(ClockSync::State::Unknown);
    const QString synced2 = QStringLiteral("Clock: synchronised, estimated error 2 ms");
    const QString notSynced = QStringLiteral("Clock: not synchronised");
    QTest::newRow("synchronised") << sync << qint64(1500) << sync << qint64(1500) << qint64(0)
                                  << synced2 << synced2 << QStringList();
    QTest::newRow("not synchronised") << unsync << qint64(0) << unsync << qint64(0) << qint64(0)
                                      << notSynced << notSynced << QStringList();
    QTest::newRow("not known") << unknown << qint64(0) << unknown << qint64(0) << qint64(0)
                               << QStringLiteral("Clock: state unknown")
                               << QStringLiteral("Clock: state unknown") << QStringList();
    QTest::newRow("becomes synchronised")
        << unsync << qint64(0) << sync << qint64(800) << qint64(0) << notSynced
        << QStringLiteral("Clock: synchronised, estimated error 1 ms")
        << QStringList{QStringLiteral("Clock: synchronised, estimated error 1 ms")};
    QTest::newRow("loses synchronisation")
        << sync << qint64(2000) << unsync << qint64(0) << qint64(0) << synced2 << notSynced
        << QStringList{notSynced};
    // The estimate moves a little at every look: shown where it is read, not told.
    QTest::newRow("estimate moves a little")
        << sync << qint64(2000) << sync << qint64(3000) << qint64(0) << synced2
        << QStringLiteral("Clock: synchronised, estimated error 3 ms") << QStringList();
    QTest::newRow("estimate grows tenfold")
        << sync << qint64(2000) << sync << qint64(20000) << qint64(0) << synced2
        << QStringLiteral("Clock: synchronised, estimated error 20 ms")
        << QStringList{QStringLiteral("Clock: synchronised, estimated error 20 ms")};
    QTest::newRow("stepped forward")
        << unsync << qint64(0) << unsync << qint64(0) << qint64(3200) << notSynced << notSynced
        << QStringList{QStringLiteral("Clock: stepped forward by 3.2 s")};
    QTest::newRow("stepped back") << sync << qint64(2000) << sync << qint64(2000) << qint64(-75000)
                                  << synced2 << synced2
                                  << QStringList{QStringLiteral("Clock: stepped back by 75.0 s")};
    QTest::newRow("slewed, not stepped") << sync << qint64(2000) << sync << qint64(2000)
                                         << qint64(900) << synced2 << synced2 << QStringList();
}

void TestLiveSession::clockStatesReachTheDestinations()
{
    QFETCH(int, before);
    QFETCH(qint64, errorBefore);
    QFETCH(int, after);
    QFETCH(qint64, errorAfter);
    QFETCH(qint64, step);
    QFETCH(QString, stateBefore);
    QFETCH(QString, stateAfter);
    QFETCH(QStringList, told);
    ManualClock clock;
    clock.sync = {ClockSync::State(before), errorBefore};
    LiveSession session(nullptr);
    session.setClock(&clock);
    QCOMPARE(session.clockStateText(), stateBefore);
    // The head of a data file states it.
    QVERIFY(dataFileComments(session.dataFileHeader(QString())).contains(stateBefore));
    Tape tape;
    session.addSink(&tape);

    session.receiveArrived({"+00001 +00515"}, {clock.utc});
    clock.advance(500);
    clock.utc += step;
    const qint64 second = clock.utc;
    session.receiveArrived({"+00002 +00515"}, {second});
    clock.sync = {ClockSync::State(after), errorAfter};
    clock.advance(ClockWatch::kCheckInterval);
    session.clockWatch().check(); // the minute's look
    session.clockWatch().check(); // and the next: nothing is told twice
    session.receiveArrived({"+00003 +00515"}, {clock.utc});

    QCOMPARE(tape.clockTold, told);
    QCOMPARE(session.clockStateText(), stateAfter);
    QVERIFY(dataFileComments(session.dataFileHeader(QString())).contains(stateAfter));
    // A step is told before the batch whose times show it; the records keep the order and the
    // times in which they arrived, whatever the clock did.
    if (step > ClockWatch::kStepLimitMs || step < -ClockWatch::kStepLimitMs)
        QCOMPARE(tape.events.first(), SessionEvent::Kind::ClockStepped);
    const SampleBatch samples = tape.samples();
    QCOMPARE(samples.size(), 3);
    QCOMPARE(samples.at(0).rawX, QStringLiteral("+00001"));
    QCOMPARE(samples.at(1).rawX, QStringLiteral("+00002"));
    QCOMPARE(samples.at(1).timeMs, second);
    QCOMPARE(samples.at(2).rawX, QStringLiteral("+00003"));
}

QTEST_GUILESS_MAIN(TestLiveSession)
#include "tst_livesession.moc"
