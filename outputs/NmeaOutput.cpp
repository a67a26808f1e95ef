#include "outputs/NmeaOutput.h"

#include "outputs/NmeaSentence.h"

#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

NmeaOutput::NmeaOutput(const NmeaOutputConfig& config, QObject* parent)
    : LiveOutput(parent), m_config(config)
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
                &NmeaOutput::acceptClients);
        listen();
    }
    updateState();
}

NmeaOutput::~NmeaOutput()
{
    for (QTcpSocket* client : std::as_const(m_clients))
        client->disconnect(this);
}

quint16 NmeaOutput::tcpPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

void NmeaOutput::resolveHost()
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
                emit message(QStringLiteral("NMEA: host %1 not found (%2); trying again every "
                                            "%3 s")
                                 .arg(m_config.udpHost, info.errorString())
                                 .arg(m_config.retryIntervalMs / 1000));
            }
            m_retryTimer.start();
        } else {
            m_udpAddress = found;
            if (!m_hostFault.isEmpty()) {
                m_hostFault.clear();
                emit message(QStringLiteral("NMEA: host %1 found").arg(m_config.udpHost));
            }
        }
        updateState();
    });
}

void NmeaOutput::listen()
{
    if (m_server->listen(m_config.tcpAddress, m_config.tcpPort)) {
        if (!m_listenFault.isEmpty()) {
            m_listenFault.clear();
            emit message(QStringLiteral("NMEA: serving TCP port %1").arg(tcpPort()));
        }
    } else {
        ++m_failedAttempts;
        if (m_listenFault.isEmpty()) {
            m_listenFault = QStringLiteral("NMEA: TCP port %1 in use").arg(m_config.tcpPort);
            emit message(QStringLiteral("NMEA: cannot serve TCP port %1 (%2); trying again "
                                        "every %3 s")
                             .arg(m_config.tcpPort)
                             .arg(m_server->errorString())
                             .arg(m_config.retryIntervalMs / 1000));
        }
        m_retryTimer.start();
    }
    updateState();
}

void NmeaOutput::acceptClients()
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
                                int(kClientBacklogLimit));
        m_clients.append(client);
    }
    updateState();
}

void NmeaOutput::dropClient(QTcpSocket* client, const QString& why)
{
    m_clients.removeOne(client);
    emit message(QStringLiteral("NMEA: TCP client %1:%2 dropped (%3)")
                     .arg(client->peerAddress().toString())
                     .arg(client->peerPort())
                     .arg(why));
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    updateState();
}

void NmeaOutput::takeBatch(const SampleBatch& batch)
{
    QByteArray bytes;
    for (const Sample& sample : batch) {
        if (sample.source == SampleSource::Replay)
            continue;
        if (const auto sentence = vdrSentence(sample)) {
            // Datagrams one sentence each, as receivers expect; TCP gets the batch in one write.
            if (m_udp && !m_udpAddress.isNull()) {
                if (m_udp->writeDatagram(*sentence, m_udpAddress, m_config.udpPort) < 0) {
                    if (!m_sendFault) {
                        m_sendFault = true;
                        emit message(QStringLiteral("NMEA: cannot send to %1:%2 (%3)")
                                         .arg(m_config.udpHost)
                                         .arg(m_config.udpPort)
                                         .arg(m_udp->errorString()));
                        updateState();
                    }
                } else if (m_sendFault) {
                    m_sendFault = false;
                    emit message(QStringLiteral("NMEA: sending to %1:%2 again")
                                     .arg(m_config.udpHost)
                                     .arg(m_config.udpPort));
                    updateState();
                }
            }
            bytes += *sentence;
            ++m_sentencesSent;
        }
    }
    if (!bytes.isEmpty())
        send(bytes);
}

void NmeaOutput::send(const QByteArray& bytes)
{
    const QList<QTcpSocket*> clients = m_clients;
    for (QTcpSocket* client : clients) {
        if (client->bytesToWrite() + bytes.size() > kClientBacklogLimit) {
            dropClient(client, QStringLiteral("not reading"));
            continue;
        }
        client->write(bytes);
    }
}

void NmeaOutput::updateState()
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
        setStateText(faults.join(QStringLiteral("; ")));
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
        setStateText(QStringLiteral("NMEA ") + parts.join(QString()));
    else
        setStateText(QStringLiteral("NMEA: ") + parts.join(QStringLiteral(", ")));
}
