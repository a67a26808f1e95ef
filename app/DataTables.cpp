#include "app/DataTables.h"

#include "app/DataGrid.h"
#include "app/Look.h"
#include "app/PanelParts.h"

#include <QLabel>
#include <QPainter>
#include <QProxyStyle>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace {

// The panel, its tabs and its tables at the window's default size (eight rows).
constexpr int kDefaultHeight = 257;
constexpr int kDefaultTabsHeight = 224;
constexpr int kDefaultTableHeight = 139;

// Tabs of a fixed width, as the data tabs are drawn.
class FixedTabBar : public QTabBar
{
public:
    explicit FixedTabBar(QWidget* parent) : QTabBar(parent) {}

protected:
    QSize tabSizeHint(int index) const override
    {
        return QSize(65, QTabBar::tabSizeHint(index).height());
    }
};

// Narrow tab padding, so the bold captions fit the 65-pixel tabs as they were laid out.
class TabStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 6;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

class DataTabs : public QTabWidget
{
public:
    explicit DataTabs(QWidget* parent) : QTabWidget(parent)
    {
        auto* bar = new FixedTabBar(this);
        auto* style = new TabStyle;
        style->setParent(bar);
        bar->setStyle(style);
        bar->setElideMode(Qt::ElideNone);
        bar->setUsesScrollButtons(false);
        setTabBar(bar);
    }
};

} // namespace

DataTables::DataTables(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("dataPanel"));
    setGeometry(5, 40, 212, kDefaultHeight);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);

    const QFont clockFont = marvaneFont(13, true);
    m_clockLabel = makeLabel(QStringLiteral("clockLabel"), QString(), clockFont, this);
    m_replayTimeLabel = makeLabel(QStringLiteral("replayTimeLabel"), QString(), clockFont, this);
    for (QLabel* label : {m_clockLabel, m_replayTimeLabel}) {
        label->setGeometry(6, 5, 200, 16);
        label->setAlignment(Qt::AlignCenter);
        setFillColour(label, Qt::white);
    }
    m_replayTimeLabel->hide();

    m_dataTabs = new DataTabs(this);
    m_dataTabs->setObjectName(QStringLiteral("dataTabs"));
    m_dataTabs->setGeometry(6, 25, 200, kDefaultTabsHeight);
    m_dataTabs->setFont(marvaneFont(11, true));

    const auto page = [this](const char* name, const char* caption) {
        auto* widget = new QWidget();
        widget->setObjectName(QString::fromLatin1(name));
        m_dataTabs->addTab(widget, QString::fromLatin1(caption));
        return widget;
    };
    QWidget* computed = page("computedPage", "Computed");
    QWidget* raw = page("rawPage", "Raw Data");
    m_dataTabs->setCurrentIndex(0);

    const QFont gridFont = marvaneFont(11, true);
    const auto grid = [&](const char* name, QWidget* parent, int top, int height, bool body,
                          bool sunken) {
        auto* g = new DataGrid(QString::fromLatin1(name),
                               body ? windowColour() : buttonFaceColour(), sunken, parent);
        g->setGeometry(18, top, 156, height);
        g->setFont(gridFont);
        return g;
    };
    m_computedHeader = grid("computedHeader", computed, 16, 20, false, true);
    m_computedUnits = grid("computedUnits", computed, 33, 20, false, true);
    m_computedTable = grid("computedTable", computed, 51, kDefaultTableHeight, true, true);
    m_rawHeader = grid("rawHeader", raw, 16, 20, false, true);
    m_rawUnits = grid("rawUnits", raw, 33, 20, false, true);
    m_rawTable = grid("rawTable", raw, 51, kDefaultTableHeight, true, false);
    m_computedHeader->setCell(0, 0, QStringLiteral("   Speed"));
    m_computedHeader->setCell(1, 0, QStringLiteral("  Bearing"));
    m_computedUnits->setCell(1, 0, QStringLiteral("  Degrees"));
    m_rawHeader->setCell(0, 0, QStringLiteral("       X"));
    m_rawHeader->setCell(1, 0, QStringLiteral("       Y"));

    m_computedTable->setDrawCell(
        [this](QPainter& p, int c, int r, const QRect& rect) { drawComputedCell(p, c, r, rect); });
}

void DataTables::setClockText(const QString& text)
{
    m_clockLabel->setText(text);
}

void DataTables::setReplayTime(const QString& text)
{
    m_replayTimeLabel->setText(text);
}

void DataTables::setReplayTimeShown(bool shown)
{
    if (shown) {
        m_clockLabel->hide();
        m_replayTimeLabel->show();
    } else {
        m_replayTimeLabel->hide();
        m_clockLabel->show();
    }
}

