#pragma once
// Live acquisition from the serial port: the connection, the poll timer, the framing of the byte
// stream into records, the wait before the very first poll, and the loss of the device.
//
// Bytes are read and framed as they arrive, and each record is stamped with the clock at the
// moment its line end is read, a modal box's event loop included. The records wait for the
// poll, every 900 ms, which hands out all that have arrived since together with
// recordsReceived, in arrival order, exactly once, with their arrival times. The first poll
// after the first connection of the source's life waits another 500 ms (the instrument's first
// burst after power-up is often incomplete); records arriving meanwhile keep their own times.
//
// With reconnection on, a device that goes away is not given up: its path is opened again about
// once a second until it is back (a USB adapter plugged in again, whose udev link points at the
// new node). Bytes read before the loss are handed out first; a record torn by the loss is
// dropped rather than glued to what the device sends after it comes back.

#include "settings/PortSettings.h"
#include "sources/RecordFramer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class SerialConnection;

class SerialSource : public QObject
{
    Q_OBJECT
public:
    explicit SerialSource(QObject* parent = nullptr);
    ~SerialSource() override;

    // The line parameters: used at every open, and written to an open port at once.
    void setPortSettings(const PortSettings& settings);
    const PortSettings& portSettings() const { return m_settings; }

    // Opens devicePath for portName ("COM1"); polling starts with startPolling(). On failure
    // returns false with the reason and leaves a running connection as it was. Opening while
    // connected replaces the connection once the new device is open.
    bool open(const QString& devicePath, const QString& portName, QString* reason);
    void startPolling();
    // Stops polling and releases the port. Records and bytes already read but not yet handed
    // out are dropped.
    void close();
    bool isOpen() const { return m_open; }

    // Reopen the same device after a loss instead of giving up (deviceLost is then not emitted).
    void setReconnect(bool on);
    bool reconnect() const { return m_reconnect; }
    // The device was lost and is being waited for.
    bool isReconnecting() const { return m_reconnectTimer.isActive(); }
    // The port of the current (or last) connection, as the operator named it.
    const QString& portName() const { return m_portName; }

    // One poll now: reads what is waiting and hands out every record that arrived since the
    // last poll.
    void poll();

    // The clock of the arrival times (milliseconds since 1970 UTC); the system's unless set.
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }
    // Records framed and stamped, waiting for the next poll.
    int recordsWaiting() const { return int(m_waiting.size()); }

    SerialConnection& connection() { return *m_connection; }
    // The poll timer, for tests and benchmarks that time or drive polls themselves.
    QTimer& pollTimer() { return m_pollTimer; }
    const RecordFramer& framer() const { return m_framer; }

    // Test seam: every wait and interval is multiplied by scale (the program uses 1).
    void setTimeScale(double scale);
    static constexpr int kPollInterval = 900;
    static constexpr int kFirstPollWait = 500;
    static constexpr int kReconnectInterval = 1000;

signals:
    // The records that arrived since the last poll, in arrival order, and the time each one's
    // line end was read (ms since 1970 UTC), one per record (emitted only when there are some).
    void recordsReceived(const QList<QByteArray>& records, const QList<qint64>& arrivalMs);
    // The device went away while connected: the port is closed and polling has stopped.
    void deviceLost(const QString& portName, const QString& reason);
    // With reconnection on: the device went away and is being waited for (reason says how it
    // went); it is back and polling has started again.
    void reconnecting(const QString& portName, const QString& reason);
    void reconnected(const QString& portName);

private:
    void tick();
    void frame(const QByteArray& bytes);
    void onDeviceLost(const QString& reason);
    void tryReconnect();
    int scaled(int ms) const;

    PortSettings m_settings;
    std::unique_ptr<SerialConnection> m_connection;
    RecordFramer m_framer;
    std::function<qint64()> m_now;
    QList<QByteArray> m_waiting; // framed, not yet handed out
    QList<qint64> m_waitingTimes;
    QTimer m_pollTimer;
    QTimer m_firstPollWait;
    QTimer m_reconnectTimer;
    QString m_portName;
    QString m_devicePath;
    bool m_reconnect = false;
    bool m_open = false;
    bool m_firstRead = true;
    double m_timeScale = 1.0;
};
