// SPDX-License-Identifier: MIT
#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace kavoda {

RadioGroup::RadioGroup(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent)
    , m_group(new QButtonGroup(this))
{
}

void RadioGroup::setItems(const QStringList& items)
{
    for (QRadioButton* button : m_buttons)
        delete button;
    m_buttons.clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_group->addButton(button, i);
        m_buttons.push_back(button);
    }
    layoutItems();
}

QStringList RadioGroup::items() const
{
    QStringList list;
    for (const QRadioButton* button : m_buttons)
        list << button->text();
    return list;
}

QRadioButton* RadioGroup::item(int index) const
{
    return m_buttons.at(static_cast<std::size_t>(index));
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < static_cast<int>(m_buttons.size())) {
        m_buttons[static_cast<std::size_t>(index)]->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    m_group->setExclusive(false);
    for (QRadioButton* button : m_buttons)
        button->setChecked(false);
    m_group->setExclusive(true);
}

void RadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    layoutItems();
}

void RadioGroup::layoutItems()
{
    if (m_buttons.empty())
        return;
    // Below the caption, the remaining height shared evenly by the items.
    const int top = fontMetrics().height() + 2;
    const int n = static_cast<int>(m_buttons.size());
    const int itemHeight = (height() - top - 4) / n;
    for (int i = 0; i < n; ++i)
        m_buttons[static_cast<std::size_t>(i)]->setGeometry(8, top + i * itemHeight, width() - 16,
                                                            itemHeight);
}

} // namespace kavoda
