// marvane-record run as a program: its command line, its refusals, and a run on a
// pseudo-terminal ended by SIGTERM with records not yet polled.

#include "logfile/LogFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUdpSocket>

#include <pty.h>
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
                                  << QByteArray("24 Hour Local") << true;
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

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
