// The main window's part in the destinations beside the log file: the data file, and the network
// outputs (NMEA 0183 and MQTT) with their dialog and their state in the status bar.

#include "app/MainWindow.h"

#include "app/OutputsDialog.h"
#include "recording/DataFileWriter.h"
#include "outputs/OutputSettings.h"
#include "session/LiveSession.h"
#include "settings/ProgramOptions.h"

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
    connect(m_session, &LiveSession::outputsChanged, this, &MainWindow::showCounts);
    connect(m_session, &LiveSession::outputMessage, this,
            [this](const QString& text) { showNote(text); });
    startOutputs(loadOutputSettings(m_options->settingsPath()));
}

void MainWindow::startOutputs(const OutputSettings& settings)
{
    QString error;
    if (!m_session->setOutputs(settings, m_options->port().portName, &error)) {
        m_prompts->notify(error, QStringLiteral("The network outputs are off until Communications "
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
