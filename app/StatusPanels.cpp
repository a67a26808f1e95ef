#include "app/StatusPanels.h"

#include "app/Look.h"
#include "app/NoteLabel.h"

#include <QLabel>
#include <QStringList>

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("statusBar"));
    setSizeGripEnabled(false);
    setFixedHeight(20);
    const int widths[4] = {150, 150, 150, 50};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        addWidget(panel);
        m_panels[size_t(i)] = panel;
    }
    m_alarmLabel = new QLabel(this);
    m_alarmLabel->setObjectName(QStringLiteral("alarmLine"));
    // Read whole before the note: it stays while the alarm lasts.
    m_alarmLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setTextColour(m_alarmLabel, alarmColour());
    QFont bold = m_alarmLabel->font();
    bold.setBold(true);
    m_alarmLabel->setFont(bold);
    m_alarmLabel->hide();
    addWidget(m_alarmLabel);
    m_noteLabel = new NoteLabel(this);
    m_noteLabel->setObjectName(QStringLiteral("statusNote"));
    // The counts beside it come first: the note gives way, its tooltip keeps the whole text.
    m_noteLabel->setMinimumWidth(0);
    m_noteLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addWidget(m_noteLabel, 1);
    m_countsLabel = new QLabel(this);
    m_countsLabel->setObjectName(QStringLiteral("backlogLabel"));
    // Counts that must be read whole: the note beside them gives way first.
    m_countsLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    addPermanentWidget(m_countsLabel);
}

QString StatusPanels::panel(int index) const
{
    return m_panels.at(size_t(index))->text();
}

void StatusPanels::setPanel(int index, const QString& text)
{
    QLabel* panel = m_panels.at(size_t(index));
    panel->setText(text);
    // The narrow last panel widens for a word that does not fit it ("DEMONSTRATION").
    if (index == 3)
        panel->setFixedWidth(qMax(50, panel->fontMetrics().horizontalAdvance(text) + 10));
}

void StatusPanels::setAlarmLine(const QString& text)
{
    m_alarmLabel->setText(text);
    m_alarmLabel->setToolTip(text);
    m_alarmLabel->setVisible(!text.isEmpty());
}

QString StatusPanels::alarmLine() const
{
    return m_alarmLabel->text();
}

void StatusPanels::setNote(const QString& shown, const QString& whole)
{
    m_noteLabel->setNote(shown, whole);
}

void StatusPanels::setCounts(const QStringList& counts)
{
    m_countsLabel->setText(counts.join(QStringLiteral("  ")));
    m_countsLabel->setToolTip(counts.join(QLatin1Char('\n')));
}
