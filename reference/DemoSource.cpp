#include "sources/DemoSource.h"

#include "sources/DemoFeed.h"

DemoSource::DemoSource(QObject* parent) : QObject(parent) {}

DemoSource::~DemoSource() = default;

void DemoSource::start()
{
    m_runs.emplace_back();
    Run* run = &m_runs.back();
    run->timer.setSingleShot(true);
    run->timer.setInterval(qMax(1, int(kRecordInterval * m_timeScale)));
    connect(&run->timer, &QTimer::timeout, this, [this, run] { advance(run); });
    emit recordReady(demoRecord(run->next++));
    if (contains(run)) // a sink may have stopped the demonstration
        run->timer.start();
}

bool DemoSource::contains(const Run* run) const
{
    for (const Run& r : m_runs) {
        if (&r == run)
            return true;
    }
    return false;
}

void DemoSource::advance(Run* run)
{
    if (run->next < kDemoRecordCount) {
        emit recordReady(demoRecord(run->next++));
        if (contains(run))
            run->timer.start();
        return;
    }
    for (auto it = m_runs.begin(); it != m_runs.end(); ++it) {
        if (&*it == run) {
            m_runs.erase(it);
            break;
        }
    }
    emit finished();
}

void DemoSource::stop()
{
    m_runs.clear();
}
