// The serial connection end to end through a pseudo-terminal: the test holds the terminal's
// master side, where the sensor would be, and the connection opens the other side as its port.
//
// The same program doubles as "another process" for the exclusivity checks: started with
// --open, --hold or --open-as-nobody and a device path, it opens that device with a
// SerialConnection, prints OK or FAIL and the reason, and (--hold) keeps it open until its
// standard input closes.

#include "sources/SerialConnection.h"
#include "sources/SerialSource.h"

#include "tests/support/Pty.h"
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <QTest>

#include <grp.h>
#include <pty.h>
#include <stdio.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

PortSettings settings(quint32 baud = 9600, quint8 dataBits = 8, quint8 parity = 0,
                      quint8 stopBits = 0)
{
    PortSettings port;
    port.portName = QStringLiteral("COM1");
    port.baudRateValue = baud;
    port.byteSizeValue = dataBits;
    port.parityValue = parity;
    port.stopBitsValue = stopBits;
    return port;
}

double cpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct ChildResult
{
    bool opened = false;
    QString reason;
};

// Runs this program as another process that tries to open the device.
ChildResult openInChild(const QString& mode, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {mode, path});
    child.closeWriteChannel();
    if (!child.waitForFinished(20000))
        return {};
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    return {out.startsWith(QStringLiteral("OK\n")), out.section(QLatin1Char('\n'), 1).trimmed()};
}

} // namespace

Q_DECLARE_METATYPE(PortSettings)
Q_DECLARE_METATYPE(std::optional<QSerialPort::DataBits>)
Q_DECLARE_METATYPE(std::optional<QSerialPort::Parity>)
Q_DECLARE_METATYPE(std::optional<QSerialPort::StopBits>)
Q_DECLARE_METATYPE(std::optional<qint32>)

class TestSerial : public QObject
{
    Q_OBJECT
private slots:
    void pollReturnsTheBytesTheSensorSent();
    void pollGathersWhatArrivedInSeveralWrites();
    void nulBytesAreDropped();
    void pollOfAClosedPortIsEmpty();
    void secondOpenInThisProgramFails();
    void secondOpenThroughALinkFails();
    void openInAnotherProcessFails();
    void deviceHeldByAnotherProcessNamesIt();
    void missingDeviceNamesPathAndMapping_data();
    void missingDeviceNamesPathAndMapping();
    void fileThatIsNoDeviceIsRefused();
    void emptyPathIsRefused();
    void permissionDeniedNamesTheGroup();
    void openingAnotherDeviceReplacesTheConnection();
    void closeReleasesTheDevice();
    void lineSettingsMapping_data();
    void lineSettingsMapping();
    void pollWritesSpeedAndStopBits_data();
    void pollWritesSpeedAndStopBits();
    void zeroBaudKeepsThePreviousSpeed();
    void receivedParityIsNotChecked_data();
    void receivedParityIsNotChecked();
    void otherEndClosingIsReportedOnce();
    void vanishedPathIsNoticedAtNextPoll();
    void closeBeforeTheNoticeCancelsIt();
    void bytesReadBeforeTheDeviceWentAreStillReturned_data();
    void bytesReadBeforeTheDeviceWentAreStillReturned();
    void recordsOfTheLastBurstComeOutBeforeTheLoss();
    void bytesWaitingBeforeConnectNeverComeOut();
    void lineParametersAreWrittenWhenThePortOpens_data();
    void lineParametersAreWrittenWhenThePortOpens();
};

void TestSerial::pollReturnsTheBytesTheSensorSent()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    QVERIFY(port.isOpen());
    QCOMPARE(port.devicePath(), pty.path());

    // Bytes arrive exactly as sent: no CR to LF translation, no echo, nothing added.
    QVERIFY(pty.send("+00015 +00515\r\n"));
    QByteArray received;
    QTRY_COMPARE((received += port.poll(), received), QByteArray("+00015 +00515\r\n"));
    QCOMPARE(port.poll(), QByteArray());
}

void TestSerial::pollGathersWhatArrivedInSeveralWrites()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    QVERIFY(pty.send("+00015 +0"));
    QVERIFY(pty.send("0515\r\n+0.015"));
    QVERIFY(pty.send(" +0.515\r\n"));
    QByteArray received;
    QTRY_COMPARE((received += port.poll(), received),
                 QByteArray("+00015 +00515\r\n+0.015 +0.515\r\n"));
}

