#pragma once
// The text of one eight-row data table (columns 0 and 1), and the shift that brings a new sample
// in at one end and drops the oldest at the other.

#include <QString>

#include <array>

inline constexpr int LastDataRow = 7;

class GridRows
{
public:
    // Row that receives the next sample and holds the newest one.
    static int newestRow(bool scrollDown) { return scrollDown ? 0 : LastDataRow; }

    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

    // Shifts rows by one toward the far end (down when scrollDown, else up) and writes the two
    // texts into the newest row. Only columns 0 and 1 move.
    void push(const QString& first, const QString& second, bool scrollDown);

private:
    std::array<std::array<QString, LastDataRow + 1>, 2> m_cells;
};
