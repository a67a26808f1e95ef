#pragma once
// VDR sentences of the live session's computed samples, as datagrams to one host and port (a
// broadcast address included) and/or to every client of a TCP server. Everything is
// non-blocking on the session's own event thread: a client that stops reading (more than
// kClientBacklogLimit bytes waiting for it) or fails is dropped, never waited for. A host that
// does not resolve or a port in use is reported once and tried again every retryInterval.
//
// The sockets are those of the NMEA module (see NmeaTransport.h), loaded when the first NMEA
// output is made.

#include "outputs/LiveOutput.h"
#include "outputs/NmeaTransport.h"

#include <memory>

class NmeaOutput : public LiveOutput, private NmeaTransportListener
{
    Q_OBJECT
public:
    static constexpr qint64 kClientBacklogLimit = 64 * 1024;
    // Said once, with the first sample that gives no sentence for want of a heading.
    static QString noHeadingText()
    {
        return QStringLiteral("NMEA: no VDR sentence is sent while the sensor's heading is not "
                              "set: the set would be relative to the front of the sensor, not "
                              "to north");
    }

    // Without the NMEA module the output does nothing from the start: "NMEA: not available".
    explicit NmeaOutput(const NmeaOutputConfig& config, QObject* parent = nullptr);
    ~NmeaOutput() override;

    void takeBatch(const SampleBatch& batch) override;
    // An alarm raised or cleared goes out as an ALR sentence.
    void takeEvent(const SessionEvent& event) override;

    // The port the TCP server listens on (0 while it does not).
    quint16 tcpPort() const { return m_transport ? m_transport->tcpPort() : 0; }
    int clientCount() const { return m_transport ? m_transport->clientCount() : 0; }
    qint64 sentencesSent() const { return m_sentencesSent; }
    // Host look-ups and listens that failed so far.
    int failedAttempts() const { return m_transport ? m_transport->failedAttempts() : 0; }

private:
    void transportMessage(const QString& text) override { emit message(text); }
    void transportState(const QString& text) override { setStateText(text); }

    std::unique_ptr<NmeaTransport> m_transport;
    qint64 m_sentencesSent = 0;
    bool m_toldNoHeading = false;
};
