#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AlarmsDialog.h"
#include "app/StationDialog.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/DataTables.h"
#include "app/DesktopNotifier.h"
#include "app/LivePlot.h"
#include "app/Look.h"
#include "app/Readouts.h"
#include "app/ReplayBar.h"
#include "app/ReplayPresenter.h"
#include "app/StatusPanels.h"
#include "app/StatusPresenter.h"
#include "base/ClockText.h"
#include "history/HistorySeries.h"
#include "history/LiveHistory.h"
#include "logformat/LogFormat.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "sensor/Sample.h"
#include "sensor/SampleSink.h"
#include "session/LiveSession.h"
#include "session/NoDataWatch.h"
#include "settings/ProgramOptions.h"
#include "sources/DemoSource.h"
#include "sources/LiveSource.h"
#include "sources/SerialSource.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTimeZone>
#include <QTimer>
#include <QToolButton>

const QString MainWindow::appTitle = QStringLiteral("Tessmoor Marvane");

namespace {

const QString kLogFilter = QStringLiteral("Tessmoor Marvane Files (*.log)");

// The name File > New proposes: when the recording begins, in the clock's time base, so that a
// folder of recordings sorts by their start ("2026-12-11 0437.log").
QString proposedLogName(qint64 ms, bool localTime)
{
    const QDateTime at = localTime ? QDateTime::fromMSecsSinceEpoch(ms)
                                   : QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    return at.toString(QStringLiteral("yyyy-MM-dd HHmm")) + QStringLiteral(".log");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Start-up, clock, exit

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // The toolbar stays along the top edge, its Exit button at the right end.
    const int width = qMax(632, centralWidget()->width());
    m_toolBar->resize(width, m_toolBar->height());
    if (m_exitButton)
        m_exitButton->move(width - 39, m_exitButton->y());
    // Room beyond the default size holds a strip chart of the live session, below the panels or
    // right of them, whichever leaves the panels larger; the panels grow into the rest, the data
    // tables taking as many rows as their new height holds. At the default size the window is as
    // it always was.
    const QSize client = centralWidget()->size();
    const int below = client.height() - kPanelsHeight >= kMinimumPlotHeight
                          ? qMax(kMinimumPlotHeight, int(client.height() * 0.32))
                          : 0;
    const int right = client.width() - kPanelsWidth >= kMinimumPlotWidth
                          ? qMax(kMinimumPlotWidth, int(client.width() * 0.3))
                          : 0;
    const bool plotRight =
        right > 0 &&
        (below == 0 || Readouts::scaleFor(QSize(client.width() - right, client.height())) >
                           Readouts::scaleFor(QSize(client.width(), client.height() - below)));
    const bool plotBelow = !plotRight && below > 0;
    m_readouts->fitInto(
        QSize(client.width() - (plotRight ? right : 0), client.height() - (plotBelow ? below : 0)));

    // The tables reach down to the panel's bottom, the Data Convention box below them.
    const int panelsBottom = m_readouts->geometry().bottom() + 1;
    const int conventionTop = panelsBottom - m_dataConventionPanel->height();
    m_tables->fitHeight(conventionTop - 7 - m_tables->y());
    m_dataConventionPanel->move(m_dataConventionPanel->x(), m_tables->geometry().bottom() + 8);
    m_dataConventionButton->move(m_dataConventionButton->x(), m_dataConventionPanel->y() + 26);
    if (m_replay)
        m_replay->setRowsShown(m_tables->rowsShown());

    if (plotRight || plotBelow) {
        LivePlot* plot = livePlot();
        if (plotRight) {
            const int left = m_readouts->geometry().right() + 8;
            plot->setGeometry(left, m_readouts->y(), client.width() - left - 5,
                              client.height() - m_readouts->y() - 4);
        } else {
            // All the height the panels leave (they may stop short of theirs when the window is
            // narrow).
            plot->setGeometry(5, panelsBottom + 6, client.width() - 10,
                              client.height() - panelsBottom - 10);
        }
        plot->show();
    } else if (m_livePlot) {
        m_livePlot->hide();
    }
}

LivePlot* MainWindow::livePlot()
{
    // Built the first time the window grows: most starts never need it.
    if (!m_livePlot) {
        m_livePlot = new LivePlot(centralWidget());
        m_livePlot->setObjectName(QStringLiteral("livePlot"));
        connect(&m_session->history(), &LiveHistory::grew, m_livePlot, &LivePlot::refresh);
        connect(m_replay, &ReplaySession::countChanged, this, &MainWindow::showPlotSource);
        connect(m_replay, &ReplaySession::positionChanged, this, &MainWindow::showPlotSource);
        showPlotSource();
    }
    return m_livePlot;
}

void MainWindow::showPlotSource()
{
    if (!m_livePlot)
        return;
    // A replay has the display: the chart follows it, its last minutes ending at the record
    // shown, so that it never shows the live session beside a replayed record.
    if (m_replay->isOpen()) {
        const HistorySeries& series = m_replay->index().history();
        m_livePlot->setSeries(&series);
        const qint64 shown = m_replay->position();
        m_livePlot->setSpanEnd(shown >= 0 && shown < series.recordCount()
                                   ? std::optional<qint64>(series.timeMsAt(shown))
                                   : std::nullopt);
    } else {
        m_livePlot->setSeries(&m_session->history().series());
        m_livePlot->setSpanEnd(std::nullopt);
    }
    m_livePlot->refresh();
}

void MainWindow::updateClock()
{
    // The clock shows the time base of the log, and says which.
    const qint64 now = m_pipeline->now();
    m_tables->setClockText(m_pipeline->timeText(now) +
                           (m_pipeline->localTime() ? QString() : QStringLiteral(" UTC")));
}

FlowPipeline& MainWindow::pipeline()
{
    return m_session->pipeline();
}

NoDataWatch& MainWindow::noDataWatch()
{
    return m_session->noDataWatch();
}

LiveSource& MainWindow::source()
{
    return m_session->source();
}

Recording& MainWindow::recording()
{
    return m_session->recording();
}

DemoSource& MainWindow::demonstration()
{
    return m_session->demonstration();
}

void MainWindow::applyOptions()
{
    m_replayPresenter->setScrollDown(m_options->flags().scrollDown);
    updateClock();
    showHeading();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A recording never ends unnoticed.
    if (m_recording->logging() &&
        !m_prompts->confirm(QStringLiteral("Logging to %1. Stop logging and exit?")
                                .arg(QFileInfo(m_recording->currentFile()).fileName()),
                            false)) {
        event->ignore();
        return;
    }
    // A running demonstration ends with the program; the destinations hear that the session
    // ends (a broker is told "offline").
    m_session->stopDemonstration();
    m_session->finish();
    setStatusPanel(3, QString());
    event->accept();
    emit closed();
}

void MainWindow::setTimeScaleForTests(double scale)
{
    m_timeScale = scale;
    m_session->setTimeScale(scale);
    m_replay->setTimeScale(scale);
    m_replayPresenter->setTimeScale(scale);
    m_badRecordQuiet->setInterval(qMax(1, int(kBadRecordQuiet * scale)));
}

QString MainWindow::statusPanel(int index) const
{
    return m_statusPanels->panel(index);
}

void MainWindow::setStatusPanel(int index, const QString& text)
{
    m_statusPanels->setPanel(index, text);
}

bool MainWindow::tablesScrollDown() const
{
    return m_tables->scrollDown();
}

ReplayControls* MainWindow::replayControls() const
{
    return m_replayBar->controls();
}

void MainWindow::setConnectEnabled(bool on)
{
    m_connectAction->setEnabled(on);
}

void MainWindow::setLogCommandsEnabled(bool on)
{
    m_startLogAction->setEnabled(on);
    m_stopLogAction->setEnabled(on);
}

void MainWindow::showError(bool& guard, const QString& text, const QString& informative)
{
    if (guard)
        return;
    // Never waited for: polls, display and logging go on while the box is open. One box per
    // source at a time.
    guard = true;
    m_prompts->notify(text, informative, [&guard] { guard = false; });
}

bool MainWindow::connected() const
{
    return m_session->isConnected();
}

// ---------------------------------------------------------------------------------------------
// Painting samples

void MainWindow::showReplayed(const Sample& sample)
{
    m_tables->setReplayTimeShown(true);
    if (!sample.computed) {
        // A bad line changes nothing on the display; playback goes on at the next tick. The
        // first of a playback run is told with the file and its line, the rest are counted. The
        // records shown before one sought are only context for the tables.
        if (m_replay->leading())
            return;
        if (m_badLineReported || m_replayErrorShowing) {
            m_statusPresenter->countBadLine();
            return;
        }
        m_badLineReported = true;
        const qint64 line = lineOfRecord(m_replay->position());
        showError(m_replayErrorShowing, sample.error,
                  QStringLiteral("%1, line %2. Further bad lines of this playback are counted in "
                                 "the status bar.")
                      .arg(QDir::toNativeSeparators(m_replay->path()))
                      .arg(line));
        return;
    }
    if (m_readouts->units() != sample.units)
        showUnits(sample.units);
    // The record's time says its clock as the live clock does.
    m_tables->setReplayTime(sample.timeText + (m_replay->timeBase() == TimeBase::Utc
                                                   ? QStringLiteral(" UTC")
                                                   : QString()));
    m_tables->pushComputedRow(sample);
    m_readouts->showSample(sample);
}

void MainWindow::showBatch(const SampleBatch& batch)
{
    // Only the rows the tables can show and the last state are drawn: nobody sees the readouts
    // change between the records of one poll.
    m_tables->showBatchRows(batch);
    for (const Sample& sample : batch) {
        if (!sample.computed) {
            // The raw row stays; nothing else of this record happens. One box per episode: what
            // comes while it is open or soon after is counted instead.
            if (m_decodeErrorShowing || m_badRecordQuiet->isActive()) {
                m_statusPresenter->countBadRecord();
                continue;
            }
            m_decodeErrorShowing = true;
            m_prompts->notify(sample.error,
                              QStringLiteral("Records that cannot be computed are counted in the "
                                             "status bar from now on; logging goes on."),
                              [this] {
                                  m_decodeErrorShowing = false;
                                  m_badRecordQuiet->start();
                              });
        }
    }
    // The readouts show the batch's last computed sample; the units and the dial's face change
    // with it, never under a needle drawn for other units.
    if (const Sample* last = lastComputed(batch)) {
        showUnits(last->units);
        m_readouts->showSample(*last);
    }
}

void MainWindow::showUnits(SpeedUnitsKind kind)
{
    // The dial's face, the readout's caption and the speed column change with the needle drawn
    // for them (the speed dial shows the scale of the units being replayed too); the raw columns
    // say what each record was as it comes.
    m_readouts->showUnits(kind);
    m_tables->setSpeedUnits(kind);
}

void MainWindow::clearDisplay()
{
    m_tables->clear();
    m_readouts->clear();
}

// ---------------------------------------------------------------------------------------------
// Recording

void MainWindow::onAppendFailed(const QString& path, const QString& reason, int backlog)
{
    showError(m_appendErrorShowing,
              QStringLiteral("Unable to write to the log file %1: %2")
                  .arg(QDir::toNativeSeparators(path), reason),
              QStringLiteral("Recording goes on: the samples not yet written (%1 so far) are kept "
                             "and written as soon as the file can be written again. To record "
                             "into another file, choose File > New.")
                  .arg(backlog));
}

void MainWindow::onAppendRecovered(const QString& path, qint64 dropped)
{
    const QString written =
        QStringLiteral("Samples kept back were written to %1").arg(QDir::toNativeSeparators(path));
    if (dropped == 0) {
        showNote(QStringLiteral("Kept samples written"), written);
        return;
    }
    showNote(QStringLiteral("Kept samples written, %1 dropped").arg(dropped),
             written + QStringLiteral("; %1 could not be kept and were dropped").arg(dropped));
}

void MainWindow::newLogFile()
{
    clearDisplay();
    m_tables->setReplayTimeShown(false);
    const std::optional<QString> chosen = m_prompts->saveFileName(
        QStringLiteral("New Log File"), kLogFilter,
        proposedLogName(m_pipeline->now(), m_pipeline->localTime()), dialogStartFolder());
    if (!chosen || chosen->isEmpty())
        return;
    const QFileInfo info(*chosen);
    const QString path = info.absoluteFilePath();
    if (info.exists() &&
        !m_prompts->confirm(
            QStringLiteral("File %1 already exists. Replace?").arg(info.fileName())))
        return;
    QString reason;
    if (!m_session->createLogFile(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to create the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    // Only a folder that took the new file is where the next dialog starts.
    rememberDialogFolder(path);
    setWindowTitle(appTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    // The replay bar goes; a playback it could no longer stop goes with it.
    m_replayPresenter->stopQuietly();
    m_replayBar->hide();
    setConnectEnabled(!m_session->isConnected());
    if (m_session->isConnected()) {
        // A running recording goes on into the new file without a question; a connected sensor
        // that was not being logged is asked about as at Connect.
        setLogCommandsEnabled(true);
        if (!m_recording->logging() && m_prompts->confirm(QStringLiteral("Start logging data?")))
            startLogging();
    }
    m_statusPresenter->showSource();
}

void MainWindow::startLogging()
{
    m_recording->setLogging(true);
    m_statusPresenter->showSource();
}

void MainWindow::stopLogging()
{
    m_recording->setLogging(false);
    m_statusPresenter->showSource();
}

// ---------------------------------------------------------------------------------------------
// Serial connection

void MainWindow::connectPort()
{
    const QString portName = m_options->port().portName;
    QString reason;
    // A failed Connect leaves a running connection as it was.
    if (!m_session->openSource(&reason)) {
        m_prompts->message(QStringLiteral("Unable to open ") + portName, reason);
        return;
    }
    setStatusPanel(1, QStringLiteral("Connected: ") + portName);
    setConnectEnabled(false);
    m_disconnectAction->setEnabled(true);
    m_markAction->setEnabled(true);
    m_commsOptionsAction->setEnabled(false);
    if (m_recording->hasFile()) {
        if (m_prompts->confirm(QStringLiteral("Start logging data?")))
            startLogging();
        setLogCommandsEnabled(true);
    }
    m_session->startSource();
    clearDisplay();
    showNote(QString());
}

void MainWindow::disconnectPort()
{
    if (m_recording->logging())
        stopLogging();
    m_session->closeSource();
    showDataAgain();
    // What was said of this connection ends with it.
    showNote(QString());
    m_badRecordQuiet->stop();
    m_statusPresenter->forgetBadRecords();
    setStatusPanel(1, QString());
    setConnectEnabled(true);
    m_disconnectAction->setEnabled(false);
    m_markAction->setEnabled(false);
    m_commsOptionsAction->setEnabled(true);
    setLogCommandsEnabled(false);
}

void MainWindow::markEvent()
{
    if (!connected())
        return;
    const std::optional<QString> note = m_prompts->askText(
        QStringLiteral("Mark"),
        QStringLiteral("Note for this moment (optional, one line, at most %1 characters):")
            .arg(LiveSession::kMarkNoteLength),
        LiveSession::kMarkNoteLength);
    // Cancel: no mark. The port may have gone while the box was open.
    if (!note || !connected())
        return;
    m_session->mark(*note);
}

void MainWindow::showMark(const SessionEvent& event)
{
    // Said beside the panels for a few seconds: the operator sees the mark was taken, and when.
    const QString time = m_pipeline->timeText(event.timeMs).section(QLatin1Char(' '), 1);
    const QString shown = QStringLiteral("Mark %1").arg(time);
    showNote(shown, event.reason.isEmpty()
                        ? QStringLiteral("Marked at %1").arg(time)
                        : QStringLiteral("Marked at %1: %2").arg(time, event.reason));
    m_markNoteShown = shown;
    QTimer::singleShot(int(kMarkNoteMs * m_timeScale), this, [this, shown] {
        // A later note stays.
        if (m_markNoteShown == shown) {
            m_markNoteShown.clear();
            showNote(QString());
        }
    });
}

void MainWindow::onSessionEvent(const SessionEvent& event)
{
    switch (event.kind) {
    case SessionEvent::Kind::DeviceLost:
        onDeviceLost(event.portName, event.reason);
        break;
    case SessionEvent::Kind::Reconnecting:
        onReconnecting(event.portName, event.reason);
        break;
    case SessionEvent::Kind::Reconnected:
        onReconnected(event.portName);
        break;
    case SessionEvent::Kind::NoData:
        showNoData(event.seconds);
        break;
    case SessionEvent::Kind::DataAgain:
        showDataAgain();
        break;
    case SessionEvent::Kind::ClockState:
        if (m_about)
            m_about->setClockLine(event.reason);
        break;
    case SessionEvent::Kind::ClockStepped:
        // Told once, with its size: the times on either side of it do not line up.
        showNote(event.reason);
        break;
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmCleared:
        showAlarm(event);
        break;
    case SessionEvent::Kind::Mark:
        showMark(event);
        break;
    case SessionEvent::Kind::Connected:
    case SessionEvent::Kind::Disconnected:
    case SessionEvent::Kind::Finishing:
        break;
    }
}

void MainWindow::onDeviceLost(const QString& portName, const QString& reason)
{
    // The session tells the loss of the source it connected only, and only while it was
    // connected (it is not any more by the time it tells).
    disconnectPort();
    m_prompts->message(QStringLiteral("The connection to %1 was lost.").arg(portName), reason);
}

void MainWindow::onReconnecting(const QString& portName, const QString& reason)
{
    // No box: an unattended logger must go on by itself. The status bar tells what happened, and
    // the readouts, showing what came before the loss, no longer look live.
    setStatusPanel(3,
                   m_session->demonstrationRunning() ? QStringLiteral("DEMONSTRATION") : QString());
    setReadoutsGreyed(!m_session->demonstrationRunning());
    setStatusPanel(1, QStringLiteral("Reconnecting %1...").arg(portName));
    // The reason's first sentence says what happened; the rest speaks of a port now closed,
    // which reconnection is about to open again.
    const QString time = m_pipeline->timeText(m_pipeline->now()).section(QLatin1Char(' '), 1);
    showNote(QStringLiteral("%1 lost %2").arg(portName, time),
             QStringLiteral("%1 was lost at %2: %3")
                 .arg(portName, time, LiveSession::firstSentence(reason)));
}

void MainWindow::showHeading()
{
    // Every bearing shown is turned by the sensor's heading: the operator must see that it is.
    const std::optional<double> heading = m_options->values().headingOffset;
    const QString text = !heading ? QString()
                                  : QStringLiteral("Heading offset: %1\u00B0 added to every "
                                                   "bearing")
                                        .arg(*heading);
    m_readouts->setBearingToolTip(text);
    if (m_about)
        m_about->setHeadingLine(text);
}

void MainWindow::showNote(const QString& text, const QString& whole)
{
    m_markNoteShown.clear();
    // Beside the four panels, never over them: "Reconnecting" and "LOGGING" stay in view.
    m_statusPanels->setNote(text, whole);
}

void MainWindow::onReconnected(const QString& portName)
{
    // The readouts still show what came before the loss: they stay grey until a new record.
    setStatusPanel(1, QStringLiteral("Connected: ") + portName);
    const QString time = m_pipeline->timeText(m_pipeline->now()).section(QLatin1Char(' '), 1);
    showNote(QStringLiteral("%1 back %2").arg(portName, time),
             QStringLiteral("%1 is back since %2").arg(portName, time));
}

void MainWindow::showNoData(int seconds)
{
    // The demonstration's samples are data for the display while it runs.
    if (m_session->demonstrationRunning())
        return;
    setReadoutsGreyed(true);
    setStatusPanel(3, QStringLiteral("NO DATA %1 s").arg(seconds));
}

void MainWindow::showDataAgain()
{
    if (!m_readouts->greyed())
        return;
    setReadoutsGreyed(false);
    setStatusPanel(3,
                   m_session->demonstrationRunning() ? QStringLiteral("DEMONSTRATION") : QString());
}

void MainWindow::setReadoutsGreyed(bool greyed)
{
    m_readouts->setGreyed(greyed);
}

void MainWindow::showCommsOptions()
{
    commsOptionsDialog()->show();
    m_commsOptions->raise();
}

// ---------------------------------------------------------------------------------------------
// Replay

bool MainWindow::refuseReplayWhileConnected()
{
    if (!m_session->isConnected())
        return false;
    m_prompts->message(QStringLiteral("Disconnect before opening a log for replay"));
    return true;
}

void MainWindow::openReplay()
{
    if (refuseReplayWhileConnected())
        return;
    const std::optional<QString> chosen =
        m_prompts->openFileName(QStringLiteral("Open Log File"), kLogFilter, dialogStartFolder());
    if (!chosen || chosen->isEmpty())
        return;
    rememberDialogFolder(*chosen);
    openReplayFile(*chosen);
}

void MainWindow::openReplayFile(const QString& file)
{
    if (refuseReplayWhileConnected())
        return;
    forgetBadLines();
    const QString path = QFileInfo(file).absoluteFilePath();
    QString reason;
    // A file that cannot be opened leaves the current replay, if any, as it was.
    if (!m_replay->open(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to open the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    rememberRecentFile(path);
    showUnits(m_pipeline->shownUnits().value_or(SpeedUnitsKind::MillimetresPerSecond));
    setWindowTitle(appTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    m_statusPresenter->showSource();
    setConnectEnabled(false);
    m_closeLogAction->setEnabled(true);
    clearDisplay();
    m_tables->setReplayTimeShown(true);
    m_replay->step();
    m_replayBar->show();
    showPlotSource();
}

void MainWindow::onReplayReadFailed(const QString& path, const QString& reason)
{
    m_replayPresenter->stopQuietly();
    showError(m_replayErrorShowing, QStringLiteral("Unable to read the log file %1: %2")
                                        .arg(QDir::toNativeSeparators(path), reason));
}

void MainWindow::playReplay()
{
    m_replayPresenter->play();
}

void MainWindow::stopReplay()
{
    m_replayPresenter->stop();
}

void MainWindow::forgetBadLines()
{
    m_badLineReported = false;
    m_statusPresenter->forgetBadLines();
}

void MainWindow::viewFirstRecord()
{
    forgetBadLines();
    clearDisplay();
    QString reason;
    if (!m_replay->restart(&reason)) {
        // The file has gone: report once and stop; later ticks find no open file and do nothing.
        m_replayPresenter->stopQuietly();
        showError(m_replayErrorShowing,
                  QStringLiteral("Unable to open the log file %1: %2")
                      .arg(QDir::toNativeSeparators(m_replay->path()), reason));
        return;
    }
    m_replay->step();
}

void MainWindow::closeReplay()
{
    m_replayPresenter->stopQuietly();
    m_replay->close();
    m_replayPresenter->restoreScroll();
    setWindowTitle(appTitle);
    m_statusPresenter->showSource();
    m_tables->setReplayTimeShown(false);
    setConnectEnabled(true);
    clearDisplay();
    m_replayBar->hide();
    m_closeLogAction->setEnabled(false);
    showPlotSource();
}

// ---------------------------------------------------------------------------------------------
// Demonstration and reference windows

void MainWindow::runDemonstration()
{
    // One demonstration at a time: the command is off while one runs.
    if (m_session->demonstrationRunning())
        return;
    // Invented samples go into a real measurement log only when the operator says so.
    const bool logged =
        m_recording->logging() &&
        m_prompts->confirm(
            QStringLiteral("Logging is on. Write the demonstration's samples into the log file?"),
            false);
    if (!m_session->startDemonstration(logged))
        return;
    setStatusPanel(3, QStringLiteral("DEMONSTRATION"));
    m_demonstrationAction->setEnabled(false);
    if (m_session->isConnected())
        showNote(QStringLiteral("Live data hidden"),
                 QStringLiteral("Live samples are logged but not shown until the demonstration "
                                "ends"));
}

void MainWindow::demonstrationFinished()
{
    setStatusPanel(3, QString());
    m_demonstrationAction->setEnabled(true);
    if (m_session->isConnected())
        showNote(QString());
    clearDisplay();
}

void MainWindow::showDataConvention()
{
    dataConventionDialog()->show();
    m_dataConvention->raise();
}

void MainWindow::showAbout()
{
    aboutDialog()->show();
    m_about->raise();
}
