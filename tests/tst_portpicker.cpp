// The port picker of the Communications dialog: this computer's serial ports listed by their
// stable names, the chosen Com button mapped to one, and [Ports] of marvane.ini written with
// every other line kept.

#include "app/CommsOptionsDialog.h"
#include "app/MainWindow.h"
#include "app/RadioGroup.h"
#include "sources/SerialPortList.h"
#include "tests/support/Child.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Pty.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kAdapter =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0");

// Two adapters: an FTDI cable with a by-id name (now at /dev/ttyUSB0) and a modem-class device.
QList<SerialPortEntry> twoPorts()
{
    return {{kAdapter, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
             QStringLiteral("A12345")},
            {QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM0"), QString(), QString()}};
}

const QByteArray kIni = "; survey laptop\n"
                        "[Ports]\n"
                        "COM1=/dev/ttyUSB0\n"
                        "\n"
                        "[Options]\n"
                        "CommPort=2\n";

// The file after OK with the given [Ports] block, nothing else changed.
QByteArray savedWith(const QByteArray& ports)
{
    return "; survey laptop\n[Ports]\n" + ports +
           "\n[Options]\nCommPort=2\nScrollDirection=0\nOrientation=0\nBaudRate=3\n"
           "DataBits=1\nParity=0\nStopBits=0\n";
}

} // namespace

class TestPortPicker : public QObject
{
    Q_OBJECT
private slots:
    void listShowsEachPortAndTheButtonsDevice_data();
    void listShowsEachPortAndTheButtonsDevice();
    void unlistedDeviceIsShownAsItIs_data();
    void unlistedDeviceIsShownAsItIs();
    void choiceIsWrittenToPortsKeepingEveryOtherLine_data();
    void choiceIsWrittenToPortsKeepingEveryOtherLine();
    void cancelWritesNothing();
    void stablePathIsTheByIdLink();
};

void TestPortPicker::listShowsEachPortAndTheButtonsDevice_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selected");
    const QString adapter = kAdapter + QStringLiteral(" - FT232R USB UART, serial number A12345");
    const QString modem = QStringLiteral("/dev/ttyACM0");
    // COM1 is mapped to the adapter's current node: the adapter's entry stands for it.
    QTest::newRow("Com 1") << 0 << QStringList{adapter, modem} << 0;
    // COM3 keeps its default, which is not among the ports: shown first, as not found where
    // there is no such node (machines differ in the ttyS nodes they have).
    const QString ttyS2 = QStringLiteral("/dev/ttyS2");
    QTest::newRow("Com 3") << 2
                           << QStringList{QFileInfo::exists(ttyS2)
                                              ? ttyS2
                                              : ttyS2 + QStringLiteral(" (not found on this "
                                                                       "computer)"),
                                          adapter, modem}
                           << 0;
}

void TestPortPicker::unlistedDeviceIsShownAsItIs_data()
{
    QTest::addColumn<QString>("device"); // what COM2 is mapped to; "link" and "pty" are made here
    QTest::addColumn<bool>("missing");
    QTest::newRow("a pseudo-terminal") << QStringLiteral("pty") << false;
    QTest::newRow("a link to one, as a simulator's") << QStringLiteral("link") << false;
    QTest::newRow("a device not plugged in")
        << QStringLiteral("/dev/serial/by-id/usb-Prolific_PL2303_B67890-if00-port0") << true;
}

void TestPortPicker::unlistedDeviceIsShownAsItIs()
{
    QFETCH(QString, device);
    QFETCH(bool, missing);
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("marvane-sensor"));
    QVERIFY(QFile::link(pty.path(), link));
    const QString mapped = device == QStringLiteral("pty")    ? pty.path()
                           : device == QStringLiteral("link") ? link
                                                              : device;
    MainWindowFixture f("[Ports]\nCOM2=" + mapped.toLocal8Bit() + "\n");
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    d->setPortLister(twoPorts);
    f.w().commsOptionsAction->trigger();
    auto* box = child<QComboBox>(d, "deviceBox");
    // Not a port the system lists, so first, and kept: said to be missing only when it is.
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->itemData(0).toString(), mapped);
    QCOMPARE(box->currentText(),
             missing ? mapped + QStringLiteral(" (not found on this computer)") : mapped);
    child<QPushButton>(d, "okButton")->click();
    QVERIFY(f.readFile(QStringLiteral("marvane.ini"))
                .startsWith("[Ports]\nCOM2=" + mapped.toLocal8Bit() + "\n"));
}

