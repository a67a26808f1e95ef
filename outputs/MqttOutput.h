#pragma once
// Each computed sample of the live session published to an MQTT broker as one JSON object
// (see MqttPayload.h), QoS 1, through libmosquitto (in the MQTT module: see MqttClient.h).
//
// The session never waits for the broker. A thread of this output drives the library: it resolves
// the broker's name, connects, does the TLS handshake, runs the network loop and reconnects with
// a backoff doubling from reconnectMinSeconds to reconnectMaxSeconds. takeBatch only appends to a
// bounded queue on the session's thread and hands samples to the library while the broker is
// connected, at most inFlightLimit unacknowledged at a time (the library keeps those and sends
// them again after a reconnection). While the broker is away the queue holds up to queueLimit
// samples, the oldest dropped first and counted.
//
// Every payload under the topic is JSON, so that a consumer of "<topic>/#" parses everything:
// "<topic>/status" holds the station's health state (see HealthState.h), retained, published at
// every connection, whenever the session tells a change and at least once a minute; after a clean
// end it holds {"state":"offline",...}, and the broker publishes {"state":"offline"} as the will
// when the program dies without one. "<topic>/alarm" holds the last alarm raised or cleared,
// retained; alarms told while the broker is away go out, in order, once it is back.
// "<topic>/mark" gets each mark of the operator's (see markPayload), not retained: a mark is a
// moment, and a consumer subscribing later must not take an old one for a new one. Marks told
// while the broker is away go out, in order, once it is back.

#include "base/Clock.h"
#include "outputs/LiveOutput.h"
#include "outputs/MqttClient.h"
#include "outputs/OutputSettings.h"

#include <QByteArray>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

struct MqttOutputConfig
{
    MqttUrl url;
    QString topic;
    QString caFile;   // mqtts: the certificate authority; empty: the system's
    QString password; // with url.user
    int queueLimit = kMqttDefaultQueueLimit;
    int inFlightLimit = 100; // unacknowledged samples handed to the library
    int reconnectMinSeconds = 1;
    int reconnectMaxSeconds = 30;
    int keepAliveSeconds = 30;
    int faultReportMs = 5000;     // not connected this long after a start or a loss: say so once
    const Clock* clock = nullptr; // the time of the status messages; the system's when null
};

class MqttOutput : public LiveOutput, private MqttClientListener
{
    Q_OBJECT
public:
    // Without the MQTT module the output is ended from the start: "MQTT: not available".
    explicit MqttOutput(const MqttOutputConfig& config, QObject* parent = nullptr);
    // A clean end (see finish) if there was none.
    ~MqttOutput() override;

    void takeBatch(const SampleBatch& batch) override;
    // Finishing ends the output cleanly; an alarm goes to the alarm topic.
    void takeEvent(const SessionEvent& event) override;
    // Published on the status topic at once when connected, else at the connection.
    void takeHealth(const HealthState& health) override;

    // The clean end: what is queued goes to a connected broker, then "offline" to the status
    // topic, then the disconnection; waits at most finishTimeoutMs for the library's thread.
    // Samples still queued without a broker are counted as dropped.
    void finish(int finishTimeoutMs = 3000);

    bool isConnected() const { return m_connected; }
    // Samples waiting: in the queue and handed to the library but not yet acknowledged.
    int queuedCount() const { return int(m_queue.size()) + int(m_inFlight.size()); }
    qint64 droppedCount() const { return m_dropped; }
    qint64 acknowledgedCount() const { return m_acknowledged; }
    QString topic() const { return m_config.topic; }
    QString statusTopic() const { return m_config.topic + QStringLiteral("/status"); }
    QString alarmTopic() const { return m_config.topic + QStringLiteral("/alarm"); }
    QString markTopic() const { return m_config.topic + QStringLiteral("/mark"); }
    // Alarms waiting for the broker, at most kAlarmsKept (the oldest dropped first).
    static constexpr int kAlarmsKept = 100;
    // Marks waiting for the broker, at most kMarksKept (the oldest dropped first).
    static constexpr int kMarksKept = 1000;

private:
    // The library's thread.
    void connectAnswered(bool accepted, const QString& refusal) override;
    void disconnected(const QString& reason) override;
    void published(int messageId) override;

    void run(); // the library's thread
    void connected();
    void connectionRefused(const QString& reason);
    void lost(const QString& reason);
    void acknowledged(int mid);
    void enqueue(const QByteArray& payload);
    void pump();
    void publishHealth();
    void publishAlarms();
    void publishMarks();
    void reportFault(const QString& reason);
    void updateState();

    MqttOutputConfig m_config;
    QByteArray m_topic;
    QByteArray m_statusTopic;
    std::unique_ptr<MqttClient> m_client;

    // Session thread only.
    std::deque<QByteArray> m_queue;
    QSet<int> m_inFlight;
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_finished = false;
    bool m_faultReported = false;
    bool m_overflowReported = false;
    qint64 m_dropped = 0;
    qint64 m_acknowledged = 0;
    QString m_lastReason;
    HealthState m_health;            // as the session told it last
    std::deque<QByteArray> m_alarms; // waiting for the broker
    std::deque<QByteArray> m_marks;  // waiting for the broker
    QTimer m_faultTimer;

    // Shared with the library's thread.
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;            // under m_mutex
    bool m_threadDone = false;          // under m_mutex
    int m_goodbyeMid = -1;              // under m_mutex: the message id of the last "offline"
    std::atomic<bool> m_abandon{false}; // leave the network loop without a goodbye
    std::atomic<bool> m_linkUp{false};  // a connection was accepted since the last look
};
