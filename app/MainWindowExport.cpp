// The main window's "Export span..." of the History window: the span shown of the file replayed
// (or of the log being recorded, for the live history) written as CSV or netCDF.

#include "app/MainWindow.h"

#include "app/HistoryPane.h"
#include "export/LogExport.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "session/LiveSession.h"

#include <QDir>
#include <QFileInfo>

void MainWindow::exportSpan(qint64 fromMs, qint64 toMs)
{
    const QString input = m_replay->isOpen()        ? m_replay->path()
                          : m_recording->hasFile() ? m_recording->currentFile()
                                                   : QString();
    if (input.isEmpty()) {
        m_prompts->message(QStringLiteral("Nothing to export: the live samples are not being "
                                          "recorded into a log file."));
        return;
    }
    const QFileInfo source(input);
    const std::optional<QString> chosen = m_prompts->saveFileName(
        QStringLiteral("Export Span"),
        QStringLiteral("CSV files (*.csv);;netCDF files (*.nc)"),
        source.completeBaseName() + QStringLiteral("-span.csv"), dialogStartFolder());
    if (!chosen || chosen->isEmpty())
        return;
    rememberDialogFolder(*chosen);
    const QFileInfo target(*chosen);
    if (!exportFormatForPath(target.fileName())) {
        m_prompts->error(QStringLiteral("Unable to export to %1: the file name must end in .csv "
                                        "or .nc.")
                             .arg(QDir::toNativeSeparators(target.absoluteFilePath())));
        return;
    }
    ExportOptions options;
    options.fromMs = fromMs;
    options.toMs = toMs;
    options.program = QStringLiteral("Marvane");
    // A data file states the station it was recorded at; a log states none, and is taken to be
    // of this station ([Station]).
    const StationDetails ofFile = stationDetailsOfFile(input);
    const StationDetails station = ofFile.isEmpty() ? m_session->station() : ofFile;
    if (!station.isEmpty())
        options.station = station;
    if (target.exists()) {
        if (!m_prompts->confirm(
                QStringLiteral("File %1 already exists. Replace?").arg(target.fileName())))
            return;
        options.overwrite = true;
    }
    const ExportResult result = ::exportSpan(input, target.absoluteFilePath(), options);
    if (!result.ok()) {
        m_prompts->error(result.error);
        return;
    }
    showNote(QStringLiteral("Exported %1 samples").arg(result.samples),
             QStringLiteral("%1 samples written to %2%3")
                 .arg(result.samples)
                 .arg(QDir::toNativeSeparators(target.absoluteFilePath()))
                 .arg(result.skippedLines > 0
                          ? QStringLiteral("; %1 lines skipped").arg(result.skippedLines)
                          : QString()));
}
