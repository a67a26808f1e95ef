#include "sources/SerialSource.h"

#include "settings/PortMapping.h"
#include "sources/SerialConnection.h"

#include <QDateTime>

#include <utility>

SerialSource::SerialSource(QObject* parent)
    : LiveSource(parent), m_connection(std::make_unique<SerialConnection>()),
      m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    connect(m_connection.get(), &SerialConnection::bytesArrived, this,
            [this] { frame(m_connection->takeArrived()); });
    m_pollTimer.setInterval(kPollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &SerialSource::tick);
    m_firstPollWait.setSingleShot(true);
    connect(&m_firstPollWait, &QTimer::timeout, this, &SerialSource::poll);
    m_reconnectTimer.setInterval(kReconnectInterval);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &SerialSource::tryReconnect);
    connect(m_connection.get(), &SerialConnection::deviceLost, this, &SerialSource::onDeviceLost,
            Qt::QueuedConnection);
}

SerialSource::~SerialSource() = default;

int SerialSource::scaled(int ms) const
{
    if (m_timeScale == 1.0)
        return ms;
    return qMax(1, int(ms * m_timeScale));
}

void SerialSource::setTimeScale(double scale)
{
    m_timeScale = scale;
    m_pollTimer.setInterval(scaled(kPollInterval));
    m_reconnectTimer.setInterval(scaled(kReconnectInterval));
}

void SerialSource::setReconnect(bool on)
{
    m_reconnect = on;
    if (!on)
        m_reconnectTimer.stop();
}

void SerialSource::setPortSettings(const PortSettings& settings)
{
    m_settings = settings;
    if (m_connection->isOpen())
        m_connection->applyParameters(m_settings);
}

bool SerialSource::isComName(const QString& name)
{
    return isComPortName(name);
}

QString SerialSource::devicePathFor(const QString& portName, const QString& settingsPath)
{
    if (isComName(portName))
        return devicePathForPort(portName.toUpper(), settingsPath);
    return portName;
}

bool SerialSource::open(const QString& name, QString* reason)
{
    const QString portName = isComName(name) ? name.toUpper() : name;
    const QString device = devicePathFor(portName, m_settingsPath);
    if (device.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("no device for port %1").arg(portName);
        return false;
    }
    return open(device, portName, reason);
}

bool SerialSource::open(const QString& devicePath, const QString& portName, QString* reason)
{
    if (!m_connection->open(devicePath, reason, portName, &m_settings))
        return false;
    m_portName = portName;
    m_devicePath = devicePath;
    m_reconnectTimer.stop();
    m_waiting.breakLine();
    m_waiting.clear();
    m_open = true;
    m_pollTimer.stop();
    m_firstPollWait.stop();
    return true;
}

void SerialSource::startPolling()
{
    if (m_open)
        m_pollTimer.start(scaled(kPollInterval));
}

void SerialSource::close()
{
    m_pollTimer.stop();
    m_firstPollWait.stop();
    m_reconnectTimer.stop();
    m_connection->close();
    m_waiting.clear();
    m_open = false;
}

void SerialSource::tick()
{
    if (m_firstRead) {
        m_firstRead = false;
        m_firstPollWait.start(scaled(kFirstPollWait));
        return;
    }
    poll();
}

void SerialSource::frame(const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        m_waiting.arrive(bytes, m_now());
}

void SerialSource::poll()
{
    frame(m_connection->poll());
    if (m_waiting.isEmpty())
        return;
    QList<QByteArray> records;
    QList<qint64> times;
    m_waiting.take(&records, &times);
    emit recordsReceived(records, times);
}

void SerialSource::onDeviceLost(const QString& reason)
{
    if (!m_open)
        return;
    // The records of a burst that arrived just before the device went are still handed out,
    // before the loss is told.
    poll();
    if (!m_open)
        return; // a sink closed the source while it handled them
    close();
    if (!m_reconnect) {
        emit deviceLost(m_portName, reason);
        return;
    }
    m_reconnectTimer.start();
    emit reconnecting(m_portName, reason);
}

void SerialSource::tryReconnect()
{
    // What the device sent between coming back and this retry is kept: its first records.
    if (!m_connection->open(m_devicePath, nullptr, m_portName, &m_settings,
                            SerialConnection::WaitingInput::Keep))
        return; // still away: the timer tries again
    m_reconnectTimer.stop();
    // A record the loss cut short must not be completed by the device's first bytes.
    m_waiting.breakLine();
    m_open = true;
    m_pollTimer.start(scaled(kPollInterval));
    emit reconnected(m_portName);
}
