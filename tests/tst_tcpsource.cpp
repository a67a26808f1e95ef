// A sensor on the network: the source read from a device server in raw TCP mode, played here by
// a loopback server the test starts on a free port; and the live session on such a source.

#include "sources/TcpSource.h"
#include "logformat/DataFileFormat.h"
#include "history/LiveHistory.h"
#include "session/NoDataWatch.h"
#include "sensor/SampleSink.h"
#include "session/LiveSession.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// The device server: listens on loopback and hands the bytes it is given to its clients.
class DeviceServer
{
public:
    // port 0: any free port.
    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }
    QString address() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port()); }

    // Waits for a client to connect; false when none came.
    bool waitForClient()
    {
        // In the event loop: the source under test connects from it.
        if (!m_server.hasPendingConnections()) {
            QSignalSpy connected(&m_server, &QTcpServer::newConnection);
            if (!connected.wait(5000))
                return false;
        }
        m_client = m_server.nextPendingConnection();
        return m_client != nullptr;
    }
    void send(const QByteArray& bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }
    // The server goes away: its client connection and its port.
    void goAway()
    {
        if (m_client) {
            m_client->flush();
            m_client->disconnectFromHost();
            if (m_client->state() != QAbstractSocket::UnconnectedState)
                m_client->waitForDisconnected(2000);
            m_client = nullptr;
        }
        m_server.close();
    }

private:
    QTcpServer m_server;
    QTcpSocket* m_client = nullptr; // owned by the server
};

// A port nothing listens on: one the system gave a moment ago and took back.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

class Tape : public SampleSink
{
public:
    void takeBatch(const SampleBatch& batch) override { samples += batch; }
    void takeEvent(const SessionEvent& event) override { events << event.kind; }
    SampleBatch samples;
    QList<SessionEvent::Kind> events;
};

} // namespace

class TestTcpSource : public QObject
{
    Q_OBJECT
private slots:
    void addressIsReadOrRefused_data();
    void addressIsReadOrRefused();
    void recordSplitAcrossReadsIsDecodedOnceAndStampedAtItsLineEnd();
    void recordsAreHandedOutAtThePoll();
    void serverGoingAwayAndComingBackReconnects();
    void connectionRefusedWithoutReconnectionIsALoss();
    void retriesWaitLongerUpToTheLongestPause();
    void sessionRecordsASensorOnTheNetwork();
};

void TestTcpSource::addressIsReadOrRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("why"); // part of the reason when refused
    QTest::newRow("IPv4") << "tcp://192.168.1.20:4001"
                          << "192.168.1.20" << 4001 << "";
    QTest::newRow("host name") << "tcp://buoy-7.local:10001"
                               << "buoy-7.local" << 10001 << "";
    QTest::newRow("IPv6") << "tcp://[::1]:4001"
                          << "::1" << 4001 << "";
    QTest::newRow("scheme in capitals") << "TCP://10.0.0.5:23"
                                        << "10.0.0.5" << 23 << "";
    QTest::newRow("slash after the port") << "tcp://10.0.0.5:23/"
                                          << "10.0.0.5" << 23 << "";
    QTest::newRow("no port") << "tcp://10.0.0.5"
                             << "" << 0 << "the port is missing";
    QTest::newRow("port 0") << "tcp://10.0.0.5:0"
                            << "" << 0 << "the port is missing";
    QTest::newRow("port too big") << "tcp://10.0.0.5:65536"
                                  << "" << 0 << "cannot be read";
    QTest::newRow("no host") << "tcp://:4001"
                             << "" << 0 << "the host is missing";
    QTest::newRow("a path") << "tcp://10.0.0.5:4001/x"
                            << "" << 0 << "only a host and a port may follow tcp://";
    QTest::newRow("user") << "tcp://me@10.0.0.5:4001"
                          << "" << 0 << "only a host and a port may follow tcp://";
    QTest::newRow("a serial port") << "COM1"
                                   << "" << 0 << "it does not begin with tcp://";
}

void TestTcpSource::addressIsReadOrRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, why);
    QString readHost;
    quint16 readPort = 0;
    QString reason;
    const bool ok = TcpSource::parseAddress(name, &readHost, &readPort, &reason);
    QCOMPARE(ok, !host.isEmpty());
    if (ok) {
        QCOMPARE(readHost, host);
        QCOMPARE(int(readPort), port);
        return;
    }
    QVERIFY2(reason.startsWith(name + QStringLiteral(" is not a network address: ")),
             qPrintable(reason));
    QVERIFY2(reason.contains(why), qPrintable(reason));
    // A refused address is told at once, and nothing is opened.
    TcpSource source;
    QVERIFY(!source.open(name, &reason));
    QVERIFY(!source.isOpen());
}

