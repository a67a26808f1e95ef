// The sensor simulator, read the way Marvane reads a sensor: through SerialConnection and the
// record framer.

#include "sources/RecordFramer.h"
#include "sources/SerialConnection.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <csignal>

namespace {

const QString kSimulator = QStringLiteral(MARVANE_SENSOR_SIM);

// Starts the simulator and returns the device path it announces on its first line.
QString startSimulator(QProcess& simulator, const QStringList& arguments)
{
    simulator.start(kSimulator, arguments);
    while (!simulator.canReadLine()) {
        if (!simulator.waitForReadyRead(20000))
            return {};
    }
    const QString first = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    const QString announce = QStringLiteral("Sensor simulator on ");
    return first.startsWith(announce) ? first.mid(announce.size()) : QString();
}

} // namespace

class TestSensorSim : public QObject
{
    Q_OBJECT
private slots:
    void sendsRecordsInTheChosenLayout_data();
    void sendsRecordsInTheChosenLayout();
    void stopsAfterCountAndTheDeviceGoes();
    void helpExplainsTheOptions();
    void refusesBadValues_data();
    void refusesBadValues();
    void linkNamesTheTerminalUntilTheEnd_data();
    void linkNamesTheTerminalUntilTheEnd();
    void linkNeverReplacesAFile();
    void numberedRecordsCarryTheirNumber();
};

void TestSensorSim::sendsRecordsInTheChosenLayout_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("fieldPattern");
    QTest::addColumn<double>("toMetresPerSecond");
    QTest::newRow("mm") << QStringList{QStringLiteral("--units"), QStringLiteral("mm")}
                        << QStringLiteral("[+-][0-9]{5}") << 0.001;
    QTest::newRow("ms, split") << QStringList{QStringLiteral("--units"), QStringLiteral("ms"),
                                              QStringLiteral("--split")}
                               << QStringLiteral("[+-][0-9]\\.[0-9]{3}") << 1.0;
    QTest::newRow("kn, split, noise")
        << QStringList{QStringLiteral("--units"), QStringLiteral("kn"), QStringLiteral("--split"),
                       QStringLiteral("--noise")}
        << QStringLiteral("[+-][0-9]{2}\\.[0-9]{2}") << 1 / 1.943844;
}

void TestSensorSim::sendsRecordsInTheChosenLayout()
{
    QFETCH(QStringList, options);
    QFETCH(QString, fieldPattern);
    QFETCH(double, toMetresPerSecond);
    QProcess simulator;
    const QString device = startSimulator(
        simulator, options + QStringList{QStringLiteral("--rate"), QStringLiteral("100")});
    QVERIFY(!device.isEmpty());

    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(device, &reason), qPrintable(reason));
    RecordFramer framer;
    QList<QByteArray> records;
    QTRY_VERIFY((records += framer.feed(port.poll()), records.size() >= 20));

    const QRegularExpression layout(
        QRegularExpression::anchoredPattern(QStringLiteral("(%1) (%1)").arg(fieldPattern)));
    QSet<QByteArray> distinct;
    for (const QByteArray& record : std::as_const(records)) {
        const QRegularExpressionMatch match = layout.match(QString::fromLatin1(record));
        QVERIFY2(match.hasMatch(), record.constData());
        // A plausible flow: some tenths of a metre per second to a metre or so.
        const double x = match.captured(1).toDouble() * toMetresPerSecond;
        const double y = match.captured(2).toDouble() * toMetresPerSecond;
        const double speed = std::hypot(x, y);
        QVERIFY2(speed > 0.1 && speed < 1.1, record.constData());
        distinct.insert(record);
    }
    QVERIFY(distinct.size() > 1); // the values move

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(simulator.readAllStandardOutput().contains("Stopped after"));
}

void TestSensorSim::stopsAfterCountAndTheDeviceGoes()
{
    QProcess simulator;
    const QString device =
        startSimulator(simulator, {QStringLiteral("--count"), QStringLiteral("5"),
                                   QStringLiteral("--rate"), QStringLiteral("20")});
    QVERIFY(!device.isEmpty());
    SerialConnection port;
    QSignalSpy lost(&port, &SerialConnection::deviceLost);
    QString reason;
    QVERIFY2(port.open(device, &reason), qPrintable(reason));

    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(simulator.readAllStandardOutput().contains("Stopped after 5 records."));
    QTRY_COMPARE((port.poll(), lost.count()), 1);
    QVERIFY(!port.isOpen());
}

