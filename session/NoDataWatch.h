#pragma once
// Notices a sensor that has gone quiet while the port is still open.
//
// The sensor sends at a steady rate of its own; silence is judged against it: no valid record for
// three times the usual interval between records (the median of the last eight), and never less
// than three seconds. While the silence lasts it is reported every second with its length; the
// next valid record ends it. Only valid records count: line noise is not data.

#include "sensor/SampleSink.h"

#include <QObject>
#include <QTimer>

#include <functional>

class NoDataWatch : public QObject, public SampleSink
{
    Q_OBJECT
public:
    // Milliseconds on a steady clock; QElapsedTimer's unless a test sets another.
    using Clock = std::function<qint64()>;

    explicit NoDataWatch(QObject* parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Watching begins now (connected) and ends (disconnected, device lost). Starting forgets the
    // intervals seen before: a reconnected sensor may send at another rate.
    void start();
    void stop();
    bool isWatching() const { return m_watching; }

    // A valid record arrived now.
    void recordArrived();

    // A destination of the live session: any record from the port counts as data (even one
    // whose flow cannot be computed: the sensor is talking). Watching runs while the port is
    // open and the device there.
    void takeBatch(const SampleBatch& batch) override;
    void takeEvent(const SessionEvent& event) override;

    // Compares the silence with the limit now; the timer calls it once the limit can have been
    // reached (at a whole second since the last record), then every second.
    void check();

    // How long a silence may last before it is reported, in milliseconds.
    qint64 limit() const;
    // A silence is being reported.
    bool isSilent() const { return m_silent; }

    static constexpr qint64 kMinimumLimit = 3000;
    static constexpr int kIntervalsKept = 8;
    static constexpr int kCheckInterval = 1000;

    QTimer& checkTimer() { return m_checkTimer; }

signals:
    // The silence began (seconds since the last record, or since watching began).
    void noDataBegan(int seconds);
    // Every check while it lasts, the first one included.
    void noData(int seconds);
    // A valid record ended a silence that had lasted this many seconds.
    void dataResumed(int seconds);

private:
    void startChecks();

    Clock m_clock;
    QTimer m_checkTimer;
    QList<qint64> m_intervals; // the latest last
    qint64 m_last = 0;         // last record, or start of watching
    bool m_hasRecord = false;
    bool m_watching = false;
    bool m_silent = false;
};
