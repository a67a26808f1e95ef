#include "app/HistoryPlot.h"

#include "app/TimePlotPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Room around the panes for the scale and the time labels.
constexpr int kLeftMargin = 48;
constexpr int kRightMargin = 8;
constexpr int kTopMargin = 8;
// Under the panes: the time axis, its times and, on a line of their own, its dates.
int bottomMargin(const QWidget* plot)
{
    return TimePlotPainter::timeAxisHeight(plot->fontMetrics());
}
constexpr int kPaneGap = 18;
constexpr int kSpeedShare = 55; // percent of the panes' height for the speed pane
constexpr int kDragThreshold = 4;
constexpr double kZoomPerNotch = 0.8;
constexpr qint64 kShortestSpanMs = 10 * 1000;
// A history of one sample (or of samples all in one second) is shown over a minute around it.
constexpr qint64 kPaddingMs = 30 * 1000;

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

void HistoryPlot::setTimeSpan(qint64 startMs, qint64 endMs)
{
    m_showAll = false;
    m_startMs = std::min(startMs, endMs);
    m_endMs = std::max({startMs, endMs, m_startMs + 1});
    update();
}

void HistoryPlot::setSpan(qint64 first, qint64 last)
{
    if (!m_series || m_series->recordCount() == 0)
        return;
    const qint64 n = m_series->recordCount();
    setTimeSpan(m_series->timeMsAt(std::clamp<qint64>(std::min(first, last), 0, n - 1)),
                m_series->timeMsAt(std::clamp<qint64>(std::max(first, last), 0, n - 1)));
}

void HistoryPlot::showAll()
{
    m_showAll = true;
    update();
}

qint64 HistoryPlot::spanStartMs() const
{
    if (!m_showAll)
        return m_startMs;
    if (!m_series || m_series->sampleCount() == 0)
        return 0;
    const qint64 first = m_series->firstTimeMs();
    return m_series->lastTimeMs() - first < kShortestSpanMs ? first - kPaddingMs : first;
}

qint64 HistoryPlot::spanEndMs() const
{
    if (!m_showAll)
        return m_endMs;
    if (!m_series || m_series->sampleCount() == 0)
        return 1;
    const qint64 last = m_series->lastTimeMs();
    return last - m_series->firstTimeMs() < kShortestSpanMs ? last + kPaddingMs : last;
}

qint64 HistoryPlot::spanFirst() const
{
    if (!m_series)
        return 0;
    if (m_showAll)
        return 0;
    return m_series->recordAtOrAfter(spanStartMs());
}

qint64 HistoryPlot::spanLast() const
{
    if (!m_series)
        return -1;
    if (m_showAll)
        return m_series->recordCount() - 1;
    return m_series->recordAtOrAfter(spanEndMs() + 1) - 1;
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
    const QRect area = rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -bottomMargin(this));
    const int height = std::max((area.height() - kPaneGap) * kSpeedShare / 100, 1);
    return QRect(area.left(), area.top(), std::max(area.width(), 1), height);
}

QRect HistoryPlot::bearingPane() const
{
    const QRect area = rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -bottomMargin(this));
    const QRect speed = speedPane();
    const int top = speed.bottom() + 1 + kPaneGap;
    return QRect(area.left(), top, speed.width(), std::max(area.bottom() - top + 1, 1));
}

TimePlotPainter HistoryPlot::painter() const
{
    return TimePlotPainter(m_series, spanStartMs(), spanEndMs(), speedPane(), bearingPane());
}

qint64 HistoryPlot::timeAt(int x) const
{
    const QRect pane = speedPane();
    return painter().timeAtX(std::clamp(x, pane.left(), pane.right()) + 0.5);
}

qint64 HistoryPlot::recordAt(int x) const
{
    return m_series ? m_series->nearestSample(timeAt(x)) : -1;
}

int HistoryPlot::xOfRecord(qint64 record) const
{
    if (!m_series || record < 0 || record >= m_series->recordCount())
        return -1;
    return xOfTime(m_series->timeMsAt(record));
}

int HistoryPlot::xOfTime(qint64 timeMs) const
{
    const double x = std::floor(painter().xOfTime(timeMs));
    const QRect pane = speedPane();
    if (x < pane.left() || x > pane.right())
        return -1;
    return int(x);
}

QColor HistoryPlot::speedColour()
{
    return TimePlotLook().speed;
}

QColor HistoryPlot::bearingColour()
{
    return TimePlotLook().bearing;
}

