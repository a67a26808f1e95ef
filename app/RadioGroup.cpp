#include "app/RadioGroup.h"

#include "app/Look.h"

#include <QButtonGroup>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
                       const QRect& geometry, QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    setObjectName(objectName);
    setGeometry(geometry);
    setFont(marvaneFont(11, true));
    // Items share the space under the caption evenly, as a radio group lays them out.
    const int top = 16;
    const int step = (geometry.height() - top - 4) / int(items.size());
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        button->setObjectName(objectName + QStringLiteral("Item") + QString::number(i));
        button->setFont(marvaneFont(11, true));
        button->setGeometry(8, top + i * step + (step - 18) / 2, geometry.width() - 14, 18);
        m_group->addButton(button, i);
        m_buttons.append(button);
    }
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (index < 0) {
        // An exclusive group cannot be emptied by unchecking its button directly.
        m_group->setExclusive(false);
        for (QRadioButton* button : m_buttons)
            button->setChecked(false);
        m_group->setExclusive(true);
        return;
    }
    m_buttons.at(qMin(index, count() - 1))->setChecked(true);
}
