#pragma once
// The serial port, the only class that sees QSerialPort. It opens the device for exclusive
// reading, writes the current line parameters at every poll and returns the bytes waiting
// without ever blocking. It tells when the device goes away (a USB adapter pulled out).

#include "comms/PortSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSerialPort;

class SerialConnection : public QObject
{
    Q_OBJECT
public:
    explicit SerialConnection(QObject* parent = nullptr);
    ~SerialConnection() override;

    // Opens devicePath read-only and exclusively (a second open, by this program or any other,
    // fails). On failure returns false and reason explains it for the operator: the device path
    // tried, the system's reason (no such device; permission denied and the group to join; in
    // use, with the process holding it when its lock file tells).
    bool open(const QString& devicePath, QString* reason);
    void close();
    bool isOpen() const;
    QString devicePath() const { return m_devicePath; }

    // One poll: writes the line parameters (a baud value of 0 is not applied; the port keeps its
    // speed), then reads and returns every byte waiting, NUL bytes dropped. Nothing waiting, or a
    // port that is not open, gives an empty result. Notices a device that has gone.
    QByteArray poll(const PortSettings& settings);

signals:
    // The device went away or failed while open; emitted once, after which the port is closed.
    void deviceLost(const QString& reason);

private:
    void applyParameters(const PortSettings& settings);
    void handleError(int error);
    void loseDevice(const QString& reason);

    std::unique_ptr<QSerialPort> m_port;
    QString m_devicePath;
};
