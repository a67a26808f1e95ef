// The main window's part in the destinations beside the log file: the data file, and the network
// outputs (NMEA 0183 and MQTT) with their dialog and their state in the status bar.

#include "app/MainWindow.h"

#include "app/OutputsDialog.h"
#include "logfile/DataFileWriter.h"
#include "outputs/Outputs.h"
#include "session/LiveSession.h"
#include "session/ProgramOptions.h"

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
    startOutputs(loadOutputSettings(m_options->settingsPath()));
}

void MainWindow::startOutputs(const OutputSettings& settings)
{
    // Outputs already running end cleanly (an MQTT broker hears "offline") before new ones start.
    for (LiveOutput* output : std::as_const(m_outputs)) {
        m_session->removeSink(output);
        output->takeEvent({SessionEvent::Kind::Finishing, QString(), QString()});
        output->deleteLater();
    }
    m_outputs.clear();
    QString error;
    const QList<LiveOutput*> outputs =
        createOutputs(settings, m_options->port().portName, this, &error);
    if (!error.isEmpty()) {
        m_prompts->notify(error, QStringLiteral("The network outputs are off until Communications "
                                                "> Outputs sets them right."),
                          {});
    }
    for (LiveOutput* output : outputs) {
        m_session->addSink(output);
        connect(output, &LiveOutput::stateChanged, this, &MainWindow::showCounts);
        connect(output, &LiveOutput::message, this,
                [this](const QString& text) { showNote(text); });
        m_outputs << output;
    }
    showCounts();
}

QStringList MainWindow::outputStates() const
{
    QStringList states;
    for (const LiveOutput* output : m_outputs) {
        if (!output->stateText().isEmpty())
            states << output->stateText();
    }
    return states;
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