void TestTcpSource::recordSplitAcrossReadsIsDecodedOnceAndStampedAtItsLineEnd()
{
    DeviceServer server;
    QVERIFY(server.listen());
    TcpSource source;
    qint64 now = 1000;
    source.setClock([&now] { return now; });
    QString reason;
    QVERIFY2(source.open(server.address(), &reason), qPrintable(reason));
    QVERIFY(server.waitForClient());
    QTRY_VERIFY(source.isConnected());

    // The record's first half, and a NUL byte the serial line would have dropped.
    server.send(QByteArray("+0.515 -", 8) + QByteArray(1, '\0'));
    QTRY_COMPARE(source.framer().carried(), qsizetype(8));
    QCOMPARE(source.recordsWaiting(), 0); // nothing before its line end
    now = 2000;
    server.send("0.020\r\n+0.100 +0.2");
    QTRY_COMPARE(source.recordsWaiting(), 1);
    now = 3000;
    server.send("00\r\n");
    QTRY_COMPARE(source.recordsWaiting(), 2);

    QSignalSpy received(&source, &LiveSource::recordsReceived);
    source.poll();
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).value<QList<QByteArray>>(),
             (QList<QByteArray>{"+0.515 -0.020", "+0.100 +0.200"}));
    QCOMPARE(received.at(0).at(1).value<QList<qint64>>(), (QList<qint64>{2000, 3000}));
    source.close();
}

void TestTcpSource::recordsAreHandedOutAtThePoll()
{
    DeviceServer server;
    QVERIFY(server.listen());
    TcpSource source;
    source.setTimeScale(0.05); // a poll every 45 ms
    QSignalSpy received(&source, &LiveSource::recordsReceived);
    QString reason;
    QVERIFY2(source.open(server.address(), &reason), qPrintable(reason));
    source.start();
    QVERIFY(server.waitForClient());
    server.send("+00015 +00515\r\n+00016 +00516\r\n");
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).value<QList<QByteArray>>(),
             (QList<QByteArray>{"+00015 +00515", "+00016 +00516"}));
    // Nothing arrived: no empty hand-out.
    QTest::qWait(150);
    QCOMPARE(received.count(), 1);
}

void TestTcpSource::serverGoingAwayAndComingBackReconnects()
{
    DeviceServer server;
    QVERIFY(server.listen());
    const quint16 port = server.port();
    const QString address = server.address();
    TcpSource source;
    source.setTimeScale(0.01); // first retry after 10 ms
    source.setReconnect(true);
    QList<QByteArray> records;
    QStringList order;
    connect(&source, &LiveSource::recordsReceived, this,
            [&](const QList<QByteArray>& got, const QList<qint64>&) {
                records += got;
                order << QStringLiteral("records");
            });
    QSignalSpy reconnecting(&source, &LiveSource::reconnecting);
    QSignalSpy reconnected(&source, &LiveSource::reconnected);
    QSignalSpy lost(&source, &LiveSource::deviceLost);
    connect(&source, &LiveSource::reconnecting, this, [&] { order << QStringLiteral("lost"); });
    QString reason;
    QVERIFY2(source.open(server.address(), &reason), qPrintable(reason));
    source.start();
    QVERIFY(server.waitForClient());

    // A last whole record, and one the loss cuts short: its first half must not be completed by
    // what the server sends once it is back ("+0.6" and "00 +0.100" would make a record).
    server.send("+0.515 -0.020\r\n+0.6");
    QTRY_COMPARE(source.framer().carried(), qsizetype(4));
    server.goAway();
    QTRY_COMPARE(reconnecting.count(), 1);
    QVERIFY(source.isReconnecting());
    QVERIFY(source.isOpen());
    QCOMPARE(reconnecting.at(0).at(0).toString(), address);
    QVERIFY(!reconnecting.at(0).at(1).toString().isEmpty());
    // The record before the loss is handed out before the loss is told.
    QCOMPARE(order, (QStringList{QStringLiteral("records"), QStringLiteral("lost")}));
    QCOMPARE(records, (QList<QByteArray>{"+0.515 -0.020"}));

    // Still away for a while: tried again, told once.
    QTest::qWait(100);
    QCOMPARE(reconnecting.count(), 1);
    QCOMPARE(reconnected.count(), 0);

    QVERIFY(server.listen(port));
    QVERIFY(server.waitForClient());
    QTRY_COMPARE(reconnected.count(), 1);
    QCOMPARE(reconnected.at(0).at(0).toString(), server.address());
    QVERIFY(!source.isReconnecting());
    server.send("00 +0.100\r\n+0.200 -0.300\r\n");
    QTRY_COMPARE(records.size(), 2);
    QCOMPARE(records.last(), QByteArray("+0.200 -0.300"));
    QCOMPARE(lost.count(), 0);
    source.close();
    QVERIFY(!source.isOpen());
}

