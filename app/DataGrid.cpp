#include "app/DataGrid.h"

#include "app/Look.h"

#include <QPainter>

DataGrid::DataGrid(const QString& objectName, const QColor& cellColour, bool sunkenBorder,
                   QWidget* parent)
    : QWidget(parent), m_cellColour(cellColour), m_sunken(sunkenBorder)
{
    setObjectName(objectName);
    setFocusPolicy(Qt::NoFocus);
}

void DataGrid::setCell(int column, int row, const QString& text)
{
    m_rows.setCell(column, row, text);
    update(cellRect(column, row));
}

QRect DataGrid::cellRect(int column, int row) const
{
    const int border = m_sunken ? 2 : 1;
    return QRect(border + column * (kColumnWidth + 1), border + row * (kRowHeight + 1),
                 kColumnWidth, kRowHeight);
}

void DataGrid::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    const QColor lines = buttonFaceColour().darker(140);

    painter.fillRect(rect(), lines);
    if (m_sunken) {
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.drawLine(0, 0, 0, height() - 1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
        painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    } else {
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

    for (int row = 0; row <= LastDataRow; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QRect r = cellRect(column, row);
            if (!r.intersects(rect()))
                continue;
            painter.fillRect(r, m_cellColour);
            painter.setPen(windowTextColour());
            const QString text = m_rows.cell(column, row);
            painter.drawText(r.adjusted(2, 2, 0, 0),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
            if (m_drawCell) {
                painter.save();
                painter.setClipRect(r);
                m_drawCell(painter, column, row, r);
                painter.restore();
            }
        }
    }
}
