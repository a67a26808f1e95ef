// marvane-record run as a program: its command line, its refusals, and a run on a
// pseudo-terminal ended by SIGTERM with records not yet polled.

#include "logformat/DataFileFormat.h"
#include "logformat/LogFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUdpSocket>

#include <csignal>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot read>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void usageErrorsExitTwoWithOneLine_data();
    void usageErrorsExitTwoWithOneLine();
    void appendOntoAFileThatIsNotALogIsRefused();
    void sigtermLogsWhatWasReceived();
    void recordsASensorOnTheNetworkAcrossItsLoss();
    void secondRecorderOnOneLogIsRefused();
    void timeBaseOfStampsAndEventLines_data();
    void timeBaseOfStampsAndEventLines();
    void dataFileAndNmeaOutputAreDestinationsToo();
    void relativeDataFileIsWrittenBesideTheLog();
    void startLineNamesEveryOutput_data();
    void startLineNamesEveryOutput();
    void unreadableSettingsAreToldAndTheRunGoesOn_data();
    void unreadableSettingsAreToldAndTheRunGoesOn();
    void refusedRunLeavesNoFileBehind_data();
    void refusedRunLeavesNoFileBehind();
    void linesNotWrittenByTheEndAreKeptToldAndFailTheRun();
    void eventsAsJsonLines();
    void logMovedOrDeletedUnderTheRecorderLosesNothing_data();
    void logMovedOrDeletedUnderTheRecorderLosesNothing();
    void sighupReopensTheLogAfterLogrotateMovedIt();
    void sigusr1MarksWithTheNoteFile_data();
    void sigusr1MarksWithTheNoteFile();
    void rotatedRunStartsWholeFilesAndRemovesOldOnes();
    void jsonStartLineStatesTheHeading();
    void alarmRaisedAndClearedAreOneLineEach();
    void stationDetailsInTheStartLineAndTheDataFileHead();

private:
    int run(const QStringList& args, QByteArray* err);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRecorder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // An empty settings file: the program's defaults.
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("marvane.ini")), QByteArray()));
}

int TestRecorder::run(const QStringList& args, QByteArray* err)
{
    QProcess process;
    process.start(
        QStringLiteral(MARVANE_RECORD),
        QStringList{QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini"))} +
            args);
    if (!process.waitForFinished(20000))
        return -1;
    *err = process.readAllStandardError();
    return process.exitCode();
}

void TestRecorder::usageErrorsExitTwoWithOneLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString log = QStringLiteral("new.log");
    QTest::newRow("no log file") << QStringList{} << QStringLiteral("no LOGFILE");
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--fast"), log} << QStringLiteral("fast");
    QTest::newRow("parity") << QStringList{QStringLiteral("--parity"), QStringLiteral("high"), log}
                            << QStringLiteral("--parity wants");
    QTest::newRow("stop bits") << QStringList{QStringLiteral("--stop-bits=3"), log}
                               << QStringLiteral("--stop-bits wants");
    QTest::newRow("baud") << QStringList{QStringLiteral("--baud=fast"), log}
                          << QStringLiteral("--baud wants");
    QTest::newRow("events") << QStringList{QStringLiteral("--events=xml"), log}
                            << QStringLiteral("--events wants text or json, not xml");
    QTest::newRow("alarm speed")
        << QStringList{QStringLiteral("--alarm-speed-above=fast"), log}
        << QStringLiteral("--alarm-speed-above wants metres per second from 0 to 100, not fast");
    QTest::newRow("latitude")
        << QStringList{QStringLiteral("--latitude=north"), log}
        << QStringLiteral("--latitude wants decimal degrees from -90 to 90 (north positive), "
                          "not north");
    QTest::newRow("station id") << QStringList{QStringLiteral("--station-id"),
                                               QStringLiteral("pier#4"), log}
                                << QStringLiteral("--station-id may not hold '+', '#' or '/'");
    QTest::newRow("both faces") << QStringList{QStringLiteral("--face-up"),
                                               QStringLiteral("--face-down"), log}
                                << QStringLiteral("exclude");
    QTest::newRow("existing file without --append")
        << QStringList{QStringLiteral("marvane.ini")} << QStringLiteral("--append");
    QTest::newRow("broker's own topic")
        << QStringList{QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1"),
                       QStringLiteral("--mqtt-topic"), QStringLiteral("$SYS/x"), log}
        << QStringLiteral("begins with '$'");
    QTest::newRow("password in the address")
        << QStringList{QStringLiteral("--mqtt"), QStringLiteral("mqtts://u:S3cret@h"), log}
        << QStringLiteral("\"mqtts://u:****@h\" is not a broker address");
    QTest::newRow("no outputs and one named")
        << QStringList{QStringLiteral("--no-outputs"), QStringLiteral("--mqtt"),
                       QStringLiteral("mqtt://127.0.0.1"), log}
        << QStringLiteral("--no-outputs and --mqtt exclude each other");
    QTest::newRow("NMEA server on a name")
        << QStringList{QStringLiteral("--nmea-tcp"), QStringLiteral("plotter:10110"), log}
        << QStringLiteral("\"plotter\" is not an IP address");
    QTest::newRow("--keep-days without --rotate")
        << QStringList{QStringLiteral("--keep-days=7"), log} << QStringLiteral("needs --rotate");
    QTest::newRow("--rotate weekly") << QStringList{QStringLiteral("--rotate=weekly"), log}
                                     << QStringLiteral("--rotate wants daily, hourly or a size");
    QTest::newRow("daily without the date in the name")
        << QStringList{QStringLiteral("--rotate=daily"), log}
        << QStringLiteral("needs %Y, %m and %d");
    QTest::newRow("--keep-days 0")
        << QStringList{QStringLiteral("--rotate=daily"), QStringLiteral("--keep-days=0"),
                       QStringLiteral("pier-%Y%m%d.log")}
        << QStringLiteral("--keep-days wants");
    QTest::newRow("data file without the date in its name")
        << QStringList{QStringLiteral("--rotate=daily"), QStringLiteral("--data-file=flow.csv"),
                       QStringLiteral("pier-%Y%m%d.log")}
        << QStringLiteral("--data-file flow.csv needs %Y, %m and %d");
}

