#pragma once
// A small text grid as the data tables use it: 75-pixel columns, 16-pixel rows, grid lines, no
// scroll bars, no editing, no selection. Only columns 0 and 1 and rows 0 to 7 ever hold text.
// A cell-drawing callback may draw over a cell after the grid has painted it.

#include "processing/GridRows.h"

#include <QColor>
#include <QWidget>

#include <functional>

class DataGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 75;
    static constexpr int kRowHeight = 16;

    DataGrid(const QString& objectName, const QColor& cellColour, bool sunkenBorder,
             QWidget* parent);

    QString cell(int column, int row) const { return m_rows.cell(column, row); }
    void setCell(int column, int row, const QString& text);
    GridRows& rows() { return m_rows; }

    // Called for every cell painted, with the painter set up on the grid's font.
    using DrawCell = std::function<void(QPainter&, int column, int row, const QRect& rect)>;
    void setDrawCell(DrawCell drawCell) { m_drawCell = std::move(drawCell); }

    QColor cellColour() const { return m_cellColour; }
    QRect cellRect(int column, int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GridRows m_rows;
    QColor m_cellColour;
    bool m_sunken;
    DrawCell m_drawCell;
};
