#pragma once
// The history of the live session: every sample the sensor sends through the pipeline, kept from
// start-up whether or not the History window is open, so that the window shows the whole session
// whenever it is first opened. The demonstration's invented samples and replayed lines are no
// measurement and are left out.
//
// Samples are read from the same texts the recorder writes (historySampleOf), so that the live
// history and the history of the session's log file agree. The series keeps the units of its
// first good sample; later ones are converted into them.

#include "processing/HistorySeries.h"

#include <QObject>

class FlowPipeline;
struct Sample;

class LiveHistory : public QObject
{
    Q_OBJECT
public:
    explicit LiveHistory(FlowPipeline* pipeline, QObject* parent = nullptr);

    const HistorySeries& series() const { return m_series; }

    void addSample(const Sample& sample);

signals:
    // A record was added to the series.
    void grew();

private:
    HistorySeries m_series;
};
