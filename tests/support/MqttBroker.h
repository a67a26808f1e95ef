#pragma once
// Debian's mosquitto broker, started by a test on a free port of 127.0.0.1 only, and a
// subscriber (libmosquitto) that keeps every message it receives.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <mutex>

struct mosquitto;

class MqttBroker
{
public:
    MqttBroker();
    ~MqttBroker();

    static QString program(); // empty when mosquitto is not installed

    // From the next start on, the listener speaks TLS only, with this certificate and key.
    void setTls(const QString& certificateFile, const QString& keyFile);

    // Starts the broker (on the same port after a stop) and waits until it takes connections.
    // persistent: subscriptions of non-clean sessions and their queued messages survive a stop.
    bool start(bool persistent = false);
    void stop();
    quint16 port() const { return m_port; }
    QString log() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_certificateFile;
    QString m_keyFile;
};

class MqttSubscriber
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained;
    };

    // clientId empty: a clean session; else a persistent one under that id.
    MqttSubscriber(quint16 port, const QString& filter, const QString& clientId = {});
    ~MqttSubscriber();

    bool subscribed() const;
    QList<Message> messages() const;
    QList<QByteArray> payloads(const QString& topic) const;

private:
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onSubscribe(mosquitto*, void* self, int, int, const int*);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);

    mosquitto* m_mosq = nullptr;
    QByteArray m_filter;
    mutable std::mutex m_mutex;
    QList<Message> m_messages;
    bool m_subscribed = false;
};