void TestSerial::nulBytesAreDropped()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    // '@' stands for NUL, which a string literal cannot hold in the middle.
    QVERIFY(pty.send(QByteArray("@+000@@15 +00515\r\n@").replace('@', '\0')));
    QByteArray received;
    QTRY_COMPARE((received += port.poll(), received), QByteArray("+00015 +00515\r\n"));
}

void TestSerial::pollOfAClosedPortIsEmpty()
{
    SerialConnection port;
    QVERIFY(!port.isOpen());
    QCOMPARE(port.poll(), QByteArray());
    port.close(); // closing what is not open does nothing
    QVERIFY(!port.isOpen());
}

void TestSerial::secondOpenInThisProgramFails()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection first;
    QString reason;
    QVERIFY2(first.open(pty.path(), &reason), qPrintable(reason));

    SerialConnection second;
    QVERIFY(!second.open(pty.path(), &reason));
    QVERIFY(!second.isOpen());
    QCOMPARE(reason, pty.path() + QStringLiteral(" is already open in this program."));

    // The same connection asked again fails the same way and keeps running.
    QVERIFY(!first.open(pty.path(), &reason));
    QCOMPARE(reason, pty.path() + QStringLiteral(" is already open in this program."));
    QVERIFY(first.isOpen());
    QVERIFY(pty.send("+00015 +00515\r\n"));
    QByteArray received;
    QTRY_COMPARE((received += first.poll(), received), QByteArray("+00015 +00515\r\n"));
}

void TestSerial::secondOpenThroughALinkFails()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    QVERIFY(QFile::link(pty.path(), link));

    SerialConnection first;
    QString reason;
    QVERIFY2(first.open(pty.path(), &reason), qPrintable(reason));
    // The lock file is named after the path, so only the lock on the device itself stops this.
    SerialConnection second;
    QVERIFY(!second.open(link, &reason));
    QVERIFY2(reason.startsWith(link + QStringLiteral(" is already open in this program")),
             qPrintable(reason));
}

void TestSerial::openInAnotherProcessFails()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));

    const ChildResult child = openInChild(QStringLiteral("--open"), pty.path());
    QVERIFY(!child.opened);
    QCOMPARE(child.reason, QStringLiteral("%1 is in use by tst_serial (process %2).")
                               .arg(pty.path())
                               .arg(QCoreApplication::applicationPid()));
}

void TestSerial::deviceHeldByAnotherProcessNamesIt()
{
    Pty pty;
    QVERIFY(pty.ok());
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), pty.path()});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 20000);
    QCOMPARE(holder.readLine(), QByteArray("OK\n"));

    SerialConnection port;
    QString reason;
    QVERIFY(!port.open(pty.path(), &reason));
    QCOMPARE(reason, QStringLiteral("%1 is in use by tst_serial (process %2).")
                         .arg(pty.path())
                         .arg(holder.processId()));

    // Once the other program lets go, the port opens.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(20000));
    QCOMPARE(holder.exitCode(), 0);
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
}

void TestSerial::missingDeviceNamesPathAndMapping_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("hint");
    QTest::newRow("port named")
        << QStringLiteral("COM3")
        << QStringLiteral("COM3 can be mapped to another device in the [Ports] section of "
                          "marvane.ini, for example COM3=/dev/ttyUSB0.");
    QTest::newRow("port not named")
        << QString()
        << QStringLiteral("Each of COM1 to COM4 can be mapped to another device in the [Ports] "
                          "section of marvane.ini, for example COM1=/dev/ttyUSB0.");
    // A device path given as the port: nothing to map.
    QTest::newRow("device path given") << QStringLiteral("/dev/ttyUSB7") << QString();
}

void TestSerial::missingDeviceNamesPathAndMapping()
{
    QFETCH(QString, portName);
    QFETCH(QString, hint);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ttyUSB7"));
    SerialConnection port;
    QString reason;
    QVERIFY(!port.open(path, &reason, portName));
    QVERIFY(!port.isOpen());
    QCOMPARE(reason, QStringLiteral("No such device: %1.").arg(path) +
                         (hint.isEmpty() ? QString() : QStringLiteral("\n") + hint));
}

void TestSerial::fileThatIsNoDeviceIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("plain"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    SerialConnection port;
    QString reason;
    QVERIFY(!port.open(path, &reason));
    QCOMPARE(reason, path + QStringLiteral(" is not a serial device."));
}

void TestSerial::emptyPathIsRefused()
{
    SerialConnection port;
    QString reason;
    QVERIFY(!port.open(QString(), &reason));
    QCOMPARE(reason, QStringLiteral("No device is mapped to this port."));
}

void TestSerial::permissionDeniedNamesTheGroup()
{
    if (::geteuid() != 0)
        QSKIP("needs root to hand the device to a group and to run a child as nobody");
    const struct group* dialout = ::getgrnam("dialout");
    if (!dialout)
        QSKIP("this system has no group dialout");
    Pty pty;
    QVERIFY(pty.ok());
    const QByteArray path = QFile::encodeName(pty.path());
    QCOMPARE(::chown(path.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), 0660), 0);

    const ChildResult child = openInChild(QStringLiteral("--open-as-nobody"), pty.path());
    QVERIFY(!child.opened);
    QCOMPARE(child.reason, QStringLiteral("Permission denied for %1.\n"
                                          "Add your user to the group dialout and log in again.")
                               .arg(pty.path()));

    // Readable by no group: nothing to join.
    QCOMPARE(::chmod(path.constData(), 0600), 0);
    const ChildResult again = openInChild(QStringLiteral("--open-as-nobody"), pty.path());
    QVERIFY(!again.opened);
    QCOMPARE(again.reason, QStringLiteral("Permission denied for %1.").arg(pty.path()));
}

void TestSerial::openingAnotherDeviceReplacesTheConnection()
{
    Pty first;
    Pty second;
    QVERIFY(first.ok() && second.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(first.path(), &reason), qPrintable(reason));
    QVERIFY2(port.open(second.path(), &reason), qPrintable(reason));
    QCOMPARE(port.devicePath(), second.path());

    // The first device is free again, and the connection reads the second.
    SerialConnection other;
    QVERIFY2(other.open(first.path(), &reason), qPrintable(reason));
    QVERIFY(second.send("+00015 +00515\r\n"));
    QByteArray received;
    QTRY_COMPARE((received += port.poll(), received), QByteArray("+00015 +00515\r\n"));
}

void TestSerial::closeReleasesTheDevice()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    port.close();
    QVERIFY(!port.isOpen());
    QCOMPARE(port.poll(), QByteArray());

    const ChildResult child = openInChild(QStringLiteral("--open"), pty.path());
    QVERIFY2(child.opened, qPrintable(child.reason));
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
}

void TestSerial::lineSettingsMapping_data()
{
    QTest::addColumn<PortSettings>("port");
    QTest::addColumn<std::optional<qint32>>("baudRate");
    QTest::addColumn<std::optional<QSerialPort::DataBits>>("dataBits");
    QTest::addColumn<std::optional<QSerialPort::Parity>>("parity");
    QTest::addColumn<std::optional<QSerialPort::StopBits>>("stopBits");
    using S = QSerialPort;
    QTest::newRow("9600 8N1") << settings(9600, 8, 0, 0) << std::optional<qint32>(9600)
                              << std::optional(S::Data8) << std::optional(S::NoParity)
                              << std::optional(S::OneStop);
    QTest::newRow("2400 7 odd 1.5")
        << settings(2400, 7, 1, 1) << std::optional<qint32>(2400) << std::optional(S::Data7)
        << std::optional(S::OddParity) << std::optional(S::OneAndHalfStop);
    QTest::newRow("115200 7 even 2")
        << settings(115200, 7, 2, 2) << std::optional<qint32>(115200) << std::optional(S::Data7)
        << std::optional(S::EvenParity) << std::optional(S::TwoStop);
    QTest::newRow("baud 0 not applied")
        << settings(0, 8, 0, 0) << std::optional<qint32>() << std::optional(S::Data8)
        << std::optional(S::NoParity) << std::optional(S::OneStop);
    QTest::newRow("19200 8 mark 1")
        << settings(19200, 8, 3, 0) << std::optional<qint32>(19200) << std::optional(S::Data8)
        << std::optional(S::MarkParity) << std::optional(S::OneStop);
    QTest::newRow("19200 8 space 1")
        << settings(19200, 8, 4, 0) << std::optional<qint32>(19200) << std::optional(S::Data8)
        << std::optional(S::SpaceParity) << std::optional(S::OneStop);
    QTest::newRow("codes out of range not applied")
        << settings(4800, 9, 5, 3) << std::optional<qint32>(4800) << std::optional<S::DataBits>()
        << std::optional<S::Parity>() << std::optional<S::StopBits>();
    QTest::newRow("before the first apply")
        << PortSettings() << std::optional<qint32>() << std::optional<S::DataBits>()
        << std::optional(S::NoParity) << std::optional(S::OneStop);
}