void TestRecorder::usageErrorsExitTwoWithOneLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    for (QString& arg : args)
        if (arg.endsWith(QLatin1String(".log")) || arg.endsWith(QLatin1String(".ini")))
            arg = m_dir->filePath(arg);
    QByteArray err;
    QCOMPARE(run(args, &err), 2);
    QVERIFY2(err.contains(message.toLatin1()), err.constData());
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(!err.contains("S3cret"), err.constData());
}

void TestRecorder::appendOntoAFileThatIsNotALogIsRefused()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const QString notes = m_dir->filePath(QStringLiteral("notes.txt"));
    QVERIFY(writeFile(notes, "survey notes\r\n"));
    QByteArray err;
    const int status = run(
        {QStringLiteral("--port"), QString::fromLocal8Bit(name), QStringLiteral("--append"), notes},
        &err);
    ::close(master);
    QCOMPARE(status, 1);
    QVERIFY2(err.contains("Not a log file"), err.constData());
    QCOMPARE(contents(notes), QByteArray("survey notes\r\n"));
}

void TestRecorder::sigtermLogsWhatWasReceived()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    QProcess process;
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), QString::fromLocal8Bit(name), log});
    QVERIFY(process.waitForStarted());
    // The program says so once the port and the file are open.
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    // Whole, split, several in one write, with noise; none polled yet (the first poll waits).
    const QByteArray bytes = "+0.015 +0.515\r\n+0.1##noise\r\n+0.100 -0.1"
                             "00\r\n+0.000 +0.200\r\n";
    QCOMPARE(::write(master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QList<QByteArray> lines = contents(log).split('\n');
    QCOMPARE(lines.size(), 6); // header, units, three records, nothing after the last CR LF
    QCOMPARE(lines[0] + '\n', logHeaderLine());
    QCOMPARE(lines[1] + '\n', logUnitsLine(QStringLiteral("m/s")));
    const QStringList expected{QStringLiteral("0.515"), QStringLiteral("0.141"),
                               QStringLiteral("0.200")};
    for (int i = 0; i < 3; ++i) {
        const QByteArray line = lines[2 + i];
        QVERIFY(line.endsWith('\r'));
        const LogRecordFields fields = splitLogRecordLine(line.chopped(1), 5);
        QCOMPARE(fields.speed, expected[i]);
        QCOMPARE(fields.dateTime.size(), 19);
        QCOMPARE(line + '\n', logRecordLine(fields.speed, fields.bearing, fields.dateTime));
    }
    QVERIFY(lines[5].isEmpty());
}

namespace {

// The simulator's speeds logged so far, in order: each is the number of its record.
QList<int> loggedNumbers(const QString& log)
{
    QList<int> numbers;
    const QList<QByteArray> lines = contents(log).split('\n');
    for (qsizetype i = 2; i < lines.size(); ++i) {
        if (lines[i].endsWith('\r'))
            numbers << splitLogRecordLine(lines[i].chopped(1), 5).speed.toInt();
    }
    return numbers;
}

// Starts the sensor simulator serving TCP on port (0: any) and returns the port it serves.
quint16 startNetworkSensor(QProcess& simulator, quint16 port, int first)
{
    simulator.start(QStringLiteral(MARVANE_SENSOR_SIM),
                    {QStringLiteral("--tcp"), QString::number(port), QStringLiteral("--numbered"),
                     QStringLiteral("--first"), QString::number(first), QStringLiteral("--rate"),
                     QStringLiteral("20")});
    while (!simulator.canReadLine()) {
        if (!simulator.waitForReadyRead(20000))
            return 0;
    }
    const QByteArray announce = "Sensor simulator on TCP port ";
    const QByteArray line = simulator.readLine().trimmed();
    return line.startsWith(announce) ? quint16(line.mid(announce.size()).toUInt()) : 0;
}

} // namespace

void TestRecorder::recordsASensorOnTheNetworkAcrossItsLoss()
{
    QProcess simulator;
    const quint16 port = startNetworkSensor(simulator, 0, 1);
    QVERIFY(port != 0);
    const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    const QString log = m_dir->filePath(QStringLiteral("pier.log"));
    QProcess recorder;
    recorder.start(QStringLiteral(MARVANE_RECORD),
                   {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                    QStringLiteral("--port"), address, log});
    QVERIFY(recorder.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += recorder.readAllStandardError())
                                 .contains("recording " + address.toLatin1() + " (raw TCP) into "),
                             10000);
    // What the simulator sends from the connection on is logged, each record once, in order.
    QTRY_VERIFY_WITH_TIMEOUT(loggedNumbers(log).size() >= 5, 15000);

    // The device server goes away, and comes back on the same port.
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT((err += recorder.readAllStandardError())
                                 .contains("device lost: " + address.toLatin1() + ": "),
                             10000);
    QVERIFY2(err.contains("Trying again after 1 s, then at longer intervals up to every 30 s."),
             err.constData());
    const QList<int> before = loggedNumbers(log);
    QProcess again;
    QCOMPARE(startNetworkSensor(again, port, 1000), port);
    QTRY_VERIFY_WITH_TIMEOUT((err += recorder.readAllStandardError())
                                 .contains("reconnected: " + address.toLatin1() + " (raw TCP)"),
                             15000);
    QTRY_VERIFY_WITH_TIMEOUT(loggedNumbers(log).size() >= before.size() + 5, 15000);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(10000));
    again.terminate();
    QVERIFY(again.waitForFinished(10000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 0);

    const QList<int> numbers = loggedNumbers(log);
    const qsizetype lossAt = before.size();
    QVERIFY(numbers.size() >= lossAt + 5);
    QCOMPARE(numbers.mid(0, lossAt), before);
    for (qsizetype i = 1; i < numbers.size(); ++i) {
        if (i == lossAt)
            QVERIFY2(numbers[i] >= 1000, qPrintable(QString::number(numbers[i])));
        else
            QCOMPARE(numbers[i], numbers[i - 1] + 1);
    }
}

