#include "app/TimePlotPainter.h"

#include "history/TimeAxis.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPointF>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The smallest of 1, 2, 5 times a power of ten that is at least v.
double niceCeiling(double v)
{
    if (!(v > 0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= v * (1 - 1e-12))
            return m * power;
    }
    return 10.0 * power;
}

double yIn(const QRect& pane, double v, double top)
{
    const double f = std::clamp(v / top, 0.0, 1.0);
    return pane.bottom() - f * (pane.height() - 1);
}

// On a pixel's centre, so that a steady speed is one crisp row, not two half-tones.
double snapped(double y)
{
    return std::floor(y) + 0.5;
}

} // namespace

TimePlotPainter::TimePlotPainter(const HistorySeries* series, qint64 startMs, qint64 endMs,
                                 const QRect& speedPane, const QRect& bearingPane)
    : m_series(series), m_startMs(startMs), m_endMs(std::max(endMs, startMs + 1)),
      m_speed(speedPane), m_bearing(bearingPane)
{
}

double TimePlotPainter::xOfTime(qint64 timeMs) const
{
    // The span's first instant on the centre of the first pixel column, its last on the centre of
    // the last one.
    return m_speed.left() + 0.5 +
           double(timeMs - m_startMs) * std::max(m_speed.width() - 1, 1) /
               double(m_endMs - m_startMs);
}

qint64 TimePlotPainter::timeAtX(double x) const
{
    return m_startMs +
           qint64(std::llround((x - m_speed.left() - 0.5) * double(m_endMs - m_startMs) /
                               std::max(m_speed.width() - 1, 1)));
}

std::vector<TimeTick> TimePlotPainter::ticks(const QFontMetrics& metrics) const
{
    // Round times, far enough apart for the time labels of the step chosen; the date has a line
    // of its own under them.
    const qint64 step = timeTickStepForAxis(m_endMs - m_startMs, m_speed.width(), [&](qint64 s) {
        return metrics.horizontalAdvance(timeTickLabelPattern(s)) + 16;
    });
    const TimeBase base = m_series ? m_series->timeBase() : TimeBase::Utc;
    return timeTicks(m_startMs, m_endMs, step, base);
}

int TimePlotPainter::timeAxisHeight(const QFontMetrics& metrics)
{
    return 4 + 2 * metrics.lineSpacing() + 2;
}

std::vector<TimeAxisLabel> TimePlotPainter::timeAxisLabels(const QFontMetrics& metrics,
                                                           int width) const
{
    std::vector<TimeAxisLabel> labels;
    int lastRight[2] = {std::numeric_limits<int>::min(), std::numeric_limits<int>::min()};
    for (const TimeTick& tick : ticks(metrics)) {
        const int x = int(std::floor(xOfTime(tick.timeMs)));
        const QString lines[2] = {tick.time, tick.date};
        for (int line = 0; line < 2; ++line) {
            const QString& text = lines[line];
            if (text.isEmpty())
                continue;
            const int w = metrics.horizontalAdvance(text);
            const int left = std::clamp(x - w / 2, 0, std::max(width - w, 0));
            if (left <= lastRight[line] + 8)
                continue;
            const int top = m_bearing.bottom() + 4 + line * metrics.lineSpacing();
            labels.push_back({QRect(left, top, w, metrics.height()), text});
            lastRight[line] = left + w;
        }
    }
    return labels;
}

int TimePlotPainter::yOfBearing(double degrees) const
{
    return int(std::lround(yIn(m_bearing, degrees, 360)));
}

double TimePlotPainter::speedScaleTop(const std::vector<HistoryColumn>& columns)
{
    float highest = 0;
    for (const HistoryColumn& c : columns) {
        if (c.count > 0)
            highest = std::max(highest, c.maxSpeed);
    }
    return niceCeiling(highest);
}

