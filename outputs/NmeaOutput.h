#pragma once
// VDR sentences of the live session's computed samples, as datagrams to one host and port (a
// broadcast address included) and/or to every client of a TCP server. Everything is
// non-blocking on the session's own event thread: a client that stops reading (more than
// kClientBacklogLimit bytes waiting for it) or fails is dropped, never waited for. A host that
// does not resolve or a port in use is reported once and tried again every retryInterval.

#include "outputs/LiveOutput.h"

#include <QHostAddress>
#include <QList>
#include <QTimer>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

struct NmeaOutputConfig
{
    QString udpHost; // empty: no datagrams
    quint16 udpPort = 10110;
    bool tcp = false;
    quint16 tcpPort = 10110; // 0: any free port (tests)
    QHostAddress tcpAddress = QHostAddress::Any;
    int retryIntervalMs = 10000;
};

class NmeaOutput : public LiveOutput
{
    Q_OBJECT
public:
    static constexpr qint64 kClientBacklogLimit = 64 * 1024;

    explicit NmeaOutput(const NmeaOutputConfig& config, QObject* parent = nullptr);
    ~NmeaOutput() override;

    void takeBatch(const SampleBatch& batch) override;

    // The port the TCP server listens on (0 while it does not).
    quint16 tcpPort() const;
    int clientCount() const { return int(m_clients.size()); }
    qint64 sentencesSent() const { return m_sentencesSent; }
    // Host look-ups and listens that failed so far.
    int failedAttempts() const { return m_failedAttempts; }

private:
    void send(const QByteArray& bytes);
    void resolveHost();
    void listen();
    void acceptClients();
    void dropClient(QTcpSocket* client, const QString& why);
    void updateState();

    NmeaOutputConfig m_config;
    QUdpSocket* m_udp = nullptr;
    QHostAddress m_udpAddress; // null until the host is resolved
    bool m_resolving = false;
    QString m_hostFault;      // the host did not resolve
    bool m_sendFault = false; // the last datagram could not be sent
    QString m_listenFault;    // the TCP port could not be served
    QTcpServer* m_server = nullptr;
    QList<QTcpSocket*> m_clients;
    QTimer m_retryTimer;
    qint64 m_sentencesSent = 0;
    int m_failedAttempts = 0;
};
