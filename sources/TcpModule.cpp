// The network module, marvane-tcp.so: TcpLink on Qt Network. Built as a shared object of its own
// and loaded when the first network source is opened; it links nothing of the program but this
// interface, so that the program's own code is never loaded twice.

#include "sources/TcpLink.h"

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <new>

namespace {

class QtTcpLink : public QObject, public TcpLink
{
public:
    explicit QtTcpLink(TcpLinkListener* listener) : m_listener(listener)
    {
        m_connectTimer.setSingleShot(true);
        connect(&m_connectTimer, &QTimer::timeout, this, [this] {
            fail(QStringLiteral("No connection within %1 s.").arg((m_timeoutMs + 999) / 1000));
        });
    }
    ~QtTcpLink() override { drop(); }

    void connectTo(const QString& host, quint16 port, int timeoutMs) override
    {
        drop();
        m_timeoutMs = timeoutMs;
        m_socket = new QTcpSocket(this);
        QTcpSocket* socket = m_socket;
        // A notice queued by an earlier connection finds another number here and is ignored.
        const quint64 connection = ++m_connection;
        connect(socket, &QTcpSocket::connected, this, [this, socket] {
            if (socket != m_socket)
                return;
            m_connectTimer.stop();
            // A device server that loses its power sends nothing more and closes nothing:
            // keep-alive probes let the system notice a connection whose other end is gone.
            socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_listener->linkConnected();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket == m_socket)
                readAll();
        });
        // Queued: the listener never hears of a failure from inside connectTo.
        connect(
            socket, &QTcpSocket::errorOccurred, this,
            [this, socket, connection](QAbstractSocket::SocketError) {
                if (connection == m_connection && m_socket)
                    fail(reasonOf(socket));
            },
            Qt::QueuedConnection);
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, connection] {
                if (connection == m_connection && m_socket)
                    fail(QStringLiteral("The device server closed the connection."));
            },
            Qt::QueuedConnection);
        m_connectTimer.start(timeoutMs);
        socket->connectToHost(host, port, QIODevice::ReadOnly);
    }

    void abort() override { drop(); }

    QString peer() const override
    {
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return QString();
        const QHostAddress address = m_socket->peerAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(address.toString())
                                 : address.toString();
        return QStringLiteral("%1:%2").arg(host).arg(m_socket->peerPort());
    }

private:
    static QString reasonOf(const QTcpSocket* socket)
    {
        QString text = socket->errorString();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('.')))
            text += QLatin1Char('.');
        return text;
    }

    void readAll()
    {
        const QByteArray bytes = m_socket->readAll();
        if (!bytes.isEmpty())
            m_listener->linkBytes(bytes);
    }

    void fail(const QString& reason)
    {
        if (!m_socket)
            return;
        // The bytes of a last burst come first: they arrived before the connection went.
        if (m_socket->bytesAvailable() > 0)
            readAll();
        if (!m_socket)
            return; // the listener dropped the link while it took them
        drop();
        m_listener->linkFailed(reason);
    }

    void drop()
    {
        m_connectTimer.stop();
        if (!m_socket)
            return;
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        ++m_connection;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }

    TcpLinkListener* m_listener;
    QTcpSocket* m_socket = nullptr;
    QTimer m_connectTimer;
    int m_timeoutMs = 0;
    quint64 m_connection = 0; // counts connections and drops
};

} // namespace

extern "C" Q_DECL_EXPORT TcpLink* marvane_tcp_link_1(TcpLinkListener* listener)
{
    return new (std::nothrow) QtTcpLink(listener);
}
