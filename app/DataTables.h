#pragma once
// The main window's data panel: the clock (or, while a log is replayed, the replayed record's
// time) above two tabs, "Computed" and "Raw Data", each a header grid, a units grid and a table
// of eight rows at the window's default size, more when the window gives the panel more height.
// Rows come in at one end and leave at the other in the direction the window sets; the newest
// computed row is drawn in red.

#include "sensor/Sample.h"

#include <QFrame>

class DataGrid;
class QLabel;
class QTabWidget;

class DataTables : public QFrame
{
    Q_OBJECT
public:
    explicit DataTables(QWidget* parent);

    void setClockText(const QString& text);
    void setReplayTime(const QString& text);
    // The replayed record's time in place of the clock, or the clock again.
    void setReplayTimeShown(bool shown);

    // Which way rows move: down (the newest at the top) or up (the newest at the bottom).
    void setScrollDown(bool down) { m_scrollDown = down; }
    bool scrollDown() const { return m_scrollDown; }

    // Makes the panel height pixels tall (never less than at the default size), its tables
    // showing as many rows as fit.
    void fitHeight(int height);
    // Rows each table shows.
    int rowsShown() const;

    // A live batch: the rows the tables can show, and the raw columns' units of its last record.
    void showBatchRows(const SampleBatch& batch);
    void pushComputedRow(const Sample& sample);
    // Empties both tables.
    void clear();
    // The speed column's units: its units cell, and the units rows of other units are marked
    // with.
    void setSpeedUnits(SpeedUnitsKind units);
    // The units mark beside a computed row's speed: the units of a row in other units than the
    // column's ("Kts", "m/s", "mm/s"), empty for a row in the column's units or a blank one.
    QString speedUnitsMark(int row) const;
    // Lets the operator select and copy the tables' rows.
    void setRowsSelectable(bool on);

private:
    void pushRow(DataGrid* grid, const QString& first, const QString& second,
                 std::optional<SpeedUnitsKind> units = std::nullopt);
    void drawComputedCell(QPainter& painter, int column, int row, const QRect& rect);

    QLabel* m_clockLabel = nullptr;
    QLabel* m_replayTimeLabel = nullptr;
    QTabWidget* m_dataTabs = nullptr;
    DataGrid* m_computedHeader = nullptr;
    DataGrid* m_computedUnits = nullptr;
    DataGrid* m_computedTable = nullptr;
    DataGrid* m_rawHeader = nullptr;
    DataGrid* m_rawUnits = nullptr;
    DataGrid* m_rawTable = nullptr;
    bool m_scrollDown = false;
    std::optional<SpeedUnitsKind> m_speedUnits; // the speed column's units, none before the first
};
