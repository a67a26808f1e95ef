#include "outputs/MqttOutput.h"

#include "outputs/MqttPayload.h"
#include "outputs/MqttTls.h"

#include <QMetaObject>

#include <chrono>
#include <limits>

#include <sys/socket.h>

// Why a thread of our own rather than mosquitto_loop_start: the library's own loop
// (mosquitto_loop_forever) resolves and connects in the caller's thread first, returns for good
// on a TLS or name-resolution failure, and sleeps through its reconnect delay without a way to
// wake it from another thread, so a clean end could wait half a minute. Our thread calls
// mosquitto_connect_async and mosquitto_loop itself (connectAsync and loop of MqttClient) and
// sleeps on a condition the session's thread can wake at once. The library is put in threaded
// mode, so mosquitto_publish and mosquitto_disconnect from the session's thread only queue
// packets and wake the loop.

MqttOutput::MqttOutput(const MqttOutputConfig& config, QObject* parent)
    : LiveOutput(parent), m_config(config), m_topic(config.topic.toUtf8()),
      m_statusTopic(statusTopic().toUtf8())
{
    m_config.inFlightLimit = qMax(1, qMin(m_config.inFlightLimit, m_config.queueLimit));
    m_config.queueLimit = qMax(1, m_config.queueLimit);
    if (!m_config.clock)
        m_config.clock = &systemClock();

    m_faultTimer.setSingleShot(true);
    m_faultTimer.setInterval(m_config.faultReportMs);
    connect(&m_faultTimer, &QTimer::timeout, this, [this] {
        if (m_connected || m_faultReported || m_finished)
            return;
        m_faultReported = true;
        QString text = QStringLiteral("MQTT: no connection to the broker at %1:%2")
                           .arg(m_config.url.host)
                           .arg(m_config.url.port);
        if (!m_lastReason.isEmpty())
            text += QStringLiteral(" (%1)").arg(m_lastReason);
        emit message(text + QStringLiteral("; trying again"));
    });

    QString unavailable;
    m_client = createMqttClient(this, &unavailable);
    if (!m_client) {
        m_finished = true;
        setStateText(QStringLiteral("MQTT: not available"));
        emit message(QStringLiteral("MQTT output is not available: %1").arg(unavailable));
        return;
    }
    // Our own window (inFlightLimit) paces the samples; the library must never hold back the
    // status behind them, so its own limit is the protocol's largest.
    m_client->setSendMaximum(65535);
    m_client->setWill(m_statusTopic, offlinePayload(), 1, true);
    if (!m_config.url.user.isEmpty()) {
        m_client->setCredentials(m_config.url.user.toUtf8(),
                                 m_config.password.isNull()
                                     ? std::nullopt
                                     : std::optional<QByteArray>(m_config.password.toUtf8()));
    }
    if (m_config.url.tls) {
        // Our own context, so that a refused handshake can say which check failed (see
        // MqttTls.h).
        const MqttClient::Result rc = m_client->setTls(m_config.url.host, m_config.caFile);
        if (!rc.ok()) {
            m_finished = true;
            setStateText(QStringLiteral("MQTT: TLS not set up"));
            emit message(QStringLiteral("MQTT: ") + rc.reason);
            return;
        }
    }

    updateState();
    m_faultTimer.start();
    m_thread = std::thread([this] { run(); });
}

MqttOutput::~MqttOutput()
{
    finish();
}

void MqttOutput::run()
{
    const QByteArray host = m_config.url.host.toUtf8();
    int failures = 0;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                break;
        }
        m_client->takeTlsFailure(); // this attempt's own
        MqttClient::Result rc =
            m_client->connectAsync(host, m_config.url.port, m_config.keepAliveSeconds);
        if (rc.ok()) {
            // Runs until the connection ends: lost, refused, or closed by the clean end.
            while (!m_abandon && (rc = m_client->loop(500)).ok()) {
            }
        }
        if (m_linkUp.exchange(false))
            failures = 0;
        QString reason = rc.reason;
        // A refused certificate: which check failed, rather than "A TLS error occurred."
        if (const QString failure = m_client->takeTlsFailure(); !failure.isEmpty())
            reason = failure;
        std::unique_lock lock(m_mutex);
        if (m_stopping)
            break;
        QMetaObject::invokeMethod(
            this, [this, reason] { m_lastReason = reason; }, Qt::QueuedConnection);
        ++failures;
        const int delay = qMin(m_config.reconnectMaxSeconds,
                               m_config.reconnectMinSeconds << qMin(failures - 1, 16));
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stopping; });
    }
    std::lock_guard lock(m_mutex);
    m_threadDone = true;
    m_wake.notify_all();
}

