// MQTT output against Debian's real broker, started by the test on a free port of 127.0.0.1:
// the JSON of each sample, the retained status ("online", "offline" after a clean end, the will
// "offline" after kill -9), and the bounded queue while the broker is away.

#include "outputs/MqttOutput.h"
#include "tests/support/MqttBroker.h"
#include "tests/support/Samples.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

constexpr int kReconnectTimeout = 20000;

Sample timedSample(qint64 timeMs)
{
    Sample s;
    s.computed = true;
    s.speedMs = 0.1;
    s.timeMs = timeMs;
    return s;
}

MqttOutputConfig configFor(quint16 port, const QString& topic)
{
    MqttOutputConfig config;
    config.url.host = QStringLiteral("127.0.0.1");
    config.url.port = port;
    config.topic = topic;
    config.reconnectMinSeconds = 1;
    config.reconnectMaxSeconds = 1;
    return config;
}

// The retained status a newcomer sees.
QByteArray retainedStatus(quint16 port, const QString& topic)
{
    MqttSubscriber late(port, topic + QStringLiteral("/status"));
    if (!QTest::qWaitFor([&] { return !late.messages().isEmpty(); }, 5000))
        return "(none)";
    const auto message = late.messages().first();
    return message.retained ? message.payload : "(not retained)";
}

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void eachComputedSampleIsOneJsonObject();
    void cleanEndLeavesOfflineRetained();
    void willSaysOfflineAfterKill9();
    void samplesWaitForTheBrokerInABoundedQueue();
    void clockStateIsRetainedBesideTheStatus();
};

void TestMqtt::init()
{
    if (MqttBroker::program().isEmpty())
        QSKIP("the mosquitto broker is not installed (Debian package mosquitto; scripts/setup "
              "installs it)");
}

void TestMqtt::eachComputedSampleIsOneJsonObject()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM2");
    MqttSubscriber subscriber(broker.port(), topic + QStringLiteral("/#"));
    QTRY_VERIFY(subscriber.subscribed());

    MqttOutput output(configFor(broker.port(), topic));
    QCOMPARE(output.stateText(),
             QStringLiteral("MQTT: connecting to 127.0.0.1:%1").arg(broker.port()));
    QTRY_COMPARE(output.stateText(), QStringLiteral("MQTT: connected"));
    QTRY_COMPARE(subscriber.payloads(topic + QStringLiteral("/status")),
                 QList<QByteArray>{"online"});

    Sample failed = exampleSample();
    failed.computed = false;
    output.takeBatch({exampleSample(), failed});
    QTRY_COMPARE(output.acknowledgedCount(), qint64(1));
    QTRY_COMPARE(subscriber.payloads(topic).size(), 1);
    // Keys in the order QJsonObject writes them (sorted).
    QCOMPARE(subscriber.payloads(topic).first(),
             QByteArray(R"({"bearing":143.13,"bearingConvention":"from","bearingText":"143",)"
                        R"("rawX":"+0.300","rawY":"-0.400","source":"serial","speedMs":0.5,)"
                        R"("speedText":"0.500","time":"2024-05-24T14:03:07.123Z","units":"m/s",)"
                        R"("x":0.3,"y":-0.4})"));
    QCOMPARE(output.queuedCount(), 0);
}

void TestMqtt::cleanEndLeavesOfflineRetained()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/ttyUSB0");
    {
        MqttOutput output(configFor(broker.port(), topic));
        QTRY_VERIFY(output.isConnected());
        QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("online"));
        output.takeBatch({exampleSample()});
        output.takeEvent({SessionEvent::Kind::Finishing, {}, {}, 0});
        QCOMPARE(output.stateText(), QStringLiteral("MQTT: ended"));
    }
    QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("offline"));
}

void TestMqtt::willSaysOfflineAfterKill9()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM4");
    QProcess station;
    station.start(QStringLiteral(MARVANE_MQTT_PUBLISHER), {QString::number(broker.port()), topic});
    QVERIFY(station.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += station.readAllStandardOutput()).contains("connected"),
                             10000);
    QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("online"));

    ::kill(pid_t(station.processId()), SIGKILL);
    QVERIFY(station.waitForFinished());
    QCOMPARE(station.exitStatus(), QProcess::CrashExit);
    QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("offline"));
}

