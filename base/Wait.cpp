#include "base/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void waitProcessingEvents(int ms)
{
    if (ms == 0)
        return;

    // A monotonic clock: neither a wrap nor a change of the wall clock shortens or lengthens a
    // wait.
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);

    // Between events the thread sleeps in the dispatcher; the single-shot timer wakes it at the
    // deadline. A handler run in here may wait in turn: its wait ends before this one can, and
    // this one still lasts its own time.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const qint64 remaining = qint64(ms) - elapsed.elapsed();
        if (remaining <= 0)
            return;
        wake.start(int(remaining));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
