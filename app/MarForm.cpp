#include "app/MarForm.h"

#include "app/ClockText.h"
#include "app/Look.h"
#include "app/MarCommon.h"
#include "app/MarvaneError.h"
#include "app/WidgetPrompts.h"
#include "comms/MarComms.h"
#include "comms/PortMapping.h"
#include "comms/SerialConnection.h"
#include "logfile/LogFormat.h"
#include "processing/DataGrid.h"
#include "processing/DialView.h"
#include "processing/FlowComputation.h"
#include "processing/NumberText.h"
#include "processing/RawRecord.h"
#include "reference/Artwork.h"
#include "reference/DemoFeed.h"
#include "reference/MarDataCon.h"
#include "reference/MarvaneAbout.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

const QString TfrmMain::AppTitle = QStringLiteral("Tessmoor Marvane");

namespace {

const QString kLogFilter = QStringLiteral("Tessmoor Marvane Files (*.log)");
const QString kFourBlanks = QStringLiteral("    ");

} // namespace

// ---------------------------------------------------------------------------------------------
// Start-up, clock, exit

void TfrmMain::FormCreate()
{
    ComboBox1->setCurrentIndex(0);
    m_options.comms = LoadSettings(m_options.settingsPath);
    ApplyCommsSettings(m_options.comms, m_options.port, m_options.flags);
    grdstrComputedHeader->setCell(0, 0, QStringLiteral("   Speed"));
    grdstrComputedHeader->setCell(1, 0, QStringLiteral("  Bearing"));
    grdstrComputedUnits->setCell(1, 0, QStringLiteral("  Degrees"));
    grdstrRawDataHeader->setCell(0, 0, QStringLiteral("       X"));
    grdstrRawDataHeader->setCell(1, 0, QStringLiteral("       Y"));
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // The toolbar stays along the top edge; everything else keeps its place.
    tbrStandard->resize(qMax(632, centralWidget()->width()), tbrStandard->height());
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    FillDialCorners(imgFlowSpeed);
    FillDialCorners(imgFlowSpeedKnots);
    FillDialCorners(imgFlowSpeedMetric);
    FillDialCorners(imgFlowBearing);
    m_knotsFace = imgFlowSpeedKnots->image();
    m_metricFace = imgFlowSpeedMetric->image();
    // The millimetres-per-second face is the metric face with its "x1000" mark; the clean faces
    // never change after this point, so the marked copy is made once.
    m_x1000Face = m_metricFace.copy();
    drawX1000Mark(m_x1000Face);

    m_bearingDial.setPicture(imgFlowBearing->image());
    m_bearingDial.setFace(imgFlowBearing->image().copy());
    m_speedDial.setPicture(imgFlowSpeed->image());
    m_speedDial.setFace(imgFlowSpeed->image().copy());
    DrawBearingNeedle(0);
    DrawSpeedNeedle(kSpeedNeedleRest);
}

void TfrmMain::FillDialCorners(DialView* image)
{
    QImage picture = image->image();
    fillDialCorners(picture, buttonFaceColour());
    image->setImage(picture);
}

void TfrmMain::timClockTimer()
{
    labDateTime->setText(clockText(QDateTime::currentDateTime()));
}