void TimePlotPainter::paint(QPainter& p, const QFontMetrics& metrics, const TimePlotLook& look,
                            const std::vector<HistoryColumn>& columns, bool timeLabels) const
{
    const double top = speedScaleTop(columns);

    const std::vector<TimeTick> ticks = this->ticks(metrics);

    // Gaps, shaded behind everything: where two samples in a row are further apart than the rule
    // allows. Found between the columns' first and last samples, and inside columns of few.
    const qint64 typical = m_series ? m_series->typicalIntervalMs() : 0;
    QVector<QPointF> speedLine;
    std::vector<QVector<QPointF>> speedRuns;
    QVector<QLineF> envelope;
    QVector<QPointF> bearingPoints;
    std::vector<std::pair<double, double>> gaps;
    bool havePrevious = false;
    qint64 previousTime = 0;
    const auto breakFor = [&](qint64 timeMs) {
        if (havePrevious && isGap(timeMs - previousTime, typical)) {
            gaps.emplace_back(xOfTime(previousTime), xOfTime(timeMs));
            if (!speedLine.isEmpty())
                speedRuns.push_back(speedLine);
            speedLine.clear();
        }
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        const HistoryColumn& c = columns[i];
        if (c.count == 0)
            continue;
        if (c.count <= kFewSamples) {
            for (qint64 r = c.firstRecord; r < c.endRecord; ++r) {
                if (!m_series->isSample(r))
                    continue;
                const HistorySample s = m_series->sampleAt(r);
                breakFor(s.timeMs);
                const double x = xOfTime(s.timeMs);
                speedLine << QPointF(x, snapped(yIn(m_speed, s.speed, top)));
                bearingPoints << QPointF(x, yIn(m_bearing, s.bearing, 360));
                previousTime = s.timeMs;
                havePrevious = true;
            }
            continue;
        }
        breakFor(c.firstTimeMs);
        const double x = m_speed.left() + double(i) + 0.5;
        envelope << QLineF(x, yIn(m_speed, c.minSpeed, top), x, yIn(m_speed, c.maxSpeed, top));
        speedLine << QPointF(x, snapped(yIn(m_speed, c.meanSpeed, top)));
        for (int k = 0; k < HistorySeries::kBearingBins; ++k) {
            if (c.bearingBins & (quint64(1) << k)) {
                const double degrees = (k + 0.5) * 360.0 / HistorySeries::kBearingBins;
                bearingPoints << QPointF(x, yIn(m_bearing, degrees, 360));
            }
        }
        previousTime = c.lastTimeMs;
        havePrevious = true;
    }
    if (!speedLine.isEmpty())
        speedRuns.push_back(speedLine);

    for (const auto& [from, to] : gaps) {
        const double left = std::max(from, double(m_speed.left()));
        const double right = std::min(to, double(m_speed.right() + 1));
        if (right - left < 2)
            continue;
        p.fillRect(QRectF(left, m_speed.top(), right - left, m_speed.height()), look.gap);
        p.fillRect(QRectF(left, m_bearing.top(), right - left, m_bearing.height()), look.gap);
    }

    // Scales: speed 0, half and top; bearing every quarter; a line at every tick.
    p.setPen(look.grid);
    QVector<QLineF> grid;
    for (int i = 0; i <= 2; ++i) {
        const double y = std::round(yIn(m_speed, top * i / 2, top)) + 0.5;
        grid << QLineF(m_speed.left(), y, m_speed.right(), y);
    }
    for (int d = 0; d <= 360; d += 90) {
        const double y = std::round(yIn(m_bearing, d, 360)) + 0.5;
        grid << QLineF(m_bearing.left(), y, m_bearing.right(), y);
    }
    for (const TimeTick& tick : ticks) {
        const double x = std::floor(xOfTime(tick.timeMs)) + 0.5;
        grid << QLineF(x, m_speed.top(), x, m_speed.bottom());
        grid << QLineF(x, m_bearing.top(), x, m_bearing.bottom());
    }
    p.drawLines(grid);

    p.setPen(look.text);
    const auto scaleLabel = [&](const QRect& pane, double v, double max, const QString& label) {
        const int y = int(std::lround(yIn(pane, v, max)));
        p.drawText(QRect(0, y - metrics.height() / 2, pane.left() - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    };
    for (int i = 0; i <= 2; ++i)
        scaleLabel(m_speed, top * i / 2, top, QString::number(top * i / 2, 'g', 4));
    for (int d = 0; d <= 360; d += 90)
        scaleLabel(m_bearing, d, 360, QString::number(d));
    if (m_series) {
        p.drawText(m_speed.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   unitsInfo(m_series->units()).speedUnits);
    }
    p.drawText(m_bearing.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Bearing"));
    if (timeLabels) {
        for (const TimeTick& tick : ticks) {
            const int x = int(std::floor(xOfTime(tick.timeMs)));
            p.drawLine(x, m_bearing.bottom() + 1, x, m_bearing.bottom() + 4);
        }
        for (const TimeAxisLabel& label : timeAxisLabels(metrics, p.device()->width()))
            p.drawText(label.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label.text);
    }

    // The samples, clipped to their panes.
    p.save();
    p.setClipRect(m_speed);
    p.setPen(look.speedEnvelope);
    p.drawLines(envelope);
    // A sample alone between gaps is a dot, the rest lines (smoothed while they are few).
    p.setPen(QPen(look.speed, 3.0, Qt::SolidLine, Qt::SquareCap));
    for (const QVector<QPointF>& run : speedRuns) {
        if (run.size() == 1)
            p.drawPoint(run.front());
    }
    // Smoothed while the points are a few pixels apart; a dense line is drawn pixel by pixel,
    // where smoothing would only fade it.
    qsizetype points = 0;
    for (const QVector<QPointF>& run : speedRuns)
        points += run.size();
    p.setRenderHint(QPainter::Antialiasing, points * 3 <= m_speed.width());
    p.setPen(QPen(look.speed, 1.0));
    for (const QVector<QPointF>& run : speedRuns) {
        if (run.size() > 1)
            p.drawPolyline(run);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(m_bearing);
    // Each point a 2 x 2 square: filled rectangles on whole pixels are the painter's fastest path.
    QVector<QRect> squares;
    squares.reserve(bearingPoints.size());
    for (const QPointF& point : bearingPoints)
        squares << QRect(int(std::floor(point.x())), int(std::floor(point.y())), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(look.bearing);
    p.drawRects(squares);
    p.restore();
}
