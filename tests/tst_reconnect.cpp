// The serial source after a dropout: the same device path is opened again once it is back (a
// udev by-id link pointing at the new node), and every record sent while connected arrives once.

#include "sources/SerialSource.h"

#include "tests/support/Pty.h"
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <QTest>

#include <pty.h>
#include <unistd.h>

namespace {

PortSettings lineSettings()
{
    PortSettings port;
    port.portName = QStringLiteral("COM1");
    port.baudRateValue = 9600;
    port.byteSizeValue = 8;
    return port;
}

bool pointLink(const QString& link, const QString& target)
{
    QFile::remove(link);
    return QFile::link(target, link);
}

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT
private slots:
    void recordsArriveOnceInOrderAcrossADropout();
    void closeStopsTheRetries();
    void withoutReconnectionTheLossIsReported();
    void recordsSentAsTheDeviceComesBackAreKept();
};

void TestReconnect::recordsArriveOnceInOrderAcrossADropout()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("usb-sensor-if00-port0"));
    auto first = std::make_unique<Pty>();
    QVERIFY(first->ok());
    QVERIFY(pointLink(link, first->path()));

    const PortSettings settings = lineSettings();
    SerialSource source;
    source.setPortSettings(settings);
    source.setTimeScale(0.02);
    source.setReconnect(true);
    QList<QByteArray> received;
    connect(&source, &SerialSource::recordsReceived, this,
            [&received](const QList<QByteArray>& records) { received.append(records); });
    QSignalSpy reconnecting(&source, &SerialSource::reconnecting);
    QSignalSpy reconnected(&source, &SerialSource::reconnected);
    QSignalSpy lost(&source, &SerialSource::deviceLost);

    QString reason;
    QVERIFY2(source.open(link, QStringLiteral("COM1"), &reason), qPrintable(reason));
    source.startPolling();

    // Whole, split across writes, several in one write.
    QVERIFY(first->send("+00001 +00515\r\n+00002 +0"));
    QVERIFY(first->send("0515\r\n+00003 +00515\r\n"));
    const QList<QByteArray> beforeLoss{"+00001 +00515", "+00002 +00515", "+00003 +00515"};
    QTRY_COMPARE(received, beforeLoss);
    // A record the dropout tears: its start is read, its end never comes from this device.
    QVERIFY(first->send("+00004 +0"));
    QTRY_VERIFY(source.framer().carried() > 0);

    first->closeMaster();
    QTRY_COMPARE(reconnecting.count(), 1);
    QCOMPARE(reconnecting.first().first().toString(), QStringLiteral("COM1"));
    QVERIFY(source.isReconnecting());
    QVERIFY(!source.isOpen());

    // The adapter comes back as a new node; its link points there.
    Pty second;
    QVERIFY(second.ok());
    QVERIFY(pointLink(link, second.path()));
    QTRY_COMPARE(reconnected.count(), 1);
    QCOMPARE(reconnected.first().first().toString(), QStringLiteral("COM1"));
    QVERIFY(source.isOpen());
    QVERIFY(!source.isReconnecting());

    // The device's first bytes would complete the torn record if they were glued to it.
    QVERIFY(second.send("0515\r\n+00005 +00515\r\n"));
    QVERIFY(second.send("+00006 +00515\r\n"));
    const QList<QByteArray> all = beforeLoss + QList<QByteArray>{"+00005 +00515", "+00006 +00515"};
    QTRY_COMPARE(received, all);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(reconnecting.count(), 1);
    source.close();
}

void TestReconnect::closeStopsTheRetries()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    Pty pty;
    QVERIFY(pty.ok());
    QVERIFY(pointLink(link, pty.path()));
    const PortSettings settings = lineSettings();
    SerialSource source;
    source.setPortSettings(settings);
    source.setTimeScale(0.02);
    source.setReconnect(true);
    QSignalSpy reconnecting(&source, &SerialSource::reconnecting);
    QString reason;
    QVERIFY2(source.open(link, QStringLiteral("COM2"), &reason), qPrintable(reason));
    source.startPolling();

    pty.closeMaster();
    QTRY_COMPARE(reconnecting.count(), 1);
    QVERIFY(source.isReconnecting());
    source.close();
    QVERIFY(!source.isReconnecting());
    QVERIFY(!source.isOpen());
}

void TestReconnect::withoutReconnectionTheLossIsReported()
{
    Pty pty;
    QVERIFY(pty.ok());
    const PortSettings settings = lineSettings();
    SerialSource source;
    source.setPortSettings(settings);
    source.setTimeScale(0.02);
    QVERIFY(!source.reconnect());
    QSignalSpy reconnecting(&source, &SerialSource::reconnecting);
    QSignalSpy lost(&source, &SerialSource::deviceLost);
    QString reason;
    QVERIFY2(source.open(pty.path(), QStringLiteral("COM3"), &reason), qPrintable(reason));
    source.startPolling();

    pty.closeMaster();
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.first().first().toString(), QStringLiteral("COM3"));
    QVERIFY(!source.isReconnecting());
    QCOMPARE(reconnecting.count(), 0);
}

void TestReconnect::recordsSentAsTheDeviceComesBackAreKept()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("usb-sensor-if00-port0"));
    auto first = std::make_unique<Pty>();
    QVERIFY(first->ok());
    QVERIFY(pointLink(link, first->path()));
    const PortSettings settings = lineSettings();
    SerialSource source;
    source.setPortSettings(settings);
    source.setTimeScale(0.02);
    source.setReconnect(true);
    QList<QByteArray> received;
    connect(&source, &SerialSource::recordsReceived, this,
            [&received](const QList<QByteArray>& records) { received.append(records); });
    QSignalSpy reconnecting(&source, &SerialSource::reconnecting);
    QSignalSpy reconnected(&source, &SerialSource::reconnected);
    QString reason;
    QVERIFY2(source.open(link, QStringLiteral("COM1"), &reason), qPrintable(reason));
    source.startPolling();
    QVERIFY(first->send("+00001 +00515\r\n"));
    QTRY_COMPARE(received, QList<QByteArray>{"+00001 +00515"});

    first->closeMaster();
    QTRY_COMPARE(reconnecting.count(), 1);

    // The device is back and talks at once, before the next retry finds it: its link appears
    // only after its first records are in the terminal.
    Pty second;
    QVERIFY(second.ok());
    termios raw = second.slaveSettings();
    ::cfmakeraw(&raw);
    QVERIFY(second.setSlaveSettings(raw));
    QVERIFY(second.send("+00002 +00515\r\n+00003 +00515\r\n"));
    QVERIFY(pointLink(link, second.path()));
    QTRY_COMPARE(reconnected.count(), 1);
    QVERIFY(second.send("+00004 +00515\r\n"));
    const QList<QByteArray> all{"+00001 +00515", "+00002 +00515", "+00003 +00515", "+00004 +00515"};
    QTRY_COMPARE(received, all);
    source.close();
}

QTEST_GUILESS_MAIN(TestReconnect)
#include "tst_reconnect.moc"
