#pragma once
// Draws speed and bearing over time into two stacked panes, for the History window and the live
// strip chart alike. x is time: a sample is drawn at its own time, and where no sample came for
// longer than the gap rule allows (TimeAxis: isGap) the line stops and the gap is shaded.
//
// Each pixel column shows the samples whose time falls in it (HistorySeries::columns). While a
// column holds only a few, they are drawn themselves: the speed as a line through them, the
// bearing as a point each. A column of many shows the lowest to highest speed as a light bar with
// the line going through the mean, and a point at every bearing seen (to 1/64 of the circle).
// Bearings are points, never bars: a flow swinging across north shows points near 359 and near
// 001, never a bar through the whole circle between them.

#include "history/HistorySeries.h"
#include "history/TimeAxis.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;
class QFontMetrics;

struct TimePlotLook
{
    QColor text;
    QColor background;
    QColor speed = QColor(0, 70, 160);
    QColor speedEnvelope = QColor(150, 180, 225);
    QColor bearing = QColor(0, 120, 60);
    QColor grid = QColor(215, 215, 215);
    QColor gap = QColor(238, 238, 238);
};

// A label of the time axis and where it is drawn.
struct TimeAxisLabel
{
    QRect rect;
    QString text;
};

class TimePlotPainter
{
public:
    // A column holding at most this many samples draws them one by one.
    static constexpr qint64 kFewSamples = 4;

    TimePlotPainter(const HistorySeries* series, qint64 startMs, qint64 endMs,
                    const QRect& speedPane, const QRect& bearingPane);

    qint64 startMs() const { return m_startMs; }
    qint64 endMs() const { return m_endMs; }
    double xOfTime(qint64 timeMs) const;
    qint64 timeAtX(double x) const;

    // Scales, time ticks and their labels (under the bearing pane), then the samples. columns
    // must be series->columns(startMs, endMs, speedPane.width()).
    void paint(QPainter& p, const QFontMetrics& metrics, const TimePlotLook& look,
               const std::vector<HistoryColumn>& columns, bool timeLabels) const;

    // The labels under the bearing pane, in a drawing width wide: the time of each tick on a
    // first line, the date on a second line under the first tick and each tick of a new day. The
    // step leaves room for every time label; one that would still touch its neighbour on its line
    // (a date under ticks of an hour) is left out.
    std::vector<TimeAxisLabel> timeAxisLabels(const QFontMetrics& metrics, int width) const;
    // The room the time axis needs under the bearing pane.
    static int timeAxisHeight(const QFontMetrics& metrics);

    // The y of a bearing and of a speed with the given top of scale, for tests.
    int yOfBearing(double degrees) const;
    static double speedScaleTop(const std::vector<HistoryColumn>& columns);

private:
    std::vector<TimeTick> ticks(const QFontMetrics& metrics) const;

    const HistorySeries* m_series;
    qint64 m_startMs;
    qint64 m_endMs;
    QRect m_speed;
    QRect m_bearing;
};
