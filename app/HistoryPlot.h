#pragma once
// Speed and bearing over time: two stacked panes, speed on top in the history's units, bearing
// 0..360 below, time along the bottom. Each pixel column shows, as a vertical line, the lowest
// to the highest value of the records under it, so a day of samples and a minute of them are
// drawn alike. A marker shows the replay's position; a click asks to seek to the record under the
// pointer, the wheel zooms around the pointer and a drag moves the span.
//
// Drawn with QPainter rather than Qt Charts or QCustomPlot: a chart library's series holds every
// point it shows (30 million for a long log), where this draws at most a line or two per pixel
// column from the history's reductions, whatever the length of the recording.

#include "processing/HistorySeries.h"

#include <QColor>
#include <QWidget>

#include <vector>

class HistoryPlot : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPlot(QWidget* parent = nullptr);

    // The history to show, not owned; nullptr shows empty panes. Call update() when it grows.
    void setSeries(const HistorySeries* series);
    const HistorySeries* series() const { return m_series; }

    // Records first..last (inclusive) fill the width; showAll() shows the whole history and
    // follows its growth, as the plot does at first.
    void setSpan(qint64 first, qint64 last);
    void showAll();
    bool showsAll() const { return m_showAll; }
    qint64 spanFirst() const;
    qint64 spanLast() const;

    // The replay's current record, marked by a vertical line; -1 shows no marker.
    void setPosition(qint64 record);
    qint64 position() const { return m_position; }

    // Where things are drawn, for the window that hosts the plot and for tests.
    QRect speedPane() const;
    QRect bearingPane() const;
    // The record under widget column x (clamped to the span), and the column of a record.
    qint64 recordAt(int x) const;
    int xOfRecord(qint64 record) const;

    // The colours of the speed lines, the bearing lines and the position marker.
    static QColor speedColour();
    static QColor bearingColour();
    static QColor markerColour();

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
    qint64 recordTotal() const { return m_series ? m_series->recordCount() : 0; }
    void setSpanFromUser(qint64 first, qint64 last);
    // The columns of the span, computed again only when the history, the span or the width has
    // changed: moving the position marker during a replay redraws from them.
    const std::vector<HistoryColumn>& columns();

    struct ColumnsKey
    {
        const HistorySeries* series = nullptr;
        quint64 revision = 0;
        qint64 first = 0;
        qint64 last = -1;
        int width = 0;
        bool operator==(const ColumnsKey& o) const
        {
            return series == o.series && revision == o.revision && first == o.first &&
                   last == o.last && width == o.width;
        }
    };
    ColumnsKey m_columnsKey;
    std::vector<HistoryColumn> m_columns;

    const HistorySeries* m_series = nullptr;
    bool m_showAll = true;
    qint64 m_first = 0;
    qint64 m_last = -1;
    qint64 m_position = -1;

    // A press becomes a drag once the pointer has moved a few pixels; otherwise it is a click.
    bool m_pressed = false;
    bool m_dragging = false;
    int m_pressX = 0;
    qint64 m_pressFirst = 0;
    qint64 m_pressLast = -1;
};