void TestSensorSim::helpExplainsTheOptions()
{
    QProcess simulator;
    simulator.start(kSimulator, {QStringLiteral("--help")});
    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitCode(), 0);
    const QByteArray help = simulator.readAllStandardOutput();
    for (const char* option : {"--rate", "--units", "--count", "--split", "--noise", "[Ports]"})
        QVERIFY2(help.contains(option), option);
}

void TestSensorSim::refusesBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("units") << QStringList{QStringLiteral("--units"), QStringLiteral("mph")}
                           << QByteArray("--units takes mm, ms or kn");
    QTest::newRow("rate") << QStringList{QStringLiteral("--rate"), QStringLiteral("0")}
                          << QByteArray("--rate takes a number from 0.1 to 1000");
    QTest::newRow("count") << QStringList{QStringLiteral("--count"), QStringLiteral("-1")}
                           << QByteArray("--count takes a whole number, 0 for no limit");
}

void TestSensorSim::refusesBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    QProcess simulator;
    simulator.start(kSimulator, arguments);
    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY2(simulator.readAllStandardError().contains(message), message.constData());
}

void TestSensorSim::linkNamesTheTerminalUntilTheEnd_data()
{
    QTest::addColumn<QString>("end"); // how the simulator stops
    QTest::newRow("SIGTERM") << QStringLiteral("SIGTERM");
    QTest::newRow("SIGINT (Ctrl+C)") << QStringLiteral("SIGINT");
    QTest::newRow("after --count") << QStringLiteral("count");
    QTest::newRow("a stale link is replaced") << QStringLiteral("stale");
}

void TestSensorSim::linkNamesTheTerminalUntilTheEnd()
{
    QFETCH(QString, end);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    if (end == QLatin1String("stale"))
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/gone"), link)); // a crashed run's

    QStringList options{QStringLiteral("--link"), link, QStringLiteral("--rate"),
                        QStringLiteral("50")};
    if (end == QLatin1String("count"))
        options << QStringLiteral("--count") << QStringLiteral("40");
    QProcess simulator;
    QCOMPARE(startSimulator(simulator, options), link); // announced as the device to map
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));

    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(link, &reason), qPrintable(reason));
    RecordFramer framer;
    QList<QByteArray> records;
    QTRY_VERIFY((records += framer.feed(port.poll()), records.size() >= 3));

    if (end == QLatin1String("SIGINT"))
        ::kill(pid_t(simulator.processId()), SIGINT);
    else if (end != QLatin1String("count"))
        simulator.terminate();
    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link));
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

void TestSensorSim::linkNeverReplacesAFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("notes"));
    QFile notes(path);
    QVERIFY(notes.open(QIODevice::WriteOnly));
    QCOMPARE(notes.write("field notes\n"), 12);
    notes.close();
    QProcess simulator;
    simulator.start(kSimulator, {QStringLiteral("--link"), path});
    QVERIFY(simulator.waitForFinished(20000));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY(simulator.readAllStandardError().contains("is not a symbolic link"));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("field notes\n"));
}

void TestSensorSim::numberedRecordsCarryTheirNumber()
{
    QProcess simulator;
    const QString device = startSimulator(
        simulator, {QStringLiteral("--numbered"), QStringLiteral("--first"),
                    QStringLiteral("99990"), QStringLiteral("--rate"), QStringLiteral("50")});
    QVERIFY(!device.isEmpty());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(device, &reason), qPrintable(reason));
    RecordFramer framer;
    QList<QByteArray> records;
    QTRY_VERIFY((records += framer.feed(port.poll()), records.size() >= 15));
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(20000));

    // One after the other, the number after +99999 being +00001; Y always zero.
    for (qsizetype i = 0; i < records.size(); ++i) {
        QVERIFY2(records[i].endsWith(" +00000"), records[i].constData());
        if (i > 0) {
            const long previous = records[i - 1].mid(1, 5).toLong();
            QCOMPARE(records[i].mid(1, 5).toLong(), previous == 99999 ? 1 : previous + 1);
        }
    }
    QVERIFY(records.contains("+99999 +00000"));
    QVERIFY(records.contains("+00001 +00000"));
    const QByteArray out = simulator.readAllStandardOutput();
    QVERIFY2(out.contains("numbered from 99990"), out.constData());
    QVERIFY2(QRegularExpression(QStringLiteral("Stopped after [0-9]+ records, the last numbered "
                                               "1[0-9]{5}\\."))
                 .match(QString::fromLatin1(out))
                 .hasMatch(),
             out.constData());
}

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
