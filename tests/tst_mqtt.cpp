// MQTT output against Debian's real broker, started by the test on a free port of 127.0.0.1:
// the JSON of each sample, the retained status (the health state, "offline" after a clean end, the
// will "offline" after kill -9), the alarms, the marks, and the bounded queue while the broker is
// away;
// every payload under the topic JSON; through the live
// session, the topic following the port in use, the clean end and the warnings at the start;
// over TLS, with certificates made here by the openssl program, each refusal saying which check
// failed.

#include "outputs/MqttOutput.h"
#include "outputs/Outputs.h"
#include "session/AlarmSettings.h"
#include "session/LiveSession.h"
#include "settings/ProgramOptions.h"
#include "tests/support/ManualClock.h"
#include "tests/support/MqttBroker.h"
#include "tests/support/Pty.h"
#include "tests/support/Samples.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
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

// The "state" of a status message ("running", "offline"), or what it is when it is not JSON.
QByteArray stateOf(const QByteArray& payload)
{
    const QJsonDocument json = QJsonDocument::fromJson(payload);
    if (!json.isObject())
        return "(not JSON: " + payload + ')';
    return json.object().value(QStringLiteral("state")).toString().toUtf8();
}

QList<QByteArray> states(const QList<QByteArray>& payloads)
{
    QList<QByteArray> said;
    for (const QByteArray& payload : payloads)
        said << stateOf(payload);
    return said;
}

// The state of the retained status a newcomer sees.
QByteArray retainedStatus(quint16 port, const QString& topic)
{
    MqttSubscriber late(port, topic + QStringLiteral("/status"));
    if (!QTest::qWaitFor([&] { return !late.messages().isEmpty(); }, 5000))
        return "(none)";
    const auto message = late.messages().first();
    return message.retained ? stateOf(message.payload) : "(not retained)";
}

// Runs the openssl program in dir; false (and its output as a warning) when it fails.
bool openssl(const QTemporaryDir& dir, const QStringList& args)
{
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(args.join(u' ')), process.readAll().constData());
        return false;
    }
    return true;
}

// A certificate authority (ca.pem), another one the broker's certificates do not come from
// (other-ca.pem), and for one key (broker.key) three certificates signed by the first: for
// 127.0.0.1 (good.pem), the same expired (expired.pem), and for other hosts (elsewhere.pem).
bool makeCertificates(const QTemporaryDir& dir)
{
    const auto words = [](const char* text) { return QString::fromLatin1(text).split(u' '); };
    const auto sign = [&](const char* name, const char* days, const char* altNames) {
        QFile ext(dir.filePath(QStringLiteral("%1.ext").arg(QLatin1String(name))));
        if (!ext.open(QIODevice::WriteOnly))
            return false;
        ext.write(QByteArray("subjectAltName=") + altNames + "\n");
        ext.close();
        return openssl(dir, words("x509 -req -in broker.csr -CA ca.pem -CAkey ca.key "
                                  "-CAcreateserial -days") +
                                QStringList{QString::fromLatin1(days), QStringLiteral("-extfile"),
                                            ext.fileName(), QStringLiteral("-out"),
                                            QStringLiteral("%1.pem").arg(QLatin1String(name))});
    };
    const char* ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    return openssl(dir, words("req -x509 -days 2 -subj /CN=Marvane-test-CA -keyout ca.key -out "
                              "ca.pem") +
                            words(ec)) &&
           openssl(dir, words("req -x509 -days 2 -subj /CN=Another-CA -keyout other-ca.key -out "
                              "other-ca.pem") +
                            words(ec)) &&
           openssl(dir,
                   words("req -subj /CN=broker -keyout broker.key -out broker.csr") + words(ec)) &&
           sign("good", "2", "IP:127.0.0.1") &&
           // Valid from now to a day ago: expired the moment it is made.
           sign("expired", "-1", "IP:127.0.0.1") &&
           sign("elsewhere", "2", "DNS:broker.example.org,IP:10.9.8.7");
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
    void topicFollowsThePortInUse();
    void stationIdNamesTheDefaultTopic();
    void cleanEndOfTheSessionSaysOfflineOnce();
    void warningsAreToldOnceAtTheStart();
    void tlsRefusalSaysWhichCheckFailed_data();
    void tlsRefusalSaysWhichCheckFailed();
    void healthStateAndAlarmsAreRetainedJson();
    void marksArePublishedOnceAndNotRetained();

private:
    std::unique_ptr<QTemporaryDir> m_certificates; // made once, for every TLS case
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
    QTRY_COMPARE(states(subscriber.payloads(topic + QStringLiteral("/status"))),
                 QList<QByteArray>{"running"});

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
        QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("running"));
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
    QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("running"));

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

