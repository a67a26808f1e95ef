#include "app/DataGrid.h"

#include "app/Look.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
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

int DataGrid::heightForRows(int rows, bool sunkenBorder)
{
    // Rows of kRowHeight and a line each, inside the border (the last row's line is the border's).
    const int border = sunkenBorder ? 2 : 1;
    return 2 * border + rows * (kRowHeight + 1) - 1;
}

int DataGrid::rowsForHeight(int height, bool sunkenBorder)
{
    const int border = sunkenBorder ? 2 : 1;
    return qMax(0, (height - 2 * border + 1) / (kRowHeight + 1));
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

    for (int row = 0; row < m_rows.rowCount(); ++row) {
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
            if (isRowSelected(row)) {
                // Laid over the finished cell, so the colours the cell was drawn in still show.
                QColor highlight = palette().color(QPalette::Highlight);
                highlight.setAlpha(90);
                painter.fillRect(r, highlight);
            }
        }
    }
}

void DataGrid::setRowsSelectable(bool on)
{
    m_selectable = on;
    setFocusPolicy(on ? Qt::ClickFocus : Qt::NoFocus);
    if (on && actions().isEmpty()) {
        auto* copyAction = new QAction(QStringLiteral("&Copy"), this);
        copyAction->setObjectName(objectName() + QStringLiteral("CopyAction"));
        connect(copyAction, &QAction::triggered, this, &DataGrid::copy);
        addAction(copyAction);
    }
    setContextMenuPolicy(on ? Qt::ActionsContextMenu : Qt::DefaultContextMenu);
    if (!on)
        clearSelection();
}

void DataGrid::selectRows(int first, int last)
{
    m_firstSelected = qBound(0, qMin(first, last), m_rows.rowCount() - 1);
    m_lastSelected = qBound(0, qMax(first, last), m_rows.rowCount() - 1);
    update();
}

void DataGrid::clearSelection()
{
    if (m_firstSelected < 0)
        return;
    m_firstSelected = m_lastSelected = m_selectionAnchor = -1;
    update();
}

bool DataGrid::isRowSelected(int row) const
{
    return m_firstSelected >= 0 && row >= m_firstSelected && row <= m_lastSelected;
}

QString DataGrid::copyText() const
{
    const int first = m_firstSelected >= 0 ? m_firstSelected : 0;
    const int last = m_firstSelected >= 0 ? m_lastSelected : m_rows.rowCount() - 1;
    QString out;
    for (int row = first; row <= last; ++row) {
        const QString a = m_rows.cell(0, row).trimmed();
        const QString b = m_rows.cell(1, row).trimmed();
        if (a.isEmpty() && b.isEmpty())
            continue;
        out += a + QLatin1Char('\t') + b + QLatin1Char('\n');
    }
    return out;
}

void DataGrid::copy()
{
    QGuiApplication::clipboard()->setText(copyText());
}

void DataGrid::mousePressEvent(QMouseEvent* event)
{
    if (!m_selectable || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    int row = -1;
    for (int r = 0; r < m_rows.rowCount(); ++r) {
        const QRect line = cellRect(0, r).united(cellRect(1, r));
        if (event->position().y() >= line.top() && event->position().y() <= line.bottom() + 1)
            row = r;
    }
    if (row < 0) {
        clearSelection();
    } else if ((event->modifiers() & Qt::ShiftModifier) && m_selectionAnchor >= 0) {
        selectRows(m_selectionAnchor, row);
    } else {
        m_selectionAnchor = row;
        selectRows(row, row);
    }
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    if (m_selectable && event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (m_selectable && event->key() == Qt::Key_Escape && m_firstSelected >= 0) {
        clearSelection();
        return;
    }
    QWidget::keyPressEvent(event);
}
