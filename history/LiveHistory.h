#pragma once
// The history of the live session: every sample the sensor sends, kept from start-up whether or
// not the History window is open, so that the window shows the whole session whenever it is
// first opened. The demonstration's invented samples and replayed lines are no measurement and
// are left out.
//
// A destination of the live session. Samples arrive as values: their time (Sample::timeMs), speed
// and bearing go into the series as numbers, nothing is read back from a text. The series keeps
// the units of its first good sample (later ones are converted into them) and shows its times in
// the session's time base, as the clock label and the log do. The operator's marks are kept
// beside the samples (HistorySeries::marks), each with its note.

#include "history/HistorySeries.h"
#include "sensor/SampleSink.h"

#include <QObject>

class LiveHistory : public QObject, public SampleSink
{
    Q_OBJECT
public:
    explicit LiveHistory(QObject* parent = nullptr);

    const HistorySeries& series() const { return m_series; }
    // The clock the series' times are shown on.
    void setTimeBase(TimeBase base) { m_series.setTimeBase(base); }

    void addSample(const Sample& sample);
    // A poll's samples: the series grows by all of them, then grew() is emitted once.
    void addBatch(const SampleBatch& batch);
    void takeBatch(const SampleBatch& batch) override { addBatch(batch); }
    void takeEvent(const SessionEvent& event) override;

signals:
    // Records were added to the series.
    void grew();
    // A mark was added to the series.
    void marked();

private:
    bool take(const Sample& sample);

    HistorySeries m_series;
};
