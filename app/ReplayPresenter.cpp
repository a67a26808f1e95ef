#include "app/ReplayPresenter.h"

#include "app/DataTables.h"
#include "app/ReplayBar.h"
#include "app/StatusPanels.h"
#include "replay/ReplaySession.h"

#include <QTimer>

namespace {

// The status bar's panel of the replay's state.
constexpr int kReplayPanel = 2;

} // namespace

ReplayPresenter::ReplayPresenter(ReplaySession* replay, ReplayBar* bar, DataTables* tables,
                                 StatusPanels* status, QObject* parent)
    : QObject(parent), m_replay(replay), m_bar(bar), m_tables(tables), m_status(status)
{
    m_stopNotice = new QTimer(this);
    m_stopNotice->setSingleShot(true);
    m_stopNotice->setInterval(kStopNotice);
    connect(m_stopNotice, &QTimer::timeout, this, &ReplayPresenter::onStopNoticeOver);
    connect(m_replay, &ReplaySession::endReached, this, &ReplayPresenter::onEndReached);
    connect(m_replay, &ReplaySession::positionChanged, this, &ReplayPresenter::onPositionChanged);
}

void ReplayPresenter::play()
{
    m_bar->setStopEnabled(true);
    if (!m_scrollDownBeforePlay)
        m_scrollDownBeforePlay = m_tables->scrollDown();
    m_tables->setScrollDown(false);
    m_stopNotice->stop();
    m_replay->play();
    m_bar->setPlayEnabled(false);
    m_endOfFileShown = false;
    setPanel(QStringLiteral("Play >"));
}

void ReplayPresenter::stop()
{
    m_replay->stop();
    m_endOfFileShown = false;
    m_bar->setPlayEnabled(true);
    setPanel(QStringLiteral("Stopped"));
    m_stopNotice->start();
}

void ReplayPresenter::togglePlayback()
{
    if (m_replay->playing())
        stop();
    else
        play();
}

void ReplayPresenter::stopQuietly()
{
    const bool notice = m_stopNotice->isActive() || m_endOfFileShown;
    m_stopNotice->stop();
    m_endOfFileShown = false;
    if (!m_replay->playing() && !notice)
        return;
    m_replay->stop();
    setPanel(QString());
    m_bar->setStopEnabled(false);
    m_bar->setPlayEnabled(true);
}

void ReplayPresenter::setScrollDown(bool scrollDown)
{
    // A replay that plays keeps its tables scrolling upward until it is closed.
    if (m_scrollDownBeforePlay)
        m_scrollDownBeforePlay = scrollDown;
    else
        m_tables->setScrollDown(scrollDown);
}

void ReplayPresenter::restoreScroll()
{
    // Play scrolls the tables up for the replay; live data scrolls as the options say again.
    m_tables->setScrollDown(m_scrollDownBeforePlay.value_or(m_tables->scrollDown()));
    m_scrollDownBeforePlay.reset();
}

void ReplayPresenter::setTimeScale(double scale)
{
    m_stopNotice->setInterval(qMax(1, int(kStopNotice * scale)));
}

void ReplayPresenter::onEndReached()
{
    // The last record stays on display; Play starts again from where the file has grown to.
    m_stopNotice->stop();
    m_bar->setStopEnabled(false);
    m_bar->setPlayEnabled(true);
    setPanel(QStringLiteral("End of file"));
    m_endOfFileShown = true;
}

void ReplayPresenter::onPositionChanged(qint64 record, qint64 count)
{
    // "End of file" is true only at the end.
    if (m_endOfFileShown && record + 1 < count) {
        m_endOfFileShown = false;
        setPanel(QString());
    }
}

void ReplayPresenter::onStopNoticeOver()
{
    // Play pressed while "Stopped" was showing keeps its playback and its Stop button.
    if (m_replay->playing())
        return;
    setPanel(QString());
    m_bar->setStopEnabled(false);
}

void ReplayPresenter::setPanel(const QString& text)
{
    m_status->setPanel(kReplayPanel, text);
}
