#include "app/NoteLabel.h"

NoteLabel::NoteLabel(QWidget* parent) : QLabel(parent) {}

void NoteLabel::setNote(const QString& shown, const QString& whole)
{
    m_note = shown;
    setToolTip(whole.isEmpty() ? shown : whole);
    fit();
}

void NoteLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fit();
}

void NoteLabel::fit()
{
    const int room = contentsRect().width();
    QLabel::setText(room > 0 ? fontMetrics().elidedText(m_note, Qt::ElideRight, room) : m_note);
}