// With a station id the default topic is marvane/<id>, whatever the port; a new id moves the
// output there (offline under the old one), and the health state carries the station's details.
// A topic given still wins.
void TestMqtt::stationIdNamesTheDefaultTopic()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    LiveSession session(nullptr);
    StationDetails station;
    station.id = QStringLiteral("pier-4");
    station.latitude = 54.5;
    session.setStation(station);

    MqttSubscriber subscriber(broker.port(), QStringLiteral("marvane/#"));
    QTRY_VERIFY(subscriber.subscribed());
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    QString error;
    QVERIFY2(session.setOutputs(settings, QStringLiteral("COM1"), &error), qPrintable(error));
    QTRY_COMPARE(states(subscriber.payloads(QStringLiteral("marvane/pier-4/status"))),
                 QList<QByteArray>{"running"});
    const QJsonObject health =
        QJsonDocument::fromJson(
            subscriber.payloads(QStringLiteral("marvane/pier-4/status")).first())
            .object();
    QCOMPARE(health.value(QStringLiteral("station")).toObject(),
             (QJsonObject{{QStringLiteral("id"), QStringLiteral("pier-4")},
                          {QStringLiteral("latitude"), 54.5}}));

    station.id = QStringLiteral("pier-5");
    session.setStation(station);
    QTRY_COMPARE(states(subscriber.payloads(QStringLiteral("marvane/pier-5/status"))),
                 QList<QByteArray>{"running"});
    QTRY_COMPARE(states(subscriber.payloads(QStringLiteral("marvane/pier-4/status"))),
                 (QList<QByteArray>{"running", "offline"}));

    settings.mqttTopic = QStringLiteral("marvane/given");
    QVERIFY2(session.setOutputs(settings, QStringLiteral("COM1"), &error), qPrintable(error));
    QTRY_COMPARE(states(subscriber.payloads(QStringLiteral("marvane/given/status"))),
                 QList<QByteArray>{"running"});
    session.finish();
}

void TestMqtt::topicFollowsThePortInUse()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    Pty com1, com2;
    QVERIFY(com1.ok() && com2.ok());
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("marvane.ini"));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Ports]\nCOM1=" + com1.path().toLocal8Bit() +
               "\nCOM2=" + com2.path().toLocal8Bit() + "\n");
    file.close();
    ProgramOptions options(ini);
    OptionValues values = options.values();
    values.comms.commPort = 1; // Com 2 when the program starts
    options.setValues(values);
    LiveSession session(&options);

    MqttSubscriber subscriber(broker.port(), QStringLiteral("marvane/#"));
    QTRY_VERIFY(subscriber.subscribed());
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    QString error;
    QVERIFY2(session.setOutputs(settings, options.port().portName, &error), qPrintable(error));
    const QString onCom1 = defaultMqttTopic(QStringLiteral("COM1"));
    const QString onCom2 = defaultMqttTopic(QStringLiteral("COM2"));
    QTRY_COMPARE(states(subscriber.payloads(onCom2 + QStringLiteral("/status"))),
                 QList<QByteArray>{"running"});

    // The operator chooses Com 1 in the options and connects.
    values.comms.commPort = 0;
    options.setValues(values);
    QString reason;
    QVERIFY2(session.openSource(&reason), qPrintable(reason));
    QTRY_COMPARE(states(subscriber.payloads(onCom1 + QStringLiteral("/status"))),
                 QList<QByteArray>{"running"});
    QTRY_COMPARE(states(subscriber.payloads(onCom2 + QStringLiteral("/status"))),
                 (QList<QByteArray>{"running", "offline"}));
    session.receiveRecord(QStringLiteral("+0.300 -0.400"));
    QTRY_COMPARE(subscriber.payloads(onCom1).size(), 1);
    QVERIFY(subscriber.payloads(onCom1).first().contains("\"rawX\":\"+0.300\""));
    QVERIFY(subscriber.payloads(onCom2).isEmpty());
    QCOMPARE(session.outputs().size(), 1);

    // The same settings again (Outputs > OK without a change): the output goes on untouched.
    LiveOutput* running = session.outputs().first();
    QVERIFY(session.setOutputs(settings, options.port().portName, &error));
    QCOMPARE(session.outputs(), QList<LiveOutput*>{running});

    session.finish();
    // The first sample changed the health state: it went out again before the end.
    QTRY_COMPARE(states(subscriber.payloads(onCom1 + QStringLiteral("/status"))),
                 (QList<QByteArray>{"running", "running", "offline"}));
}

