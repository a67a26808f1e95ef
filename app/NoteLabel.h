#pragma once
// A status bar note: a short text that is shortened with an ellipsis only when the bar has no
// room for it, at whatever width the window has now, with the whole story in its tooltip.

#include <QLabel>

class NoteLabel : public QLabel
{
    Q_OBJECT
public:
    explicit NoteLabel(QWidget* parent = nullptr);

    // shown: the note as the bar shows it; whole: its tooltip (shown itself when empty).
    void setNote(const QString& shown, const QString& whole = QString());
    void clearNote() { setNote(QString()); }
    const QString& note() const { return m_note; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    QString m_note;
};
