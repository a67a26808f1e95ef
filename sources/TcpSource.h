#pragma once
// A sensor on the network: the sensor's serial line ends at a serial-to-Ethernet device server in
// raw TCP mode, which hands its bytes to whoever connects to one of its ports, the usual way a
// sensor on a pier or a buoy reaches a computer. The source is named "tcp://HOST:PORT"
// ("tcp://192.168.1.20:4001", "tcp://[fe80::1%eth0]:4001", "tcp://buoy-7.local:4001").
//
// The stream is framed and stamped as the serial port's is: each record with the clock at the
// moment its line end is read, handed out every 900 ms with those that arrived since. Connecting
// never blocks: open() checks the address and starts connecting in the background. The line
// parameters are the device server's own; the options' speed and parity do not apply.
//
// A connection that cannot be made or is lost counts as a lost device. With reconnection on it is
// made again, after 1 s, then after twice as long at every failure up to 30 s, and after 1 s
// again once data has flowed; a record torn by the loss is dropped, never glued to what comes
// after. A connection that cannot be made at the very first attempt is reported as a loss as well:
// the server may be starting, or the network not yet up, and a logger left alone goes on trying.

#include "sources/ArrivalQueue.h"
#include "sources/LiveSource.h"
#include "sources/TcpLink.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TcpSource : public LiveSource, private TcpLinkListener
{
    Q_OBJECT
public:
    explicit TcpSource(QObject* parent = nullptr);
    ~TcpSource() override;

    // Whether name names a network source (begins with "tcp://", in any case).
    static bool isNetworkName(const QString& name);
    // The host and port of "tcp://HOST:PORT"; false with why in reason when name is not such an
    // address.
    static bool parseAddress(const QString& name, QString* host, quint16* port, QString* reason);

    SampleSource kind() const override { return SampleSource::Live; }
    // Checks the address and loads the network module; the connection is made in the background.
    bool open(const QString& name, QString* reason) override;
    void start() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool isConnected() const { return m_connected; }
    QString name() const override { return m_name; }
    QString describe() const override { return QStringLiteral("raw TCP"); }
    // The address of the device server while connected ("192.168.1.20:4001").
    QString peer() const;

    void poll() override;
    int recordsWaiting() const override { return m_waiting.size(); }
    void setReconnect(bool on) override;
    bool isReconnecting() const override { return m_reconnecting; }
    QString retryText() const override;
    void setClock(std::function<qint64()> now) override { m_now = std::move(now); }
    void setTimeScale(double scale) override;

    const RecordFramer& framer() const { return m_waiting.framer(); }
    // The wait before the next attempt to connect, while reconnecting.
    int retryDelay() const { return m_retryDelay; }

    static constexpr int kPollInterval = 900;
    static constexpr int kFirstRetry = 1000;
    static constexpr int kLongestRetry = 30000;
    static constexpr int kConnectTimeout = 10000;

private:
    void linkConnected() override;
    void linkBytes(const QByteArray& bytes) override;
    void linkFailed(const QString& reason) override;
    void connectNow();
    int scaled(int ms) const;

    std::unique_ptr<TcpLink> m_link;
    std::function<qint64()> m_now;
    ArrivalQueue m_waiting;
    QTimer m_pollTimer;
    QTimer m_retryTimer;
    QString m_name;
    QString m_host;
    quint16 m_port = 0;
    int m_retryDelay = kFirstRetry; // unscaled
    double m_timeScale = 1.0;
    bool m_open = false;
    bool m_started = false;
    bool m_connected = false;
    bool m_reconnect = false;
    bool m_reconnecting = false;
};
