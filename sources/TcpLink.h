#pragma once
// The connection of a network source: one TCP client connection to a serial-to-Ethernet device
// server in raw TCP mode, which passes the sensor's bytes on as they come. It lives in the
// network module (marvane-tcp.so, on Qt Network), loaded when the first network source is
// opened (see base/ModuleLoader.h), so that a start, or a session on a serial port, loads
// neither Qt Network nor what it brings (Kerberos, libproxy).
//
// Everything runs on the thread that made the link, without blocking: the host name is looked up
// in the background and the connection is made in the background; the listener hears of it from
// the event loop, never from inside a call of its own.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class TcpLinkListener
{
public:
    // The connection is made.
    virtual void linkConnected() = 0;
    // Bytes read from the connection, as soon as the system hands them over.
    virtual void linkBytes(const QByteArray& bytes) = 0;
    // The connection could not be made, or was lost (the server closed it, the network failed);
    // the link is closed. Told once per connectTo, after every byte received before it.
    virtual void linkFailed(const QString& reason) = 0;

protected:
    ~TcpLinkListener() = default;
};

class TcpLink
{
public:
    virtual ~TcpLink() = default;

    // Drops any connection, then connects to host and port in the background. A connection not
    // made within timeoutMs fails.
    virtual void connectTo(const QString& host, quint16 port, int timeoutMs) = 0;
    // Drops the connection at once; the listener hears nothing more of it.
    virtual void abort() = 0;
    // The address of the other end while connected ("192.168.1.20:4001"), else empty.
    virtual QString peer() const = 0;
};

// The module's file and its one entry point, a TcpLinkFactory: a link reporting to listener,
// owned by the caller (nothing when out of memory). The number is the version of this interface.
inline constexpr char kTcpModuleFile[] = "marvane-tcp.so";
inline constexpr char kTcpModuleEntry[] = "marvane_tcp_link_1";
using TcpLinkFactory = TcpLink* (*)(TcpLinkListener* listener);

// The factory of the network module, loading it unless it is loaded; nothing, and why in reason,
// when it cannot be loaded.
TcpLinkFactory tcpLinkFactory(QString* reason);