void TestMqtt::cleanEndOfTheSessionSaysOfflineOnce()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM3");
    MqttSubscriber subscriber(broker.port(), topic + QStringLiteral("/status"));
    QTRY_VERIFY(subscriber.subscribed());
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    settings.mqttTopic = topic;
    {
        LiveSession session(nullptr);
        QString error;
        QVERIFY2(session.setOutputs(settings, QStringLiteral("COM3"), &error), qPrintable(error));
        QTRY_COMPARE(session.outputStates(), QStringList{QStringLiteral("MQTT: connected")});
        session.receiveRecord(QStringLiteral("+0.300 -0.400"));
        session.finish();
        QCOMPARE(session.outputStates(), QStringList{QStringLiteral("MQTT: ended")});
        // The session and its output go, as at the end of the program.
    }
    // The first sample changed the health state: it went out again before the end.
    QTRY_COMPARE(states(subscriber.payloads(topic + QStringLiteral("/status"))),
                 (QList<QByteArray>{"running", "running", "offline"}));
    // A newcomer sees the one "offline", retained; a will of the broker's would have come by now.
    QCOMPARE(retainedStatus(broker.port(), topic), QByteArray("offline"));
    QCOMPARE(states(subscriber.payloads(topic + QStringLiteral("/status"))),
             (QList<QByteArray>{"running", "running", "offline"}));
}

