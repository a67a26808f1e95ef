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
#include "processing/SampleSink.h"

#include <QObject>

class LiveHistory : public QObject, public SampleSink
{
    Q_OBJECT
public:
    explicit LiveHistory(QObject* parent = nullptr);

    // A destination of the live session: the batch's samples, then grew() once.
    void takeBatch(const SampleBatch& batch) override;

    const HistorySeries& series() const { return m_series; }

    void addSample(const Sample& sample);

signals:
    // A record was added to the series.
    void grew();

private:
    void append(const Sample& sample);

    HistorySeries m_series;
};
