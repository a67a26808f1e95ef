#pragma once
// The history of the live session: every sample the sensor sends through the pipeline, kept from
// start-up whether or not the History window is open, so that the window shows the whole session
// whenever it is first opened. The demonstration's invented samples and replayed lines are no
// measurement and are left out.
//
// Samples arrive as values: their time (Sample::timeMs), speed and bearing go into the series as
// numbers, nothing is read back from a text. The series keeps the units of its first good sample
// (later ones are converted into them) and shows its times on the computer's clock, as the clock
// label and the log do.

#include "processing/HistorySeries.h"
#include "processing/Sample.h"

#include <QObject>

class FlowPipeline;

class LiveHistory : public QObject
{
    Q_OBJECT
public:
    // With a pipeline, takes each of its samples; without, only what addSample or addBatch give.
    explicit LiveHistory(FlowPipeline* pipeline = nullptr, QObject* parent = nullptr);

    const HistorySeries& series() const { return m_series; }

    void addSample(const Sample& sample);
    // A poll's samples: the series grows by all of them, then grew() is emitted once.
    void addBatch(const SampleBatch& batch);

signals:
    // Records were added to the series.
    void grew();

private:
    bool take(const Sample& sample);

    HistorySeries m_series;
};
