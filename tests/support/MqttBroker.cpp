#include "tests/support/MqttBroker.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <mosquitto.h>
#include <unistd.h>

MqttBroker::MqttBroker() = default;

MqttBroker::~MqttBroker()
{
    stop();
}

QString MqttBroker::program()
{
    const QStringList places{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                             QStringLiteral("/usr/local/sbin")};
    QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), places);
    return found;
}

void MqttBroker::setTls(const QString& certificateFile, const QString& keyFile)
{
    m_certificateFile = certificateFile;
    m_keyFile = keyFile;
}

bool MqttBroker::start(bool persistent)
{
    if (m_port == 0) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        m_port = probe.serverPort();
    }
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    QByteArray text =
        "listener " + QByteArray::number(m_port) + " 127.0.0.1\n" + "allow_anonymous true\n";
    if (!m_certificateFile.isEmpty()) {
        text += "certfile " + QFile::encodeName(m_certificateFile) + "\nkeyfile " +
                QFile::encodeName(m_keyFile) + "\n";
    }
    // Started by root, the broker would drop to the user "mosquitto", which cannot read this
    // private folder (the sessions saved at a stop, the key when it is read again).
    if (::geteuid() == 0 && (persistent || !m_certificateFile.isEmpty()))
        text += "user root\n";
    if (persistent) {
        // Without its sessions saved at a stop, a subscriber that comes back after the
        // publisher would miss what was published meanwhile.
        text += "persistence true\npersistence_location " + m_dir.path().toUtf8() + "/\n";
    } else
        text += "persistence false\n";
    config.write(text);
    config.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program(), {QStringLiteral("-c"), config.fileName()});
    if (!m_process.waitForStarted())
        return false;
    for (int attempt = 0; attempt < 200; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(100))
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
        QTest::qWait(25);
    }
    return false;
}

void MqttBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate(); // SIGTERM: a persistent broker saves its sessions
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString MqttBroker::log() const
{
    return QString::fromLocal8Bit(const_cast<QProcess&>(m_process).readAll());
}

MqttSubscriber::MqttSubscriber(quint16 port, const QString& filter, const QString& clientId)
    : m_filter(filter.toUtf8())
{
    mosquitto_lib_init();
    const QByteArray id = clientId.toUtf8();
    m_mosq = mosquitto_new(clientId.isEmpty() ? nullptr : id.constData(), clientId.isEmpty(), this);
    mosquitto_connect_callback_set(m_mosq, &MqttSubscriber::onConnect);
    mosquitto_subscribe_callback_set(m_mosq, &MqttSubscriber::onSubscribe);
    mosquitto_message_callback_set(m_mosq, &MqttSubscriber::onMessage);
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    mosquitto_connect_async(m_mosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_mosq);
}

MqttSubscriber::~MqttSubscriber()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

void MqttSubscriber::onConnect(mosquitto* mosq, void* self, int rc)
{
    if (rc == 0)
        mosquitto_subscribe(mosq, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.constData(),
                            1);
}

void MqttSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*)
{
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(subscriber->m_mutex);
    subscriber->m_subscribed = true;
}

void MqttSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(subscriber->m_mutex);
    subscriber->m_messages.append(
        {QString::fromUtf8(message->topic),
         QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
         message->retain});
}

bool MqttSubscriber::subscribed() const
{
    std::lock_guard lock(m_mutex);
    return m_subscribed;
}

QList<MqttSubscriber::Message> MqttSubscriber::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

QList<QByteArray> MqttSubscriber::payloads(const QString& topic) const
{
    QList<QByteArray> result;
    for (const Message& m : messages()) {
        if (m.topic == topic)
            result << m.payload;
    }
    return result;
}
