#include "base/Clock.h"

#include <sys/timex.h>
#include <time.h>

namespace {

qint64 milliseconds(clockid_t id)
{
    timespec now{};
    ::clock_gettime(id, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

qint64 SystemClock::utcMs() const
{
    return milliseconds(CLOCK_REALTIME);
}

qint64 SystemClock::steadyMs() const
{
    // Not CLOCK_MONOTONIC: it stops while the computer is suspended, and a laptop's lid closed
    // for an hour would read as the wall clock stepping an hour forward.
    return milliseconds(CLOCK_BOOTTIME);
}

ClockSync SystemClock::synchronisation() const
{
    // With no modes set the call changes nothing; it returns TIME_ERROR while the kernel holds
    // the clock unsynchronised (STA_UNSYNC: no time service has disciplined it, or it lost
    // touch), and esterror is the service's estimate of the error, in microseconds.
    timex tx{};
    tx.modes = 0;
    const int result = ::ntp_adjtime(&tx);
    ClockSync sync;
    if (result < 0)
        return sync;
    if (result == TIME_ERROR || (tx.status & STA_UNSYNC)) {
        sync.state = ClockSync::State::NotSynchronised;
        return sync;
    }
    sync.state = ClockSync::State::Synchronised;
    sync.estimatedErrorUs = qMax<qint64>(0, tx.esterror);
    return sync;
}

const Clock& systemClock()
{
    static const SystemClock clock;
    return clock;
}

QString clockSyncText(const ClockSync& sync)
{
    switch (sync.state) {
    case ClockSync::State::Synchronised:
        return QStringLiteral("Clock: synchronised, estimated error %1 ms")
            .arg((sync.estimatedErrorUs + 999) / 1000);
    case ClockSync::State::NotSynchronised:
        return QStringLiteral("Clock: not synchronised");
    case ClockSync::State::Unknown:
        break;
    }
    return QStringLiteral("Clock: state unknown");
}

QString clockStepText(qint64 stepMs)
{
    return QStringLiteral("Clock: stepped %1 by %2 s")
        .arg(stepMs < 0 ? QStringLiteral("back") : QStringLiteral("forward"))
        .arg(double(qAbs(stepMs)) / 1000.0, 0, 'f', 1);
}
