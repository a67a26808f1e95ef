#pragma once
// The computer's clocks as the program reads them: the wall clock (UTC milliseconds, what every
// time stamp is), a steady clock beside it, and the kernel's word on whether the wall clock is
// kept synchronised (by NTP, chrony or a GPS receiver) and how well. Whatever reads the time
// takes a Clock, so that a test can put a clock of its own in the system's place.

#include <QString>
#include <QtGlobal>

// The kernel's synchronisation state of the wall clock.
struct ClockSync
{
    enum class State
    {
        Unknown,         // the kernel could not be asked
        Synchronised,    // a time service keeps it right, within estimatedErrorUs
        NotSynchronised, // nothing keeps it right: it is whatever it was set to
    };
    State state = State::Unknown;
    qint64 estimatedErrorUs = 0; // when synchronised

    bool operator==(const ClockSync& other) const
    {
        return state == other.state && estimatedErrorUs == other.estimatedErrorUs;
    }
    bool operator!=(const ClockSync& other) const { return !(*this == other); }
};

class Clock
{
public:
    virtual ~Clock() = default;
    // The wall clock: milliseconds since 1970-01-01 UTC.
    virtual qint64 utcMs() const = 0;
    // A clock that only goes forward, at a steady pace, and counts on while the computer sleeps:
    // a step of the wall clock shows as a change of utcMs() - steadyMs().
    virtual qint64 steadyMs() const = 0;
    // The kernel's synchronisation state, read now.
    virtual ClockSync synchronisation() const = 0;
};

// The computer's own clocks: CLOCK_REALTIME, CLOCK_BOOTTIME, and ntp_adjtime with no modes set,
// which only reads (any user may call it).
class SystemClock final : public Clock
{
public:
    qint64 utcMs() const override;
    qint64 steadyMs() const override;
    ClockSync synchronisation() const override;
};

// The one system clock (it holds no state).
const Clock& systemClock();

// "Clock: synchronised, estimated error 2 ms", "Clock: not synchronised", "Clock: state
// unknown". The error is rounded up to whole milliseconds: it is a bound, never understated.
QString clockSyncText(const ClockSync& sync);
// A step of the wall clock: "Clock: stepped forward by 3.2 s", "Clock: stepped back by 75.0 s".
QString clockStepText(qint64 stepMs);