void MqttOutput::connectAnswered(bool accepted, const QString& refusal)
{
    if (!accepted) {
        QMetaObject::invokeMethod(
            this, [this, refusal] { connectionRefused(refusal); }, Qt::QueuedConnection);
        return;
    }
    m_linkUp = true;
    QMetaObject::invokeMethod(
        this, [this] { connected(); }, Qt::QueuedConnection);
}

void MqttOutput::disconnected(const QString& reason)
{
    QMetaObject::invokeMethod(
        this, [this, reason] { lost(reason); }, Qt::QueuedConnection);
}

void MqttOutput::published(int messageId)
{
    {
        // The broker has the last "offline": now the disconnection, from the library's own
        // thread. Asked for from the session's thread right behind the publication, it could
        // reach the socket torn, and the broker would add its will: a second "offline".
        std::lock_guard lock(m_mutex);
        if (messageId == m_goodbyeMid) {
            m_client->disconnect();
            return;
        }
    }
    QMetaObject::invokeMethod(
        this, [this, messageId] { acknowledged(messageId); }, Qt::QueuedConnection);
}

void MqttOutput::connected()
{
    if (m_finished)
        return;
    m_connected = true;
    m_everConnected = true;
    m_lastReason.clear();
    m_faultTimer.stop();
    // First after the connection, before any sample: the station's state, then what rang while
    // the broker was away.
    publishHealth();
    publishAlarms();
    publishMarks();
    if (m_faultReported) {
        m_faultReported = false;
        emit message(QStringLiteral("MQTT: connected to %1:%2 again")
                         .arg(m_config.url.host)
                         .arg(m_config.url.port));
    }
    pump();
    updateState();
}

void MqttOutput::connectionRefused(const QString& reason)
{
    m_lastReason = reason;
    if (!m_faultReported && !m_finished) {
        m_faultReported = true;
        emit message(QStringLiteral("MQTT: the broker at %1:%2 refused the connection (%3); "
                                    "trying again")
                         .arg(m_config.url.host)
                         .arg(m_config.url.port)
                         .arg(m_lastReason));
    }
}

void MqttOutput::lost(const QString& reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    if (m_finished)
        return;
    if (wasConnected && !m_faultReported) {
        m_faultReported = true;
        emit message(QStringLiteral("MQTT: lost the broker at %1:%2 (%3); reconnecting")
                         .arg(m_config.url.host)
                         .arg(m_config.url.port)
                         .arg(reason));
    }
    m_faultTimer.start();
    updateState();
}

void MqttOutput::acknowledged(int mid)
{
    if (!m_inFlight.remove(mid))
        return; // a status message
    ++m_acknowledged;
    pump();
    updateState();
}

void MqttOutput::takeBatch(const SampleBatch& batch)
{
    if (m_finished)
        return;
    for (const Sample& sample : batch) {
        if (sample.source == SampleSource::Replay)
            continue;
        if (const auto payload = mqttPayload(sample))
            enqueue(*payload);
    }
    pump();
    updateState();
}

void MqttOutput::takeEvent(const SessionEvent& event)
{
    switch (event.kind) {
    case SessionEvent::Kind::Finishing:
        finish();
        break;
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmCleared:
        if (m_finished)
            break;
        m_alarms.push_back(alarmPayload(event.alarm, event.kind == SessionEvent::Kind::AlarmRaised,
                                        event.timeMs, event.value, event.reason));
        while (int(m_alarms.size()) > kAlarmsKept)
            m_alarms.pop_front();
        publishAlarms();
        break;
    case SessionEvent::Kind::Mark:
        if (m_finished)
            break;
        m_marks.push_back(markPayload(event.timeMs, event.reason));
        while (int(m_marks.size()) > kMarksKept)
            m_marks.pop_front();
        publishMarks();
        break;
    default:
        // The clock's state and steps reach the status topic with the health state.
        break;
    }
}

void MqttOutput::takeHealth(const HealthState& health)
{
    m_health = health;
    publishHealth();
}

void MqttOutput::publishHealth()
{
    if (!m_connected || m_finished)
        return;
    m_client->publish(nullptr, m_statusTopic, healthPayload(m_health, m_config.clock->utcMs()), 1,
                      true);
}