void TestRecorder::secondRecorderOnOneLogIsRefused()
{
    int masters[2] = {-1, -1};
    QString names[2];
    for (int i = 0; i < 2; ++i) {
        int slave = -1;
        char name[256] = {};
        QVERIFY(::openpty(&masters[i], &slave, name, nullptr, nullptr) == 0);
        ::close(slave);
        names[i] = QString::fromLocal8Bit(name);
    }
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    QProcess first;
    first.start(QStringLiteral(MARVANE_RECORD),
                {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                 QStringLiteral("--port"), names[0], log});
    QVERIFY(first.waitForStarted());
    QByteArray firstErr;
    QTRY_VERIFY_WITH_TIMEOUT((firstErr += first.readAllStandardError()).contains("recording"),
                             10000);
    // A second sensor's recorder appending to the same log would interleave two instruments.
    QByteArray err;
    QCOMPARE(run({QStringLiteral("--port"), names[1], QStringLiteral("--append"), log}, &err), 1);
    QVERIFY2(err.contains("process " + QByteArray::number(first.processId())), err.constData());
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
    for (const int master : masters)
        ::close(master);
    // Once the first has ended, the file is free again.
    QCOMPARE(contents(log), logHeaderLine());
}

void TestRecorder::timeBaseOfStampsAndEventLines_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<bool>("local");
    QTest::newRow("default") << QString() << QByteArray("24 Hour UTC") << false;
    QTest::newRow("--utc") << QStringLiteral("--utc") << QByteArray("24 Hour UTC") << false;
    QTest::newRow("--local-time") << QStringLiteral("--local-time")
                                  << QByteArray("24 Hour Local Asia/Tokyo") << true;
}

void TestRecorder::timeBaseOfStampsAndEventLines()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, label);
    QFETCH(bool, local);
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const QString log = m_dir->filePath(QStringLiteral("tokyo.log"));
    QProcess process;
    // Tokyo is nine hours from UTC all year: a local stamp cannot pass for a UTC one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Asia/Tokyo"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    process.setProcessEnvironment(env);
    QStringList args{QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                     QStringLiteral("--port"), QString::fromLocal8Bit(name), log};
    if (!option.isEmpty())
        args.prepend(option);
    process.start(QStringLiteral(MARVANE_RECORD), args);
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QCOMPARE(::write(master, "+0.015 +0.515\r\n", 15), ssize_t(15));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    err += process.readAllStandardError();

    // Event lines start with the UTC time, ISO 8601.
    const QDateTime said = QDateTime::fromString(QString::fromLatin1(err.mid(16, 20)), Qt::ISODate);
    QVERIFY2(said.isValid() && said.timeSpec() == Qt::UTC && qAbs(said.secsTo(before)) <= 30,
             err.constData());

    const QList<QByteArray> lines = contents(log).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], "\"m/s\",\"Degrees\",\"" + label + "\"\r");
    const LogRecordFields fields = splitLogRecordLine(lines[2].chopped(1), 5);
    QDateTime stamp = QDateTime::fromString(fields.dateTime, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    stamp.setTimeZone(local ? QTimeZone(QByteArray("Asia/Tokyo")) : QTimeZone::utc());
    QVERIFY2(qAbs(stamp.secsTo(before)) <= 5, qPrintable(fields.dateTime));
}

void TestRecorder::dataFileAndNmeaOutputAreDestinationsToo()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QUdpSocket plotter; // a chart plotter listening on loopback
    QVERIFY(plotter.bind(QHostAddress::LocalHost, 0));
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString data = m_dir->filePath(QStringLiteral("flow.csv"));
    QProcess process;
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), QString::fromLocal8Bit(name),
                   QStringLiteral("--face-down"), QStringLiteral("--data-file"), data,
                   QStringLiteral("--heading"), QStringLiteral("0"), QStringLiteral("--nmea-udp"),
                   QStringLiteral("127.0.0.1:%1").arg(plotter.localPort()), log});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    // +0.300 -0.400 face down: 0.5 m/s from 143.13, so going to 323.1, 0.97 knots.
    QCOMPARE(::write(master, "+0.300 -0.400\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(plotter.hasPendingDatagrams(), 10000);
    QByteArray sentence(int(plotter.pendingDatagramSize()), '\0');
    plotter.readDatagram(sentence.data(), sentence.size());
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QCOMPARE(sentence, QByteArray("$IIVDR,323.1,T,,M,0.97,N*2A\r\n"));
    const QList<QByteArray> rows = contents(data).split('\n');
    QVERIFY2(rows.size() >= 3, contents(data).constData());
    QVERIFY2(rows.at(rows.size() - 2).contains(",+0.300,-0.400,m/s,0.3,-0.4,0.5,143.13,from,down"),
             rows.at(rows.size() - 2).constData());
    QVERIFY(contents(log).contains("\"0.500\",\"143\""));
}

void TestRecorder::relativeDataFileIsWrittenBesideTheLog()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QDir top(m_dir->path());
    QVERIFY(top.mkdir(QStringLiteral("logs")) && top.mkdir(QStringLiteral("elsewhere")));
    const QString log = top.filePath(QStringLiteral("logs/flow.log"));
    QProcess process;
    process.setWorkingDirectory(top.filePath(QStringLiteral("elsewhere")));
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), QString::fromLocal8Bit(name),
                   QStringLiteral("--data-file"), QStringLiteral("rel.csv"), log});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    QCOMPARE(::write(master, "+0.300 -0.400\r\n", 15), ssize_t(15));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QVERIFY(!QFile::exists(top.filePath(QStringLiteral("elsewhere/rel.csv"))));
    QVERIFY2(contents(top.filePath(QStringLiteral("logs/rel.csv"))).contains(",+0.300,-0.400,"),
             err.constData());

    // The same name beside the log is what a second run would overwrite: refused without
    // --append, also when the current folder has no such file.
    QCOMPARE(
        run({QStringLiteral("--port"), QString::fromLocal8Bit(name), QStringLiteral("--data-file"),
             QStringLiteral("rel.csv"), top.filePath(QStringLiteral("logs/second.log"))},
            &err),
        2);
    QVERIFY2(err.contains("logs/rel.csv exists; give --append"), err.constData());
}

