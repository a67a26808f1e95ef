#include "app/StatusPresenter.h"

#include "app/StatusPanels.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "session/LiveSession.h"

namespace {

// The status bar's panel of the source.
constexpr int kSourcePanel = 0;

} // namespace

StatusPresenter::StatusPresenter(StatusPanels* status, LiveSession* session, ReplaySession* replay,
                                 QObject* parent)
    : QObject(parent), m_status(status), m_session(session), m_replay(replay)
{
}

void StatusPresenter::setBacklog(qint64 lines, qint64 dropped)
{
    m_backlog = lines;
    m_dropped = dropped;
    showCounts();
}

void StatusPresenter::countBadRecord()
{
    ++m_badRecords;
    showCounts();
}

void StatusPresenter::forgetBadRecords()
{
    m_badRecords = 0;
    showCounts();
}

void StatusPresenter::countBadLine()
{
    ++m_badLines;
    showCounts();
}

void StatusPresenter::forgetBadLines()
{
    m_badLines = 0;
    showCounts();
}

void StatusPresenter::showCounts()
{
    QStringList counts;
    if (m_backlog > 0)
        counts << QStringLiteral("Not yet written: %1").arg(m_backlog);
    if (m_dropped > 0)
        counts << QStringLiteral("Dropped: %1").arg(m_dropped);
    if (m_badRecords > 0)
        counts << QStringLiteral("Bad records: %1").arg(m_badRecords);
    if (m_badLines > 0)
        counts << QStringLiteral("Bad lines: %1").arg(m_badLines);
    counts << m_session->outputStates();
    m_status->setCounts(counts);
}

void StatusPresenter::showSource()
{
    // "LOGGING" wins over the replay's "Source: File": the operator must always see that a
    // recording runs, whatever is replayed beside it.
    m_status->setPanel(kSourcePanel, m_session->recording().logging() ? QStringLiteral("LOGGING")
                                     : m_replay->isOpen() ? QStringLiteral("Source: File")
                                                          : QString());
}
