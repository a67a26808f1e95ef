// NMEA 0183 output: the VDR sentence of a sample and its checksum, datagrams to a UDP listener,
// sentences to TCP clients, and a client that never reads dropped while the others go on.

#include "outputs/NmeaOutput.h"
#include "outputs/NmeaSentence.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

Sample flowSample(double bearing, bool bearingTo, double speedMs)
{
    Sample s;
    s.computed = true;
    s.bearing = bearing;
    s.bearingTo = bearingTo;
    s.speedMs = speedMs;
    s.headingOffset = 0; // the sensor declared to face north
    return s;
}

SampleBatch manySamples(int count)
{
    return SampleBatch(count, flowSample(45, true, 0.5));
}

} // namespace

class TestNmea : public QObject
{
    Q_OBJECT
private slots:
    void checksumOfAPublishedSentence();
    void vdrSentence_data();
    void vdrSentence();
    void sampleNotComputedGivesNoSentence();
    void noSentenceWithoutAHeadingAndItIsSaidOnce();
    void datagramsReachAUdpListener();
    void alarmSentence_data();
    void alarmSentence();
    void alarmEventsGoOutAsAlrSentences();
    void hostThatDoesNotResolveIsReportedOnce();
    void everyTcpClientReceivesTheSentences();
    void clientThatNeverReadsIsDroppedWhileAnotherKeepsReceiving();
    void portInUseIsReportedOnceAndTriedAgain();
};

void TestNmea::checksumOfAPublishedSentence()
{
    // The example position sentence of NMEA 0183 references: $GPGLL,...*27.
    QCOMPARE(nmeaChecksum("GPGLL,5057.970,N,00146.110,E,142451,A"), QByteArray("27"));
    QCOMPARE(nmeaSentence("GPGLL,5057.970,N,00146.110,E,142451,A"),
             QByteArray("$GPGLL,5057.970,N,00146.110,E,142451,A*27\r\n"));
}

void TestNmea::vdrSentence_data()
{
    QTest::addColumn<double>("bearing");
    QTest::addColumn<bool>("bearingTo");
    QTest::addColumn<double>("speedMs");
    QTest::addColumn<QByteArray>("sentence");

    // Checksums: exclusive or of the characters between '$' and '*', worked out beforehand.
    QTest::newRow("going to 90 at one knot")
        << 90.0 << true << 1852.0 / 3600.0 << QByteArray("$IIVDR,90.0,T,,M,1.00,N*1F\r\n");
    QTest::newRow("coming from 270 is going to 90")
        << 270.0 << false << 0.2572 << QByteArray("$IIVDR,90.0,T,,M,0.50,N*1B\r\n");
    QTest::newRow("coming from 10, 2.5 m/s is 4.86 knots")
        << 10.0 << false << 2.5 << QByteArray("$IIVDR,190.0,T,,M,4.86,N*25\r\n");
    QTest::newRow("coming from 180 is going to 0")
        << 180.0 << false << 0.0 << QByteArray("$IIVDR,0.0,T,,M,0.00,N*27\r\n");
    QTest::newRow("359.96 rounds to 0.0, never 360.0")
        << 359.96 << true << 0.0 << QByteArray("$IIVDR,0.0,T,,M,0.00,N*27\r\n");
    QTest::newRow("halves away from zero, 5 mm/s is 0.01 knots")
        << 123.45 << true << 0.005 << QByteArray("$IIVDR,123.5,T,,M,0.01,N*23\r\n");
}

void TestNmea::vdrSentence()
{
    QFETCH(double, bearing);
    QFETCH(bool, bearingTo);
    QFETCH(double, speedMs);
    QFETCH(QByteArray, sentence);
    QCOMPARE(::vdrSentence(flowSample(bearing, bearingTo, speedMs)), sentence);
}

void TestNmea::sampleNotComputedGivesNoSentence()
{
    Sample s = flowSample(90, true, 1);
    s.computed = false;
    QVERIFY(!::vdrSentence(s));
}

// The set of a VDR sentence is true (or magnetic): a bearing relative to the sensor's front is
// neither, so no sentence goes out, and the output says why, once.
void TestNmea::noSentenceWithoutAHeadingAndItIsSaidOnce()
{
    Sample relative = flowSample(90, true, 1);
    relative.headingOffset.reset();
    QVERIFY(!::vdrSentence(relative));

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    NmeaOutputConfig config;
    config.udpHost = QStringLiteral("127.0.0.1");
    config.udpPort = listener.localPort();
    NmeaOutput output(config);
    QSignalSpy messages(&output, &LiveOutput::message);
    output.takeBatch({relative, relative});
    output.takeBatch({relative});
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().first().toString(), NmeaOutput::noHeadingText());
    QCOMPARE(output.sentencesSent(), qint64(0));
    // One with a heading goes out, and is the only datagram.
    output.takeBatch({flowSample(90, true, 1852.0 / 3600.0)});
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QByteArray datagram(int(listener.pendingDatagramSize()), '\0');
    listener.readDatagram(datagram.data(), datagram.size());
    QCOMPARE(datagram, QByteArray("$IIVDR,90.0,T,,M,1.00,N*1F\r\n"));
    QVERIFY(!listener.hasPendingDatagrams());
    QCOMPARE(messages.size(), 1);
}