void TestRecorder::startLineNamesEveryOutput_data()
{
    QTest::addColumn<QByteArray>("options"); // [Options] of the settings file
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("outputs"); // %1 the plotter's UDP port, %2 the TCP server's
    QTest::addColumn<bool>("sentences");  // the plotter of the settings file hears the sample
    const QByteArray north = "[Options]\nHeading=0\n";
    QTest::newRow("from the settings file")
        << north << QStringList{}
        << "heading 0 degrees true; outputs: NMEA VDR over UDP to 127.0.0.1:%1 (from the settings "
           "file)"
        << true;
    QTest::newRow("--no-outputs") << north << QStringList{QStringLiteral("--no-outputs")}
                                  << "heading 0 degrees true; no network outputs" << false;
    QTest::newRow("and a server on loopback")
        << north << QStringList{QStringLiteral("--nmea-tcp"), QStringLiteral("127.0.0.1:%2")}
        << "outputs: NMEA VDR over UDP to 127.0.0.1:%1 (from the settings file), NMEA VDR to TCP "
           "clients on 127.0.0.1:%2"
        << true;
    // Without a heading the set would be relative to the sensor: no sentence, and it is said.
    QTest::newRow("no heading")
        << QByteArray() << QStringList{}
        << "heading not set, bearings relative to the front of the sensor; outputs: NMEA VDR over "
           "UDP to 127.0.0.1:%1 (from the settings file) (no sentence sent: heading not set)"
        << false;
    QTest::newRow("heading on the command line")
        << QByteArray() << QStringList{QStringLiteral("--heading"), QStringLiteral("12.5")}
        << "heading 12.5 degrees true; outputs: NMEA VDR over UDP to 127.0.0.1:%1 (from the "
           "settings file)"
        << true;
}

void TestRecorder::startLineNamesEveryOutput()
{
    QFETCH(QByteArray, options);
    QFETCH(QStringList, args);
    QFETCH(QString, outputs);
    QFETCH(bool, sentences);
    // The window wrote [Outputs]: datagrams to a plotter listening on loopback.
    QUdpSocket plotter;
    QVERIFY(plotter.bind(QHostAddress::LocalHost, 0));
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("marvane.ini")),
                      options + "[Outputs]\nNmeaUdp=1\nNmeaUdpHost=127.0.0.1\nNmeaUdpPort=" +
                          QByteArray::number(plotter.localPort()) + "\n"));
    quint16 server = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        server = probe.serverPort();
    }
    for (QString& arg : args)
        arg = arg.arg(server);
    outputs = outputs.arg(plotter.localPort()).arg(server);

    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QProcess process;
    process.start(QStringLiteral(MARVANE_RECORD),
                  QStringList{QStringLiteral("--settings"),
                              m_dir->filePath(QStringLiteral("marvane.ini")),
                              QStringLiteral("--port"), QString::fromLocal8Bit(name)} +
                      args + QStringList{m_dir->filePath(QStringLiteral("flow.log"))});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains('\n'), 10000);
    const QByteArray startLine = err.left(err.indexOf('\n'));
    QVERIFY2(startLine.endsWith("; " + outputs.toLatin1()), startLine.constData());

    QTcpSocket client;
    if (!args.isEmpty() && args.first() == QLatin1String("--nmea-tcp")) {
        client.connectToHost(QHostAddress::LocalHost, server);
        QVERIFY(client.waitForConnected(5000));
    }
    QCOMPARE(::write(master, "+0.300 -0.400\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(
        contents(m_dir->filePath(QStringLiteral("flow.log"))).contains("0.500"), 10000);
    if (client.state() == QAbstractSocket::ConnectedState)
        QTRY_VERIFY_WITH_TIMEOUT(client.bytesAvailable() > 0, 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    // The datagram was sent before the log line was; nothing more arrives after the end.
    QCOMPARE(plotter.hasPendingDatagrams(), sentences);
}

void TestRecorder::unreadableSettingsAreToldAndTheRunGoesOn_data()
{
    QTest::addColumn<QString>("settings"); // a FIFO made here, or a device
    QTest::newRow("FIFO") << QStringLiteral("fifo");
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
}

void TestRecorder::unreadableSettingsAreToldAndTheRunGoesOn()
{
    QFETCH(QString, settings);
    if (settings == QLatin1String("fifo")) {
        settings = m_dir->filePath(QStringLiteral("fifo.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    }
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QProcess process;
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), settings, QStringLiteral("--port"),
                   QString::fromLocal8Bit(name), m_dir->filePath(QStringLiteral("flow.log"))});
    QVERIFY(process.waitForStarted());
    // Neither waits for a writer nor reads without end: the run starts, and SIGTERM ends it.
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QByteArray told = QStringLiteral("marvane-record: Unable to read %1: not a regular file. "
                                           "Its defaults are used.\n")
                                .arg(settings)
                                .toLocal8Bit();
    QVERIFY2(err.startsWith(told), err.constData());
}

void TestRecorder::refusedRunLeavesNoFileBehind_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("file"); // made here as a "folder" or a "fifo", else left missing
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString password = QStringLiteral("--mqtt-password-file");
    const QString unreadable = QStringLiteral("Unable to read the MQTT password file");
    QTest::newRow("password file missing")
        << password << QStringLiteral("missing") << 2 << unreadable;
    QTest::newRow("password file a folder")
        << password << QStringLiteral("folder") << 2 << unreadable;
    QTest::newRow("password file a FIFO") << password << QStringLiteral("fifo") << 2 << unreadable;
    QTest::newRow("data file in a missing folder")
        << QStringLiteral("--data-file") << QStringLiteral("missing/flow.csv") << 1
        << QStringLiteral("cannot open the data file");
}

