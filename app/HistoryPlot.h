#pragma once
// Speed and bearing over time: two stacked panes, speed on top in the history's units, bearing
// 0..360 below, time along the bottom with labels at round times. Samples stand at their own
// time; a gap in the recording stays a gap (TimePlotPainter draws it). Each of the operator's
// marks in the span is a vertical line through both panes, its note written beside it at the
// top. A marker shows the
// replay's position; a click asks to seek to the sample nearest in time to the pointer, the
// wheel zooms around the pointer and a drag moves the span.
//
// Drawn with QPainter rather than Qt Charts or QCustomPlot: a chart library's series holds every
// point it shows (30 million for a long log, a second copy of the history at 16 bytes or more a
// point) and draws them all, where this draws at most a handful of lines and points per pixel
// column from the history's pyramid of reductions, whatever the length of the recording.

#include "history/HistorySeries.h"

#include <QColor>
#include <QWidget>

#include <vector>

class QPainter;
class TimePlotPainter;

class HistoryPlot : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPlot(QWidget* parent = nullptr);

    // The history to show, not owned; nullptr shows empty panes. Call update() when it grows.
    void setSeries(const HistorySeries* series);
    const HistorySeries* series() const { return m_series; }

    // The times startMs..endMs fill the width.
    void setTimeSpan(qint64 startMs, qint64 endMs);
    // The times of records first..last fill the width.
    void setSpan(qint64 first, qint64 last);
    // The whole history, following its growth, as the plot does at first.
    void showAll();
    bool showsAll() const { return m_showAll; }
    qint64 spanStartMs() const;
    qint64 spanEndMs() const;
    // The records whose time lies in the span shown (spanLast < spanFirst when none).
    qint64 spanFirst() const;
    qint64 spanLast() const;

    // The replay's current record, marked by a vertical line at its time; -1 shows no marker.
    void setPosition(qint64 record);
    qint64 position() const { return m_position; }

    // Where things are drawn, for the window that hosts the plot and for tests.
    QRect speedPane() const;
    QRect bearingPane() const;
    // The time under widget column x, the sample nearest to it (-1 without samples), and the
    // column of a record's time (-1 outside the span).
    qint64 timeAt(int x) const;
    qint64 recordAt(int x) const;
    int xOfRecord(qint64 record) const;
    // The column of a time (-1 outside the span).
    int xOfTime(qint64 timeMs) const;

    // The colours of the speed line, the bearing points and the position marker.
    static QColor speedColour();
    static QColor bearingColour();
    static QColor markerColour();
    // The colour of the operator's marks and their notes.
    static QColor markColour();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekRequested(qint64 record);
    void spanChanged(qint64 first, qint64 last);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    TimePlotPainter painter() const;
    void setSpanFromUser(qint64 startMs, qint64 endMs);
    void paintMarks(QPainter& p) const;
    // The columns of the span, computed again only when the history, the span or the width has
    // changed: moving the position marker during a replay redraws from them.
    const std::vector<HistoryColumn>& columns();

    struct ColumnsKey
    {
        const HistorySeries* series = nullptr;
        quint64 revision = 0;
        qint64 startMs = 0;
        qint64 endMs = -1;
        int width = 0;
        bool operator==(const ColumnsKey& o) const
        {
            return series == o.series && revision == o.revision && startMs == o.startMs &&
                   endMs == o.endMs && width == o.width;
        }
    };
    ColumnsKey m_columnsKey;
    std::vector<HistoryColumn> m_columns;

    const HistorySeries* m_series = nullptr;
    bool m_showAll = true;
    qint64 m_startMs = 0;
    qint64 m_endMs = 0;
    qint64 m_position = -1;

    // A press becomes a drag once the pointer has moved a few pixels; otherwise it is a click.
    bool m_pressed = false;
    bool m_dragging = false;
    int m_pressX = 0;
    qint64 m_pressStartMs = 0;
    qint64 m_pressEndMs = 0;
};