void DataTables::fitHeight(int height)
{
    height = qMax(height, kDefaultHeight);
    if (height == this->height())
        return;
    const int extra = height - kDefaultHeight;
    resize(width(), height);
    m_dataTabs->resize(m_dataTabs->width(), kDefaultTabsHeight + extra);
    const int rows = DataGrid::rowsForHeight(kDefaultTableHeight + extra, true);
    for (DataGrid* table : {m_computedTable, m_rawTable}) {
        table->rows().setRowCount(rows, m_scrollDown);
        table->clearSelection();
        table->resize(
            table->width(),
            qMax(kDefaultTableHeight, DataGrid::heightForRows(table->rows().rowCount(), true)));
        table->update();
    }
}

int DataTables::rowsShown() const
{
    return m_computedTable->rows().rowCount();
}

void DataTables::showBatchRows(const SampleBatch& batch)
{
    // Only the rows the tables can show are drawn: a poll at line rate holds hundreds of records.
    const qsizetype rows = rowsShown();
    const qsizetype firstShown = qMax<qsizetype>(0, batch.size() - rows);
    for (qsizetype i = firstShown; i < batch.size(); ++i) {
        const Sample& sample = batch.at(i);
        pushRow(m_rawTable, Sample::cellText(sample.rawX), Sample::cellText(sample.rawY));
        if (sample.computed)
            pushComputedRow(sample);
    }
    const UnitsInfo& rawUnits = unitsInfo(batch.last().units);
    m_rawUnits->setCell(0, 0, rawUnits.unitsCellText);
    m_rawUnits->setCell(1, 0, rawUnits.unitsCellText);
}

void DataTables::pushComputedRow(const Sample& sample)
{
    // Each row keeps its units: under a column whose units have changed since, it is marked.
    pushRow(m_computedTable, Sample::cellText(sample.speedText),
            Sample::cellText(sample.bearingText), sample.units);
}

void DataTables::clear()
{
    for (int i = 0; i < rowsShown(); ++i) {
        pushRow(m_computedTable, QString(), QString());
        pushRow(m_rawTable, QString(), QString());
    }
}

void DataTables::setSpeedUnits(SpeedUnitsKind units)
{
    m_computedUnits->setCell(0, 0, unitsInfo(units).unitsCellText);
    if (units == m_speedUnits)
        return;
    m_speedUnits = units;
    m_computedTable->update();
}

QString DataTables::speedUnitsMark(int row) const
{
    const std::optional<SpeedUnitsKind> units = m_computedTable->rows().units(row);
    return units && units != m_speedUnits ? unitsInfo(*units).readoutCaption : QString();
}

void DataTables::setRowsSelectable(bool on)
{
    // The header and units grids stay plain.
    m_computedTable->setRowsSelectable(on);
    m_rawTable->setRowsSelectable(on);
}

void DataTables::pushRow(DataGrid* grid, const QString& first, const QString& second,
                         std::optional<SpeedUnitsKind> units)
{
    grid->rows().push(first, second, m_scrollDown, units);
    grid->update();
}

void DataTables::drawComputedCell(QPainter& painter, int column, int row, const QRect& rect)
{
    const QColor colour = row == m_computedTable->rows().newestRow(m_scrollDown)
                              ? QColor(255, 0, 0)
                              : windowTextColour();
    const QString text = m_computedTable->cell(column, row);
    const QPoint origin = rect.topLeft() + QPoint(3, 2);
    // Drawn on an opaque background of the cell's colour, covering the grid's own drawing.
    const QRect extent = painter.fontMetrics().boundingRect(text);
    painter.fillRect(QRect(origin, QSize(extent.width() + 1, painter.fontMetrics().height())),
                     m_computedTable->cellColour());
    painter.setPen(colour);
    painter.drawText(QRect(origin, rect.bottomRight()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    // A speed in other units than the column's says which, small and grey after the value.
    const QString mark = column == 0 ? speedUnitsMark(row) : QString();
    if (mark.isEmpty())
        return;
    const int lineHeight = painter.fontMetrics().height();
    QFont small = painter.font();
    small.setBold(false);
    small.setPixelSize(std::max(6, painter.font().pixelSize() * 8 / 11));
    const int left = origin.x() + extent.width() + 3;
    painter.save();
    painter.setFont(small);
    painter.setPen(QColor(128, 128, 128));
    const int room = rect.right() - left;
    painter.drawText(QRect(left, origin.y(), room, lineHeight),
                     Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(mark, Qt::ElideRight, room));
    painter.restore();
}
