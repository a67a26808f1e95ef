#pragma once
// A live source: whatever hands the live session records as they come, with the time each one
// arrived. The serial port (SerialSource), a sensor behind a serial-to-Ethernet device server
// (TcpSource, "tcp://HOST:PORT") and the built-in demonstration (DemoSource) are the ones there
// are; the session and its users speak to this interface only.
//
// A source is opened by the name the operator gave it ("COM1", "/dev/ttyUSB0",
// "tcp://192.168.1.20:4001"), then started; from then on it hands out its records with
// recordsReceived, each stamped with the clock at the moment its line end arrived. A source that
// loses its line either gives up (deviceLost) or, with reconnection on, says it is trying
// (reconnecting) and later that it is back (reconnected).

#include "sensor/Sample.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class LiveSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // What its samples are: live (the sensor, whatever line carries it) or demonstration.
    virtual SampleSource kind() const = 0;

    // Opens the source named name. On failure returns false with the reason for the operator and
    // leaves a running source as it was. Records are handed out once start() is called.
    virtual bool open(const QString& name, QString* reason) = 0;
    virtual void start() = 0;
    // Stops and lets the line go. Records not yet handed out are dropped.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The name it was opened by, as the operator gave it.
    virtual QString name() const = 0;
    // Where its records come from, for status lines and the head of files: the device a serial
    // port maps to, the address of a network source; empty when the name says it all.
    virtual QString describe() const = 0;
    // Whether the line has parameters of its own (speed, data bits, parity, stop bits) that the
    // options set: a serial port has, a device server on the network keeps its own.
    virtual bool hasLineSettings() const { return false; }

    // Hands out now what arrived since the last hand-out.
    virtual void poll() {}
    // Records stamped and waiting for the next hand-out.
    virtual int recordsWaiting() const { return 0; }

    // Open the line again after a loss instead of giving up.
    virtual void setReconnect(bool on) { Q_UNUSED(on); }
    // The line was lost and is being waited for.
    virtual bool isReconnecting() const { return false; }
    // How the source tries again, as the end of a sentence after the reason of a loss.
    virtual QString retryText() const { return QString(); }

    // The clock of the arrival times (milliseconds since 1970 UTC).
    virtual void setClock(std::function<qint64()> now) = 0;
    // Test seam: every wait and interval is multiplied by scale (the program uses 1).
    virtual void setTimeScale(double scale) = 0;

signals:
    // The records that arrived since the last hand-out, in arrival order, and the time each
    // one's line end was read (ms since 1970 UTC), one per record (emitted only when there are
    // some).
    void recordsReceived(const QList<QByteArray>& records, const QList<qint64>& arrivalMs);
    // The line went away while open: the source is closed and hands out nothing more.
    void deviceLost(const QString& name, const QString& reason);
    // With reconnection on: the line went away and is being waited for (reason says how it
    // went); it is back and records are handed out again.
    void reconnecting(const QString& name, const QString& reason);
    void reconnected(const QString& name);
};
