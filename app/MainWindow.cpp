#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/Artwork.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "app/Look.h"
#include "base/ClockText.h"
#include "comms/PortMapping.h"
#include "comms/SerialSource.h"
#include "logfile/Recording.h"
#include "logfile/ReplaySession.h"
#include "processing/FlowPipeline.h"
#include "processing/NoDataWatch.h"
#include "processing/Sample.h"
#include "reference/DemoSource.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <cmath>

const QString MainWindow::appTitle = QStringLiteral("Tessmoor Marvane");

namespace {

const QString kLogFilter = QStringLiteral("Tessmoor Marvane Files (*.log)");

// How long "Stopped" stays in the status bar after Stop.
constexpr int kStopNotice = 1500;

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
    scaleDisplay();
}

void MainWindow::rememberBaseLayout()
{
    // Every element of the display panel as laid out for the default size: its place, its
    // font's pixel size and its icon size, to scale from.
    m_baseLayout.clear();
    const auto remember = [this](QWidget* widget) {
        BaseGeometry base;
        base.widget = widget;
        base.geometry = widget->geometry();
        base.fontPixels = widget->font().pixelSize();
        if (auto* button = qobject_cast<QToolButton*>(widget))
            base.iconSize = button->iconSize();
        m_baseLayout.push_back(base);
    };
    remember(m_displayPanel);
    for (QWidget* child : m_displayPanel->findChildren<QWidget*>()) {
        // Elements placed by a layout of their own follow it when their parent grows.
        if (child->parentWidget() && child->parentWidget()->layout())
            continue;
        remember(child);
    }
}

void MainWindow::scaleDisplay()
{
    // The display panel grows into the room right of the tables, keeping its proportions: dials,
    // readouts and the replay bar grow with it. Below the default size nothing shrinks (the
    // window does not go smaller than that).
    const QSize room(centralWidget()->width() - 224 - 8, centralWidget()->height() - 40 - 1);
    const double scale = qMax(1.0, qMin(room.width() / 400.0, room.height() / 345.0));
    if (scale == m_displayScale)
        return;
    m_displayScale = scale;
    const auto scaled = [scale](int v) { return int(std::lround(v * scale)); };
    for (const BaseGeometry& base : m_baseLayout) {
        if (!base.widget)
            continue;
        const QRect g = base.geometry;
        if (base.widget == m_displayPanel)
            base.widget->setGeometry(g.x(), g.y(), scaled(g.width()), scaled(g.height()));
        else
            base.widget->setGeometry(scaled(g.x()), scaled(g.y()), scaled(g.width()),
                                     scaled(g.height()));
        if (base.fontPixels > 0) {
            QFont font = base.widget->font();
            font.setPixelSize(scaled(base.fontPixels));
            base.widget->setFont(font);
        }
        // Pictures are drawn again at their new size, sharp at any scale.
        if (auto* label = qobject_cast<QLabel*>(base.widget.data());
            label && label->property("artwork").isValid())
            label->setPixmap(artworkPixmap(label->property("artwork").toString(),
                                           QSize(scaled(g.width()), scaled(g.height()))));
        if (base.iconSize.isValid())
            static_cast<QToolButton*>(base.widget.data())
                ->setIconSize(QSize(scaled(base.iconSize.width()), scaled(base.iconSize.height())));
    }
}

void MainWindow::updateClock()
{
    m_clockLabel->setText(clockText(QDateTime::currentDateTime()));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running demonstration ends with the program.
    m_demo->stop();
    setStatusPanel(3, QString());
    event->accept();
    emit closed();
}

void MainWindow::setTimeScaleForTests(double scale)
{
    m_timeScale = scale;
    m_serial->setTimeScale(scale);
    m_replay->setTimeScale(scale);
    m_demo->setTimeScale(scale);
    m_stopNoticeTimer->setInterval(qMax(1, int(kStopNotice * scale)));
}

QString MainWindow::statusPanel(int index) const
{
    return m_panels.at(size_t(index))->text();
}

