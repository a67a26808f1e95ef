#pragma once
// The live strip chart: speed and bearing of the live session over its last minutes (10 at
// first), the newest sample at the right edge; while a log is replayed, of the replayed file up
// to the record shown. The wheel, or the small span box in the corner,
// chooses how many minutes are shown. It reads the live history's series and is redrawn once per
// batch (refresh), by the same rule as the History window (TimePlotPainter): samples at their own
// time, gaps as gaps, each pixel column from the samples under it.

#include <QWidget>

#include <optional>
#include <vector>

class HistorySeries;
class QComboBox;
struct HistoryColumn;

class LivePlot : public QWidget
{
    Q_OBJECT

public:
    explicit LivePlot(QWidget* parent = nullptr);
    ~LivePlot() override;

    // The series to show, not owned (the live history's); nullptr shows empty panes.
    void setSeries(const HistorySeries* series);
    const HistorySeries* series() const { return m_series; }

    // Minutes shown: one of spanChoices().
    int spanMinutes() const { return m_minutes; }
    void setSpanMinutes(int minutes);
    static const std::vector<int>& spanChoices();
    QComboBox* spanBox() const { return m_spanBox; }

    // Where the span ends: at the newest sample (none, as for the live session), or at a time
    // of the series (a replay's record shown).
    void setSpanEnd(std::optional<qint64> endMs);

    // The times shown: the last spanMinutes() up to the newest sample, or up to the span end set.
    qint64 spanStartMs() const;
    qint64 spanEndMs() const;

    QRect speedPane() const;
    QRect bearingPane() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // The series has grown (once per batch).
    void refresh();

signals:
    void spanMinutesChanged(int minutes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect plotArea() const;

    const HistorySeries* m_series = nullptr;
    std::optional<qint64> m_spanEnd;
    int m_minutes = 10;
    QComboBox* m_spanBox = nullptr;
};