void TestMqtt::samplesWaitForTheBrokerInABoundedQueue()
{
    MqttBroker broker;
    QVERIFY(broker.start(true));
    const QString topic = QStringLiteral("marvane/test/COM1");
    // A persistent session, so the subscription outlives the broker's restart and nothing
    // published before the subscriber is back is lost to it. The subscriber leaves before the
    // broker stops and comes back only once the queue has gone out, so the order never depends
    // on which of the two reconnects first.
    const QString subscriberId = QStringLiteral("tst-mqtt-subscriber");
    auto subscriber = std::make_unique<MqttSubscriber>(broker.port(), topic, subscriberId);
    QTRY_VERIFY(subscriber->subscribed());

    MqttOutputConfig config = configFor(broker.port(), topic);
    config.queueLimit = 3;
    config.faultReportMs = 100;
    MqttOutput output(config);
    QSignalSpy messages(&output, &LiveOutput::message);
    QTRY_VERIFY(output.isConnected());
    output.takeBatch({timedSample(1000)});
    QTRY_COMPARE(subscriber->payloads(topic).size(), 1);
    QList<QByteArray> payloads = subscriber->payloads(topic);
    subscriber.reset();

    broker.stop();
    QTRY_VERIFY(!output.isConnected());
    QTRY_COMPARE(output.stateText(), QStringLiteral("MQTT: queued 0"));
    output.takeBatch({timedSample(2000), timedSample(3000), timedSample(4000)});
    QCOMPARE(output.stateText(), QStringLiteral("MQTT: queued 3"));
    output.takeBatch({timedSample(5000), timedSample(6000)});
    QCOMPARE(output.stateText(), QStringLiteral("MQTT: queued 3, 2 dropped"));
    QCOMPARE(output.droppedCount(), qint64(2));

    QVERIFY(broker.start(true));
    QTRY_VERIFY_WITH_TIMEOUT(output.isConnected(), kReconnectTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(output.stateText(), QStringLiteral("MQTT: connected, 2 dropped"),
                              kReconnectTimeout);
    subscriber = std::make_unique<MqttSubscriber>(broker.port(), topic, subscriberId);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber->payloads(topic).size(), 3, kReconnectTimeout);
    payloads += subscriber->payloads(topic);
    QStringList times;
    for (const QByteArray& payload : payloads)
        times << QString::fromUtf8(payload.mid(payload.indexOf("\"time\":") + 8, 24));
    QCOMPARE(times, (QStringList{QStringLiteral("1970-01-01T00:00:01.000Z"),
                                 QStringLiteral("1970-01-01T00:00:04.000Z"),
                                 QStringLiteral("1970-01-01T00:00:05.000Z"),
                                 QStringLiteral("1970-01-01T00:00:06.000Z")}));
    QCOMPARE(output.stateText(), QStringLiteral("MQTT: connected, 2 dropped"));

    // One message per episode: the loss, the full queue, the return.
    QStringList texts;
    for (const auto& m : messages)
        texts << m.at(0).toString();
    QCOMPARE(texts.size(), 3);
    QVERIFY2(texts.at(0).startsWith(QStringLiteral("MQTT: lost the broker at 127.0.0.1:")),
             qPrintable(texts.join(u'|')));
    QCOMPARE(texts.at(1),
             QStringLiteral("MQTT: 3 samples waiting for the broker; dropping the oldest"));
    QCOMPARE(texts.at(2),
             QStringLiteral("MQTT: connected to 127.0.0.1:%1 again").arg(broker.port()));
}

void TestMqtt::clockStateIsRetainedBesideTheStatus()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM3");
    const QString clockTopic = topic + QStringLiteral("/status/clock");
    MqttSubscriber subscriber(broker.port(), topic + QStringLiteral("/#"));
    QTRY_VERIFY(subscriber.subscribed());
    MqttOutput output(configFor(broker.port(), topic));
    QCOMPARE(output.clockTopic(), clockTopic);
    // The session tells the state before the broker is reached: it goes out on connecting.
    output.takeEvent(
        {SessionEvent::Kind::ClockState, {}, QStringLiteral("Clock: not synchronised")});
    QTRY_COMPARE(subscriber.payloads(clockTopic), QList<QByteArray>{"Clock: not synchronised"});
    output.takeEvent(
        {SessionEvent::Kind::ClockStepped, {}, QStringLiteral("Clock: stepped forward by 3.2 s")});
    QTRY_COMPARE(subscriber.payloads(clockTopic).size(), 2);
    QCOMPARE(subscriber.payloads(clockTopic).last(), QByteArray("Clock: stepped forward by 3.2 s"));
    QCOMPARE(subscriber.payloads(topic + QStringLiteral("/status")), QList<QByteArray>{"online"});
    // A newcomer sees the state, not the step.
    MqttSubscriber late(broker.port(), clockTopic);
    QTRY_VERIFY(!late.messages().isEmpty());
    QVERIFY(late.messages().first().retained);
    QCOMPARE(late.messages().first().payload, QByteArray("Clock: not synchronised"));
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