void MqttOutput::publishAlarms()
{
    if (!m_connected || m_finished)
        return;
    const QByteArray topic = alarmTopic().toUtf8();
    while (!m_alarms.empty()) {
        // Left with us only when the library refuses it; it keeps what it took over a loss.
        if (m_client->publish(nullptr, topic, m_alarms.front(), 1, true).status ==
            MqttClient::Status::Failed)
            break;
        m_alarms.pop_front();
    }
}

void MqttOutput::publishMarks()
{
    if (!m_connected || m_finished)
        return;
    const QByteArray topic = markTopic().toUtf8();
    while (!m_marks.empty()) {
        if (m_client->publish(nullptr, topic, m_marks.front(), 1, false).status ==
            MqttClient::Status::Failed)
            break;
        m_marks.pop_front();
    }
}

void MqttOutput::enqueue(const QByteArray& payload)
{
    if (queuedCount() >= m_config.queueLimit && !m_queue.empty()) {
        m_queue.pop_front();
        ++m_dropped;
        if (!m_overflowReported) {
            m_overflowReported = true;
            emit message(QStringLiteral("MQTT: %1 samples waiting for the broker; dropping the "
                                        "oldest")
                             .arg(m_config.queueLimit));
        }
    }
    m_queue.push_back(payload);
}

void MqttOutput::pump()
{
    while (m_connected && !m_queue.empty() && m_inFlight.size() < m_config.inFlightLimit) {
        const QByteArray& payload = m_queue.front();
        int mid = 0;
        const MqttClient::Result rc = m_client->publish(&mid, m_topic, payload, 1, false);
        // Once queued in the library a message stays there, also when the connection has just
        // gone (it goes again after the reconnection): only a refusal leaves it with us.
        if (rc.status != MqttClient::Status::Failed) {
            m_inFlight.insert(mid);
        } else {
            ++m_dropped;
            reportFault(rc.reason);
        }
        m_queue.pop_front();
    }
    if (m_queue.empty())
        m_overflowReported = false;
}

void MqttOutput::reportFault(const QString& reason)
{
    if (m_lastReason == reason)
        return;
    m_lastReason = reason;
    emit message(QStringLiteral("MQTT: a sample could not be published (%1)").arg(reason));
}

void MqttOutput::finish(int finishTimeoutMs)
{
    if (m_finished)
        return;
    m_finished = true;
    m_faultTimer.stop();
    bool goodbye = false;
    if (m_connected) {
        // Everything still queued goes ahead of the status and the disconnection, in order.
        m_config.inFlightLimit = std::numeric_limits<int>::max();
        pump();
        // The acknowledgement of "offline" brings the disconnection (onPublish); the id is
        // known there before the acknowledgement can be.
        std::lock_guard lock(m_mutex);
        int mid = -1;
        goodbye =
            m_client->publish(&mid, m_statusTopic, offlinePayload(m_config.clock->utcMs()), 1, true)
                .ok();
        m_goodbyeMid = goodbye ? mid : -1;
    }
    if (!goodbye) {
        // Nothing to say goodbye to: a connection attempt in progress is given up.
        m_abandon = true;
    }
    if (!m_connected && !m_queue.empty()) {
        m_dropped += qint64(m_queue.size());
        emit message(QStringLiteral("MQTT: %1 samples not published: no broker at the end")
                         .arg(m_queue.size()));
        m_queue.clear();
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    if (!goodbye)
        m_client->disconnect();
    m_wake.notify_all();

    if (m_thread.joinable()) {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait_for(lock, std::chrono::milliseconds(finishTimeoutMs),
                             [this] { return m_threadDone; })) {
            // A broker that takes nothing more: end the connection under the loop's feet.
            m_abandon = true;
            const int socket = m_client->socket();
            if (socket >= 0)
                ::shutdown(socket, SHUT_RDWR);
        }
        lock.unlock();
        m_thread.join();
    }
    m_connected = false;
    updateState();
}

void MqttOutput::updateState()
{
    QString text;
    const int waiting = queuedCount();
    if (m_finished)
        text = QStringLiteral("MQTT: ended");
    else if (m_connected)
        text = QStringLiteral("MQTT: connected");
    else if (!m_everConnected && waiting == 0)
        text = QStringLiteral("MQTT: connecting to %1:%2")
                   .arg(m_config.url.host)
                   .arg(m_config.url.port);
    else
        text = QStringLiteral("MQTT: queued %1").arg(waiting);
    if (m_dropped > 0)
        text += QStringLiteral(", %1 dropped").arg(m_dropped);
    setStateText(text);
}