void TestRecorder::refusedRunLeavesNoFileBehind()
{
    QFETCH(QString, option);
    QFETCH(QString, file);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString path = m_dir->filePath(file);
    if (file == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(file));
    if (file == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    QStringList args{QStringLiteral("--port"), QString::fromLocal8Bit(name), option, path, log};
    if (option == QLatin1String("--mqtt-password-file"))
        args.prepend(QStringLiteral("--mqtt=mqtt://station@127.0.0.1:1"));
    // The same command run again gets the same answer: nothing was left half made.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        QByteArray err;
        QCOMPARE(run(args, &err), status);
        QVERIFY2(err.contains(message.toLocal8Bit()), err.constData());
        QVERIFY2(!QFileInfo::exists(log), err.constData());
    }
    ::close(master);
}

void TestRecorder::linesNotWrittenByTheEndAreKeptToldAndFailTheRun()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString state = m_dir->filePath(QStringLiteral("state"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), state);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    process.setProcessEnvironment(env);
    // The recorder's disk takes the header, the units line and two records (37 bytes each),
    // then no more: a size limit on its files, which holds for root as well.
    const rlim_t room = 31 + 31 + 2 * 37;
    process.setChildProcessModifier([room] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{room, room};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), QString::fromLocal8Bit(name), log});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("recording"), 10000);
    // Five records, 0.101 to 0.105 m/s.
    const QByteArray bytes = "+0.000 +0.101\r\n+0.000 +0.102\r\n+0.000 +0.103\r\n"
                             "+0.000 +0.104\r\n+0.000 +0.105\r\n";
    QCOMPARE(::write(master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    err += process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);

    // What fitted is in the log, whole lines only.
    const QList<QByteArray> lines = contents(log).split('\n');
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines[2].startsWith("\"0.101\""));
    QVERIFY(lines[3].startsWith("\"0.102\""));
    // The other three are kept in a file of the user's state folder, and said so.
    const QDir kept(state + QStringLiteral("/Tessmoor/Marvane"));
    const QStringList spills = kept.entryList(QDir::Files);
    QCOMPARE(spills.size(), 1);
    const QString spill = kept.filePath(spills.first());
    const QByteArray told = QStringLiteral("could not write 3 line(s) to %1; they are kept in %2")
                                .arg(log, spill)
                                .toLocal8Bit();
    QVERIFY2(err.contains(told), err.constData());
    const QList<QByteArray> waiting = contents(spill).split('\n');
    QCOMPARE(waiting.size(), 4);
    QVERIFY(waiting[0].startsWith("\"0.103\""));
    QVERIFY(waiting[1].startsWith("\"0.104\""));
    QVERIFY(waiting[2].startsWith("\"0.105\""));
}

// --events json: every line on standard error is one JSON object with the UTC time and the kind
// first, through silence, data, a device that goes and comes back behind the same name, and the
// end of the run.
void TestRecorder::eventsAsJsonLines()
{
    // The port is a link to a pseudo-terminal; the second one stands in for the device coming
    // back, as a USB adapter's by-id name points at it again.
    const QString link = m_dir->filePath(QStringLiteral("sensor"));
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QVERIFY(QFile::link(QString::fromLocal8Bit(name), link));
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), link, QStringLiteral("--baud"), QStringLiteral("4800"),
                   QStringLiteral("--events"), QStringLiteral("json"), log});
    QVERIFY(process.waitForStarted());
    const QDateTime started = QDateTime::currentDateTimeUtc();
    QByteArray err;
    const auto told = [&](const QByteArray& kind) {
        err += process.readAllStandardError();
        return err.contains("\"kind\":\"" + kind + '"');
    };
    QTRY_VERIFY_WITH_TIMEOUT(told("recording"), 10000);
    // No record for three seconds, then one.
    QTRY_VERIFY_WITH_TIMEOUT(told("no-data"), 10000);
    QCOMPARE(::write(master, "+0.300 -0.400\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(told("data-again"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.500\""), 10000);
    // The device goes, and another is there under the same name: the recorder lets go of the
    // first and opens the second.
    const int first = master;
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(QString::fromLocal8Bit(name), link));
    ::close(first);
    QTRY_VERIFY_WITH_TIMEOUT(told("reconnecting"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(told("reconnected"), 10000);
    QCOMPARE(::write(master, "+0.015 +0.515\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.515\""), 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QCOMPARE(process.exitCode(), 0);
    err += process.readAllStandardError();

    QVERIFY2(err.endsWith('\n'), err.constData());
    QStringList kinds;
    QList<QJsonObject> events;
    for (const QByteArray& line : err.chopped(1).split('\n')) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(), line.constData());
        // The time and the kind come first, for a person reading along.
        QVERIFY2(line.startsWith("{\"time\":\""), line.constData());
        QVERIFY2(line.mid(34, 8) == ",\"kind\":", line.constData());
        const QJsonObject event = document.object();
        const QDateTime time = QDateTime::fromString(event.value(QStringLiteral("time")).toString(),
                                                     Qt::ISODateWithMs);
        QVERIFY2(time.isValid() && time.timeSpec() == Qt::UTC, line.constData());
        QVERIFY2(time >= started.addSecs(-1) && time <= QDateTime::currentDateTimeUtc(),
                 line.constData());
        QVERIFY2(events.isEmpty() ||
                     time >= QDateTime::fromString(
                                 events.last().value(QStringLiteral("time")).toString(),
                                 Qt::ISODateWithMs),
                 line.constData());
        kinds << event.value(QStringLiteral("kind")).toString();
        events << event;
    }
    QCOMPARE(kinds, (QStringList{QStringLiteral("recording"), QStringLiteral("no-data"),
                                 QStringLiteral("data-again"), QStringLiteral("reconnecting"),
                                 QStringLiteral("reconnected"), QStringLiteral("status")}));

    const QJsonObject recording = events[0];
    QCOMPARE(recording.value(QStringLiteral("port")).toString(), link);
    QCOMPARE(recording.value(QStringLiteral("device")).toString(), link);
    QCOMPARE(recording.value(QStringLiteral("log")).toString(), log);
    QCOMPARE(recording.value(QStringLiteral("timeBase")).toString(), QStringLiteral("UTC"));
    // No heading given: none stated (bearings relative to the sensor).
    QVERIFY(!recording.contains(QStringLiteral("heading")));
    const QJsonObject line = recording.value(QStringLiteral("line")).toObject();
    QCOMPARE(line.value(QStringLiteral("baud")).toInt(), 4800);
    QCOMPARE(line.value(QStringLiteral("dataBits")).toInt(), 8);
    QCOMPARE(line.value(QStringLiteral("parity")).toString(), QStringLiteral("none"));
    QCOMPARE(line.value(QStringLiteral("stopBits")).toDouble(), 1.0);
    QVERIFY(events[1].value(QStringLiteral("seconds")).toInt() >= 3);
    QVERIFY(events[2].value(QStringLiteral("seconds")).toInt() >= 3);
    QCOMPARE(events[3].value(QStringLiteral("port")).toString(), link);
    QVERIFY(!events[3].value(QStringLiteral("reason")).toString().isEmpty());
    QCOMPARE(events[4].value(QStringLiteral("device")).toString(), link);
    const QJsonObject status = events[5];
    QCOMPARE(status.value(QStringLiteral("final")).toBool(), true);
    QCOMPARE(status.value(QStringLiteral("samples")).toInt(), 2);
    QCOMPARE(status.value(QStringLiteral("reconnections")).toInt(), 1);
    QCOMPARE(status.value(QStringLiteral("backlog")).toInt(), 0);
    const QJsonObject last = status.value(QStringLiteral("last")).toObject();
    QCOMPARE(last.value(QStringLiteral("speed")).toString(), QStringLiteral("0.515"));
    QCOMPARE(last.value(QStringLiteral("units")).toString(), QStringLiteral("m/s"));
    const QList<QByteArray> lines = contents(log).split('\n');
    QCOMPARE(lines.size(), 5); // header, units, two records, nothing after the last CR LF
    QCOMPARE(last.value(QStringLiteral("bearing")).toString(),
             splitLogRecordLine(lines[3].chopped(1), 5).bearing);
}

