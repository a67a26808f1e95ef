#include "session/NoDataWatch.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>

NoDataWatch::NoDataWatch(QObject* parent) : QObject(parent)
{
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock = [steady] { return steady->elapsed(); };
    connect(&m_checkTimer, &QTimer::timeout, this, &NoDataWatch::check);
}

void NoDataWatch::start()
{
    m_intervals.clear();
    m_hasRecord = false;
    m_silent = false;
    m_last = m_clock();
    m_watching = true;
    startChecks();
}

void NoDataWatch::startChecks()
{
    // The first look is at the first whole second since the last record at which the silence
    // can have reached the limit, then one every second: a sensor that keeps talking, however
    // slowly within its limit, never wakes the watch.
    const qint64 first = (limit() + kCheckInterval - 1) / kCheckInterval * kCheckInterval;
    m_checkTimer.start(int(first));
}

void NoDataWatch::stop()
{
    m_watching = false;
    m_silent = false;
    m_checkTimer.stop();
}

void NoDataWatch::recordArrived()
{
    if (!m_watching)
        return;
    const qint64 now = m_clock();
    if (m_silent) {
        m_silent = false;
        emit dataResumed(int((now - m_last) / 1000));
    } else if (m_hasRecord) {
        // An interval that spans a reported silence is not the sensor's rate.
        m_intervals.append(now - m_last);
        if (m_intervals.size() > kIntervalsKept)
            m_intervals.removeFirst();
    }
    m_hasRecord = true;
    m_last = now;
    startChecks();
}

qint64 NoDataWatch::limit() const
{
    if (m_intervals.isEmpty())
        return kMinimumLimit;
    QList<qint64> sorted = m_intervals;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype n = sorted.size();
    const qint64 median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    return std::max(kMinimumLimit, 3 * median);
}

void NoDataWatch::check()
{
    if (!m_watching)
        return;
    if (m_checkTimer.isActive() && m_checkTimer.interval() != kCheckInterval)
        m_checkTimer.start(kCheckInterval);
    const qint64 silence = m_clock() - m_last;
    if (silence < limit())
        return;
    const int seconds = int(silence / 1000);
    if (!m_silent) {
        m_silent = true;
        emit noDataBegan(seconds);
    }
    emit noData(seconds);
}

void NoDataWatch::takeBatch(const SampleBatch& batch)
{
    for (const Sample& sample : batch) {
        if (sample.source == SampleSource::Live) {
            recordArrived();
            return;
        }
    }
}

void NoDataWatch::takeEvent(const SessionEvent& event)
{
    switch (event.kind) {
    case SessionEvent::Kind::Connected:
    case SessionEvent::Kind::Reconnected:
        start();
        break;
    case SessionEvent::Kind::Disconnected:
    case SessionEvent::Kind::DeviceLost:
    case SessionEvent::Kind::Reconnecting:
    case SessionEvent::Kind::Finishing:
        stop();
        break;
    case SessionEvent::Kind::NoData:
    case SessionEvent::Kind::DataAgain:
    case SessionEvent::Kind::ClockState:
    case SessionEvent::Kind::ClockStepped:
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmCleared:
    case SessionEvent::Kind::Mark:
        break;
    }
}