void TestSerial::lineSettingsMapping()
{
    QFETCH(PortSettings, port);
    QFETCH(std::optional<qint32>, baudRate);
    QFETCH(std::optional<QSerialPort::DataBits>, dataBits);
    QFETCH(std::optional<QSerialPort::Parity>, parity);
    QFETCH(std::optional<QSerialPort::StopBits>, stopBits);
    const QtLineSettings line = qtLineSettings(port);
    QCOMPARE(line.baudRate, baudRate);
    QCOMPARE(line.dataBits, dataBits);
    QCOMPARE(line.parity, parity);
    QCOMPARE(line.stopBits, stopBits);
}

void TestSerial::pollWritesSpeedAndStopBits_data()
{
    // A pseudo-terminal keeps the speed and the stop bits it is given (it forces 8 bits and no
    // parity), so those are what can be seen arriving at the device.
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<quint8>("stopBits");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStopBits");
    QTest::newRow("2400, 1") << 2400u << quint8(0) << speed_t(B2400) << false;
    QTest::newRow("19200, 2") << 19200u << quint8(2) << speed_t(B19200) << true;
    QTest::newRow("115200, 1.5 applied as 1") << 115200u << quint8(1) << speed_t(B115200) << false;
}

void TestSerial::pollWritesSpeedAndStopBits()
{
    QFETCH(quint32, baud);
    QFETCH(quint8, stopBits);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStopBits);
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    // Start from the opposite, so each poll has something to change.
    port.applyParameters(settings(4800, 8, 0, twoStopBits ? 0 : 2));
    const termios before = pty.slaveSettings();
    QCOMPARE(::cfgetispeed(&before), speed_t(B4800));

    port.applyParameters(settings(baud, 7, 1, stopBits));
    const termios tio = pty.slaveSettings();
    QCOMPARE(::cfgetispeed(&tio), speed);
    QCOMPARE(::cfgetospeed(&tio), speed);
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBits);
    QVERIFY(port.isOpen());
}

void TestSerial::zeroBaudKeepsThePreviousSpeed()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    port.applyParameters(settings(38400));
    const termios before = pty.slaveSettings();
    QCOMPARE(::cfgetispeed(&before), speed_t(B38400));
    port.applyParameters(settings(0, 8, 0, 2));
    const termios tio = pty.slaveSettings();
    QCOMPARE(::cfgetispeed(&tio), speed_t(B38400));
    QVERIFY(tio.c_cflag & CSTOPB); // the rest of the parameters still went through
    QVERIFY(port.isOpen());
}

void TestSerial::receivedParityIsNotChecked_data()
{
    QTest::addColumn<quint8>("parity");
    QTest::newRow("none") << quint8(0);
    QTest::newRow("odd") << quint8(1);
    QTest::newRow("even") << quint8(2);
}

void TestSerial::receivedParityIsNotChecked()
{
    // A pseudo-terminal has no parity errors to show; what decides whether a byte with a
    // parity error is dropped, marked or passed on is the line's input flags.
    QFETCH(quint8, parity);
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    const auto check = [&pty] {
        const tcflag_t iflag = pty.slaveSettings().c_iflag;
        return !(iflag & (INPCK | IGNPAR | PARMRK | ISTRIP));
    };
    QVERIFY(check());
    port.applyParameters(settings(9600, 7, parity, 0));
    QVERIFY(check());
    QVERIFY(!(pty.slaveSettings().c_iflag & (IXON | IXOFF)));
    QVERIFY(!(pty.slaveSettings().c_cflag & CRTSCTS));
}