namespace {

// The records of a log after its header and units line; empty (and said in problem) when the
// file does not start with them.
QList<QByteArray> recordsIn(const QString& path, QByteArray* problem)
{
    const QByteArray all = contents(path);
    const QByteArray head = logHeaderLine() + logUnitsLine(QStringLiteral("m/s"));
    if (!all.startsWith(head)) {
        *problem += path.toLocal8Bit() + " is not whole: " + all + '\n';
        return {};
    }
    QList<QByteArray> records = all.mid(head.size()).split('\n');
    records.removeLast(); // after the last line end
    for (QByteArray& record : records)
        record = record.mid(1, 5); // the speed
    return records;
}

// A recorder on a pseudo-terminal, its sensor end at master.
struct RecorderRun
{
    int master = -1;
    QProcess process;
    QByteArray err;

    bool start(const QString& settings, const QStringList& args)
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        ::close(slave);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("JOURNAL_STREAM"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(MARVANE_RECORD),
                      QStringList{QStringLiteral("--settings"), settings, QStringLiteral("--port"),
                                  QString::fromLocal8Bit(name)} +
                          args);
        return process.waitForStarted();
    }
    bool said(const QByteArray& text)
    {
        err += process.readAllStandardError();
        return err.contains(text);
    }
    // Record n: 0.1nn m/s.
    bool send(int n)
    {
        const QByteArray record = "+0.000 +0." + QByteArray::number(100 + n) + "\r\n";
        return ::write(master, record.constData(), size_t(record.size())) == ssize_t(record.size());
    }
    int stop()
    {
        process.terminate();
        process.waitForFinished(10000);
        err += process.readAllStandardError();
        ::close(master);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

} // namespace

void TestRecorder::logMovedOrDeletedUnderTheRecorderLosesNothing_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::newRow("mv flow.log flow.log.1") << false;
    QTest::newRow("rm flow.log") << true;
}

void TestRecorder::logMovedOrDeletedUnderTheRecorderLosesNothing()
{
    QFETCH(bool, deleted);
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString moved = m_dir->filePath(QStringLiteral("flow.log.1"));
    RecorderRun run;
    QVERIFY(run.start(m_dir->filePath(QStringLiteral("marvane.ini")), {log}));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("recording"), 10000);
    QVERIFY(run.send(1));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.101\""), 10000);
    QVERIFY(deleted ? QFile::remove(log) : QFile::rename(log, moved));
    // The next records, and the end before the recorder has looked at the path again.
    QVERIFY(run.send(2));
    QVERIFY(run.send(3));
    QCOMPARE(run.stop(), 0);

    // Every record after the file went is in exactly one file, each file whole; the file at
    // the path, if any, was made again with its header and units line.
    QByteArray problem;
    QList<QByteArray> records =
        QFileInfo::exists(log) ? recordsIn(log, &problem) : QList<QByteArray>();
    if (!deleted)
        records = recordsIn(moved, &problem) + records;
    QVERIFY2(problem.isEmpty(), problem.constData());
    records.removeAll("0.101"); // may have gone with the deleted file, once
    QCOMPARE(records, (QList<QByteArray>{"0.102", "0.103"}));
    if (deleted) {
        QVERIFY(QFileInfo::exists(log));
        QVERIFY2(run.err.contains("was missing or empty: made again with its header"),
                 run.err.constData());
    }
    QVERIFY2(!run.err.contains("could not write"), run.err.constData());
}

