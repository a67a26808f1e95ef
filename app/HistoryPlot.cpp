#include "app/HistoryPlot.h"

#include "processing/HistorySummary.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVector>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Room around the panes for the scale and the time labels.
constexpr int kLeftMargin = 48;
constexpr int kRightMargin = 8;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 20;
constexpr int kPaneGap = 18;
constexpr int kSpeedShare = 55; // percent of the panes' height for the speed pane
constexpr int kTimeLabelSpacing = 110;
constexpr int kDragThreshold = 4;
constexpr double kZoomPerNotch = 0.8;
constexpr qint64 kFewestRecordsShown = 8;

const QColor kGridColour(215, 215, 215);

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

// y of value v in pane, v from 0 (bottom) to top (top).
int yOf(const QRect& pane, double v, double top)
{
    const double f = std::clamp(v / top, 0.0, 1.0);
    return pane.bottom() - int(std::lround(f * (pane.height() - 1)));
}

} // namespace

HistoryPlot::HistoryPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("historyPlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void HistoryPlot::setSeries(const HistorySeries* series)
{
    m_series = series;
    m_columnsKey = ColumnsKey();
    m_columns.clear();
    showAll();
}

void HistoryPlot::setSpan(qint64 first, qint64 last)
{
    m_showAll = false;
    m_first = std::min(first, last);
    m_last = std::max(first, last);
    update();
}

void HistoryPlot::showAll()
{
    m_showAll = true;
    update();
}

qint64 HistoryPlot::spanFirst() const
{
    if (m_showAll)
        return 0;
    return std::clamp<qint64>(m_first, 0, std::max<qint64>(spanLast(), 0));
}

qint64 HistoryPlot::spanLast() const
{
    if (m_showAll)
        return recordTotal() - 1;
    return std::min(m_last, recordTotal() - 1);
}

void HistoryPlot::setPosition(qint64 record)
{
    if (record == m_position)
        return;
    m_position = record;
    update();
}

QRect HistoryPlot::speedPane() const
{
    const QRect area = rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
    const int height = std::max((area.height() - kPaneGap) * kSpeedShare / 100, 1);
    return QRect(area.left(), area.top(), std::max(area.width(), 1), height);
}

QRect HistoryPlot::bearingPane() const
{
    const QRect area = rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
    const QRect speed = speedPane();
    const int top = speed.bottom() + 1 + kPaneGap;
    return QRect(area.left(), top, speed.width(), std::max(area.bottom() - top + 1, 1));
}

qint64 HistoryPlot::recordAt(int x) const
{
    const qint64 first = spanFirst();
    const qint64 n = spanLast() - first + 1;
    if (n <= 0)
        return -1;
    const QRect pane = speedPane();
    const qint64 column = std::clamp(x - pane.left(), 0, pane.width() - 1);
    // The first record of the column, as HistorySeries::columns cuts them.
    return first + column * n / pane.width();
}

int HistoryPlot::xOfRecord(qint64 record) const
{
    const qint64 first = spanFirst();
    const qint64 n = spanLast() - first + 1;
    const QRect pane = speedPane();
    const qint64 width = pane.width();
    const qint64 k = record - first;
    if (n <= 0 || k < 0 || k >= n)
        return -1;
    // The first column that shows the record.
    const qint64 column = n >= width ? ((k + 1) * width - 1) / n : (k * width + n - 1) / n;
    return pane.left() + int(column);
}

QColor HistoryPlot::speedColour()
{
    return QColor(0, 70, 160);
}

QColor HistoryPlot::bearingColour()
{
    return QColor(0, 120, 60);
}

QColor HistoryPlot::markerColour()
{
    return QColor(210, 0, 0);
}

QSize HistoryPlot::sizeHint() const
{
    return QSize(800, 300);
}

QSize HistoryPlot::minimumSizeHint() const
{
    return QSize(kLeftMargin + kRightMargin + 100, kTopMargin + kBottomMargin + kPaneGap + 80);
}

const std::vector<HistoryColumn>& HistoryPlot::columns()
{
    ColumnsKey key;
    if (m_series && recordTotal() > 0) {
        key = ColumnsKey{m_series, m_series->revision(), spanFirst(), spanLast(),
                         speedPane().width()};
    }
    if (!(key == m_columnsKey)) {
        m_columnsKey = key;
        m_columns = key.series ? key.series->columns(key.first, key.last, key.width)
                               : std::vector<HistoryColumn>();
    }
    return m_columns;
}

void HistoryPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const QRect speed = speedPane();
    const QRect bearing = bearingPane();
    const QColor text = palette().color(QPalette::Text);
    const QFontMetrics metrics(font());

    const std::vector<HistoryColumn>& columns = this->columns();

    float highest = 0;
    for (const HistoryColumn& c : columns) {
        if (c.count > 0)
            highest = std::max(highest, c.maxSpeed);
    }
    const double top = niceCeiling(highest);

    // Scales: speed 0, half and top; bearing every quarter.
    p.setPen(kGridColour);
    QVector<QLine> grid;
    for (int i = 0; i <= 2; ++i)
        grid << QLine(speed.left(), yOf(speed, top * i / 2, top), speed.right(),
                      yOf(speed, top * i / 2, top));
    for (int d = 0; d <= 360; d += 90)
        grid << QLine(bearing.left(), yOf(bearing, d, 360), bearing.right(), yOf(bearing, d, 360));
    p.drawLines(grid);

    p.setPen(text);
    const auto scaleLabel = [&](const QRect& pane, double v, double max, const QString& label) {
        const int y = yOf(pane, v, max);
        p.drawText(QRect(0, y - metrics.height() / 2, kLeftMargin - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    };
    for (int i = 0; i <= 2; ++i)
        scaleLabel(speed, top * i / 2, top, QString::number(top * i / 2, 'g', 4));
    for (int d = 0; d <= 360; d += 90)
        scaleLabel(bearing, d, 360, QString::number(d));
    if (m_series) {
        p.drawText(speed.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   unitsInfo(m_series->units()).speedUnits);
    }
    p.drawText(bearing.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Bearing"));

    // One line per column from the lowest to the highest value; a bearing span that passes
    // north is drawn as its two parts, up to 360 and up from 0.
    QVector<QLine> speedLines;
    QVector<QLine> bearingLines;
    speedLines.reserve(int(columns.size()));
    bearingLines.reserve(int(columns.size()) * 2);
    qint64 firstTime = 0, lastTime = 0;
    bool anyTime = false;
    for (size_t i = 0; i < columns.size(); ++i) {
        const HistoryColumn& c = columns[i];
        if (c.count == 0)
            continue;
        const int x = speed.left() + int(i);
        speedLines << QLine(x, yOf(speed, c.minSpeed, top), x, yOf(speed, c.maxSpeed, top));
        if (c.bearingLow >= 0) {
            bearingLines << QLine(x, yOf(bearing, c.bearingLow, 360), x,
                                  yOf(bearing, c.bearingHigh, 360));
        } else {
            bearingLines << QLine(x, yOf(bearing, c.bearingLow + 360, 360), x,
                                  yOf(bearing, 360, 360));
            bearingLines << QLine(x, yOf(bearing, 0, 360), x, yOf(bearing, c.bearingHigh, 360));
        }
        if (!anyTime)
            firstTime = c.firstTime;
        lastTime = c.firstTime;
        anyTime = true;
    }
    p.setPen(speedColour());
    p.drawLines(speedLines);
    p.setPen(bearingColour());
    p.drawLines(bearingLines);

    // Time labels under the bearing pane: the time of the first sample of every so many columns,
    // with the date when the span is longer than a day.
    p.setPen(text);
    const bool withDate = anyTime && lastTime - firstTime > 86400;
    for (size_t i = 0; i < columns.size(); i += kTimeLabelSpacing) {
        size_t j = i;
        while (j < columns.size() && j < i + kTimeLabelSpacing / 2 && columns[j].count == 0)
            ++j;
        if (j >= columns.size() || columns[j].count == 0)
            continue;
        const QString clock = HistorySummary::timeText(columns[j].firstTime);
        const QString label =
            withDate ? clock.left(5) + QLatin1Char(' ') + clock.mid(11, 5) : clock.mid(11, 8);
        const int x = speed.left() + int(j);
        const int w = metrics.horizontalAdvance(label);
        p.drawLine(x, bearing.bottom() + 1, x, bearing.bottom() + 4);
        p.drawText(std::clamp(x - w / 2, 0, std::max(width() - w, 0)),
                   bearing.bottom() + 4 + metrics.ascent(), label);
    }

    const int marker = m_position >= 0 ? xOfRecord(m_position) : -1;
    if (marker >= 0) {
        p.setPen(markerColour());
        p.drawLine(marker, speed.top(), marker, bearing.bottom());
    }
}

void HistoryPlot::setSpanFromUser(qint64 first, qint64 last)
{
    const qint64 total = recordTotal();
    if (total <= 0)
        return;
    const qint64 n = std::min(last - first + 1, total);
    if (n >= total) {
        showAll();
    } else {
        first = std::clamp<qint64>(first, 0, total - n);
        setSpan(first, first + n - 1);
    }
    emit spanChanged(spanFirst(), spanLast());
}

void HistoryPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressX = int(event->position().x());
    m_pressFirst = spanFirst();
    m_pressLast = spanLast();
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const int dx = int(event->position().x()) - m_pressX;
    if (!m_dragging && std::abs(dx) < kDragThreshold)
        return;
    m_dragging = true;
    const qint64 n = m_pressLast - m_pressFirst + 1;
    const qint64 shift = -qint64(dx) * n / std::max(speedPane().width(), 1);
    setSpanFromUser(m_pressFirst + shift, m_pressLast + shift);
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    if (!m_dragging && recordTotal() > 0)
        emit seekRequested(recordAt(int(event->position().x())));
    m_dragging = false;
}

void HistoryPlot::wheelEvent(QWheelEvent* event)
{
    const qint64 total = recordTotal();
    const double notches = event->angleDelta().y() / 120.0;
    if (total <= 0 || notches == 0) {
        event->ignore();
        return;
    }
    const qint64 first = spanFirst();
    const qint64 n = spanLast() - first + 1;
    const qint64 shown =
        std::clamp<qint64>(std::llround(double(n) * std::pow(kZoomPerNotch, notches)),
                           std::min(kFewestRecordsShown, total), total);
    // The record under the pointer stays under it.
    const QRect pane = speedPane();
    const int x = int(event->position().x());
    const qint64 under = recordAt(x);
    const double fraction = std::clamp(double(x - pane.left()) / pane.width(), 0.0, 1.0);
    const qint64 newFirst = under - qint64(std::llround(fraction * double(shown)));
    setSpanFromUser(newFirst, newFirst + shown - 1);
    event->accept();
}