void TestNmea::datagramsReachAUdpListener()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    NmeaOutputConfig config;
    config.udpHost = QStringLiteral("127.0.0.1");
    config.udpPort = listener.localPort();
    NmeaOutput output(config);
    QCOMPARE(output.stateText(), QStringLiteral("NMEA UDP to 127.0.0.1:%1").arg(config.udpPort));

    Sample failed = flowSample(0, true, 0);
    failed.computed = false;
    output.takeBatch({flowSample(90, true, 1852.0 / 3600.0), failed, flowSample(10, false, 2.5)});

    QList<QByteArray> received;
    QTRY_VERIFY([&] {
        while (listener.hasPendingDatagrams()) {
            QByteArray datagram(int(listener.pendingDatagramSize()), '\0');
            listener.readDatagram(datagram.data(), datagram.size());
            received << datagram;
        }
        return received.size() >= 2;
    }());
    QCOMPARE(received, (QList<QByteArray>{"$IIVDR,90.0,T,,M,1.00,N*1F\r\n",
                                          "$IIVDR,190.0,T,,M,4.86,N*25\r\n"}));
}

void TestNmea::alarmSentence_data()
{
    QTest::addColumn<qint64>("timeMs");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<bool>("raised");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("sentence");
    // 24/05/2009 14:03:07.123 UTC.
    QTest::newRow("raised, hundredths cut")
        << qint64(1243173787123) << QStringLiteral("speed-above") << true
        << QStringLiteral("speed above 1.500 m/s")
        << QByteArray("$IIALR,140307.12,001,A,V,speed above "
                      "1.500 m/s*5A\r\n");
    QTest::newRow("cleared at midnight")
        << qint64(0) << QStringLiteral("no-data") << false << QStringLiteral("no data for 30 s")
        << QByteArray("$IIALR,000000.00,003,V,A,no data for 30 s*63\r\n");
    QTest::newRow("reserved characters become blanks")
        << qint64(86399999) << QStringLiteral("device-lost") << true
        << QStringLiteral("device lost: COM1, *again* $x!\n")
        << QByteArray("$IIALR,235959.99,004,A,V,device lost: COM1   again   x  *31\r\n");
    QTest::newRow("shortened to 82 characters")
        << qint64(43200000) << QStringLiteral("free-space") << true
        << QStringLiteral("less than 500 MB free for the log ").repeated(4)
        << QByteArray("$IIALR,120000.00,005,A,V,less than 500 MB free for the log less than 500 "
                      "MB f*68\r\n");
}

void TestNmea::alarmSentence()
{
    QFETCH(qint64, timeMs);
    QFETCH(QString, alarm);
    QFETCH(bool, raised);
    QFETCH(QString, text);
    QFETCH(QByteArray, sentence);
    const QByteArray made = alrSentence(timeMs, alarm, raised, text);
    QCOMPARE(made, sentence);
    QVERIFY(made.size() <= 82);
    // The checksum, worked out here: the exclusive or of everything between $ and *.
    unsigned char sum = 0;
    for (const char c : made.mid(1, made.indexOf('*') - 1))
        sum ^= static_cast<unsigned char>(c);
    QCOMPARE(made.mid(made.indexOf('*') + 1, 2).toUInt(nullptr, 16), uint(sum));
}

void TestNmea::alarmEventsGoOutAsAlrSentences()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    NmeaOutputConfig config;
    config.udpHost = QStringLiteral("127.0.0.1");
    config.udpPort = listener.localPort();
    NmeaOutput output(config);
    SessionEvent raised{SessionEvent::Kind::AlarmRaised, QStringLiteral("COM1"),
                        QStringLiteral("speed above 1.500 m/s")};
    raised.alarm = QStringLiteral("speed-above");
    raised.value = 1.6;
    raised.timeMs = 1243173787123;
    output.takeEvent(raised);
    // Other events say nothing.
    output.takeEvent({SessionEvent::Kind::Connected, QStringLiteral("COM1"), QString()});
    SessionEvent cleared = raised;
    cleared.kind = SessionEvent::Kind::AlarmCleared;
    cleared.timeMs += 60000;
    output.takeEvent(cleared);
    QList<QByteArray> received;
    QTRY_VERIFY([&] {
        while (listener.hasPendingDatagrams()) {
            QByteArray datagram(int(listener.pendingDatagramSize()), '\0');
            listener.readDatagram(datagram.data(), datagram.size());
            received << datagram;
        }
        return received.size() >= 2;
    }());
    QCOMPARE(received,
             (QList<QByteArray>{alrSentence(raised.timeMs, raised.alarm, true, raised.reason),
                                alrSentence(cleared.timeMs, raised.alarm, false, raised.reason)}));
    QVERIFY(received.first().startsWith("$IIALR,140307.12,001,A,V,"));
    QVERIFY(received.last().startsWith("$IIALR,140407.12,001,V,A,"));
}

