// The main window's part in the destinations beside the log file: the data file, the network
// outputs (NMEA 0183 and MQTT) with their dialog and their state in the status bar, and the
// alarms with theirs: a status line that stays while one lasts, the readouts' frame in the alarm
// colour, and a desktop notification; and the station's details they all state.

#include "app/MainWindow.h"

#include "app/AlarmsDialog.h"
#include "app/DesktopNotifier.h"
#include "app/OutputsDialog.h"
#include "app/Readouts.h"
#include "app/StationDialog.h"
#include "app/StatusPanels.h"
#include "app/StatusPresenter.h"
#include "outputs/OutputSettings.h"
#include "recording/DataFileWriter.h"
#include "sensor/FlowPipeline.h"
#include "session/AlarmSettings.h"
#include "session/LiveSession.h"
#include "settings/ProgramOptions.h"
#include "settings/StationSettings.h"

#include <QDir>

void MainWindow::buildOutputs()
{
    connect(m_session, &LiveSession::dataFileFailed, this,
            [this](const QString& path, const QString& reason) {
                m_prompts->notify(QStringLiteral("Unable to create the data file %1: %2")
                                      .arg(QDir::toNativeSeparators(path), reason),
                                  QStringLiteral("Logging goes on into the log file."), {});
            });
    connect(&m_session->dataFile(), &DataFileWriter::writeFailed, this,
            [this](const QString& path, const QString& reason, int rows) {
                showError(m_dataFileErrorShowing,
                          QStringLiteral("Unable to write to the data file %1: %2")
                              .arg(QDir::toNativeSeparators(path), reason),
                          QStringLiteral("The rows not yet written (%1 so far) are kept and "
                                         "written as soon as the file can be written again.")
                              .arg(rows));
            });
    connect(&m_session->dataFile(), &DataFileWriter::writeRecovered, this,
            [this](const QString& path, qint64 dropped) {
                if (dropped > 0)
                    showNote(QStringLiteral("Data file: %1 rows dropped").arg(dropped),
                             QStringLiteral("Rows kept back were written to %1; %2 could not be "
                                            "kept and were dropped")
                                 .arg(QDir::toNativeSeparators(path))
                                 .arg(dropped));
            });
    connect(m_session, &LiveSession::outputsChanged, m_statusPresenter,
            &StatusPresenter::showCounts);
    connect(m_session, &LiveSession::outputMessage, this,
            [this](const QString& text) { showNote(text); });
    // The station first: its id names the default MQTT topic.
    QStringList problems;
    startStation(loadStationSettings(m_options->settingsPath(), &problems));
    if (!problems.isEmpty()) {
        m_prompts->notify(problems.join(QLatin1Char('\n')),
                          QStringLiteral("Communications > Station... sets them right."), {});
    }
    startOutputs(loadOutputSettings(m_options->settingsPath()));
    startAlarms(loadAlarmSettings(m_options->settingsPath()));
}

void MainWindow::startStation(const StationDetails& details)
{
    m_session->setStation(details);
}

StationDialog* MainWindow::stationDialog()
{
    if (!m_stationDialog) {
        m_stationDialog = std::make_unique<StationDialog>(m_options->settingsPath(), *m_prompts);
        connect(m_stationDialog.get(), &StationDialog::applied, this, &MainWindow::startStation);
    }
    return m_stationDialog.get();
}

void MainWindow::showStation()
{
    stationDialog()->show();
    m_stationDialog->raise();
}

void MainWindow::startOutputs(const OutputSettings& settings)
{
    QString error;
    if (!m_session->setOutputs(settings, m_options->port().portName, &error)) {
        m_prompts->notify(error,
                          QStringLiteral("The network outputs are off until Communications "
                                         "> Outputs sets them right."),
                          {});
    }
}

const QList<LiveOutput*>& MainWindow::outputs() const
{
    return m_session->outputs();
}

OutputsDialog* MainWindow::outputsDialog()
{
    if (!m_outputsDialog) {
        m_outputsDialog = std::make_unique<OutputsDialog>(m_options->settingsPath(), *m_prompts);
        connect(m_outputsDialog.get(), &OutputsDialog::applied, this, &MainWindow::startOutputs);
    }
    return m_outputsDialog.get();
}

void MainWindow::showOutputs()
{
    outputsDialog()->show();
    m_outputsDialog->raise();
}

void MainWindow::startAlarms(const AlarmSettings& settings)
{
    m_session->setAlarms(settings);
}

AlarmsDialog* MainWindow::alarmsDialog()
{
    if (!m_alarmsDialog) {
        m_alarmsDialog = std::make_unique<AlarmsDialog>(m_options->settingsPath(), *m_prompts);
        connect(m_alarmsDialog.get(), &AlarmsDialog::applied, this, &MainWindow::startAlarms);
    }
    return m_alarmsDialog.get();
}

void MainWindow::showAlarms()
{
    alarmsDialog()->show();
    m_alarmsDialog->raise();
}

void MainWindow::setNotifier(Notifier* notifier)
{
    m_notifier = notifier;
}

void MainWindow::showAlarm(const SessionEvent& event)
{
    const bool raised = event.kind == SessionEvent::Kind::AlarmRaised;
    const QString time = m_pipeline->timeText(event.timeMs).section(QLatin1Char(' '), 1);
    const QString words = event.reason.left(1).toUpper() + event.reason.mid(1);
    for (qsizetype i = 0; i < m_alarmLines.size(); ++i) {
        if (m_alarmLines[i].first == event.alarm)
            m_alarmLines.removeAt(i--);
    }
    if (raised)
        m_alarmLines.append({event.alarm, QStringLiteral("%1 since %2").arg(words, time)});
    QStringList lines;
    for (const auto& line : std::as_const(m_alarmLines))
        lines << line.second;
    const QString alarmLine =
        lines.isEmpty() ? QString() : QStringLiteral("ALARM: ") + lines.join(QStringLiteral("; "));
    m_statusPanels->setAlarmLine(alarmLine);
    m_readouts->setAlarm(alarmLine);
    if (!raised)
        showNote(QStringLiteral("Alarm over at %1: %2").arg(time, event.reason));

    if (!m_notifier) {
        m_desktopNotifier = std::make_unique<DesktopNotifier>();
        // Said once in the status bar; the alarms go on without the desktop's help.
        connect(m_desktopNotifier.get(), &DesktopNotifier::unavailable, this,
                [this](const QString& why) { showNote(why); });
        m_notifier = m_desktopNotifier.get();
    }
    const QString port =
        event.portName.isEmpty() ? QString() : event.portName + QStringLiteral(": ");
    m_notifier->notify(
        event.alarm,
        raised ? QStringLiteral("Marvane alarm: %1").arg(event.reason)
               : QStringLiteral("Marvane alarm over: %1").arg(event.reason),
        QStringLiteral("%1%2 at %3").arg(port, raised ? words : QStringLiteral("Over"), time));
}
