#pragma once
// The text of one data table (columns 0 and 1), and the shift that brings a new sample in at one
// end and drops the oldest at the other. A table has eight rows at the window's default size and
// as many as fit when the window is larger.

#include "base/Units.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// The last row of a table at the window's default size (eight rows).
inline constexpr int LastDataRow = 7;

class GridRows
{
public:
    static constexpr int kDefaultRows = LastDataRow + 1;
    static constexpr int kMaxRows = 200;

    GridRows();

    int rowCount() const { return int(m_rows.size()); }
    // Row that receives the next sample and holds the newest one.
    int newestRow(bool scrollDown) const { return scrollDown ? 0 : rowCount() - 1; }

    // Grows or shrinks the table to rows (kDefaultRows..kMaxRows) at its oldest end: the newest
    // rows stay, and stay next to the end where samples come in; new rows are blank.
    void setRowCount(int rows, bool scrollDown);

    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

    // Shifts rows by one toward the far end (down when scrollDown, else up) and writes the two
    // texts into the newest row. Only columns 0 and 1 move, with each row's units: the units of
    // a computed row's speed, which belong to the row and are not shown as a cell (none for a
    // row of the raw table, or a blank one).
    void push(const QString& first, const QString& second, bool scrollDown,
              std::optional<SpeedUnitsKind> units = std::nullopt);
    std::optional<SpeedUnitsKind> units(int row) const;

private:
    struct Row
    {
        std::array<QString, 2> cells;
        std::optional<SpeedUnitsKind> units;
    };
    std::vector<Row> m_rows;
};