void TfrmMain::mnuFileExitClick()
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (m_pauseDepth > 0) {
        // A handler is waiting in PauseProcessing: it runs to its end, then the program ends.
        m_closeRequested = true;
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void TfrmMain::PauseProcessing(int ms)
{
    int wait = ms;
    if (ms != 0 && m_waitScale != 1.0) {
        wait = int(ms * m_waitScale);
        if (wait == 0)
            wait = ms > 0 ? 1 : -1;
    }
    ++m_pauseDepth;
    waitProcessingEvents(wait);
    --m_pauseDepth;
    if (m_pauseDepth == 0 && m_closeRequested) {
        m_closeRequested = false;
        // Runs after the waiting handler has finished.
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

QString TfrmMain::statusPanel(int index) const
{
    return m_panels.at(size_t(index))->text();
}

void TfrmMain::setStatusPanel(int index, const QString& text)
{
    m_panels.at(size_t(index))->setText(text);
}

void TfrmMain::setConnectEnabled(bool on)
{
    mnuCommsConnect->setEnabled(on);
}

void TfrmMain::setLogCommandsEnabled(bool on)
{
    mnuFileLogStart->setEnabled(on);
    mnuFileLogStop->setEnabled(on);
}

void TfrmMain::showError(bool& guard, const QString& text, const QString& informative)
{
    if (guard)
        return;
    guard = true;
    m_prompts->error(text, informative);
    guard = false;
}

// ---------------------------------------------------------------------------------------------
// Data tables and dials

void TfrmMain::PushGridRow(DataGrid* grid, const QString& first, const QString& second)
{
    grid->rows().push(first, second, m_options.flags.ScrollDown);
    grid->update();
}

void TfrmMain::grdstrComputedDrawCell(QPainter& painter, int column, int row, const QRect& rect)
{
    const QColor colour = row == GridRows::newestRow(m_options.flags.ScrollDown)
                              ? QColor(255, 0, 0)
                              : windowTextColour();
    const QString text = grdstrComputed->cell(column, row);
    const QPoint origin = rect.topLeft() + QPoint(3, 2);
    // Drawn on an opaque background of the cell's colour, covering the grid's own drawing.
    const QRect extent = painter.fontMetrics().boundingRect(text);
    painter.fillRect(QRect(origin, QSize(extent.width() + 1, painter.fontMetrics().height())),
                     grdstrComputed->cellColour());
    painter.setPen(colour);
    painter.drawText(QRect(origin, rect.bottomRight()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TfrmMain::ClearDisplay()
{
    for (int i = 0; i <= LastDataRow; ++i) {
        PushGridRow(grdstrComputed, QString(), QString());
        PushGridRow(grdstrRawDataBody, QString(), QString());
    }
    setTextColour(labBearingReadoutUnits, Qt::black);
    labBearingReadoutValue->setText(QString());
    labFlowSpeedValue->setText(QString());
    DrawBearingNeedle(0);
    DrawSpeedNeedle(kSpeedNeedleRest);
}

void TfrmMain::DrawBearingNeedle(double angle)
{
    if (m_bearingDial.picture().isNull())
        return; // the window has not been shown yet
    m_bearingDial.drawNeedle(angle);
    imgFlowBearing->setImage(m_bearingDial.picture());
}

void TfrmMain::DrawSpeedNeedle(double angle)
{
    if (m_speedDial.picture().isNull())
        return;
    m_speedDial.drawNeedle(angle);
    imgFlowSpeed->setImage(m_speedDial.picture());
}

void TfrmMain::applyBearingColour(BearingColour colour)
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
    if (c.isValid())
        setTextColour(labBearingReadoutValue, c);
    setTextColour(labBearingReadoutUnits,
                  labBearingReadoutValue->palette().color(QPalette::WindowText));
}

// ---------------------------------------------------------------------------------------------
// Record decoding and flow computation

void TfrmMain::DecodeRawRecord(const QString& text)
{
    const std::optional<RawRecord> record = parseRawRecord(text);
    if (!record)
        return;
    const UnitsInfo& units = unitsInfo(record->units);

    m_speedDial.setFace(units.knotsFace   ? m_knotsFace
                        : units.x1000Mark ? m_x1000Face
                                          : m_metricFace);
    m_speedFormat = units.speedFormat;
    m_speedUnits = units.speedUnits;
    labFlowSpeedReadoutUnits->setText(units.readoutCaption);
    grdstrRawDataUnits->setCell(0, 0, units.unitsCellText);
    grdstrRawDataUnits->setCell(1, 0, units.unitsCellText);
    grdstrComputedUnits->setCell(0, 0, units.unitsCellText);

    PushGridRow(grdstrRawDataBody, kFourBlanks + record->x, kFourBlanks + record->y);
    try {
        ComputeFlow();
    } catch (const MarvaneError& e) {
        // The raw row stays; nothing else of this record happens.
        showError(m_decodeErrorShowing, e.text());
    }
}

void TfrmMain::ComputeFlow()
{
    const int row = GridRows::newestRow(m_options.flags.ScrollDown);
    const FlowSample sample =
        computeFlowSample(grdstrRawDataBody->cell(0, row), grdstrRawDataBody->cell(1, row),
                          m_options.flags.FaceUp, m_bearingTo, m_speedFormat);
    PushGridRow(grdstrComputed, kFourBlanks + sample.speedText, kFourBlanks + sample.bearingText);
    labFlowSpeedValue->setText(sample.speedText);
    applyBearingColour(sample.colour);
    labBearingReadoutValue->setText(sample.bearingText);
    DrawBearingNeedle(sample.bearing);
    // The needle shows the displayed speed, already formatted.
    const double shown = double(textToFloat(sample.speedText));
    if (const std::optional<double> angle =
            speedNeedleAngle(shown, labFlowSpeedReadoutUnits->text()))
        DrawSpeedNeedle(*angle);
    appendSample(sample.speedText, sample.bearingText);
}

void TfrmMain::ComboBox1Change()
{
    if (ComboBox1->currentText() == QLatin1String("Flow Bearing From"))
        m_bearingTo = 0;
    else if (ComboBox1->currentText() == QLatin1String("Flow Bearing To"))
        m_bearingTo = 1;
}

// ---------------------------------------------------------------------------------------------
// Recording

void TfrmMain::appendSample(const QString& speedText, const QString& bearingText)
{
    if (!m_recorder.logging())
        return;
    QString reason;
    if (m_recorder.append(speedText, bearingText, labDateTime->text(), m_speedUnits, &reason))
        return;
    showError(m_appendErrorShowing,
              QStringLiteral("Unable to write to the log file %1: %2")
                  .arg(QDir::toNativeSeparators(m_recorder.currentFile()), reason),
              QStringLiteral("Recording goes on: the samples not yet written (%1 so far) are kept "
                             "and written as soon as the file can be written again. To record "
                             "into another file, choose File > New.")
                  .arg(m_recorder.backlogLines()));
}

void TfrmMain::mnuFileNewClick()
{
    ClearDisplay();
    labDateTimeFile->hide();
    labDateTime->show();
    const std::optional<QString> chosen = m_prompts->saveFileName(
        QStringLiteral("New Log File"), kLogFilter, QStringLiteral("Tessmoor.log"));
    if (!chosen || chosen->isEmpty())
        return;
    const QFileInfo info(*chosen);
    const QString path = info.absoluteFilePath();
    if (info.exists() &&
        !m_prompts->confirm(
            QStringLiteral("File %1 already exists. Replace?").arg(info.fileName())))
        return;
    QString reason;
    if (!m_recorder.createFile(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to create the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    setWindowTitle(AppTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    setConnectEnabled(true);
    if (m_connected)
        setLogCommandsEnabled(true);
    fraVideo->hide();
}

void TfrmMain::mnuFileLogStartClick()
{
    m_recorder.setLogging(true);
    setStatusPanel(0, QStringLiteral("LOGGING"));
}

void TfrmMain::mnuFileLogStopClick()
{
    m_recorder.setLogging(false);
    setStatusPanel(0, QString());
}

// ---------------------------------------------------------------------------------------------
// Serial connection

void TfrmMain::mnuCommsConnectClick()
{
    const QString portName = m_options.port.PortName;
    const QString device = devicePathForPort(portName, m_options.settingsPath);
    // A new connection is opened beside a running one and replaces it only once it is open, so a
    // failed Connect leaves the running connection usable.
    auto candidate = std::make_unique<SerialConnection>();
    QString reason;
    if (!candidate->open(device, &reason, portName)) {
        m_prompts->message(QStringLiteral("Unable to open ") + portName, reason);
        return;
    }
    m_serial = std::move(candidate);
    connect(m_serial.get(), &SerialConnection::deviceLost, this, &TfrmMain::onDeviceLost,
            Qt::QueuedConnection);
    m_framer.reset();
    m_pendingRecords.clear();

    setStatusPanel(1, QStringLiteral("Connected: ") + portName);
    setConnectEnabled(false);
    mnuCommsDisconnect->setEnabled(true);
    mnuCommsOptions->setEnabled(false);
    if (m_recorder.hasFile()) {
        if (m_prompts->confirm(QStringLiteral("Start logging data?")))
            mnuFileLogStartClick();
        setLogCommandsEnabled(true);
    }
    timReadData->start(900);
    ClearDisplay();
    m_connected = true;
}

void TfrmMain::mnuCommsDisconnectClick()
{
    if (m_recorder.logging())
        mnuFileLogStopClick();
    timReadData->stop();
    m_serial->close();
    setStatusPanel(1, QString());
    m_connected = false;
    setConnectEnabled(true);
    mnuCommsDisconnect->setEnabled(false);
    mnuCommsOptions->setEnabled(true);
    setLogCommandsEnabled(false);
}

void TfrmMain::onDeviceLost(const QString& reason)
{
    if (!m_connected || sender() != m_serial.get())
        return;
    const QString portName = m_options.port.PortName;
    mnuCommsDisconnectClick();
    m_prompts->message(QStringLiteral("The connection to %1 was lost.").arg(portName), reason);
}

void TfrmMain::timReadDataTimer()
{
    if (m_firstRead) {
        PauseProcessing(500);
        m_firstRead = false;
    }
    PollSerial();
}

void TfrmMain::PollSerial()
{
    const QByteArray bytes = m_serial->poll(m_options.port);
    for (const QByteArray& record : m_framer.feed(bytes))
        m_pendingRecords.enqueue(record);
    // A poll that runs inside an error box of an earlier record only queues its records: they
    // are decoded after the earlier ones, in arrival order.
    if (m_processingRecords)
        return;
    m_processingRecords = true;
    while (!m_pendingRecords.isEmpty())
        DecodeRawRecord(QString::fromLatin1(m_pendingRecords.dequeue()));
    m_processingRecords = false;
}

void TfrmMain::mnuCommsOptionsClick()
{
    m_commsSetup->show();
    m_commsSetup->raise();
}

// ---------------------------------------------------------------------------------------------
// Replay

bool TfrmMain::playing() const
{
    return timPlay->isActive();
}

void TfrmMain::mnuFileOpenClick()
{
    const std::optional<QString> chosen =
        m_prompts->openFileName(QStringLiteral("Open Log File"), kLogFilter);
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    QString reason;
    // A file that cannot be opened leaves the current replay, if any, as it was.
    if (!m_replay.open(path, &reason)) {
        m_prompts->error(QStringLiteral("Unable to open the log file %1: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    m_replayPath = path;
    QByteArray line;
    m_replay.readLine(&line, &reason); // header
    line.clear();
    m_replay.readLine(&line, &reason); // units
    // The units line names the file's units; any word but Knots and m/s (none included) is mm/s.
    const QString word = unitsWordOfLine(line);
    setReplayUnits(word == QLatin1String("Knots") ? QStringLiteral("Kts")
                   : word == QLatin1String("m/s") ? QStringLiteral("m/s")
                                                  : QStringLiteral("mm/s"));
    setWindowTitle(AppTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(path));
    setStatusPanel(0, QStringLiteral("Source: File"));
    setConnectEnabled(false);
    mnuFileClose->setEnabled(true);
    ClearDisplay();
    ReplayNextRecord();
    fraVideo->show();
}

void TfrmMain::ReplayNextRecord()
{
    labDateTime->hide();
    labDateTimeFile->show();
    if (!m_replay.isOpen() || m_replay.atEnd())
        return;
    QByteArray line;
    QString reason;
    if (!m_replay.readLine(&line, &reason)) {
        const QString path = m_replayPath;
        m_replay.close();
        stopPlayback();
        showError(m_replayErrorShowing, QStringLiteral("Unable to read the log file %1: %2")
                                            .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    const QString caption = labFlowSpeedReadoutUnits->text();
    const LogRecordFields fields =
        splitLogRecordLine(line, caption == QLatin1String("mm/s") ? 4 : 5);
    // Each record's speed tells its own units, so a log whose units changed during recording
    // replays as it was recorded.
    const QString recordCaption = readoutCaptionForSpeedText(fields.speed);
    if (!recordCaption.isEmpty() && recordCaption != caption)
        setReplayUnits(recordCaption);
    PushGridRow(grdstrComputed, kFourBlanks + fields.speed, kFourBlanks + fields.bearing);
    labDateTimeFile->setText(fields.dateTime);
    labFlowSpeedValue->setText(fields.speed);
    try {
        const int d = textToInt(fields.bearing);
        applyBearingColour(bearingColour(d, fields.bearing));
        labBearingReadoutValue->setText(fields.bearing);
        DrawBearingNeedle(d);
        const double v = double(textToFloat(fields.speed));
        if (const std::optional<double> angle =
                speedNeedleAngle(v, labFlowSpeedReadoutUnits->text()))
            DrawSpeedNeedle(*angle);
    } catch (const MarvaneError& e) {
        // Playback goes on with the next line at the next tick.
        showError(m_replayErrorShowing, e.text());
    }
}

void TfrmMain::setReplayUnits(const QString& caption)
{
    labFlowSpeedReadoutUnits->setText(caption);
    grdstrComputedUnits->setCell(0, 0,
                                 caption == QLatin1String("Kts")   ? QStringLiteral("    Knots")
                                 : caption == QLatin1String("m/s") ? QStringLiteral("     m/s")
                                                                   : QStringLiteral("     mm/s"));
}

void TfrmMain::timPlayTimer()
{
    // While an error box about the replay is open the ticks wait, so boxes never pile up.
    if (m_replayErrorShowing)
        return;
    ReplayNextRecord();
}

void TfrmMain::btnVideoPlayClick()
{
    btnVideoStop->setEnabled(true);
    m_options.flags.ScrollDown = false;
    timPlay->start(1000);
    setStatusPanel(2, QStringLiteral("Play >"));
}

void TfrmMain::btnVideoStopClick()
{
    timPlay->stop();
    setStatusPanel(2, QStringLiteral("Stopped"));
    PauseProcessing(1500);
    setStatusPanel(2, QString());
    btnVideoStop->setEnabled(false);
}

void TfrmMain::stopPlayback()
{
    if (!timPlay->isActive())
        return;
    timPlay->stop();
    setStatusPanel(2, QString());
    btnVideoStop->setEnabled(false);
}

void TfrmMain::btnVideoStartClick()
{
    ClearDisplay();
    QString reason;
    m_replay.close();
    if (!m_replay.open(m_replayPath, &reason)) {
        // The file has gone: report once and stop; later ticks find no open file and do nothing.
        stopPlayback();
        showError(m_replayErrorShowing, QStringLiteral("Unable to open the log file %1: %2")
                                            .arg(QDir::toNativeSeparators(m_replayPath), reason));
        return;
    }
    QByteArray line;
    m_replay.readLine(&line, &reason);
    m_replay.readLine(&line, &reason);
    ReplayNextRecord();
}

void TfrmMain::mnuFileCloseClick()
{
    m_replay.close();
    stopPlayback();
    setWindowTitle(AppTitle);
    setStatusPanel(0, QString());
    labDateTimeFile->hide();
    labDateTime->show();
    setConnectEnabled(true);
    ClearDisplay();
    fraVideo->hide();
    mnuFileClose->setEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// Demonstration and reference windows

void TfrmMain::mnuHelpDemoClick()
{
    for (int i = 0; i < kDemoRecordCount; ++i) {
        DecodeRawRecord(demoRecord(i));
        PauseProcessing(1000);
    }
    ClearDisplay();
}

void TfrmMain::mnuHelpDataConventionClick()
{
    m_dataConvention->show();
    m_dataConvention->raise();
}

void TfrmMain::btnDataConventionClick()
{
    mnuHelpDataConventionClick();
}

void TfrmMain::mnuHelpAboutClick()
{
    m_about->show();
    m_about->raise();
}
