#pragma once
// The main window's status bar: four panels (the source or "LOGGING", the connection, the
// replay's state, and a narrow last one for "DEMONSTRATION" or "NO DATA" that widens for its
// word), a note of what happened last beside them, and the counts that must be read whole at
// the right end.

#include <QStatusBar>
#include <QStringList>

#include <array>

class NoteLabel;
class QLabel;

class StatusPanels : public QStatusBar
{
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent);

    // Text of a panel, 0 to 3.
    QString panel(int index) const;
    void setPanel(int index, const QString& text);

    // shown: the note as the bar shows it, shortened if the bar has no room; whole: its tooltip.
    void setNote(const QString& shown, const QString& whole = QString());

    // The alarms raised now, one line that stays while any lasts (empty: hidden).
    void setAlarmLine(const QString& text);
    QString alarmLine() const;

    // What the window counts and the outputs' states, read whole at the right end: one line
    // each in the tooltip.
    void setCounts(const QStringList& counts);

private:
    std::array<QLabel*, 4> m_panels{};
    QLabel* m_alarmLabel = nullptr;
    NoteLabel* m_noteLabel = nullptr;
    QLabel* m_countsLabel = nullptr;
};