void TestRecorder::sighupReopensTheLogAfterLogrotateMovedIt()
{
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString rotated = m_dir->filePath(QStringLiteral("flow.log.1"));
    RecorderRun run;
    QVERIFY(run.start(m_dir->filePath(QStringLiteral("marvane.ini")), {log}));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("recording"), 10000);
    QVERIFY(run.send(1));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.101\""), 10000);
    // logrotate without `create`, then its postrotate: kill -HUP.
    QVERIFY(QFile::rename(log, rotated));
    QCOMPARE(::kill(pid_t(run.process.processId()), SIGHUP), 0);
    QTRY_VERIFY_WITH_TIMEOUT(run.said("reopened " + log.toLocal8Bit()), 10000);
    // The new file is there at once, whole, before the next record.
    QCOMPARE(contents(log), logHeaderLine() + logUnitsLine(QStringLiteral("m/s")));
    QVERIFY(run.send(2));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.102\""), 10000);
    QCOMPARE(run.process.state(), QProcess::Running); // SIGHUP does not end it
    QCOMPARE(run.stop(), 0);
    QByteArray problem;
    QCOMPARE(recordsIn(rotated, &problem), QList<QByteArray>{"0.101"});
    QCOMPARE(recordsIn(log, &problem), QList<QByteArray>{"0.102"});
    QVERIFY2(problem.isEmpty(), problem.constData());
}

void TestRecorder::sigusr1MarksWithTheNoteFile_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QByteArray>("noted");   // the event line of the mark with a note
    QTest::addColumn<QByteArray>("missing"); // the warning for a note file that is not there
    QTest::newRow("text") << QStringLiteral("text") << QByteArray(": diver in the water\n")
                          << QByteArray("cannot read the mark note file ");
    QTest::newRow("json") << QStringLiteral("json") << QByteArray(R"("kind":"mark","markTime":")")
                          << QByteArray(R"("kind":"warning","message":"cannot read the mark)");
}

// SIGUSR1 marks the moment: a row of its own in the data file with the first line of the note
// file, trimmed, and an event line; without the note file, a mark without a note and a warning.
// The log keeps its format: no line of the mark.
void TestRecorder::sigusr1MarksWithTheNoteFile()
{
    QFETCH(QString, events);
    QFETCH(QByteArray, noted);
    QFETCH(QByteArray, missing);
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString data = m_dir->filePath(QStringLiteral("flow.csv"));
    const QString note = m_dir->filePath(QStringLiteral("note.txt"));
    QVERIFY(writeFile(note, "  diver in the water  \nsecond line\n"));
    RecorderRun run;
    QVERIFY(run.start(m_dir->filePath(QStringLiteral("marvane.ini")),
                      {QStringLiteral("--events"), events, QStringLiteral("--data-file"), data,
                       QStringLiteral("--mark-note-file"), note, log}));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("recording"), 10000);
    QVERIFY(run.send(1));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.101\""), 10000);
    QCOMPARE(::kill(pid_t(run.process.processId()), SIGUSR1), 0);
    QTRY_VERIFY_WITH_TIMEOUT(run.said(noted), 10000);
    QVERIFY2(run.said("diver in the water"), run.err.constData());
    QVERIFY(QFile::remove(note));
    QCOMPARE(::kill(pid_t(run.process.processId()), SIGUSR1), 0);
    QTRY_VERIFY_WITH_TIMEOUT(run.said(missing), 10000);
    QVERIFY(run.send(2));
    QTRY_VERIFY_WITH_TIMEOUT(contents(data).contains(",0.102,"), 10000);
    QCOMPARE(run.process.state(), QProcess::Running); // SIGUSR1 does not end it
    QCOMPARE(run.stop(), 0);

    QList<QByteArray> notes;
    int samples = 0;
    for (const QByteArray& line : contents(data).split('\n')) {
        DataFileRow row;
        if (!parseDataFileRow(line.trimmed(), &row))
            continue;
        if (row.event)
            notes << row.note.toUtf8();
        else
            ++samples;
    }
    QCOMPARE(notes, (QList<QByteArray>{"mark: diver in the water", "mark"}));
    QCOMPARE(samples, 2);
    QByteArray problem;
    QCOMPARE(recordsIn(log, &problem), (QList<QByteArray>{"0.101", "0.102"}));
    QVERIFY2(problem.isEmpty(), problem.constData());
}

void TestRecorder::rotatedRunStartsWholeFilesAndRemovesOldOnes()
{
    const QStringList old{QStringLiteral("pier-20200101.log"), QStringLiteral("pier-20200101.csv"),
                          QStringLiteral("pier-20200102-2.log")};
    const QStringList others{QStringLiteral("pier-notes.log"), QStringLiteral("other-20200101.log"),
                             QStringLiteral("pier-20200101.log.1")};
    for (const QString& name : old + others)
        QVERIFY(writeFile(m_dir->filePath(name), "old\r\n"));
    const QString today = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd"));
    RecorderRun run;
    // The header, the units line and a record make 99 bytes: each poll past 64 starts a file.
    QVERIFY(run.start(m_dir->filePath(QStringLiteral("marvane.ini")),
                      {QStringLiteral("--rotate=64"), QStringLiteral("--keep-days=7"),
                       QStringLiteral("--data-file"),
                       m_dir->filePath(QStringLiteral("pier-%Y%m%d.csv")),
                       m_dir->filePath(QStringLiteral("pier-%Y%m%d.log"))}));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("recording"), 10000);
    const QStringList names{QStringLiteral("pier-%1").arg(today),
                            QStringLiteral("pier-%1-2").arg(today),
                            QStringLiteral("pier-%1-3").arg(today)};
    for (int n = 1; n <= 3; ++n) {
        QVERIFY(run.send(n));
        const QString log = m_dir->filePath(names[n - 1] + QStringLiteral(".log"));
        QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"0.10" + QByteArray::number(n)), 10000);
    }
    QCOMPARE(run.stop(), 0);

    for (int n = 1; n <= 3; ++n) {
        QByteArray problem;
        const QString log = m_dir->filePath(names[n - 1] + QStringLiteral(".log"));
        QCOMPARE(recordsIn(log, &problem), QList<QByteArray>{"0.10" + QByteArray::number(n)});
        QVERIFY2(problem.isEmpty(), problem.constData());
        const QByteArray data = contents(m_dir->filePath(names[n - 1] + QStringLiteral(".csv")));
        QVERIFY2(data.startsWith("# Marvane ") && data.count(",m/s,") == 1, data.constData());
    }
    QVERIFY2(run.err.contains("recording into " +
                              m_dir->filePath(names[1] + QStringLiteral(".log")).toLocal8Bit()),
             run.err.constData());
    for (const QString& name : old) {
        QVERIFY2(!QFileInfo::exists(m_dir->filePath(name)), qPrintable(name));
        QVERIFY2(run.err.contains("removed " + m_dir->filePath(name).toLocal8Bit()),
                 run.err.constData());
    }
    for (const QString& name : others)
        QVERIFY2(QFileInfo::exists(m_dir->filePath(name)), qPrintable(name));
}

