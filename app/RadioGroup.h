#pragma once
// A captioned group of radio buttons whose choice is an item index, as the Communications dialog
// stores it: -1 when nothing is selected.

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class RadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    RadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
               const QRect& geometry, QWidget* parent);

    // -1 when no item is selected.
    int itemIndex() const;
    // An index of -1 or below selects no item; one at or beyond the item count selects the last.
    void setItemIndex(int index);

    int count() const { return int(m_buttons.size()); }
    QRadioButton* button(int index) const { return m_buttons.at(index); }

private:
    QList<QRadioButton*> m_buttons;
    QButtonGroup* m_group;
};