void TestNmea::hostThatDoesNotResolveIsReportedOnce()
{
    NmeaOutputConfig config;
    config.udpHost = QStringLiteral("no-such-host.invalid");
    config.retryIntervalMs = 50;
    NmeaOutput output(config);
    QSignalSpy messages(&output, &LiveOutput::message);
    QTRY_COMPARE(output.stateText(), QStringLiteral("NMEA: host no-such-host.invalid not found"));
    // Several retries later, still one message, and samples go nowhere without complaint.
    output.takeBatch(manySamples(1));
    QTRY_VERIFY(output.failedAttempts() >= 4);
    output.takeBatch(manySamples(1));
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.at(0).at(0).toString().startsWith(
        QStringLiteral("NMEA: host no-such-host.invalid not found")));
}

void TestNmea::everyTcpClientReceivesTheSentences()
{
    NmeaOutputConfig config;
    config.tcp = true;
    config.tcpPort = 0;
    config.tcpAddress = QStringLiteral("127.0.0.1");
    NmeaOutput output(config);
    QVERIFY(output.tcpPort() != 0);
    QCOMPARE(output.stateText(), QStringLiteral("NMEA: 0 clients"));

    QTcpSocket first;
    QTcpSocket second;
    first.connectToHost(QHostAddress::LocalHost, output.tcpPort());
    second.connectToHost(QHostAddress::LocalHost, output.tcpPort());
    QTRY_COMPARE(output.clientCount(), 2);
    QCOMPARE(output.stateText(), QStringLiteral("NMEA: 2 clients"));

    output.takeBatch({flowSample(90, true, 1852.0 / 3600.0), flowSample(10, false, 2.5)});
    const QByteArray expected("$IIVDR,90.0,T,,M,1.00,N*1F\r\n$IIVDR,190.0,T,,M,4.86,N*25\r\n");
    QByteArray firstBytes;
    QByteArray secondBytes;
    QTRY_VERIFY((firstBytes += first.readAll()).size() >= expected.size() &&
                (secondBytes += second.readAll()).size() >= expected.size());
    QCOMPARE(firstBytes, expected);
    QCOMPARE(secondBytes, expected);

    first.disconnectFromHost();
    QTRY_COMPARE(output.stateText(), QStringLiteral("NMEA: 1 client"));
}

void TestNmea::clientThatNeverReadsIsDroppedWhileAnotherKeepsReceiving()
{
    NmeaOutputConfig config;
    config.tcp = true;
    config.tcpPort = 0;
    config.tcpAddress = QStringLiteral("127.0.0.1");
    NmeaOutput output(config);
    QSignalSpy messages(&output, &LiveOutput::message);

    // A plain socket with a small receive window that is never read.
    const int stuck = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(stuck >= 0);
    const int small = 4096;
    ::setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(output.tcpPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(stuck, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    QTcpSocket reader;
    qint64 readBytes = 0;
    connect(&reader, &QTcpSocket::readyRead, this, [&] { readBytes += reader.readAll().size(); });
    reader.connectToHost(QHostAddress::LocalHost, output.tcpPort());
    QTRY_COMPARE(output.clientCount(), 2);

    // Sentences at a rate no plotter needs, until the stuck client's backlog passes the bound.
    qint64 sent = 0;
    const QByteArray sentence = *::vdrSentence(flowSample(45, true, 0.5));
    for (int round = 0; round < 2000 && output.clientCount() == 2; ++round) {
        output.takeBatch(manySamples(500));
        sent += 500 * sentence.size();
        QCoreApplication::processEvents();
    }
    QCOMPARE(output.clientCount(), 1);
    QCOMPARE(output.stateText(), QStringLiteral("NMEA: 1 client"));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.at(0).at(0).toString().endsWith(QStringLiteral("dropped (not reading)")),
             qPrintable(messages.at(0).at(0).toString()));

    // The reader got everything and goes on getting sentences.
    output.takeBatch(manySamples(1));
    sent += sentence.size();
    QTRY_COMPARE(readBytes, sent);
    ::close(stuck);
}

void TestNmea::portInUseIsReportedOnceAndTriedAgain()
{
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost, 0));
    NmeaOutputConfig config;
    config.tcp = true;
    config.tcpPort = blocker.serverPort();
    config.tcpAddress = QStringLiteral("127.0.0.1");
    config.retryIntervalMs = 50;
    NmeaOutput output(config);
    QCOMPARE(output.stateText(), QStringLiteral("NMEA: TCP port %1 in use").arg(config.tcpPort));
    QCOMPARE(output.tcpPort(), quint16(0));

    QSignalSpy later(&output, &LiveOutput::message);
    QTRY_VERIFY(output.failedAttempts() >= 4);
    QCOMPARE(later.size(), 0);

    blocker.close();
    QTRY_COMPARE(output.stateText(), QStringLiteral("NMEA: 0 clients"));
    QCOMPARE(output.tcpPort(), config.tcpPort);
    QCOMPARE(later.size(), 1);
    QCOMPARE(later.at(0).at(0).toString(),
             QStringLiteral("NMEA: serving TCP port %1").arg(config.tcpPort));
}

QTEST_GUILESS_MAIN(TestNmea)
#include "tst_nmea.moc"