void TestSerial::otherEndClosingIsReportedOnce()
{
    Pty pty;
    QVERIFY(pty.ok());
    SerialConnection port;
    QSignalSpy lost(&port, &SerialConnection::deviceLost);
    QString reason;
    QVERIFY2(port.open(pty.path(), &reason), qPrintable(reason));
    port.poll();

    pty.closeMaster(); // the adapter is pulled out
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!port.isOpen());
    QCOMPARE(lost.at(0).at(0).toString(),
             QStringLiteral("The serial device %1 stopped working (was the adapter unplugged?). "
                            "The port has been closed.")
                 .arg(pty.path()));

    // A port left open here would signal without pause and keep a core busy. This is an
    // observation window, not a wait for something to happen.
    const double cpuBefore = cpuSeconds();
    QTest::qWait(300);
    QVERIFY2(cpuSeconds() - cpuBefore < 0.15,
             qPrintable(QString::number(cpuSeconds() - cpuBefore)));
    QCOMPARE(port.poll(), QByteArray());
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
}

void TestSerial::vanishedPathIsNoticedAtNextPoll()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    QVERIFY(QFile::link(pty.path(), link));

    SerialConnection port;
    QSignalSpy lost(&port, &SerialConnection::deviceLost);
    QString reason;
    QVERIFY2(port.open(link, &reason), qPrintable(reason));
    QVERIFY(pty.send("+00015"));
    QByteArray received;
    QTRY_COMPARE((received += port.poll(), received), QByteArray("+00015"));

    QVERIFY(QFile::remove(link));
    QCOMPARE(port.poll(), QByteArray());
    QVERIFY(!port.isOpen());
    QCOMPARE(lost.count(), 0); // the notice comes from the event loop, not from inside poll()
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(),
             QStringLiteral("The serial device %1 is no longer there (was the adapter "
                            "unplugged?). The port has been closed.")
                 .arg(link));
    QCOMPARE(port.poll(), QByteArray());
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
}

void TestSerial::closeBeforeTheNoticeCancelsIt()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    QVERIFY(QFile::link(pty.path(), link));

    SerialConnection port;
    QSignalSpy lost(&port, &SerialConnection::deviceLost);
    QString reason;
    QVERIFY2(port.open(link, &reason), qPrintable(reason));
    QVERIFY(QFile::remove(link));
    QCOMPARE(port.poll(), QByteArray());
    port.close(); // the operator's Disconnect got there first
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 0);

    // A new connection is not told about the old one's loss either.
    QVERIFY(QFile::link(pty.path(), link));
    QVERIFY2(port.open(link, &reason), qPrintable(reason));
    QVERIFY(QFile::remove(link));
    QCOMPARE(port.poll(), QByteArray());
    QVERIFY(port.open(pty.path(), &reason));
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 0);
}

void TestSerial::bytesReadBeforeTheDeviceWentAreStillReturned_data()
{
    QTest::addColumn<bool>("removeLink"); // else the other end closes (the adapter is pulled)
    QTest::newRow("other end closes") << false;
    QTest::newRow("device path vanishes") << true;
}

void TestSerial::bytesReadBeforeTheDeviceWentAreStillReturned()
{
    QFETCH(bool, removeLink);
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    QVERIFY(QFile::link(pty.path(), link));

    SerialConnection port;
    QSignalSpy lost(&port, &SerialConnection::deviceLost);
    QString reason;
    QVERIFY2(port.open(link, &reason), qPrintable(reason));
    port.poll();

    // A burst the event loop has fetched from the device, then the device goes before the
    // next poll.
    const QByteArray burst("+00015 +00515\r\n+00016 +00516\r\n");
    QVERIFY(pty.send(burst));
    QTRY_COMPARE(port.bytesFetched(), qint64(burst.size()));
    if (removeLink)
        QVERIFY(QFile::remove(link));
    else
        pty.closeMaster();

    // Polls go on as the timer would run them until the loss is noticed and told.
    QByteArray received;
    QTRY_VERIFY((received += port.poll(), !port.isOpen()));
    QTRY_COMPARE(lost.count(), 1);
    received += port.poll();
    QCOMPARE(received, burst);
    QCOMPARE(port.poll(), QByteArray()); // handed out once
}

