#pragma once
// The sockets of the NMEA output: datagrams to one host and port, and a TCP server whose every
// client gets the sentences. They live in the NMEA module (marvane-nmea.so, on Qt Network),
// loaded when the first NMEA output is made (see base/ModuleLoader.h), so that a start without
// one loads neither Qt Network nor what it brings (Kerberos, libproxy). NmeaOutput turns samples
// into sentences and hands them on; the transport keeps the sockets and their fault episodes and
// tells the output what to say and show.
//
// Everything runs on the thread that made the transport, without blocking: a host name is looked
// up in the background, a port in use and a host that does not resolve are reported once and
// tried again every retryIntervalMs, a client that stops reading (more than the backlog limit
// waiting for it) or fails is dropped.

#include <QByteArray>
#include <QList>
#include <QString>

struct NmeaOutputConfig
{
    QString udpHost; // empty: no datagrams
    quint16 udpPort = 10110;
    bool tcp = false;
    quint16 tcpPort = 10110; // 0: any free port (tests)
    QString tcpAddress; // an IP address of this computer; empty: every address
    int retryIntervalMs = 10000;
};

class NmeaTransportListener
{
public:
    // One line per fault episode or recovery.
    virtual void transportMessage(const QString& text) = 0;
    // What the status bar shows ("NMEA: 2 clients").
    virtual void transportState(const QString& text) = 0;

protected:
    ~NmeaTransportListener() = default;
};

class NmeaTransport
{
public:
    virtual ~NmeaTransport() = default;

    // Each sentence as a datagram of its own, as receivers expect; all of them in one write to
    // every TCP client.
    virtual void send(const QList<QByteArray>& sentences) = 0;

    virtual quint16 tcpPort() const = 0; // 0 while the server does not listen
    virtual int clientCount() const = 0;
    virtual int failedAttempts() const = 0; // host look-ups and listens that failed so far
};

// The module's file and its one entry point, an NmeaTransportFactory: a transport for config
// reporting to listener, owned by the caller (nothing when out of memory). The number is the
// version of this interface.
inline constexpr char kNmeaModuleFile[] = "marvane-nmea.so";
inline constexpr char kNmeaModuleEntry[] = "marvane_nmea_transport_1";
using NmeaTransportFactory = NmeaTransport* (*)(const NmeaOutputConfig& config,
                                                qint64 clientBacklogLimit,
                                                NmeaTransportListener* listener);

// The factory of the NMEA module, loading it unless it is loaded; nothing, and why in reason (for
// "NMEA output is not available: <reason>"), when it cannot be loaded.
NmeaTransportFactory nmeaTransportFactory(QString* reason);
