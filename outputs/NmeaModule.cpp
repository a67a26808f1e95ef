// The NMEA module, marvane-nmea.so: NmeaTransport on Qt Network. Built as a shared object of its
// own and loaded when the first NMEA output is made; it links nothing of the program but this
// interface, so that the program's own code is never loaded twice.

#include "outputs/NmeaTransport.h"

#include <QHostInfo>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <new>

namespace {

class QtNmeaTransport : public QObject, public NmeaTransport
{
public:
    QtNmeaTransport(const NmeaOutputConfig& config, qint64 clientBacklogLimit,
                    NmeaTransportListener* listener);
    ~QtNmeaTransport() override;

    void send(const QList<QByteArray>& sentences) override;
    quint16 tcpPort() const override;
    int clientCount() const override { return int(m_clients.size()); }
    int failedAttempts() const override { return m_failedAttempts; }

private:
    void message(const QString& text) { m_listener->transportMessage(text); }
    void sendToClients(const QByteArray& bytes);
    void resolveHost();
    void listen();
    void acceptClients();
    void dropClient(QTcpSocket* client, const QString& why);
    void updateState();

    NmeaOutputConfig m_config;
    qint64 m_clientBacklogLimit;
    NmeaTransportListener* m_listener;
    QUdpSocket* m_udp = nullptr;
    QHostAddress m_udpAddress; // null until the host is resolved
    bool m_resolving = false;
    QString m_hostFault;      // the host did not resolve
    bool m_sendFault = false; // the last datagram could not be sent
    QString m_listenFault;    // the TCP port could not be served
    QTcpServer* m_server = nullptr;
    QList<QTcpSocket*> m_clients;
    QTimer m_retryTimer;
    int m_failedAttempts = 0;
};

QtNmeaTransport::QtNmeaTransport(const NmeaOutputConfig& config, qint64 clientBacklogLimit,
                                 NmeaTransportListener* listener)
    : m_config(config), m_clientBacklogLimit(clientBacklogLimit), m_listener(listener)
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(m_config.retryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (!m_config.udpHost.isEmpty() && m_udpAddress.isNull())
            resolveHost();
        if (m_config.tcp && !m_server->isListening())
            listen();
    });

    if (!m_config.udpHost.isEmpty()) {
        m_udp = new QUdpSocket(this);
        resolveHost();
    }
    if (m_config.tcp) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this,
                &QtNmeaTransport::acceptClients);
        listen();
    }
    updateState();
}

QtNmeaTransport::~QtNmeaTransport()
{
    for (QTcpSocket* client : std::as_const(m_clients))
        client->disconnect(this);
}

quint16 QtNmeaTransport::tcpPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

void QtNmeaTransport::resolveHost()
{
    // An address is taken as it is; a name is looked up once, without blocking the session.
    if (QHostAddress address; address.setAddress(m_config.udpHost)) {
        m_udpAddress = address;
        return;
    }
    if (m_resolving)
        return;
    m_resolving = true;
    QHostInfo::lookupHost(m_config.udpHost, this, [this](const QHostInfo& info) {
        m_resolving = false;
        QHostAddress found;
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                found = address;
                break;
            }
            if (found.isNull())
                found = address;
        }
        if (found.isNull()) {
            ++m_failedAttempts;
            if (m_hostFault.isEmpty()) {
                m_hostFault = QStringLiteral("NMEA: host %1 not found").arg(m_config.udpHost);
                message(QStringLiteral("NMEA: host %1 not found (%2); trying again every %3 s")
                            .arg(m_config.udpHost, info.errorString())
                            .arg(m_config.retryIntervalMs / 1000));
            }
            m_retryTimer.start();
        } else {
            m_udpAddress = found;
            if (!m_hostFault.isEmpty()) {
                m_hostFault.clear();
                message(QStringLiteral("NMEA: host %1 found").arg(m_config.udpHost));
            }
        }
        updateState();
    });
}

