#pragma once
// A destination of the live session: the log file, the data file, the live history and plot,
// the no-data watch, the network outputs. Each poll's samples arrive as one batch, in arrival
// order; the session's events arrive between batches, in the order they happened.
//
// A batch holds every sample the session decoded from the port, computed or not, and the
// demonstration's samples only while the operator chose to log them; a destination that keeps
// measurements only looks at Sample::source and Sample::computed itself.

#include "sensor/Sample.h"

#include <QString>

struct SessionEvent
{
    enum class Kind
    {
        Connected,    // the port is open and polled (portName)
        Disconnected, // the operator closed the port
        DeviceLost,   // the device went away and is given up (reason)
        Reconnecting, // the device went away and is being waited for (reason)
        Reconnected,  // it is back (portName)
        NoData,       // no valid record for `seconds`: reported once per second while it lasts
        DataAgain,    // a valid record ended a silence of `seconds`
        Finishing,    // the session ends (program exit, end of the recorder's run)
        ClockState,   // the computer's clock state changed (reason: "Clock: not synchronised")
        ClockStepped, // the wall clock stepped (reason: "Clock: stepped forward by 3.2 s")
        AlarmRaised,  // an alarm's condition began (alarm, reason: its words, value, timeMs)
        AlarmCleared, // and ended; each told once per episode
        Mark,         // the operator marked this moment (reason: the note, possibly empty)
    };
    Kind kind;
    QString portName;
    QString reason; // one line, no line breaks
    int seconds = 0;
    // An alarm's name ("speed-above", "speed-below", "no-data", "device-lost", "free-space",
    // "clock"), the measure that raised or cleared it (m/s, seconds, MB; NaN when it has none)
    // and when, UTC milliseconds (every event the session tells carries its time).
    QString alarm{};
    double value = 0;
    qint64 timeMs = 0;
};

class SampleSink
{
public:
    virtual ~SampleSink() = default;
    virtual void takeBatch(const SampleBatch& batch) = 0;
    virtual void takeEvent(const SessionEvent& event) { Q_UNUSED(event) }
};
