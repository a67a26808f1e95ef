#include "session/ClockWatch.h"

ClockWatch::ClockWatch(QObject* parent) : QObject(parent), m_clock(&systemClock())
{
    m_checkTimer.setInterval(kCheckInterval);
    connect(&m_checkTimer, &QTimer::timeout, this, &ClockWatch::check);
    setClock(m_clock);
    m_checkTimer.start();
}

void ClockWatch::setClock(const Clock* clock)
{
    m_clock = clock ? clock : &systemClock();
    m_state = m_clock->synchronisation();
    m_told = m_state;
    m_offset = offset();
}

void ClockWatch::check()
{
    checkStep();
    m_state = m_clock->synchronisation();
    // A time service's estimate moves a little at every look: only a change worth a line in a
    // journal is told (synchronised or not, or an error that doubled or halved); state() is
    // always the latest.
    const qint64 errorMs = (m_state.estimatedErrorUs + 999) / 1000;
    const qint64 toldMs = (m_told.estimatedErrorUs + 999) / 1000;
    const bool told = m_state.state != m_told.state ||
                      (m_state.state == ClockSync::State::Synchronised &&
                       (errorMs > 2 * qMax<qint64>(toldMs, 1) || 2 * errorMs < toldMs));
    if (!told)
        return;
    m_told = m_state;
    emit stateChanged(stateText());
}

void ClockWatch::checkStep()
{
    // Compared with the last look, not with the start: a time service slewing the clock moves it
    // by at most half a millisecond a second, which never adds up to a step between two looks,
    // but would over a day.
    const qint64 now = offset();
    const qint64 step = now - m_offset;
    m_offset = now;
    if (qAbs(step) > kStepLimitMs)
        emit stepped(step, clockStepText(step));
}
