#pragma once
// The History window: speed and bearing over the whole replayed file (from its index) or, with no
// file open, over the live session, with the replay's position marked; a click on the plot goes
// to that record. Beside the plot, the summary of the span the plot shows, as selectable text,
// and a Copy button.
//
// A separate window, so the main window keeps its layout and size. It is built when first opened;
// the live history it shows is kept by the main window from start-up.

#include "history/SpanStatistics.h"

#include <QRect>
#include <QWidget>

#include <optional>
#include <utility>

class HistoryPlot;
class HistorySeries;
class LiveHistory;
class ReplaySession;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// Where the History window's frame (of frameSize) goes when it is first opened: beside the main
// window's frame (right of it, left, below or above) where it fits inside the screen's available
// area; else over the main window, under the main window's menu bar (which ends at y
// belowMenuBar), moved up and if need be shortened to no less than minimumHeight to stay inside
// the available area.
QRect historyWindowFrame(const QSize& frameSize, const QRect& mainFrame, int belowMenuBar,
                         const QRect& available, int minimumHeight);

class HistoryPane : public QWidget
{
    Q_OBJECT
public:
    HistoryPane(ReplaySession* session, const LiveHistory* live, QWidget* parent = nullptr);

    HistoryPlot* plot() const { return m_plot; }
    QPlainTextEdit* summaryText() const { return m_summary; }
    QPushButton* copyButton() const { return m_copyButton; }
    QPushButton* exportButton() const { return m_exportButton; }
    // The span shown, in milliseconds since 1970 UTC; none without samples.
    std::optional<std::pair<qint64, qint64>> spanTimes() const;
    const HistorySeries& liveHistory() const;

    // The summary text of the span shown, as the text panel shows it, made at once.
    QString summaryTextNow() const;
    // True while the summary of the span shown is still being made, slice by slice.
    bool summaryPending() const { return m_job && !m_job->complete(); }

    // How long the summary waits for more records before it is made again.
    static constexpr int kSummaryDelay = 200;
    // Records the summary takes in one turn of the event loop: the statistics of a long file
    // (30 million samples take most of a second) are gathered in slices of a few milliseconds,
    // so the window never stops answering while they are made.
    static constexpr qint64 kSummarySlice = 100000;

signals:
    // The window was closed by its title bar (the View menu's check mark follows).
    void visibilityChanged(bool visible);
    // "Export span..." was pressed: the span shown is to be written to a file.
    void exportRequested(qint64 fromMs, qint64 toMs);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QSize fittedSize(const QSize& wanted) const;
    // "Export span..." only while the span shown holds samples.
    void updateExportButton();
    // The plot's span as records of its series (last < first when it holds none).
    std::pair<qint64, qint64> clampedSpan() const;
    void chooseSeries();
    void liveHistoryGrew();
    void historyGrew();
    void updateSummary();
    // Gathers the next slice of the summary in hand; shows it once complete.
    void continueSummary();
    void showSummary(const QString& text);

    ReplaySession* m_session;
    const LiveHistory* m_live;
    HistoryPlot* m_plot = nullptr;
    QLabel* m_sourceLabel = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_copyButton = nullptr;
    QTimer* m_summaryTimer = nullptr;

    // The summary being made, or the last one made (its text is the one shown once complete).
    std::optional<HistorySpanStatistics> m_job;
    QTimer* m_sliceTimer = nullptr;
};
