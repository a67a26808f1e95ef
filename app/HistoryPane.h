#pragma once
// The History window: speed and bearing over the whole replayed file (from its index) or, with no
// file open, over the live session, with the replay's position marked; a click on the plot goes
// to that record. Beside the plot, the summary of the span the plot shows, as selectable text,
// and a Copy button.
//
// A separate window, so the main window keeps its layout and size. It is built when first opened;
// the live history it shows is kept by the main window from start-up.

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

    // The summary text of the span shown, as the text panel shows it.
    QString summaryTextNow() const;
    // The statistics of records first..last of series, as the summary shows them.
    static QString spanSummary(const HistorySeries& series, qint64 first, qint64 last);

    // How long the summary waits for more records before it is made again.
    static constexpr int kSummaryDelay = 200;

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
    void chooseSeries();
    void liveHistoryGrew();
    void historyGrew();
    void updateSummary();

    ReplaySession* m_session;
    const LiveHistory* m_live;
    HistoryPlot* m_plot = nullptr;
    QLabel* m_sourceLabel = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_copyButton = nullptr;
    QTimer* m_summaryTimer = nullptr;
};