void MainWindow::setStatusPanel(int index, const QString& text)
{
    QLabel* panel = m_panels.at(size_t(index));
    panel->setText(text);
    // The narrow last panel widens for a word that does not fit it ("DEMONSTRATION").
    if (index == 3)
        panel->setFixedWidth(qMax(50, panel->fontMetrics().horizontalAdvance(text) + 10));
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
    if (m_inSerialPoll) {
        // A box opened inside a poll would hold every later poll until it closes (a timer does
        // not fire again while its own handler runs): it opens once the poll is over, and
        // samples go on arriving, shown and logged, while it is open. One box per source.
        for (const PendingBox& pending : m_pendingBoxes) {
            if (pending.guard == &guard)
                return;
        }
        m_pendingBoxes.push_back({&guard, text, informative});
        return;
    }
    guard = true;
    m_prompts->error(text, informative);
    guard = false;
}

void MainWindow::showPendingBoxes()
{
    std::vector<PendingBox> boxes;
    boxes.swap(m_pendingBoxes);
    for (const PendingBox& box : boxes)
        showError(*box.guard, box.text, box.informative);
}

bool MainWindow::connected() const
{
    return m_connected;
}

// ---------------------------------------------------------------------------------------------
// Painting samples

void MainWindow::showSample(const Sample& sample)
{
    if (sample.source == SampleSource::Replay) {
        m_clockLabel->hide();
        m_replayTimeLabel->show();
        if (!sample.computed) {
            // A bad line changes nothing on the display; playback goes on at the next tick.
            showError(m_replayErrorShowing, sample.error);
            return;
        }
        if (sample.readoutCaption != m_speedUnitsLabel->text())
            showReplayUnits(sample.readoutCaption);
        m_replayTimeLabel->setText(sample.timeText);
        showComputed(sample);
        return;
    }

    // Any record counts as data, even one whose flow cannot be computed: the sensor is talking.
    if (sample.source == SampleSource::Serial)
        m_noData->recordArrived();
    showLiveUnits(sample);
    pushRow(m_rawTable, Sample::cellText(sample.rawX), Sample::cellText(sample.rawY));
    if (!sample.computed) {
        // The raw row stays; nothing else of this record happens.
        showError(m_decodeErrorShowing, sample.error);
        return;
    }
    showComputed(sample);
    if (sample.source == SampleSource::Demonstration && !m_demoLogged)
        return;
    m_recording->record(sample);
}

void MainWindow::showLiveUnits(const Sample& sample)
{
    const UnitsInfo& units = unitsInfo(sample.units);
    showSpeedFace(units);
    m_speedUnitsLabel->setText(units.readoutCaption);
    m_rawUnits->setCell(0, 0, units.unitsCellText);
    m_rawUnits->setCell(1, 0, units.unitsCellText);
    m_computedUnits->setCell(0, 0, units.unitsCellText);
}

void MainWindow::showReplayUnits(const QString& caption)
{
    // The speed dial shows the scale of the units being replayed, as it does for live data.
    const UnitsInfo& units = unitsInfo(speedUnitsOfCaption(caption));
    showSpeedFace(units);
    m_speedUnitsLabel->setText(caption);
    m_computedUnits->setCell(0, 0, units.unitsCellText);
}

void MainWindow::showSpeedFace(const UnitsInfo& units)
{
    m_speedDial->setFace(units.knotsFace   ? DialFace::Knots
                         : units.x1000Mark ? DialFace::MetricX1000
                                           : DialFace::Metric);
}

void MainWindow::showComputed(const Sample& sample)
{
    pushRow(m_computedTable, Sample::cellText(sample.speedText),
            Sample::cellText(sample.bearingText));
    setSpeedReadout(sample.speedText);
    applyBearingColour(sample.colour);
    m_bearingReadout->setText(sample.bearingText);
    drawBearingNeedle(sample.bearing);
    if (sample.speedNeedleAngle)
        drawSpeedNeedle(*sample.speedNeedleAngle);
}

void MainWindow::setSpeedReadout(const QString& text)
{
    m_speedReadout->setText(text);
    // The widest speeds are a shade too wide for the room left of the units at 32 pixels: the
    // font steps down for them rather than cut a digit.
    QFont font = m_speedReadout->font();
    int pixels = int(std::lround(32 * m_displayScale));
    font.setPixelSize(pixels);
    while (pixels > 8 && QFontMetrics(font).horizontalAdvance(text) > m_speedReadout->width()) {
        font.setPixelSize(--pixels);
    }
    if (font.pixelSize() != m_speedReadout->font().pixelSize())
        m_speedReadout->setFont(font);
}

