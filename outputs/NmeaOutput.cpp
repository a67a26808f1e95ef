#include "outputs/NmeaOutput.h"

#include "outputs/NmeaSentence.h"

NmeaOutput::NmeaOutput(const NmeaOutputConfig& config, QObject* parent) : LiveOutput(parent)
{
    QString unavailable;
    if (const NmeaTransportFactory make = nmeaTransportFactory(&unavailable)) {
        m_transport.reset(make(config, kClientBacklogLimit, this));
        if (!m_transport)
            unavailable = QStringLiteral("out of memory");
    }
    if (!m_transport) {
        setStateText(QStringLiteral("NMEA: not available"));
        emit message(QStringLiteral("NMEA output is not available: %1").arg(unavailable));
    }
}

NmeaOutput::~NmeaOutput() = default;

void NmeaOutput::takeBatch(const SampleBatch& batch)
{
    if (!m_transport)
        return;
    QList<QByteArray> sentences;
    for (const Sample& sample : batch) {
        if (sample.source == SampleSource::Replay)
            continue;
        if (sample.computed && !sample.headingOffset && !m_toldNoHeading) {
            m_toldNoHeading = true;
            emit message(noHeadingText());
        }
        if (const auto sentence = vdrSentence(sample)) {
            sentences << *sentence;
            ++m_sentencesSent;
        }
    }
    if (!sentences.isEmpty())
        m_transport->send(sentences);
}

void NmeaOutput::takeEvent(const SessionEvent& event)
{
    if (!m_transport)
        return;
    if (event.kind != SessionEvent::Kind::AlarmRaised &&
        event.kind != SessionEvent::Kind::AlarmCleared)
        return;
    m_transport->send({alrSentence(event.timeMs, event.alarm,
                                   event.kind == SessionEvent::Kind::AlarmRaised, event.reason)});
    ++m_sentencesSent;
}
