#include "logfile/LiveHistory.h"

#include "logfile/LogSampleParser.h"
#include "processing/FlowPipeline.h"

LiveHistory::LiveHistory(FlowPipeline* pipeline, QObject* parent) : QObject(parent)
{
    if (pipeline)
        connect(pipeline, &FlowPipeline::sampleReady, this, &LiveHistory::addSample);
}

void LiveHistory::addSample(const Sample& sample)
{
    if (sample.source != SampleSource::Serial)
        return;
    // A first record whose flow could not be computed has no speed to convert: the first good one
    // decides.
    if (m_series.sampleCount() == 0 && sample.hasRecord)
        m_series.setUnits(sample.units);
    if (const std::optional<HistorySample> s = historySampleOf(sample, m_series.units()))
        m_series.append(*s);
    else
        m_series.appendBad();
    emit grew();
}
