// The MQTT module, marvane-mqtt.so: MqttClient on Debian's libmosquitto. Built as a shared object
// of its own and loaded when the first MQTT output is made; it links nothing of the program but
// this interface, so that the program's own code is never loaded twice.

#include "outputs/MqttClient.h"
#include "outputs/MqttTls.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

namespace {

MqttClient::Result result(int rc)
{
    // Read first: the texts below may touch errno.
    const int error = errno;
    MqttClient::Result r;
    switch (rc) {
    case MOSQ_ERR_SUCCESS:
        return r;
    case MOSQ_ERR_NO_CONN:
        r.status = MqttClient::Status::NoConnection;
        break;
    case MOSQ_ERR_CONN_LOST:
        r.status = MqttClient::Status::ConnectionLost;
        break;
    case MOSQ_ERR_ERRNO:
        r.status = MqttClient::Status::SystemError;
        r.reason = QString::fromLocal8Bit(std::strerror(error));
        return r;
    default:
        r.status = MqttClient::Status::Failed;
        break;
    }
    r.reason = QString::fromUtf8(mosquitto_strerror(rc));
    return r;
}

class MosquittoClient : public MqttClient
{
public:
    explicit MosquittoClient(MqttClientListener* listener) : m_listener(listener)
    {
        static std::once_flag once;
        std::call_once(once, [] { mosquitto_lib_init(); });
        m_mosq = mosquitto_new(nullptr, true, this);
        if (!m_mosq)
            return;
        mosquitto_threaded_set(m_mosq, true);
        mosquitto_connect_callback_set(m_mosq, &MosquittoClient::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &MosquittoClient::onDisconnect);
        mosquitto_publish_callback_set(m_mosq, &MosquittoClient::onPublish);
    }
    ~MosquittoClient() override
    {
        if (m_mosq)
            mosquitto_destroy(m_mosq);
        m_tls.reset(); // after the client, which holds its context
    }
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    bool made() const { return m_mosq != nullptr; }

    void setSendMaximum(int messages) override
    {
        mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, messages);
    }
    void setWill(const QByteArray& topic, const QByteArray& payload, int qos, bool retain) override
    {
        mosquitto_will_set(m_mosq, topic.constData(), int(payload.size()), payload.constData(), qos,
                           retain);
    }
    void setCredentials(const QByteArray& user, const std::optional<QByteArray>& password) override
    {
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  password ? password->constData() : nullptr);
    }
    Result setTls(const QString& host, const QString& caFile) override
    {
        // libmosquitto applies none of its defaults to a context of our own.
        Result r;
        m_tls = MqttTls::create(host, caFile, &r.reason);
        if (!m_tls) {
            r.status = Status::Failed;
            return r;
        }
        mosquitto_int_option(m_mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        return result(mosquitto_void_option(m_mosq, MOSQ_OPT_SSL_CTX, m_tls->context()));
    }
    QString takeTlsFailure() override { return m_tls ? m_tls->takeFailure() : QString(); }

    Result connectAsync(const QByteArray& host, int port, int keepAliveSeconds) override
    {
        return result(mosquitto_connect_async(m_mosq, host.constData(), port, keepAliveSeconds));
    }
    Result loop(int timeoutMs) override { return result(mosquitto_loop(m_mosq, timeoutMs, 1)); }
    int socket() const override { return mosquitto_socket(m_mosq); }

    Result publish(int* messageId, const QByteArray& topic, const QByteArray& payload, int qos,
                   bool retain) override
    {
        return result(mosquitto_publish(m_mosq, messageId, topic.constData(), int(payload.size()),
                                        payload.constData(), qos, retain));
    }
    void disconnect() override { mosquitto_disconnect(m_mosq); }

private:
    static void onConnect(mosquitto*, void* self, int rc)
    {
        static_cast<MosquittoClient*>(self)->m_listener->connectAnswered(
            rc == 0, rc == 0 ? QString() : QString::fromUtf8(mosquitto_connack_string(rc)));
    }
    static void onDisconnect(mosquitto*, void* self, int rc)
    {
        static_cast<MosquittoClient*>(self)->m_listener->disconnected(
            QString::fromUtf8(mosquitto_strerror(rc)));
    }
    static void onPublish(mosquitto*, void* self, int mid)
    {
        static_cast<MosquittoClient*>(self)->m_listener->published(mid);
    }

    MqttClientListener* m_listener;
    std::unique_ptr<MqttTls> m_tls; // mqtts: outlives m_mosq, which holds its context
    mosquitto* m_mosq = nullptr;
};

} // namespace

// kMqttModuleEntry.
extern "C" Q_DECL_EXPORT MqttClient* marvane_mqtt_client_1(MqttClientListener* listener)
{
    auto* client = new (std::nothrow) MosquittoClient(listener);
    if (client && !client->made()) {
        delete client;
        return nullptr;
    }
    return client;
}
