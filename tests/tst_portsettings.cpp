// From the seven option indices to the port's line parameters and the display flags, and from
// the port names COM1..COM4 to this system's device paths.

#include "settings/PortMapping.h"
#include "settings/PortSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(CommsSettings)
Q_DECLARE_METATYPE(std::optional<CommsSettings>)

#include "tests/support/CommsSettingsMaker.h"

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString defaultDevice(int index)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(index + 1);
#else
    return QStringLiteral("/dev/ttyS%1").arg(index);
#endif
}

} // namespace

class TestPortSettings : public QObject
{
    Q_OBJECT

private slots:
    void apply_data();
    void apply();

    void devicePath_data();
    void devicePath();
    void mappingIsReadAfresh();
};

void TestPortSettings::apply_data()
{
    // clang-format off
    // "before" is applied first (as the main window does at start-up) when present; "settings" is then applied.
    QTest::addColumn<std::optional<CommsSettings>>("before");
    QTest::addColumn<CommsSettings>("settings");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("scrollDown");
    QTest::addColumn<bool>("faceUp");

    const std::optional<CommsSettings> fresh;
    const std::optional<CommsSettings> applied = make(1, 2, 1, 5, 0, 2, 1);

    QTest::newRow("defaults") << fresh << CommsSettings{} << "COM2" << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("defaults after other options") << applied << CommsSettings{} << "COM2" << 19200u << 8 << 0 << 0 << false << true;

    QTest::newRow("Scroll Down") << fresh << make(1, 1, 0, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << true << true;
    QTest::newRow("scroll index 2 is not up") << fresh << make(2, 1, 0, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << true << true;
    QTest::newRow("no scroll selection is not up") << fresh << make(-1, 1, 0, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << true << true;
    QTest::newRow("Face Down") << fresh << make(0, 1, 1, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << false;
    QTest::newRow("no orientation selection is not face up") << fresh << make(0, 1, -1, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << false;

    const char* ports[] = {"COM1", "COM2", "COM3", "COM4"};
    for (int i = 0; i < 4; ++i)
        QTest::addRow("Com %d", i + 1) << fresh << make(0, i, 0, 3, 1, 0, 0) << ports[i] << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("CommPort 7 at start-up") << fresh << make(0, 7, 0, 3, 1, 0, 0) << "" << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("CommPort 4 keeps COM3") << applied << make(0, 4, 0, 3, 1, 0, 0) << "COM3" << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("CommPort -1 keeps COM3") << applied << make(0, -1, 0, 3, 1, 0, 0) << "COM3" << 19200u << 8 << 0 << 0 << false << true;

    const quint32 bauds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 7; ++i)
        QTest::addRow("baud %u", bauds[i]) << fresh << make(0, 1, 0, i, 1, 0, 0) << "COM2" << bauds[i] << 8 << 0 << 0 << false << true;
    QTest::newRow("BaudRate 9 at start-up") << fresh << make(0, 1, 0, 9, 1, 0, 0) << "COM2" << 0u << 8 << 0 << 0 << false << true;
    QTest::newRow("BaudRate 7 keeps 57600") << applied << make(0, 1, 0, 7, 1, 0, 0) << "COM2" << 57600u << 8 << 0 << 0 << false << true;
    QTest::newRow("BaudRate -1 keeps 57600") << applied << make(0, 1, 0, -1, 1, 0, 0) << "COM2" << 57600u << 8 << 0 << 0 << false << true;

    QTest::newRow("7 data bits") << fresh << make(0, 1, 0, 3, 0, 0, 0) << "COM2" << 19200u << 7 << 0 << 0 << false << true;
    QTest::newRow("8 data bits after 7") << applied << make(0, 1, 0, 3, 1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("DataBits 5 means 8") << applied << make(0, 1, 0, 3, 5, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << true;
    QTest::newRow("DataBits -1 means 8") << applied << make(0, 1, 0, 3, -1, 0, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << true;

    for (int i = 0; i < 3; ++i)
        QTest::addRow("parity %d", i) << fresh << make(0, 1, 0, 3, 1, i, 0) << "COM2" << 19200u << 8 << i << 0 << false << true;
    QTest::newRow("Parity -1 keeps even") << applied << make(0, 1, 0, 3, 1, -1, 0) << "COM2" << 19200u << 8 << 2 << 0 << false << true;
    QTest::newRow("Parity 3 keeps even") << applied << make(0, 1, 0, 3, 1, 3, 0) << "COM2" << 19200u << 8 << 2 << 0 << false << true;
    QTest::newRow("Parity -1 at start-up") << fresh << make(0, 1, 0, 3, 1, -1, 0) << "COM2" << 19200u << 8 << 0 << 0 << false << true;

    for (int i = 0; i < 3; ++i)
        QTest::addRow("stop bits code %d", i) << fresh << make(0, 1, 0, 3, 1, 0, i) << "COM2" << 19200u << 8 << 0 << i << false << true;
    QTest::newRow("StopBits 3 keeps 1.5") << applied << make(0, 1, 0, 3, 1, 0, 3) << "COM2" << 19200u << 8 << 0 << 1 << false << true;
    QTest::newRow("StopBits -1 keeps 1.5") << applied << make(0, 1, 0, 3, 1, 0, -1) << "COM2" << 19200u << 8 << 0 << 1 << false << true;

    QTest::newRow("every index out of range at start-up")
        << fresh << make(5, 4, 2, 7, 2, 3, 3) << "" << 0u << 8 << 0 << 0 << true << false;
    QTest::newRow("every index out of range after other options")
        << applied << make(-1, -1, -1, -1, -1, -1, -1) << "COM3" << 57600u << 8 << 2 << 1 << true << false;
    // clang-format on
}

void TestPortSettings::apply()
{
    QFETCH(std::optional<CommsSettings>, before);
    QFETCH(CommsSettings, settings);
    QFETCH(QString, portName);
    QFETCH(quint32, baud);
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, scrollDown);
    QFETCH(bool, faceUp);

    PortSettings port;
    DisplayFlags flags;
    if (before)
        applyCommsSettings(*before, port, flags);
    applyCommsSettings(settings, port, flags);

    QCOMPARE(port.portName, portName);
    QCOMPARE(port.baudRateValue, baud);
    QCOMPARE(int(port.byteSizeValue), byteSize);
    QCOMPARE(int(port.parityValue), parity);
    QCOMPARE(int(port.stopBitsValue), stopBits);
    QCOMPARE(flags.scrollDown, scrollDown);
    QCOMPARE(flags.faceUp, faceUp);
}

void TestPortSettings::devicePath_data()
{
    // clang-format off
    QTest::addColumn<std::optional<QByteArray>>("file");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("expected");

    const std::optional<QByteArray> none;
    const std::optional<QByteArray> optionsOnly = QByteArray("[Options]\nCommPort=2\n");
    const std::optional<QByteArray> mapped = QByteArray("[Options]\r\n"
                                                        "CommPort=1\r\n"
                                                        "\r\n"
                                                        "[ports]\r\n"
                                                        "COM2=/dev/pts/7\r\n"
                                                        "com3 =  /dev/ttyUSB0  \r\n"
                                                        "; COM1=/dev/commented\r\n"
                                                        "COM4=\r\n");

    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("COM%1").arg(i + 1);
        QTest::addRow("no file, %s", qPrintable(name)) << none << name << defaultDevice(i);
        QTest::addRow("no [Ports], %s", qPrintable(name)) << optionsOnly << name << defaultDevice(i);
    }
    QTest::newRow("mapped COM2") << mapped << QStringLiteral("COM2") << QStringLiteral("/dev/pts/7");
    QTest::newRow("mapped lower-case key, value trimmed") << mapped << QStringLiteral("COM3") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("commented-out entry") << mapped << QStringLiteral("COM1") << defaultDevice(0);
    QTest::newRow("empty entry") << mapped << QStringLiteral("COM4") << defaultDevice(3);
    QTest::newRow("empty name, no file") << none << QString() << QString();
    QTest::newRow("empty name") << mapped << QString() << QString();
    QTest::newRow("unknown name COM5") << mapped << QStringLiteral("COM5") << QString();
    QTest::newRow("unknown name COM0") << none << QStringLiteral("COM0") << QString();
    QTest::newRow("device path is not a port name") << mapped << QStringLiteral("/dev/pts/7") << QString();
    // clang-format on
}

void TestPortSettings::devicePath()
{
    QFETCH(std::optional<QByteArray>, file);
    QFETCH(QString, portName);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    if (file)
        QVERIFY(writeFile(path, *file));
    QCOMPARE(devicePathForPort(portName, path), expected);
}

void TestPortSettings::mappingIsReadAfresh()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QCOMPARE(devicePathForPort(QStringLiteral("COM2"), path), defaultDevice(1));
    QVERIFY(writeFile(path, "[Ports]\nCOM2=/dev/pts/3\n"));
    QCOMPARE(devicePathForPort(QStringLiteral("COM2"), path), QStringLiteral("/dev/pts/3"));
    QVERIFY(writeFile(path, "[Ports]\nCOM2=/dev/pts/4\n"));
    QCOMPARE(devicePathForPort(QStringLiteral("COM2"), path), QStringLiteral("/dev/pts/4"));
}

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
