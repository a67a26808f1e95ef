#pragma once
// What the live session knows of the computer's clock: whether the kernel holds it synchronised
// and how well (read at start and once a minute), and any step of the wall clock against the
// steady clock of more than a second (someone set the clock, or a time service stepped it).
// A step is told once, with its size; records are never reordered because of it: they keep the
// order in which they arrived, whatever their times say.
//
// The step is looked for whenever the session hands on a batch (two clock readings, no system
// call beyond them) and at every check, so it is noticed within a poll while data flows.

#include "base/Clock.h"

#include <QObject>
#include <QString>
#include <QTimer>

class ClockWatch : public QObject
{
    Q_OBJECT
public:
    explicit ClockWatch(QObject* parent = nullptr);

    // The clocks read (not owned; the system's unless a test sets another). Reads its state at
    // once, without telling.
    void setClock(const Clock* clock);
    const Clock& clock() const { return *m_clock; }

    // The state as read last, and its text ("Clock: synchronised, estimated error 2 ms").
    const ClockSync& state() const { return m_state; }
    QString stateText() const { return clockSyncText(m_state); }

    // Reads the kernel's state now and looks for a step. stateChanged tells a change of state,
    // or an estimated error that doubled or halved since it was last told.
    void check();
    // Looks for a step of the wall clock since the last look.
    void checkStep();

    static constexpr int kCheckInterval = 60 * 1000;
    static constexpr qint64 kStepLimitMs = 1000;
    QTimer& checkTimer() { return m_checkTimer; }

signals:
    void stateChanged(const QString& text);
    // The wall clock moved by stepMs against the steady clock (text: "Clock: stepped ...").
    void stepped(qint64 stepMs, const QString& text);

private:
    qint64 offset() const { return m_clock->utcMs() - m_clock->steadyMs(); }

    const Clock* m_clock;
    ClockSync m_state;
    ClockSync m_told;    // as last told (or read by setClock)
    qint64 m_offset = 0; // wall minus steady at the last look
    QTimer m_checkTimer;
};