void TestRecorder::jsonStartLineStatesTheHeading()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    QProcess process;
    process.start(QStringLiteral(MARVANE_RECORD),
                  {QStringLiteral("--settings"), m_dir->filePath(QStringLiteral("marvane.ini")),
                   QStringLiteral("--port"), QString::fromLocal8Bit(name),
                   QStringLiteral("--heading"), QStringLiteral("12.5"), QStringLiteral("--events"),
                   QStringLiteral("json"), m_dir->filePath(QStringLiteral("flow.log"))});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains('\n'), 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    const QJsonObject start = QJsonDocument::fromJson(err.left(err.indexOf('\n'))).object();
    QCOMPARE(start.value(QStringLiteral("kind")).toString(), QStringLiteral("recording"));
    QCOMPARE(start.value(QStringLiteral("heading")).toDouble(), 12.5);
}

// An alarm raised and cleared: one stamped event line each, told once per episode, and the alarms
// named on the start line.
void TestRecorder::alarmRaisedAndClearedAreOneLineEach()
{
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    RecorderRun run;
    QVERIFY(run.start(m_dir->filePath(QStringLiteral("marvane.ini")),
                      {QStringLiteral("--alarm-speed-above"), QStringLiteral("1"),
                       QStringLiteral("--alarm-duration"), QStringLiteral("0"), log}));
    QTRY_VERIFY_WITH_TIMEOUT(
        run.said("; alarms: speed above 1.000 m/s for 0 s (hysteresis 0.050 m/s)\n"), 10000);
    QCOMPARE(::write(run.master, "+2.000 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("alarm raised"), 10000);
    QCOMPARE(::write(run.master, "+3.000 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"3.000\""), 10000);
    QCOMPARE(::write(run.master, "+0.100 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("alarm cleared"), 10000);
    QCOMPARE(run.stop(), 0);
    QStringList alarms;
    static const QRegularExpression stamp(
        QStringLiteral("^marvane-record: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (alarm .*)$"));
    for (const QByteArray& line : run.err.split('\n')) {
        if (!line.contains("alarm "))
            continue;
        const QRegularExpressionMatch match = stamp.match(QString::fromUtf8(line));
        QVERIFY2(match.hasMatch(), line.constData());
        alarms << match.captured(1);
    }
    QCOMPARE(alarms, (QStringList{QStringLiteral("alarm raised: speed above 1.000 m/s (2.000 m/s)"),
                                  QStringLiteral("alarm cleared: speed above 1.000 m/s (0.100 "
                                                 "m/s)")}));
}

// The station's details of marvane.ini, one replaced and one added on the command line: told in
// the start line and written at the head of the data file; a detail of the file that cannot be
// used is told, by its key, and left out.
void TestRecorder::stationDetailsInTheStartLineAndTheDataFileHead()
{
    const QString settings = m_dir->filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(settings, "[Station]\nName=Tessmoor pier\nId=pier-4\nLatitude=95\n"
                                "Institution=Tessmoor Marine Lab\n"));
    const QString log = m_dir->filePath(QStringLiteral("flow.log"));
    const QString data = m_dir->filePath(QStringLiteral("flow.csv"));
    RecorderRun run;
    QVERIFY(run.start(settings, {QStringLiteral("--station-id"), QStringLiteral("pier-5"),
                                 QStringLiteral("--depth"), QStringLiteral("4.5"),
                                 QStringLiteral("--data-file"), data, log}));
    QTRY_VERIFY_WITH_TIMEOUT(run.said("recording"), 10000);
    QVERIFY(run.send(1));
    QTRY_VERIFY_WITH_TIMEOUT(contents(data).contains("0.101"), 10000);
    QCOMPARE(run.stop(), 0);
    QVERIFY2(run.err.contains("marvane-record: [Station] Latitude=95 in " + settings.toUtf8() +
                              " wants decimal degrees from -90 to 90 (north positive); the "
                              "latitude is not set\n"),
             run.err.constData());
    QByteArray startLine;
    for (const QByteArray& line : run.err.split('\n')) {
        if (line.contains(" recording "))
            startLine = line;
    }
    QVERIFY2(startLine.endsWith("; station: name Tessmoor pier, id pier-5, depth 4.5 m, "
                                "institution Tessmoor Marine Lab"),
             startLine.constData());
    const QList<QByteArray> head = contents(data).split('\n');
    QVERIFY(head.size() > 5);
    QVERIFY(head.at(0).startsWith("# Marvane "));
    QCOMPARE(head.mid(1, 4), (QList<QByteArray>{"# Station: Name=Tessmoor pier\r",
                                                "# Station: Id=pier-5\r", "# Station: Depth=4.5\r",
                                                "# Station: Institution=Tessmoor Marine Lab\r"}));
    QVERIFY(head.at(5).startsWith("# Port: "));
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
