#pragma once
// Desktop notifications through the freedesktop notification service (org.freedesktop.
// Notifications on the session bus), for the alarms of an unattended station.
//
// Nothing here ever waits: the bus is reached on the first notification only, by a thread of its
// own (libdbus connects and says hello synchronously, and a bus that hangs would hold the window
// for its timeout), every call is asynchronous, and a desktop without a session bus or without a
// notification service costs one line (unavailable, told once per episode) and nothing else.
// Notifications asked for while the bus is being reached wait for it. A test hands a bus of its
// own.

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class Notifier
{
public:
    virtual ~Notifier() = default;
    // Shows summary and body; key names the episode (a later notification of the same key
    // replaces the earlier one on the desktop).
    virtual void notify(const QString& key, const QString& summary, const QString& body) = 0;
};

class DesktopNotifier : public QObject, public Notifier
{
    Q_OBJECT
public:
    // The user's session bus, reached when first needed.
    explicit DesktopNotifier(QObject* parent = nullptr);
    // The bus at address (tests).
    DesktopNotifier(const QString& busAddress, QObject* parent);
    ~DesktopNotifier() override;

    void notify(const QString& key, const QString& summary, const QString& body) override;

    // Notifications sent and those the service took (answered with an id).
    int sent() const { return m_sent; }
    int shown() const { return m_shown; }

signals:
    // No notification can be shown (no bus, no service): why, once until one is shown again.
    void unavailable(const QString& reason);

private:
    void reachBus();
    void busReached(bool connected, const QString& reason);
    void send(const QString& key, const QString& summary, const QString& body);
    void failed(const QString& reason);

    enum class BusState
    {
        NotAsked,
        Reaching,
        Ready,
        Failed,
    };
    struct Waiting
    {
        QString key, summary, body;
    };
    BusState m_busState = BusState::NotAsked;
    QString m_busFailure;
    QList<Waiting> m_waiting;

    QString m_address; // empty: the session bus
    QString m_connectionName;
    std::unique_ptr<QDBusConnection> m_bus;
    QMap<QString, uint> m_ids; // the desktop's id of each key's last notification
    int m_sent = 0;
    int m_shown = 0;
    bool m_unavailableTold = false;
};
