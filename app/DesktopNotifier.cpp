#include "app/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

DesktopNotifier::DesktopNotifier(const QString& busAddress, QObject* parent)
    : QObject(parent), m_address(busAddress)
{
}

DesktopNotifier::~DesktopNotifier()
{
    if (!m_connectionName.isEmpty()) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

QDBusConnection& DesktopNotifier::bus()
{
    if (!m_bus) {
        if (m_address.isEmpty()) {
            m_bus = std::make_unique<QDBusConnection>(QDBusConnection::sessionBus());
        } else {
            m_connectionName = QStringLiteral("marvane-notifier-%1").arg(quintptr(this), 0, 16);
            m_bus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(m_address, m_connectionName));
        }
    }
    return *m_bus;
}

void DesktopNotifier::notify(const QString& key, const QString& summary, const QString& body)
{
    ++m_sent;
    QDBusConnection& connection = bus();
    if (!connection.isConnected()) {
        const QString why = connection.lastError().message();
        failed(why.isEmpty() ? QStringLiteral("no session bus") : why);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                       QStringLiteral("Notify"));
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
