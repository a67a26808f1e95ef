// marvane-record run as a program: its command line, its refusals, and a run on a
// pseudo-terminal ended by SIGTERM with records not yet polled.

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
    void alarmRaisedAndClearedAreOneLineEach();

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
                   QStringLiteral("--nmea-udp"),
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
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("outputs"); // %1 the plotter's UDP port, %2 the TCP server's
    QTest::addColumn<bool>("sentences");  // the plotter of the settings file hears the sample
    QTest::newRow("from the settings file")
        << QStringList{} << "outputs: NMEA VDR over UDP to 127.0.0.1:%1 (from the settings file)"
        << true;
    QTest::newRow("--no-outputs") << QStringList{QStringLiteral("--no-outputs")}
                                  << "no network outputs" << false;
    QTest::newRow("and a server on loopback")
        << QStringList{QStringLiteral("--nmea-tcp"), QStringLiteral("127.0.0.1:%2")}
        << "outputs: NMEA VDR over UDP to 127.0.0.1:%1 (from the settings file), NMEA VDR to TCP "
           "clients on 127.0.0.1:%2"
        << true;
}

void TestRecorder::startLineNamesEveryOutput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, outputs);
    QFETCH(bool, sentences);
    // The window wrote [Outputs]: datagrams to a plotter listening on loopback.
    QUdpSocket plotter;
    QVERIFY(plotter.bind(QHostAddress::LocalHost, 0));
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("marvane.ini")),
                      "[Outputs]\nNmeaUdp=1\nNmeaUdpHost=127.0.0.1\nNmeaUdpPort=" +
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

// An alarm raised and cleared: one stamped event line each, told once per episode, and the alarms
// named on the start line.
void TestRecorder::alarmRaisedAndClearedAreOneLineEach()
{
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
                   QStringLiteral("--port"), link, QStringLiteral("--alarm-speed-above"),
                   QStringLiteral("1"), QStringLiteral("--alarm-duration"), QStringLiteral("0"),
                   log});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    const auto told = [&](const QByteArray& text) {
        err += process.readAllStandardError();
        return err.contains(text);
    };
    QTRY_VERIFY_WITH_TIMEOUT(told("; alarms: speed above 1.000 m/s for 0 s (hysteresis 0.050 "
                                  "m/s)\n"),
                             10000);
    QCOMPARE(::write(master, "+2.000 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(told("alarm raised"), 10000);
    QCOMPARE(::write(master, "+3.000 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(contents(log).contains("\"3.000\""), 10000);
    QCOMPARE(::write(master, "+0.100 +0.000\r\n", 15), ssize_t(15));
    QTRY_VERIFY_WITH_TIMEOUT(told("alarm cleared"), 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    ::close(master);
    QCOMPARE(process.exitCode(), 0);
    err += process.readAllStandardError();
    QStringList alarms;
    static const QRegularExpression stamp(
        QStringLiteral("^marvane-record: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (alarm .*)$"));
    for (const QByteArray& line : err.split('\n')) {
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

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
