#include "logfile/LiveHistory.h"

#include "logfile/LogSampleParser.h"

LiveHistory::LiveHistory(QObject* parent) : QObject(parent) {}

void LiveHistory::takeBatch(const SampleBatch& batch)
{
    const qint64 before = m_series.sampleCount();
    for (const Sample& sample : batch) {
        if (sample.source == SampleSource::Serial)
            append(sample);
    }
    if (m_series.sampleCount() != before)
        emit grew();
}

void LiveHistory::addSample(const Sample& sample)
{
    if (sample.source != SampleSource::Serial)
        return;
    append(sample);
    emit grew();
}

void LiveHistory::append(const Sample& sample)
{
    // A first record whose flow could not be computed has no speed to convert: the first good one
    // decides.
    if (m_series.sampleCount() == 0 && sample.hasRecord)
        m_series.setUnits(sample.units);
    if (const std::optional<HistorySample> s = historySampleOf(sample, m_series.units()))
        m_series.append(*s);
    else
        m_series.appendBad();
}