void QtNmeaTransport::listen()
{
    const QHostAddress address = m_config.tcpAddress.isEmpty()
                                     ? QHostAddress(QHostAddress::Any)
                                     : QHostAddress(m_config.tcpAddress);
    if (m_server->listen(address, m_config.tcpPort)) {
        if (!m_listenFault.isEmpty()) {
            m_listenFault.clear();
            message(QStringLiteral("NMEA: serving TCP port %1").arg(tcpPort()));
        }
    } else {
        ++m_failedAttempts;
        if (m_listenFault.isEmpty()) {
            m_listenFault = QStringLiteral("NMEA: TCP port %1 in use").arg(m_config.tcpPort);
            message(QStringLiteral("NMEA: cannot serve TCP port %1 (%2); trying again every %3 s")
                        .arg(m_config.tcpPort)
                        .arg(m_server->errorString())
                        .arg(m_config.retryIntervalMs / 1000));
        }
        m_retryTimer.start();
    }
    updateState();
}

void QtNmeaTransport::acceptClients()
{
    while (QTcpSocket* client = m_server->nextPendingConnection()) {
        // Sentences only go out: what a client sends is read and thrown away, so its data never
        // piles up here.
        connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            m_clients.removeOne(client);
            client->deleteLater();
            updateState();
        });
        connect(client, &QTcpSocket::errorOccurred, this, [this, client] {
            if (m_clients.contains(client))
                dropClient(client, client->errorString());
        });
        // A small kernel buffer, so that a client that stops reading shows up in bytesToWrite
        // after a few seconds of sentences rather than after megabytes.
        client->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                                int(m_clientBacklogLimit));
        m_clients.append(client);
    }
    updateState();
}

void QtNmeaTransport::dropClient(QTcpSocket* client, const QString& why)
{
    m_clients.removeOne(client);
    message(QStringLiteral("NMEA: TCP client %1:%2 dropped (%3)")
                .arg(client->peerAddress().toString())
                .arg(client->peerPort())
                .arg(why));
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    updateState();
}

void QtNmeaTransport::send(const QList<QByteArray>& sentences)
{
    QByteArray bytes;
    for (const QByteArray& sentence : sentences) {
        if (m_udp && !m_udpAddress.isNull()) {
            if (m_udp->writeDatagram(sentence, m_udpAddress, m_config.udpPort) < 0) {
                if (!m_sendFault) {
                    m_sendFault = true;
                    message(QStringLiteral("NMEA: cannot send to %1:%2 (%3)")
                                .arg(m_config.udpHost)
                                .arg(m_config.udpPort)
                                .arg(m_udp->errorString()));
                    updateState();
                }
            } else if (m_sendFault) {
                m_sendFault = false;
                message(QStringLiteral("NMEA: sending to %1:%2 again")
                            .arg(m_config.udpHost)
                            .arg(m_config.udpPort));
                updateState();
            }
        }
        bytes += sentence;
    }
    if (!bytes.isEmpty())
        sendToClients(bytes);
}

void QtNmeaTransport::sendToClients(const QByteArray& bytes)
{
    const QList<QTcpSocket*> clients = m_clients;
    for (QTcpSocket* client : clients) {
        if (client->bytesToWrite() + bytes.size() > m_clientBacklogLimit) {
            dropClient(client, QStringLiteral("not reading"));
            continue;
        }
        client->write(bytes);
    }
}

void QtNmeaTransport::updateState()
{
    QStringList faults;
    if (!m_hostFault.isEmpty())
        faults << m_hostFault;
    if (m_sendFault)
        faults << QStringLiteral("NMEA: cannot send to %1:%2")
                      .arg(m_config.udpHost)
                      .arg(m_config.udpPort);
    if (!m_listenFault.isEmpty())
        faults << m_listenFault;
    if (!faults.isEmpty()) {
        m_listener->transportState(faults.join(QStringLiteral("; ")));
        return;
    }
    QStringList parts;
    if (m_udp)
        parts << QStringLiteral("UDP to %1:%2").arg(m_config.udpHost).arg(m_config.udpPort);
    if (m_server) {
        parts << (m_clients.size() == 1 ? QStringLiteral("1 client")
                                        : QStringLiteral("%1 clients").arg(m_clients.size()));
    }
    if (m_udp && !m_server)
        m_listener->transportState(QStringLiteral("NMEA ") + parts.join(QString()));
    else
        m_listener->transportState(QStringLiteral("NMEA: ") + parts.join(QStringLiteral(", ")));
}

} // namespace

// kNmeaModuleEntry.
extern "C" Q_DECL_EXPORT NmeaTransport* marvane_nmea_transport_1(const NmeaOutputConfig& config,
                                                                 qint64 clientBacklogLimit,
                                                                 NmeaTransportListener* listener)
{
    return new (std::nothrow) QtNmeaTransport(config, clientBacklogLimit, listener);
}
