#include "sources/TcpSource.h"

#include <QDateTime>
#include <QUrl>

#include <algorithm>
#include <utility>

TcpSource::TcpSource(QObject* parent)
    : LiveSource(parent), m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_pollTimer.setInterval(kPollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &TcpSource::poll);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &TcpSource::connectNow);
}

TcpSource::~TcpSource()
{
    // The link goes before the listener it reports to.
    m_link.reset();
}

bool TcpSource::isNetworkName(const QString& name)
{
    return name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

bool TcpSource::parseAddress(const QString& name, QString* host, quint16* port, QString* reason)
{
    const auto refuse = [&](const QString& why) {
        if (reason)
            *reason = QStringLiteral("%1 is not a network address: %2 (tcp://HOST:PORT, for "
                                     "example tcp://192.168.1.20:4001).")
                          .arg(name, why);
        return false;
    };
    if (!isNetworkName(name))
        return refuse(QStringLiteral("it does not begin with tcp://"));
    const QUrl url(name, QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("it cannot be read"));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("the host is missing"));
    if (!url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment())
        return refuse(QStringLiteral("only a host and a port may follow tcp://"));
    if (url.port() < 1 || url.port() > 65535)
        return refuse(QStringLiteral("the port is missing (1 to 65535)"));
    *host = url.host();
    *port = quint16(url.port());
    return true;
}

int TcpSource::scaled(int ms) const
{
    if (m_timeScale == 1.0)
        return ms;
    return std::max(1, int(ms * m_timeScale));
}

void TcpSource::setTimeScale(double scale)
{
    m_timeScale = scale;
    m_pollTimer.setInterval(scaled(kPollInterval));
}

bool TcpSource::open(const QString& name, QString* reason)
{
    QString host;
    quint16 port = 0;
    if (!parseAddress(name, &host, &port, reason))
        return false;
    if (!m_link) {
        QString why;
        const TcpLinkFactory factory = tcpLinkFactory(&why);
        TcpLink* link = factory ? factory(this) : nullptr;
        if (!link) {
            if (reason)
                *reason = QStringLiteral("Network sources are not available: %1.")
                              .arg(factory ? QStringLiteral("out of memory") : why);
            return false;
        }
        m_link.reset(link);
    }
    close();
    m_name = name;
    m_host = host;
    m_port = port;
    m_open = true;
    m_retryDelay = kFirstRetry;
    connectNow();
    return true;
}

void TcpSource::connectNow()
{
    if (!m_open)
        return;
    m_connected = false;
    m_link->connectTo(m_host, m_port, scaled(kConnectTimeout));
}

void TcpSource::start()
{
    if (!m_open)
        return;
    m_started = true;
    m_pollTimer.start(scaled(kPollInterval));
}

void TcpSource::close()
{
    m_pollTimer.stop();
    m_retryTimer.stop();
    if (m_link)
        m_link->abort();
    m_waiting.clear();
    m_waiting.breakLine();
    m_open = false;
    m_started = false;
    m_connected = false;
    m_reconnecting = false;
}

QString TcpSource::peer() const
{
    return m_link ? m_link->peer() : QString();
}

void TcpSource::poll()
{
    if (m_waiting.isEmpty())
        return;
    QList<QByteArray> records;
    QList<qint64> times;
    m_waiting.take(&records, &times);
    emit recordsReceived(records, times);
}

void TcpSource::setReconnect(bool on)
{
    m_reconnect = on;
    if (!on && m_reconnecting) {
        // Nobody waits for the server any more: the loss is final.
        const QString name = m_name;
        close();
        emit deviceLost(name, QStringLiteral("Reconnection was turned off."));
    }
}

QString TcpSource::retryText() const
{
    return QStringLiteral("Trying again after 1 s, then at longer intervals up to every %1 s.")
        .arg(kLongestRetry / 1000);
}

void TcpSource::linkConnected()
{
    m_connected = true;
    m_retryTimer.stop();
    if (m_reconnecting) {
        m_reconnecting = false;
        if (m_started)
            m_pollTimer.start(scaled(kPollInterval));
        emit reconnected(m_name);
    }
}

void TcpSource::linkBytes(const QByteArray& bytes)
{
    // The serial line drops NUL bytes before anything reads them; the device server passes them.
    QByteArray text = bytes;
    text.removeIf([](char c) { return c == '\0'; });
    // Data flows: a connection that holds is tried again soon after its next loss. One that a
    // server accepts and closes at once (it serves another client) is tried less and less often.
    if (!text.isEmpty())
        m_retryDelay = kFirstRetry;
    m_waiting.arrive(text, m_now());
}

void TcpSource::linkFailed(const QString& reason)
{
    if (!m_open)
        return;
    m_connected = false;
    // A record the loss cut short must not be completed by the first bytes after it.
    m_waiting.breakLine();
    if (m_reconnecting) {
        // Still away: wait longer before the next attempt.
        m_retryDelay = std::min(m_retryDelay * 2, kLongestRetry);
        m_retryTimer.start(scaled(m_retryDelay));
        return;
    }
    // The records of a burst that arrived just before the loss are handed out before it is told.
    if (m_started)
        poll();
    if (!m_open)
        return; // a destination closed the source while it took them
    if (!m_reconnect) {
        const QString name = m_name;
        close();
        emit deviceLost(name, reason);
        return;
    }
    m_pollTimer.stop();
    m_reconnecting = true;
    m_retryTimer.start(scaled(m_retryDelay));
    emit reconnecting(m_name, reason);
}
