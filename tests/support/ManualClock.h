#pragma once
// A clock for tests: the wall clock, the steady clock and the kernel's synchronisation state
// are whatever the test sets, and move only when it moves them.

#include "base/Clock.h"

class ManualClock : public Clock
{
public:
    qint64 utc = 1243173787000; // 24/05/2009 14:03:07 UTC
    qint64 steady = 5000;
    ClockSync sync;

    qint64 utcMs() const override { return utc; }
    qint64 steadyMs() const override { return steady; }
    ClockSync synchronisation() const override { return sync; }

    // Time passes: both clocks move on together.
    void advance(qint64 ms)
    {
        utc += ms;
        steady += ms;
    }
};