void TestTcpSource::connectionRefusedWithoutReconnectionIsALoss()
{
    const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(closedPort());
    TcpSource source;
    QSignalSpy lost(&source, &LiveSource::deviceLost);
    QSignalSpy reconnecting(&source, &LiveSource::reconnecting);
    QString reason;
    // Opening does not wait for the connection: it is made in the background.
    QVERIFY2(source.open(address, &reason), qPrintable(reason));
    QVERIFY(source.isOpen());
    source.start();
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(), address);
    QVERIFY2(lost.at(0).at(1).toString().contains(QStringLiteral("refused")),
             qPrintable(lost.at(0).at(1).toString()));
    QVERIFY(!source.isOpen());
    QCOMPARE(reconnecting.count(), 0);
}

void TestTcpSource::retriesWaitLongerUpToTheLongestPause()
{
    TcpSource source;
    source.setTimeScale(0.001); // the pauses of 1 s to 30 s last 1 ms to 30 ms
    source.setReconnect(true);
    QSignalSpy reconnecting(&source, &LiveSource::reconnecting);
    QList<int> delays;
    // The first pause, as it is set when the loss is told.
    connect(&source, &LiveSource::reconnecting, this,
            [&delays, &source] { delays << source.retryDelay(); });
    QString reason;
    QVERIFY2(source.open(QStringLiteral("tcp://127.0.0.1:%1").arg(closedPort()), &reason),
             qPrintable(reason));
    source.start();
    QTRY_VERIFY(!delays.isEmpty());
    QCOMPARE(delays.first(), TcpSource::kFirstRetry);
    // Then each pause seen: a busy machine may let several attempts pass between two looks.
    QEventLoop loop;
    QElapsedTimer waited;
    waited.start();
    while (delays.last() != TcpSource::kLongestRetry && waited.elapsed() < 10000) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
        if (source.retryDelay() != delays.last())
            delays << source.retryDelay();
    }
    // Doubled at every failure, never beyond the longest pause; the loss told once.
    QCOMPARE(delays.last(), TcpSource::kLongestRetry);
    for (int i = 1; i < delays.size(); ++i) {
        QVERIFY2(delays.at(i) > delays.at(i - 1), "the pauses only grow");
        int doubled = delays.at(i - 1);
        while (doubled < delays.at(i) && doubled < TcpSource::kLongestRetry)
            doubled = qMin(doubled * 2, TcpSource::kLongestRetry);
        QCOMPARE(delays.at(i), doubled);
    }
    QTest::qWait(100);
    QCOMPARE(source.retryDelay(), TcpSource::kLongestRetry);
    QCOMPARE(reconnecting.count(), 1);
    // Turning reconnection off while waiting makes the loss final.
    QSignalSpy lost(&source, &LiveSource::deviceLost);
    source.setReconnect(false);
    QCOMPARE(lost.count(), 1);
    QVERIFY(!source.isOpen());
}

void TestTcpSource::sessionRecordsASensorOnTheNetwork()
{
    DeviceServer server;
    QVERIFY(server.listen());
    LiveSession session(nullptr);
    session.setTimeScale(0.05);
    Tape tape;
    session.addSink(&tape);
    QString reason;
    QVERIFY2(session.openSource(&reason, server.address()), qPrintable(reason));
    session.startSource();
    QVERIFY(session.isConnected());
    QCOMPARE(session.portName(), server.address());
    QCOMPARE(session.source().kind(), SampleSource::Live);
    QVERIFY(!session.lineSettings()); // the device server keeps the line's parameters
    QVERIFY(session.noDataWatch().isWatching());
    QVERIFY(server.waitForClient());
    server.send("+00015 +00515\r\n");
    QTRY_COMPARE(tape.samples.size(), 1);
    // A live sample like any from the serial port: history and the no-data watch take it.
    QCOMPARE(tape.samples.first().source, SampleSource::Live);
    QCOMPARE(session.history().series().recordCount(), qint64(1));

    // The data file names the network source, without line parameters it does not know.
    const QStringList head = dataFileComments(session.dataFileHeader(QString()));
    QVERIFY2(
        head.contains(QStringLiteral("Port: ") + server.address() + QStringLiteral(" (raw TCP)")),
        qPrintable(head.join(QLatin1Char('|'))));

    // The server goes away: the session hears of the loss and of the return, and the no-data
    // watch waits meanwhile.
    const quint16 port = server.port();
    server.goAway();
    QTRY_VERIFY(tape.events.contains(SessionEvent::Kind::Reconnecting));
    QVERIFY(session.isReconnecting());
    QVERIFY(!session.noDataWatch().isWatching());
    QVERIFY(server.listen(port));
    QVERIFY(server.waitForClient());
    QTRY_VERIFY(tape.events.contains(SessionEvent::Kind::Reconnected));
    QVERIFY(session.noDataWatch().isWatching());
    server.send("+00016 +00516\r\n");
    QTRY_COMPARE(tape.samples.size(), 2);
    session.closeSource();
    QCOMPARE(tape.events.last(), SessionEvent::Kind::Disconnected);
}

QTEST_MAIN(TestTcpSource)
#include "tst_tcpsource.moc"
