#include "app/DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include <atomic>
#include <thread>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// Each notifier on a bus of its own has a connection name of its own.
std::atomic<int> s_connections{0};

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

DesktopNotifier::DesktopNotifier(const QString& busAddress, QObject* parent)
    : QObject(parent), m_address(busAddress)
{
}

DesktopNotifier::~DesktopNotifier()
{
    if (m_busState == BusState::Ready && !m_connectionName.isEmpty()) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

void DesktopNotifier::reachBus()
{
    m_busState = BusState::Reaching;
    if (m_address.isEmpty())
        m_connectionName.clear();
    else
        m_connectionName = QStringLiteral("marvane-notifier-%1").arg(++s_connections);
    const QString address = m_address;
    const QString name = m_connectionName;
    QPointer<DesktopNotifier> self(this);
    // Detached: a bus that never answers keeps only this thread, never the program's end.
    std::thread([self, address, name] {
        const QDBusConnection connection = address.isEmpty()
                                               ? QDBusConnection::sessionBus()
                                               : QDBusConnection::connectToBus(address, name);
        const bool connected = connection.isConnected();
        QString reason = connection.lastError().message();
        if (!connected && reason.isEmpty())
            reason = QStringLiteral("no session bus");
        if (!connected && !name.isEmpty())
            QDBusConnection::disconnectFromBus(name);
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [self, connected, reason] {
                    if (self)
                        self->busReached(connected, reason);
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

void DesktopNotifier::busReached(bool connected, const QString& reason)
{
    if (connected) {
        m_bus = std::make_unique<QDBusConnection>(m_connectionName.isEmpty()
                                                      ? QDBusConnection::sessionBus()
                                                      : QDBusConnection(m_connectionName));
        m_busState = BusState::Ready;
    } else {
        m_busState = BusState::Failed;
        m_busFailure = reason;
    }
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting& w : waiting) {
        if (connected)
            send(w.key, w.summary, w.body);
        else
            failed(reason);
    }
}

void DesktopNotifier::notify(const QString& key, const QString& summary, const QString& body)
{
    ++m_sent;
    switch (m_busState) {
    case BusState::NotAsked:
        reachBus();
        m_waiting.append({key, summary, body});
        return;
    case BusState::Reaching:
        // Only the latest of an alarm is worth showing once the bus is there.
        for (qsizetype i = 0; i < m_waiting.size(); ++i) {
            if (m_waiting[i].key == key)
                m_waiting.removeAt(i--);
        }
        m_waiting.append({key, summary, body});
        return;
    case BusState::Failed:
        failed(m_busFailure);
        return;
    case BusState::Ready:
        send(key, summary, body);
        return;
    }
}

void DesktopNotifier::send(const QString& key, const QString& summary, const QString& body)
{
    QDBusConnection& connection = *m_bus;
    if (!connection.isConnected()) {
        failed(QStringLiteral("the session bus went away"));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2))); // critical
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("marvane"));
    call << QStringLiteral("Marvane") << m_ids.value(key, 0u) << QStringLiteral("marvane")
         << summary << body << QStringList() << hints << qint32(-1);
    // A service that is not there is not started for us, nor waited for.
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isError()) {
                    failed(reply.error().message());
                    return;
                }
                ++m_shown;
                m_unavailableTold = false;
                m_ids.insert(key, reply.value());
            });
}

void DesktopNotifier::failed(const QString& reason)
{
    if (m_unavailableTold)
        return;
    m_unavailableTold = true;
    emit unavailable(QStringLiteral("Desktop notifications are not available: %1").arg(reason));
}
