// Desktop notifications over D-Bus never hold the program up: without a bus, and on a bus without
// a notification service, the call returns at once and the failure is told once; a service that
// is there is handed the notification, and a later one of the same alarm replaces it.

#include "app/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

namespace {

// A bus of the test's own, where no notification service runs.
class PrivateBus
{
public:
    bool start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid())
            return false;
        // The session bus's own configuration: nothing is started on it for us, since the
        // notifier asks for no activation.
        m_process.start(daemon, {QStringLiteral("--session"), QStringLiteral("--print-address"),
                                 QStringLiteral("--nofork")});
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
            return false;
        address = QString::fromLocal8Bit(m_process.readLine().trimmed());
        return !address.isEmpty();
    }
    ~PrivateBus()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// The notification service, as a desktop runs it.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QList<uint> replaced;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(appName)
        Q_UNUSED(icon)
        Q_UNUSED(body)
        Q_UNUSED(actions)
        Q_UNUSED(hints)
        Q_UNUSED(timeout)
        summaries << summary;
        replaced << replacesId;
        return uint(40 + summaries.size());
    }
};

} // namespace

class TestNotifier : public QObject
{
    Q_OBJECT
private slots:
    void withoutABusNothingWaits();
    void withoutAServiceNothingWaits();
    void serviceIsHandedTheNotification();
};

void TestNotifier::withoutABusNothingWaits()
{
    QTemporaryDir dir;
    DesktopNotifier notifier(QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("none")),
                             nullptr);
    QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
    QElapsedTimer timer;
    timer.start();
    notifier.notify(QStringLiteral("no-data"), QStringLiteral("Marvane alarm: no data"), {});
    notifier.notify(QStringLiteral("no-data"), QStringLiteral("Marvane alarm over"), {});
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QTRY_COMPARE(unavailable.size(), 1);
    notifier.notify(QStringLiteral("no-data"), QStringLiteral("Marvane alarm again"), {});
    QTest::qWait(50);
    QCOMPARE(unavailable.size(), 1); // told once
    QVERIFY(unavailable.first().first().toString().startsWith(
        QStringLiteral("Desktop notifications are not available: ")));
    QCOMPARE(notifier.sent(), 3);
    QCOMPARE(notifier.shown(), 0);
}

void TestNotifier::withoutAServiceNothingWaits()
{
    PrivateBus bus;
    if (!bus.start())
        QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
    DesktopNotifier notifier(bus.address, nullptr);
    QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
    QElapsedTimer timer;
    timer.start();
    notifier.notify(QStringLiteral("clock"), QStringLiteral("Marvane alarm: clock"), {});
    notifier.notify(QStringLiteral("clock"), QStringLiteral("Marvane alarm over: clock"), {});
    // The calls return before any answer: the bus's refusal comes later, through the loop.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(unavailable.size(), 0);
    QTRY_COMPARE(unavailable.size(), 1);
    QTest::qWait(100);
    QCOMPARE(unavailable.size(), 1);
    QCOMPARE(notifier.shown(), 0);
}

void TestNotifier::serviceIsHandedTheNotification()
{
    PrivateBus bus;
    if (!bus.start())
        QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
    QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("desk"));
    QVERIFY(service.isConnected());
    FakeNotifications desktop;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    {
        DesktopNotifier notifier(bus.address, nullptr);
        QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
        notifier.notify(QStringLiteral("speed-above"), QStringLiteral("Marvane alarm: speed"), {});
        QTRY_VERIFY2(notifier.shown() == 1,
                     qPrintable(unavailable.isEmpty() ? QStringLiteral("no answer")
                                                      : unavailable.first().first().toString()));
        notifier.notify(QStringLiteral("speed-above"), QStringLiteral("Marvane alarm over: speed"),
                        {});
        QTRY_COMPARE(notifier.shown(), 2);
        QCOMPARE(desktop.summaries, (QStringList{QStringLiteral("Marvane alarm: speed"),
                                                 QStringLiteral("Marvane alarm over: speed")}));
        // The second replaces the first on the desktop.
        QCOMPARE(desktop.replaced, (QList<uint>{0, 41}));
        QCOMPARE(unavailable.size(), 0);
    }
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("desk"));
}

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