QColor HistoryPlot::markerColour()
{
    return QColor(210, 0, 0);
}

QColor HistoryPlot::markColour()
{
    // Amber: apart from the speed's line, the bearing's points and the replay's red marker.
    return QColor(224, 132, 0);
}

QSize HistoryPlot::sizeHint() const
{
    return QSize(800, 300);
}

QSize HistoryPlot::minimumSizeHint() const
{
    return QSize(kLeftMargin + kRightMargin + 100, kTopMargin + bottomMargin(this) + kPaneGap + 80);
}

const std::vector<HistoryColumn>& HistoryPlot::columns()
{
    ColumnsKey key;
    if (m_series && m_series->recordCount() > 0) {
        key = ColumnsKey{m_series, m_series->revision(), spanStartMs(), spanEndMs(),
                         speedPane().width()};
    }
    if (!(key == m_columnsKey)) {
        m_columnsKey = key;
        m_columns = key.series ? key.series->columns(key.startMs, key.endMs, key.width)
                               : std::vector<HistoryColumn>();
    }
    return m_columns;
}

void HistoryPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    TimePlotLook look;
    look.text = palette().color(QPalette::Text);
    look.background = palette().color(QPalette::Base);
    const TimePlotPainter plot = painter();
    plot.paint(p, QFontMetrics(font()), look, columns(), m_series && m_series->sampleCount() > 0);

    paintMarks(p);
    const int marker = m_position >= 0 ? xOfRecord(m_position) : -1;
    if (marker >= 0) {
        p.setPen(markerColour());
        p.drawLine(marker, speedPane().top(), marker, bearingPane().bottom());
    }
}

void HistoryPlot::paintMarks(QPainter& p) const
{
    if (!m_series || m_series->marks().empty() || m_series->sampleCount() == 0)
        return;
    const QRect speed = speedPane();
    const QRect bearing = bearingPane();
    const QFontMetrics metrics(font());
    p.save();
    p.setPen(markColour());
    for (const HistoryMark& mark : m_series->marks()) {
        const int x = xOfTime(mark.timeMs);
        if (x < 0)
            continue;
        p.drawLine(x, speed.top(), x, bearing.bottom());
        if (mark.note.isEmpty())
            continue;
        // Beside the line, at the top of the speed pane; cut short where the pane ends.
        const int room = speed.right() - x - 4;
        if (room < metrics.averageCharWidth() * 3)
            continue;
        const QString text = metrics.elidedText(mark.note, Qt::ElideRight, room);
        p.drawText(x + 3, speed.top() + metrics.ascent() + 1, text);
    }
    p.restore();
}

void HistoryPlot::setSpanFromUser(qint64 startMs, qint64 endMs)
{
    if (!m_series || m_series->sampleCount() == 0)
        return;
    const qint64 first = m_series->firstTimeMs();
    const qint64 last = m_series->lastTimeMs();
    const qint64 span = endMs - startMs;
    if (span >= last - first) {
        showAll();
    } else {
        startMs = std::clamp(startMs, first, last - span);
        setTimeSpan(startMs, startMs + span);
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
    m_pressStartMs = spanStartMs();
    m_pressEndMs = spanEndMs();
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const int dx = int(event->position().x()) - m_pressX;
    if (!m_dragging && std::abs(dx) < kDragThreshold)
        return;
    m_dragging = true;
    const qint64 span = m_pressEndMs - m_pressStartMs;
    const qint64 shift = -qint64(dx) * span / std::max(speedPane().width(), 1);
    setSpanFromUser(m_pressStartMs + shift, m_pressEndMs + shift);
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    if (!m_dragging && m_series && m_series->sampleCount() > 0)
        emit seekRequested(recordAt(int(event->position().x())));
    m_dragging = false;
}

void HistoryPlot::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (!m_series || m_series->sampleCount() == 0 || notches == 0) {
        event->ignore();
        return;
    }
    const qint64 start = spanStartMs();
    const qint64 span = spanEndMs() - start;
    const qint64 shown = std::max<qint64>(
        std::llround(double(span) * std::pow(kZoomPerNotch, notches)), kShortestSpanMs);
    // The time under the pointer stays under it.
    const QRect pane = speedPane();
    const int x = int(event->position().x());
    const qint64 under = timeAt(x);
    const double fraction = std::clamp(double(x - pane.left()) / pane.width(), 0.0, 1.0);
    const qint64 newStart = under - qint64(std::llround(fraction * double(shown)));
    setSpanFromUser(newStart, newStart + shown);
    event->accept();
}
