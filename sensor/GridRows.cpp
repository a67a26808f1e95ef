#include "sensor/GridRows.h"

#include <algorithm>

GridRows::GridRows() : m_rows(kDefaultRows) {}

void GridRows::setRowCount(int rows, bool scrollDown)
{
    rows = std::clamp(rows, int(kDefaultRows), int(kMaxRows));
    const int change = rows - rowCount();
    if (change == 0)
        return;
    // The oldest end is the bottom when rows move down, the top when they move up.
    if (scrollDown) {
        m_rows.resize(size_t(rows));
    } else if (change > 0) {
        m_rows.insert(m_rows.begin(), size_t(change), Row());
    } else {
        m_rows.erase(m_rows.begin(), m_rows.begin() + (-change));
    }
}

QString GridRows::cell(int column, int row) const
{
    const bool inRange = column >= 0 && column < 2 && row >= 0 && row < rowCount();
    Q_ASSERT(inRange);
    if (!inRange)
        return QString();
    return m_rows[size_t(row)].cells[size_t(column)];
}

void GridRows::setCell(int column, int row, const QString& text)
{
    const bool inRange = column >= 0 && column < 2 && row >= 0 && row < rowCount();
    Q_ASSERT(inRange);
    if (!inRange)
        return;
    m_rows[size_t(row)].cells[size_t(column)] = text;
}

std::optional<SpeedUnitsKind> GridRows::units(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)].units : std::nullopt;
}

void GridRows::push(const QString& first, const QString& second, bool scrollDown,
                    std::optional<SpeedUnitsKind> units)
{
    // The direction is taken afresh on each push so rows already shown stay put when the option
    // changes.
    if (scrollDown)
        std::rotate(m_rows.rbegin(), m_rows.rbegin() + 1, m_rows.rend());
    else
        std::rotate(m_rows.begin(), m_rows.begin() + 1, m_rows.end());
    Row& newest = m_rows[size_t(newestRow(scrollDown))];
    newest.cells = {first, second};
    newest.units = units;
}