void TestMqtt::warningsAreToldOnceAtTheStart()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    QTemporaryDir dir;
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://station4@127.0.0.1:%1").arg(broker.port());
    settings.mqttTopic = QStringLiteral("marvane/test/COM1");
    settings.mqttPasswordFile = dir.filePath(QStringLiteral("password"));
    QFile file(settings.mqttPasswordFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("S3cret\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                QFileDevice::ReadGroup | QFileDevice::ReadOther));

    LiveSession session(nullptr);
    QSignalSpy messages(&session, &LiveSession::outputMessage);
    QString error;
    QVERIFY2(session.setOutputs(settings, QStringLiteral("COM1"), &error), qPrintable(error));
    QTRY_COMPARE(session.outputStates(), QStringList{QStringLiteral("MQTT: connected")});
    QVERIFY(session.setOutputs(settings, QStringLiteral("COM1"), &error));
    QStringList texts;
    for (const auto& m : messages)
        texts << m.at(0).toString();
    QCOMPARE(texts,
             (QStringList{QStringLiteral("MQTT: the password of station4 goes to 127.0.0.1:%1 "
                                         "unencrypted (mqtt://): anyone on the way can read it; "
                                         "use mqtts:// with a broker that takes TLS")
                              .arg(broker.port()),
                          QStringLiteral("MQTT: every user of this computer can read the "
                                         "password file %1; chmod o-r %1 keeps it to its owner")
                              .arg(settings.mqttPasswordFile)}));
    QVERIFY(!texts.join(u' ').contains(QStringLiteral("S3cret")));

    // Over TLS, from a file kept to its owner: nothing to say.
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    settings.mqttUrl = QStringLiteral("mqtts://station4@127.0.0.1:%1").arg(broker.port());
    QCOMPARE(outputWarnings(settings), QStringList());
    session.finish();
}

void TestMqtt::tlsRefusalSaysWhichCheckFailed_data()
{
    QTest::addColumn<QString>("certificate"); // the broker's
    QTest::addColumn<QString>("ca");          // the file given; empty: the system's
    QTest::addColumn<QString>("reason");      // a pattern; %1 the folder of the certificates
    QTest::newRow("trusted") << "good"
                             << "ca.pem"
                             << "";
    QTest::newRow("another certificate authority")
        << "good"
        << "other-ca.pem"
        << "TLS: the broker's certificate is not signed by the certificate authority in "
           "%1/other-ca\\.pem";
    QTest::newRow("the system's authorities")
        << "good"
        << ""
        << "TLS: the broker's certificate is not signed by a certificate authority this computer "
           "trusts; name the broker's certificate authority file";
    QTest::newRow("expired")
        << "expired"
        << "ca.pem"
        << "TLS: the broker's certificate expired on \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC";
    QTest::newRow("another host")
        << "elsewhere"
        << "ca.pem"
        << "TLS: the broker's certificate is for another host than 127\\.0\\.0\\.1";
}

void TestMqtt::tlsRefusalSaysWhichCheckFailed()
{
    QFETCH(QString, certificate);
    QFETCH(QString, ca);
    QFETCH(QString, reason);
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("the openssl program is not installed (Debian package openssl)");
    if (!m_certificates) {
        m_certificates = std::make_unique<QTemporaryDir>();
        QVERIFY(makeCertificates(*m_certificates));
    }
    const QTemporaryDir& dir = *m_certificates;
    MqttBroker broker;
    broker.setTls(dir.filePath(certificate + QStringLiteral(".pem")),
                  dir.filePath(QStringLiteral("broker.key")));
    QVERIFY(broker.start());

    MqttOutputConfig config = configFor(broker.port(), QStringLiteral("marvane/test/COM1"));
    config.url.tls = true;
    if (!ca.isEmpty())
        config.caFile = dir.filePath(ca);
    config.faultReportMs = 1000; // the first handshake has failed by then
    MqttOutput output(config);
    QSignalSpy messages(&output, &LiveOutput::message);
    if (reason.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(output.isConnected(), 10000);
        QCOMPARE(messages.count(), 0);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(messages.count(), 1, 10000);
    const QString text = messages.first().first().toString();
    const QRegularExpression expected(QRegularExpression::anchoredPattern(
        QStringLiteral("MQTT: no connection to the broker at 127\\.0\\.0\\.1:%1 \\(%2\\); "
                       "trying again")
            .arg(broker.port())
            .arg(reason.contains(QStringLiteral("%1"))
                     ? reason.arg(QRegularExpression::escape(m_certificates->path()))
                     : reason)));
    QVERIFY2(expected.match(text).hasMatch(), qPrintable(text));
    QVERIFY(!output.isConnected());
}

void TestMqtt::healthStateAndAlarmsAreRetainedJson()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM3");
    MqttSubscriber subscriber(broker.port(), topic + QStringLiteral("/#"));
    QTRY_VERIFY(subscriber.subscribed());
    ManualClock clock;
    clock.sync = {ClockSync::State::NotSynchronised, 0};
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    settings.mqttTopic = topic;
    LiveSession session(nullptr);
    session.setClock(&clock);
    QString error;
    QVERIFY2(session.setOutputs(settings, QStringLiteral("COM3"), &error), qPrintable(error));
    const QString status = topic + QStringLiteral("/status");
    QTRY_COMPARE(subscriber.payloads(status).size(), 1);

    // Before any Connect: running, and says it is not connected.
    const QJsonObject first = QJsonDocument::fromJson(subscriber.payloads(status).first()).object();
    QCOMPARE(first.value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    QCOMPARE(first.value(QStringLiteral("connection")).toString(), QStringLiteral("not connected"));
    QCOMPARE(first.value(QStringLiteral("receiving")).toBool(true), false);
    QVERIFY(first.value(QStringLiteral("lastSample")).isNull());
    QCOMPARE(first.value(QStringLiteral("clock")).toObject().value(QStringLiteral("state")),
             QJsonValue(QStringLiteral("not synchronised")));

    // An alarm: retained on its own topic, and in the health state.
    AlarmSettings alarms;
    alarms.speedAbove = {true, 1.0, 0.1, 0};
    session.setAlarms(alarms);
    session.receiveRecord(QStringLiteral("+2.000 +0.000"));
    const QString alarmTopic = topic + QStringLiteral("/alarm");
    QTRY_COMPARE(subscriber.payloads(alarmTopic).size(), 1);
    QCOMPARE(subscriber.payloads(alarmTopic).first(),
             QByteArray(R"({"alarm":"speed-above","state":"raised",)"
                        R"("time":"2009-05-24T14:03:07.000Z","value":2,)"
                        R"("text":"speed above 1.000 m/s"})"));
    QTRY_COMPARE(subscriber.payloads(status).size(), 2);
    const QJsonObject second = QJsonDocument::fromJson(subscriber.payloads(status).last()).object();
    QCOMPARE(second.value(QStringLiteral("alarms")).toArray(),
             QJsonArray{QStringLiteral("speed-above")});
    QCOMPARE(second.value(QStringLiteral("lastSample")).toString(),
             QStringLiteral("2009-05-24T14:03:07.000Z"));

    // Nothing changed: nothing more until the minute's publication.
    session.receiveRecord(QStringLiteral("+2.000 +0.000"));
    QTest::qWait(200);
    QCOMPARE(subscriber.payloads(status).size(), 2);
    // The minute, shortened.
    session.healthTimer().start(100);
    QTRY_COMPARE(subscriber.payloads(status).size(), 3);
    session.healthTimer().start(LiveSession::kHealthInterval);

    session.receiveRecord(QStringLiteral("+0.100 +0.000"));
    QTRY_COMPARE(subscriber.payloads(alarmTopic).size(), 2);
    QVERIFY(subscriber.payloads(alarmTopic).last().contains("\"state\":\"cleared\""));
    MqttSubscriber late(broker.port(), alarmTopic);
    QTRY_VERIFY(!late.messages().isEmpty());
    QVERIFY(late.messages().first().retained);
    QVERIFY(late.messages().first().payload.contains("\"state\":\"cleared\""));

    session.finish();
    QTRY_COMPARE(states(subscriber.payloads(status)).last(), QByteArray("offline"));
    // Everything under the topic parses as JSON: samples, states, alarms.
    for (const MqttSubscriber::Message& message : subscriber.messages())
        QVERIFY2(QJsonDocument::fromJson(message.payload).isObject(),
                 qPrintable(message.topic + QLatin1Char(' ') + QString::fromUtf8(message.payload)));
}

// The operator's marks on "<topic>/mark": each once, with its time and note, in order; one
// marked before the broker is reached goes out once it is; none is retained for a newcomer.
void TestMqtt::marksArePublishedOnceAndNotRetained()
{
    MqttBroker broker;
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("marvane/test/COM2");
    const QString markTopic = topic + QStringLiteral("/mark");
    MqttSubscriber subscriber(broker.port(), topic + QStringLiteral("/#"));
    QTRY_VERIFY(subscriber.subscribed());
    ManualClock clock;
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    settings.mqttTopic = topic;
    LiveSession session(nullptr);
    session.setClock(&clock);
    QString error;
    QVERIFY2(session.setOutputs(settings, QStringLiteral("COM2"), &error), qPrintable(error));
    // At once, before the connection is up: it waits for the broker.
    session.mark(QString());
    clock.advance(1500);
    session.mark(QStringLiteral("  diver \"Ana\" in the water, north ladder\nsecond line"));
    QTRY_COMPARE(subscriber.payloads(markTopic).size(), 2);
    QCOMPARE(
        subscriber.payloads(markTopic),
        (QList<QByteArray>{
            R"({"note":"","time":"2009-05-24T14:03:07.000Z"})",
            R"({"note":"diver \"Ana\" in the water, north ladder","time":"2009-05-24T14:03:08.500Z"})"}));
    for (const MqttSubscriber::Message& message : subscriber.messages()) {
        if (message.topic == markTopic)
            QVERIFY(!message.retained);
    }

    // A newcomer hears nothing of marks gone by, and the next mark.
    MqttSubscriber late(broker.port(), markTopic);
    QTRY_VERIFY(late.subscribed());
    QTest::qWait(200);
    QVERIFY(late.messages().isEmpty());
    session.mark(QStringLiteral("third"));
    QTRY_COMPARE(late.messages().size(), 1);
    QVERIFY(late.messages().first().payload.contains("\"note\":\"third\""));
    QCOMPARE(subscriber.payloads(markTopic).size(), 3);
    session.finish();
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