void TestSerial::recordsOfTheLastBurstComeOutBeforeTheLoss()
{
    Pty pty;
    QVERIFY(pty.ok());
    const PortSettings line = settings();
    SerialSource source;
    source.setPortSettings(line);
    QStringList events;
    connect(&source, &SerialSource::recordsReceived, this, [&](const QList<QByteArray>& records) {
        for (const QByteArray& record : records)
            events << QString::fromLatin1(record);
    });
    connect(&source, &SerialSource::deviceLost, this,
            [&](const QString& port, const QString&) { events << QStringLiteral("lost ") + port; });
    QString reason;
    QVERIFY2(source.open(pty.path(), QStringLiteral("COM1"), &reason), qPrintable(reason));
    // No poll runs between the burst and the loss: the poll timer is not started. The records
    // are framed as they arrive and wait for the poll.
    QVERIFY(pty.send("+00015 +00515\r\n+0.016 +0.516\r\n"));
    QTRY_COMPARE(source.recordsWaiting(), 2);
    pty.closeMaster();
    QTRY_COMPARE(events.size(), 3);
    QCOMPARE(events, (QStringList{QStringLiteral("+00015 +00515"), QStringLiteral("+0.016 +0.516"),
                                  QStringLiteral("lost COM1")}));
    QVERIFY(!source.isOpen());
}

void TestSerial::bytesWaitingBeforeConnectNeverComeOut()
{
    Pty pty;
    QVERIFY(pty.ok());
    // The sensor talks into a port nobody has open yet.
    QVERIFY(pty.send("+00001 +00001\r\n+00002 +0"));
    SerialConnection port;
    QString reason;
    const PortSettings line = settings();
    QVERIFY2(port.open(pty.path(), &reason, QStringLiteral("COM1"), &line), qPrintable(reason));
    QVERIFY(pty.send("+00003 +00003\r\n"));
    QByteArray received;
    QTRY_VERIFY((received += port.poll(), received.endsWith("\r\n")));
    QCOMPARE(received, QByteArray("+00003 +00003\r\n"));
}

void TestSerial::lineParametersAreWrittenWhenThePortOpens_data()
{
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<quint8>("stopBits");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStopBits");
    QTest::newRow("4800, 2") << 4800u << quint8(2) << speed_t(B4800) << true;
    QTest::newRow("57600, 1") << 57600u << quint8(0) << speed_t(B57600) << false;
}

void TestSerial::lineParametersAreWrittenWhenThePortOpens()
{
    QFETCH(quint32, baud);
    QFETCH(quint8, stopBits);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStopBits);
    Pty pty;
    QVERIFY(pty.ok());
    // Start from the opposite of what the connection is to set.
    termios start = pty.slaveSettings();
    ::cfsetispeed(&start, B2400);
    ::cfsetospeed(&start, B2400);
    start.c_cflag = twoStopBits ? (start.c_cflag & ~tcflag_t(CSTOPB)) : (start.c_cflag | CSTOPB);
    QVERIFY(pty.setSlaveSettings(start));

    SerialConnection port;
    QString reason;
    const PortSettings line = settings(baud, 8, 0, stopBits);
    QVERIFY2(port.open(pty.path(), &reason, QStringLiteral("COM1"), &line), qPrintable(reason));
    // Before any poll.
    const termios tio = pty.slaveSettings();
    QCOMPARE(::cfgetispeed(&tio), speed);
    QCOMPARE(::cfgetospeed(&tio), speed);
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBits);
}

namespace {

int childMain(int argc, char* argv[])
{
    const QByteArray mode = argv[1];
    if (mode == "--open-as-nobody") {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 3;
    }
    QCoreApplication app(argc, argv);
    SerialConnection port;
    QString reason;
    if (!port.open(QString::fromLocal8Bit(argv[2]), &reason)) {
        ::printf("FAIL\n%s\n", reason.toLocal8Bit().constData());
        return 1;
    }
    ::printf("OK\n");
    ::fflush(stdout);
    if (mode == "--hold") {
        char c;
        while (::read(STDIN_FILENO, &c, 1) > 0) {
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && (qstrcmp(argv[1], "--open") == 0 || qstrcmp(argv[1], "--hold") == 0 ||
                      qstrcmp(argv[1], "--open-as-nobody") == 0))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestSerial test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serial.moc"
