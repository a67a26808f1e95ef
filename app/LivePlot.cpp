#include "app/LivePlot.h"

#include "app/TimePlotPainter.h"
#include "history/HistorySeries.h"

#include <QComboBox>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 6;
constexpr int kTopMargin = 6;
// Under the panes: the time axis, its times and, on a line of their own, its dates.
int bottomMargin(const QWidget* plot)
{
    return TimePlotPainter::timeAxisHeight(plot->fontMetrics());
}
constexpr int kPaneGap = 10;

} // namespace

LivePlot::LivePlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("livePlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("livePlotSpan"));
    m_spanBox->setToolTip(QStringLiteral("Minutes shown"));
    for (int minutes : spanChoices())
        m_spanBox->addItem(QStringLiteral("%1 min").arg(minutes), minutes);
    m_spanBox->setCurrentIndex(m_spanBox->findData(m_minutes));
    connect(m_spanBox, &QComboBox::activated, this,
            [this](int index) { setSpanMinutes(m_spanBox->itemData(index).toInt()); });
}

LivePlot::~LivePlot() = default;

const std::vector<int>& LivePlot::spanChoices()
{
    static const std::vector<int> choices = {1, 2, 5, 10, 20, 30, 60, 120};
    return choices;
}

void LivePlot::setSeries(const HistorySeries* series)
{
    m_series = series;
    update();
}

void LivePlot::setSpanMinutes(int minutes)
{
    const auto& choices = spanChoices();
    if (std::find(choices.begin(), choices.end(), minutes) == choices.end() || minutes == m_minutes)
        return;
    m_minutes = minutes;
    m_spanBox->setCurrentIndex(m_spanBox->findData(minutes));
    update();
    emit spanMinutesChanged(minutes);
}

void LivePlot::refresh()
{
    update();
}

void LivePlot::setSpanEnd(std::optional<qint64> endMs)
{
    if (endMs == m_spanEnd)
        return;
    m_spanEnd = endMs;
    update();
}

qint64 LivePlot::spanEndMs() const
{
    if (m_spanEnd)
        return *m_spanEnd;
    return m_series && m_series->sampleCount() > 0 ? m_series->lastTimeMs()
                                                   : qint64(m_minutes) * 60000;
}

qint64 LivePlot::spanStartMs() const
{
    return spanEndMs() - qint64(m_minutes) * 60000;
}

QRect LivePlot::plotArea() const
{
    // The span box has a strip of its own above the panes, so it never hides the newest samples.
    const int top = kTopMargin + m_spanBox->sizeHint().height() + 2;
    return rect().adjusted(kLeftMargin, top, -kRightMargin, -bottomMargin(this));
}

QRect LivePlot::speedPane() const
{
    const QRect area = plotArea();
    return QRect(area.left(), area.top(), std::max(area.width(), 1),
                 std::max((area.height() - kPaneGap) / 2, 1));
}

QRect LivePlot::bearingPane() const
{
    const QRect area = plotArea();
    const QRect speed = speedPane();
    const int top = speed.bottom() + 1 + kPaneGap;
    return QRect(area.left(), top, speed.width(), std::max(area.bottom() - top + 1, 1));
}

QSize LivePlot::sizeHint() const
{
    return QSize(600, 220);
}

QSize LivePlot::minimumSizeHint() const
{
    return QSize(kLeftMargin + kRightMargin + 120,
                 plotArea().top() + bottomMargin(this) + kPaneGap + 60);
}

void LivePlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize box = m_spanBox->sizeHint();
    m_spanBox->setGeometry(width() - kRightMargin - box.width(), kTopMargin, box.width(),
                           box.height());
}

void LivePlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    TimePlotLook look;
    look.text = palette().color(QPalette::Text);
    look.background = palette().color(QPalette::Base);
    const qint64 start = spanStartMs();
    const qint64 end = spanEndMs();
    const TimePlotPainter plot(m_series, start, end, speedPane(), bearingPane());
    // The span moves with every batch, so the columns are made afresh each time: a strip of a
    // few hundred columns over at most two hours of samples.
    const std::vector<HistoryColumn> columns =
        m_series ? m_series->columns(start, end, speedPane().width())
                 : std::vector<HistoryColumn>();
    plot.paint(p, QFontMetrics(font()), look, columns, m_series && m_series->sampleCount() > 0);
}

void LivePlot::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) {
        event->ignore();
        return;
    }
    // Up (away from the operator) shows fewer minutes, as the History window zooms in.
    const auto& choices = spanChoices();
    const auto at = std::find(choices.begin(), choices.end(), m_minutes);
    const int index = int(at - choices.begin()) - notches;
    setSpanMinutes(choices[size_t(std::clamp(index, 0, int(choices.size()) - 1))]);
    event->accept();
}