void MainWindow::pushRow(DataGrid* grid, const QString& first, const QString& second)
{
    grid->rows().push(first, second, m_options.flags.scrollDown);
    grid->update();
}

void MainWindow::drawComputedCell(QPainter& painter, int column, int row, const QRect& rect)
{
    const QColor colour = row == GridRows::newestRow(m_options.flags.scrollDown)
                              ? QColor(255, 0, 0)
                              : windowTextColour();
    const QString text = m_computedTable->cell(column, row);
    const QPoint origin = rect.topLeft() + QPoint(3, 2);
    // Drawn on an opaque background of the cell's colour, covering the grid's own drawing.
    const QRect extent = painter.fontMetrics().boundingRect(text);
    painter.fillRect(QRect(origin, QSize(extent.width() + 1, painter.fontMetrics().height())),
                     m_computedTable->cellColour());
    painter.setPen(colour);
    painter.drawText(QRect(origin, rect.bottomRight()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void MainWindow::clearDisplay()
{
    for (int i = 0; i <= LastDataRow; ++i) {
        pushRow(m_computedTable, QString(), QString());
        pushRow(m_rawTable, QString(), QString());
    }
    // The degree sign goes black while the bearing readout keeps its colour for the next value.
    setTextColour(m_degreeSign, Qt::black);
    m_bearingColour = QColor();
    m_bearingReadout->setText(QString());
    m_speedReadout->setText(QString());
    drawBearingNeedle(0);
    drawSpeedNeedle(kSpeedNeedleRest);
}

void MainWindow::drawBearingNeedle(double angle)
{
    m_bearingDial->setNeedleAngle(angle);
}

void MainWindow::drawSpeedNeedle(double angle)
{
    m_speedDial->setNeedleAngle(angle);
}

void MainWindow::applyBearingColour(BearingColour colour)
{
    QColor c;
    switch (colour) {
    case BearingColour::Green:
        c = QColor(0, 255, 0);
        break;
    case BearingColour::Red:
        c = QColor(255, 0, 0);
        break;
    case BearingColour::Black:
        c = QColor(0, 0, 0);
        break;
    case BearingColour::Unchanged:
        break;
    }
    // A palette change restyles the label: done only when the colour really changes.
    if (!c.isValid() || c == m_bearingColour)
        return;
    m_bearingColour = c;
    setTextColour(m_bearingReadout, c);
    setTextColour(m_degreeSign, c);
}

void MainWindow::bearingSenseChanged()
{
    m_pipeline->setBearingTo(m_bearingSenseBox->currentIndex() == 1);
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

void MainWindow::showBacklog(int lines)
{
    m_backlogLabel->setText(lines > 0 ? QStringLiteral("Not yet written: %1").arg(lines)
                                      : QString());
}

void MainWindow::onAppendRecovered(const QString& path)
{
    showNote(
        QStringLiteral("Samples kept back were written to %1").arg(QDir::toNativeSeparators(path)));
}

void MainWindow::newLogFile()
{
    clearDisplay();
    m_replayTimeLabel->hide();
    m_clockLabel->show();
    const std::optional<QString> chosen =
        m_prompts->saveFileName(QStringLiteral("New Log File"), kLogFilter,
                                QStringLiteral("Tessmoor.log"), dialogStartFolder());
    if (!chosen || chosen->isEmpty())
        return;
    rememberDialogFolder(*chosen);
    const QFileInfo info(*chosen);
    const QString path = info.absoluteFilePath();
    if (info.exists() &&
        !m_prompts->confirm(
            QStringLiteral("File %1 already exists. Replace?").arg(info.fileName())))
        return;
    QString reason;
    if (!m_recording->createFile(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to create the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    setWindowTitle(appTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    setConnectEnabled(true);
    if (m_connected)
        setLogCommandsEnabled(true);
    // The replay bar goes; a playback it could no longer stop goes with it.
    stopPlaybackQuietly();
    m_replayBar->hide();
}

void MainWindow::startLogging()
{
    m_recording->setLogging(true);
    showSourcePanel();
}

void MainWindow::stopLogging()
{
    m_recording->setLogging(false);
    showSourcePanel();
}

void MainWindow::showSourcePanel()
{
    // "LOGGING" wins over the replay's "Source: File": the operator must always see that a
    // recording runs, whatever is replayed beside it.
    setStatusPanel(0, m_recording->logging() ? QStringLiteral("LOGGING")
                      : m_replay->isOpen()   ? QStringLiteral("Source: File")
                                             : QString());
}

// ---------------------------------------------------------------------------------------------
// Serial connection

void MainWindow::connectPort()
{
    const QString portName = m_options.port.portName;
    const QString device = devicePathForPort(portName, m_options.settingsPath);
    QString reason;
    // A failed Connect leaves a running connection as it was.
    if (!m_serial->open(device, portName, &reason)) {
        m_prompts->message(QStringLiteral("Unable to open ") + portName, reason);
        return;
    }
    setStatusPanel(1, QStringLiteral("Connected: ") + portName);
    setConnectEnabled(false);
    m_disconnectAction->setEnabled(true);
    m_commsOptionsAction->setEnabled(false);
    if (m_recording->hasFile()) {
        if (m_prompts->confirm(QStringLiteral("Start logging data?")))
            startLogging();
        setLogCommandsEnabled(true);
    }
    m_serial->setReconnect(m_options.reconnect);
    m_serial->startPolling();
    m_noData->start();
    clearDisplay();
    m_connected = true;
}

void MainWindow::disconnectPort()
{
    if (m_recording->logging())
        stopLogging();
    m_serial->close();
    m_noData->stop();
    showDataAgain();
    setStatusPanel(1, QString());
    m_connected = false;
    setConnectEnabled(true);
    m_disconnectAction->setEnabled(false);
    m_commsOptionsAction->setEnabled(true);
    setLogCommandsEnabled(false);
}

void MainWindow::onDeviceLost(const QString& portName, const QString& reason)
{
    if (!m_connected)
        return;
    disconnectPort();
    m_prompts->message(QStringLiteral("The connection to %1 was lost.").arg(portName), reason);
}

void MainWindow::onReconnecting(const QString& portName, const QString& reason)
{
    // No box: an unattended logger must go on by itself. The status bar tells what happened.
    m_noData->stop();
    showDataAgain();
    setStatusPanel(1, QStringLiteral("Reconnecting %1...").arg(portName));
    // The reason's first sentence says what happened; the rest speaks of a port now closed,
    // which reconnection is about to open again.
    QString what = reason.section(QLatin1Char('\n'), 0, 0);
    if (const qsizetype end = what.indexOf(QLatin1String(". ")); end > 0)
        what.truncate(end);
    showNote(QStringLiteral("%1 was lost at %2: %3")
                 .arg(portName, clockText(QDateTime::currentDateTime()), what));
}

void MainWindow::showNote(const QString& text)
{
    // Beside the four panels, never over them: "Reconnecting" and "LOGGING" stay in view.
    m_noteLabel->setToolTip(text);
    m_noteLabel->setText(
        m_noteLabel->fontMetrics().elidedText(text, Qt::ElideRight, m_noteLabel->width()));
}

void MainWindow::onReconnected(const QString& portName)
{
    setStatusPanel(1, QStringLiteral("Connected: ") + portName);
    showNote(QStringLiteral("%1 is back since %2")
                 .arg(portName, clockText(QDateTime::currentDateTime())));
    m_noData->start();
}

void MainWindow::showNoData(int seconds)
{
    setReadoutsGreyed(true);
    setStatusPanel(3, QStringLiteral("NO DATA %1 s").arg(seconds));
}

void MainWindow::showDataAgain()
{
    if (!m_readoutsGreyed)
        return;
    setReadoutsGreyed(false);
    setStatusPanel(3, m_demo->running() ? QStringLiteral("DEMONSTRATION") : QString());
}

void MainWindow::setReadoutsGreyed(bool greyed)
{
    if (greyed == m_readoutsGreyed)
        return;
    m_readoutsGreyed = greyed;
    const QColor text = greyed ? QColor(128, 128, 128) : QColor(Qt::black);
    setTextColour(m_speedReadout, text);
    setTextColour(m_speedUnitsLabel, text);
    if (greyed) {
        setTextColour(m_bearingReadout, text);
        setTextColour(m_degreeSign, text);
    }
    // The next sample sets the bearing's own colour again.
    m_bearingColour = QColor();
}

void MainWindow::showCommsOptions()
{
    commsOptionsDialog()->show();
    m_commsOptions->raise();
}

// ---------------------------------------------------------------------------------------------
// Replay

void MainWindow::openReplay()
{
    const std::optional<QString> chosen =
        m_prompts->openFileName(QStringLiteral("Open Log File"), kLogFilter, dialogStartFolder());
    if (!chosen || chosen->isEmpty())
        return;
    rememberDialogFolder(*chosen);
    openReplayFile(*chosen);
}

void MainWindow::openReplayFile(const QString& file)
{
    const QString path = QFileInfo(file).absoluteFilePath();
    QString reason;
    // A file that cannot be opened leaves the current replay, if any, as it was.
    if (!m_replay->open(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to open the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    rememberRecentFile(path);
    showReplayUnits(m_pipeline->units().readoutCaption);
    setWindowTitle(appTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    showSourcePanel();
    setConnectEnabled(false);
    m_closeLogAction->setEnabled(true);
    clearDisplay();
    m_clockLabel->hide();
    m_replayTimeLabel->show();
    m_replay->step();
    m_replayBar->show();
}

void MainWindow::onReplayReadFailed(const QString& path, const QString& reason)
{
    stopPlaybackQuietly();
    showError(m_replayErrorShowing, QStringLiteral("Unable to read the log file %1: %2")
                                        .arg(QDir::toNativeSeparators(path), reason));
}

void MainWindow::playReplay()
{
    m_replayStopButton->setEnabled(true);
    if (!m_scrollDownBeforePlay)
        m_scrollDownBeforePlay = m_options.flags.scrollDown;
    m_options.flags.scrollDown = false;
    m_stopNoticeTimer->stop();
    m_replay->play();
    m_replayPlayButton->setEnabled(false);
    m_endOfFileShown = false;
    setStatusPanel(2, QStringLiteral("Play >"));
}

void MainWindow::onReplayEnd()
{
    // The last record stays on display; Play starts again from where the file has grown to.
    m_stopNoticeTimer->stop();
    m_replayStopButton->setEnabled(false);
    m_replayPlayButton->setEnabled(true);
    setStatusPanel(2, QStringLiteral("End of file"));
    m_endOfFileShown = true;
}

void MainWindow::stopReplay()
{
    m_replay->stop();
    m_endOfFileShown = false;
    m_replayPlayButton->setEnabled(true);
    setStatusPanel(2, QStringLiteral("Stopped"));
    m_stopNoticeTimer->start();
}

void MainWindow::stopPlaybackQuietly()
{
    const bool notice = m_stopNoticeTimer->isActive() || m_endOfFileShown;
    m_stopNoticeTimer->stop();
    m_endOfFileShown = false;
    if (!m_replay->playing() && !notice)
        return;
    m_replay->stop();
    setStatusPanel(2, QString());
    m_replayStopButton->setEnabled(false);
    m_replayPlayButton->setEnabled(true);
}

void MainWindow::viewFirstRecord()
{
    clearDisplay();
    QString reason;
    if (!m_replay->restart(&reason)) {
        // The file has gone: report once and stop; later ticks find no open file and do nothing.
        stopPlaybackQuietly();
        showError(m_replayErrorShowing,
                  QStringLiteral("Unable to open the log file %1: %2")
                      .arg(QDir::toNativeSeparators(m_replay->path()), reason));
        return;
    }
    m_replay->step();
}

void MainWindow::closeReplay()
{
    stopPlaybackQuietly();
    m_replay->close();
    // Play scrolls the tables up for the replay; live data scrolls as the options say again.
    m_options.flags.scrollDown = m_scrollDownBeforePlay.value_or(m_options.flags.scrollDown);
    m_scrollDownBeforePlay.reset();
    setWindowTitle(appTitle);
    showSourcePanel();
    m_replayTimeLabel->hide();
    m_clockLabel->show();
    setConnectEnabled(true);
    clearDisplay();
    m_replayBar->hide();
    m_closeLogAction->setEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// Demonstration and reference windows

void MainWindow::runDemonstration()
{
    // Invented samples go into a real measurement log only when the operator says so.
    if (m_recording->logging() && !m_demo->running())
        m_demoLogged = m_prompts->confirm(
            QStringLiteral("Logging is on. Write the demonstration's samples into the log file?"),
            false);
    else if (!m_demo->running())
        m_demoLogged = false;
    m_demo->start();
    setStatusPanel(3, QStringLiteral("DEMONSTRATION"));
}

void MainWindow::demonstrationFinished()
{
    if (!m_demo->running())
        setStatusPanel(3, QString());
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
