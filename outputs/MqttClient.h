#pragma once
// The MQTT client library as MqttOutput drives it: one client of one broker, with the calls of
// libmosquitto in its threaded mode. It lives in the MQTT module (marvane-mqtt.so, on Debian's
// libmosquitto), loaded when the first MQTT output is made (see base/ModuleLoader.h), so that a
// start without one loads neither libmosquitto nor OpenSSL. The TLS context it hands to
// libmosquitto is its own (MqttTls), so that a refused handshake says which check failed.
//
// connectAsync, loop and socket belong to the thread that runs the network loop; publish and
// disconnect may be called from any thread (they queue packets and wake the loop). The listener is
// called on the loop's thread.

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class MqttClientListener
{
public:
    // The broker's answer to a connection: accepted, or refused with its reason.
    virtual void connectAnswered(bool accepted, const QString& refusal) = 0;
    virtual void disconnected(const QString& reason) = 0;
    // A message of QoS 1 was acknowledged by the broker.
    virtual void published(int messageId) = 0;

protected:
    ~MqttClientListener() = default;
};

class MqttClient
{
public:
    // What a call came to. NoConnection, ConnectionLost and SystemError (the system's error
    // number) leave a published message queued in the library, to go after a reconnection.
    enum class Status
    {
        Ok,
        NoConnection,
        ConnectionLost,
        SystemError,
        Failed,
    };
    struct Result
    {
        Status status = Status::Ok;
        QString reason; // the library's text, or the system's for SystemError; empty when Ok
        bool ok() const { return status == Status::Ok; }
    };

    virtual ~MqttClient() = default;

    // Before the first connection.
    virtual void setSendMaximum(int messages) = 0; // unacknowledged messages the library sends
    virtual void setWill(const QByteArray& topic, const QByteArray& payload, int qos,
                         bool retain) = 0;
    virtual void setCredentials(const QByteArray& user,
                                const std::optional<QByteArray>& password) = 0;
    // mqtts: the broker's certificate must chain to the certificate authority file (empty: the
    // system's authorities) and be made out for host; the failure says why the file cannot be
    // used.
    virtual Result setTls(const QString& host, const QString& caFile) = 0;
    // Why the check of the broker's certificate failed since the last call ("the broker's
    // certificate expired on ..."), empty when it did not. Any thread.
    virtual QString takeTlsFailure() = 0;

    // The loop's thread.
    virtual Result connectAsync(const QByteArray& host, int port, int keepAliveSeconds) = 0;
    virtual Result loop(int timeoutMs) = 0;
    virtual int socket() const = 0; // -1 when not connected

    // Any thread.
    virtual Result publish(int* messageId, const QByteArray& topic, const QByteArray& payload,
                           int qos, bool retain) = 0;
    virtual void disconnect() = 0;
};

// A client reporting to listener, from the MQTT module; nothing, and why in reason (for
// "MQTT output is not available: <reason>"), when the module cannot be loaded.
std::unique_ptr<MqttClient> createMqttClient(MqttClientListener* listener, QString* reason);
// Whether the MQTT module can be loaded (it is, when it can), and why not in reason.
bool mqttClientAvailable(QString* reason);

// The module's file and its one entry point, an MqttClientFactory: a new client reporting to
// listener, owned by the caller (nothing when out of memory). The number is the version of this
// interface.
inline constexpr char kMqttModuleFile[] = "marvane-mqtt.so";
inline constexpr char kMqttModuleEntry[] = "marvane_mqtt_client_1";
using MqttClientFactory = MqttClient* (*)(MqttClientListener* listener);
