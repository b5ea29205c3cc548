// SPDX-License-Identifier: MIT
// A captioned group of radio items with one item index, as the port dialog
// needs it: items laid out evenly top to bottom, index -1 for none.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace kavoda {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, QWidget* parent = nullptr);

    void setItems(const QStringList& items);
    QStringList items() const;
    QRadioButton* item(int index) const;

    // -1 when no item is checked.
    int itemIndex() const;
    void setItemIndex(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutItems();

    QButtonGroup* m_group;
    std::vector<QRadioButton*> m_buttons;
};

} // namespace kavoda
