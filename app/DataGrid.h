#pragma once
// A small text grid as the data tables use it: 75-pixel columns, 16-pixel rows, grid lines, no
// scroll bars, no editing. Only columns 0 and 1 ever hold text, in as many rows as the grid's
// GridRows has (eight at the window's default size).
// A cell-drawing callback may draw over a cell after the grid has painted it.
// A data table can be made to copy its values: rows are selected with the mouse (a click, a
// Shift+click for a range) and Ctrl+C or the context menu's "Copy" puts them on the clipboard,
// one row a line, the two values separated by a tab; "Copy" without a selection copies every row.

#include "sensor/GridRows.h"

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
    // The grid's height for rows rows, and the rows a height holds.
    static int heightForRows(int rows, bool sunkenBorder);
    static int rowsForHeight(int height, bool sunkenBorder);

    // Called for every cell painted, with the painter set up on the grid's font.
    using DrawCell = std::function<void(QPainter&, int column, int row, const QRect& rect)>;
    void setDrawCell(DrawCell drawCell) { m_drawCell = std::move(drawCell); }

    QColor cellColour() const { return m_cellColour; }
    QRect cellRect(int column, int row) const;

    // Lets the operator select rows and copy them (off at construction: header grids never do).
    void setRowsSelectable(bool on);
    // Rows first to last, in either order; clearSelection() selects nothing.
    void selectRows(int first, int last);
    void clearSelection();
    bool isRowSelected(int row) const;
    // The selected rows, or every row when none is, as the clipboard receives them: the two
    // values of a row without their leading blanks, tab-separated, one line each; rows with no
    // value are left out.
    QString copyText() const;

public slots:
    void copy();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    GridRows m_rows;
    QColor m_cellColour;
    bool m_sunken;
    DrawCell m_drawCell;
    bool m_selectable = false;
    int m_selectionAnchor = -1; // row of the last plain click
    int m_firstSelected = -1;   // -1: nothing selected
    int m_lastSelected = -1;
};
