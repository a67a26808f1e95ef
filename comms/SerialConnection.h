#pragma once
// The serial port, the only class that sees QSerialPort. It opens the device for exclusive
// reading, reads the bytes as they arrive (bytesArrived says when), returns them without ever
// blocking, and tells when the device goes away (a USB adapter pulled out).

#include "settings/PortSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>
#include <optional>

// The line parameters of PortSettings as QSerialPort takes them. A value the port cannot take
// (a baud rate of 0, an unknown parity or stop-bits code) is empty and is not written: the port
// keeps what it had, as a serial driver keeps its parameters when handed an invalid block.
struct QtLineSettings
{
    std::optional<qint32> baudRate;
    std::optional<QSerialPort::DataBits> dataBits;
    std::optional<QSerialPort::Parity> parity;
    std::optional<QSerialPort::StopBits> stopBits;
};
QtLineSettings qtLineSettings(const PortSettings& settings);

class SerialConnection : public QObject
{
    Q_OBJECT
public:
    explicit SerialConnection(QObject* parent = nullptr);
    ~SerialConnection() override;

    // Opens devicePath read-only and exclusively (a second open, by this program or any other,
    // fails). On failure returns false and reason explains it for the operator: the device path
    // tried, the system's reason (no such device; permission denied and the group to join; in
    // use, with the process holding it when its lock file tells). portName ("COM3"), when
    // given, lets the reason for a missing device say which key of [Ports] in marvane.ini maps
    // that port elsewhere; without it the hint speaks of COM1..COM4 in general.
    // Opening while already open tries the new device first: on success the previous device is
    // closed and replaced, on failure the running connection stays as it was (the same device
    // again fails as "already open in this program").
    // Once open, the line parameters of settings (when given) are written at once. With
    // WaitingInput::Discard (Connect) whatever the device had received before is thrown away:
    // bytes that waited in the port from before Connect may be hours old, and may have been
    // received with other line parameters. With WaitingInput::Keep (reopening a device that came
    // back) they are kept: they are at most one retry old, the first records the device sent.
    enum class WaitingInput
    {
        Discard,
        Keep,
    };
    bool open(const QString& devicePath, QString* reason, const QString& portName = QString(),
              const PortSettings* settings = nullptr, WaitingInput waiting = WaitingInput::Discard);
    void close();
    bool isOpen() const;
    QString devicePath() const { return m_devicePath; }

    // Writes the line parameters to the open port (a baud value of 0 is not applied; the port
    // keeps its speed). Called at open and whenever the options change, never per poll.
    void applyParameters(const PortSettings& settings);

    // One poll: reads and returns every byte waiting, NUL bytes dropped. Nothing waiting, or a
    // port that is not open, gives an empty result. Notices a device that has gone.
    // Bytes the port had already received when its device went away are kept and returned by
    // the next poll (the one that notices the loss, or the first one after it), so the records
    // of a last burst are not lost with the device. close() and open() forget them.
    QByteArray poll();

    // The bytes read as they arrived (see bytesArrived) and not yet returned, NUL bytes dropped,
    // with those kept from a device that went away. Reads nothing and checks nothing: the cheap
    // half of poll(), for every arrival.
    QByteArray takeArrived();

    // Bytes already read from the device and not yet returned by poll() or takeArrived().
    qint64 bytesFetched() const;

signals:
    // Bytes arrived and were read from the device: takeArrived() has them. Emitted from the
    // event loop (a modal box's included) as soon as the system hands them over.
    void bytesArrived();
    // The device went away or failed while open. Emitted once per connection, from the event
    // loop (never from inside poll() or open()), after the port has been closed; not emitted
    // when close() or a new open() came first.
    void deviceLost(const QString& reason);

private:
    void applyLineBehaviour();
    QByteArray readWaiting();
    // Appends everything the system holds for the port now, reading until nothing is waiting.
    // False when a read failed (the device has gone).
    bool drainInto(QByteArray& bytes);
    void handleError(int error);
    void loseDevice(const QString& reason);
    void closePort();
    QByteArray takeKeptBytes();
    void onReadyRead();

    std::unique_ptr<QSerialPort> m_port;
    QString m_devicePath;
    quint64 m_deviceId = 0;    // file system and inode of the device node opened,
    quint64 m_deviceInode = 0; // to notice its path naming another node later
    quint64 m_connection = 0; // counts opens and closes, so a late loss notice can tell it is stale
    QByteArray m_fetched;     // read from the device as it arrived, not yet returned
    QByteArray m_keptAfterLoss; // read before the device went away, not yet returned by poll()
};