void TestPortPicker::listShowsEachPortAndTheButtonsDevice()
{
    QFETCH(int, button);
    QFETCH(QStringList, items);
    QFETCH(int, selected);
    MainWindowFixture f(kIni);
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    d->setPortLister(twoPorts);
    f.w().commsOptionsAction->trigger();
    auto* ports = child<RadioGroup>(d, "portGroup");
    auto* box = child<QComboBox>(d, "deviceBox");
    QCOMPARE(ports->itemIndex(), 2); // CommPort=2
    ports->button(button)->click();
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    QCOMPARE(shown, items);
    QCOMPARE(box->currentIndex(), selected);
    QCOMPARE(box->toolTip(), items.at(selected)); // the whole text, however narrow the box
}

void TestPortPicker::choiceIsWrittenToPortsKeepingEveryOtherLine_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QList<int>>("keys"); // arrow keys pressed in the device list
    QTest::addColumn<QByteArray>("ports");
    const QList<int> none;
    QTest::newRow("nothing chosen") << 2 << none << QByteArray("COM1=/dev/ttyUSB0\n");
    QTest::newRow("Com 3 to the modem") << 2 << QList<int>{Qt::Key_Down, Qt::Key_Down}
                                        << QByteArray("COM1=/dev/ttyUSB0\nCOM3=/dev/ttyACM0\n");
    QTest::newRow("Com 1 to the adapter's stable name")
        << 0 << QList<int>{Qt::Key_Down, Qt::Key_Up} << "COM1=" + kAdapter.toLatin1() + "\n";
    QTest::newRow("Com 4 to the adapter")
        << 3 << QList<int>{Qt::Key_Down} << "COM1=/dev/ttyUSB0\nCOM4=" + kAdapter.toLatin1() + "\n";
}

void TestPortPicker::choiceIsWrittenToPortsKeepingEveryOtherLine()
{
    QFETCH(int, button);
    QFETCH(QList<int>, keys);
    QFETCH(QByteArray, ports);
    MainWindowFixture f(kIni);
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    d->setPortLister(twoPorts);
    f.w().commsOptionsAction->trigger();
    auto* group = child<RadioGroup>(d, "portGroup");
    group->button(button)->click();
    auto* box = child<QComboBox>(d, "deviceBox");
    for (const int key : keys)
        QTest::keyClick(box, Qt::Key(key));
    // The chosen button is left as the file had it: the mapping and the choice of port are two
    // things.
    group->button(2)->click();
    child<QPushButton>(d, "okButton")->click();
    QVERIFY(!d->isVisible());
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), savedWith(ports));
    if (!keys.isEmpty()) {
        const QString mapped = QString::fromLatin1(ports).section(QLatin1Char('\n'), -2, -2);
        QCOMPARE(group->button(button)->toolTip(), mapped.section(QLatin1Char('='), 1));
    }
}

void TestPortPicker::cancelWritesNothing()
{
    MainWindowFixture f(kIni);
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    d->setPortLister(twoPorts);
    f.w().commsOptionsAction->trigger();
    child<RadioGroup>(d, "portGroup")->button(3)->click();
    QTest::keyClick(child<QComboBox>(d, "deviceBox"), Qt::Key_Down);
    child<QPushButton>(d, "cancelButton")->click();
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), kIni);
    // Shown again, the dialog offers what the file says.
    f.w().commsOptionsAction->trigger();
    child<RadioGroup>(d, "portGroup")->button(3)->click();
    QCOMPARE(child<QComboBox>(d, "deviceBox")->currentText(),
             QStringLiteral("/dev/ttyS3 (not found on this computer)"));
}

void TestPortPicker::stablePathIsTheByIdLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("by-id")));
    const QString node = dir.filePath(QStringLiteral("ttyUSB1"));
    QFile file(node);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    const QString link = byId + QStringLiteral("/usb-Prolific_PL2303-if00-port0");
    QVERIFY(QFile::link(QStringLiteral("../ttyUSB1"), link));
    QCOMPARE(stablePortPath(node, byId), link);
    QCOMPARE(stablePortPath(dir.filePath(QStringLiteral("ttyS0")), byId),
             dir.filePath(QStringLiteral("ttyS0")));
    QCOMPARE(stablePortPath(node, dir.filePath(QStringLiteral("none"))), node);
}

QTEST_MAIN(TestPortPicker)
#include "tst_portpicker.moc"
