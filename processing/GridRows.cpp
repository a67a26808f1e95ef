#include "sensor/GridRows.h"

#include <algorithm>

GridRows::GridRows() : m_cells(kDefaultRows) {}

void GridRows::setRowCount(int rows, bool scrollDown)
{
    rows = std::clamp(rows, int(kDefaultRows), int(kMaxRows));
    const int change = rows - rowCount();
    if (change == 0)
        return;
    // The oldest end is the bottom when rows move down, the top when they move up.
    if (scrollDown) {
        m_cells.resize(size_t(rows));
    } else if (change > 0) {
        m_cells.insert(m_cells.begin(), size_t(change), std::array<QString, 3>());
    } else {
        m_cells.erase(m_cells.begin(), m_cells.begin() + (-change));
    }
}

QString GridRows::cell(int column, int row) const
{
    const bool inRange = column >= 0 && column < 2 && row >= 0 && row < rowCount();
    Q_ASSERT(inRange);
    if (!inRange)
        return QString();
    return m_cells[size_t(row)][size_t(column)];
}

void GridRows::setCell(int column, int row, const QString& text)
{
    const bool inRange = column >= 0 && column < 2 && row >= 0 && row < rowCount();
    Q_ASSERT(inRange);
    if (!inRange)
        return;
    m_cells[size_t(row)][size_t(column)] = text;
}

QString GridRows::tag(int row) const
{
    return row >= 0 && row < rowCount() ? m_cells[size_t(row)][2] : QString();
}

void GridRows::push(const QString& first, const QString& second, bool scrollDown,
                    const QString& tag)
{
    // The direction is taken afresh on each push so rows already shown stay put when the option
    // changes.
    if (scrollDown)
        std::rotate(m_cells.rbegin(), m_cells.rbegin() + 1, m_cells.rend());
    else
        std::rotate(m_cells.begin(), m_cells.begin() + 1, m_cells.end());
    auto& newest = m_cells[size_t(newestRow(scrollDown))];
    newest[0] = first;
    newest[1] = second;
    newest[2] = tag;
}
