#include "history/LiveHistory.h"

#include "sensor/FlowComputation.h"

#include <cmath>

LiveHistory::LiveHistory(QObject* parent) : QObject(parent)
{
    m_series.setTimeBase(TimeBase::Utc);
}

bool LiveHistory::take(const Sample& sample)
{
    if (sample.source != SampleSource::Live)
        return false;
    // A first record whose flow could not be computed has no speed to convert: the first good one
    // decides.
    if (m_series.sampleCount() == 0 && sample.hasRecord)
        m_series.setUnits(sample.units);
    if (!sample.computed) {
        m_series.appendBad();
        return true;
    }
    HistorySample s;
    s.speed = speedInUnits(sample.speed, sample.units, m_series.units());
    // Whole degrees, as the readout shows them.
    s.bearing = wholeDegrees(sample.bearing);
    s.timeMs = sample.timeMs;
    s.bearingTo = sample.bearingTo;
    m_series.append(s);
    return true;
}

void LiveHistory::addSample(const Sample& sample)
{
    if (take(sample))
        emit grew();
}

void LiveHistory::addBatch(const SampleBatch& batch)
{
    bool any = false;
    for (const Sample& sample : batch)
        any = take(sample) || any;
    if (any)
        emit grew();
}

void LiveHistory::takeEvent(const SessionEvent& event)
{
    if (event.kind != SessionEvent::Kind::Mark)
        return;
    m_series.addMark({event.timeMs, event.reason});
    emit marked();
}
