#include "processing/GridRows.h"

namespace {

bool inRange(int column, int row)
{
    return column >= 0 && column < 2 && row >= 0 && row <= LastDataRow;
}

} // namespace

QString GridRows::cell(int column, int row) const
{
    Q_ASSERT(inRange(column, row));
    if (!inRange(column, row))
        return QString();
    return m_cells[column][row];
}

void GridRows::setCell(int column, int row, const QString& text)
{
    Q_ASSERT(inRange(column, row));
    if (!inRange(column, row))
        return;
    m_cells[column][row] = text;
}

void GridRows::push(const QString& first, const QString& second, bool scrollDown)
{
    // Cell by cell, column 0 before column 1, as the table was always shifted; the direction is
    // taken afresh on each push so rows already shown stay put when the option changes.
    if (scrollDown) {
        for (int r = LastDataRow; r >= 1; --r) {
            m_cells[0][r] = m_cells[0][r - 1];
            m_cells[1][r] = m_cells[1][r - 1];
        }
    } else {
        for (int r = 0; r <= LastDataRow - 1; ++r) {
            m_cells[0][r] = m_cells[0][r + 1];
            m_cells[1][r] = m_cells[1][r + 1];
        }
    }
    const int newest = newestRow(scrollDown);
    m_cells[0][newest] = first;
    m_cells[1][newest] = second;
}
