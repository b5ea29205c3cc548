// SPDX-License-Identifier: MIT
// "Device Other...": every row of the chip table grouped by family, with its
// size and page, a search field and Detect. Rows the adapter cannot drive
// are shown greyed with the reason.
#pragma once

#include "Adapter.h"
#include "TypeDetect.h"

#include <QDialog>
#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kavoda {

struct ChipType;

class TypeChooser : public QDialog {
    Q_OBJECT
public:
    TypeChooser(AdapterKind adapter, const ChipType* current,
                std::function<DetectOutcome()> detect, QWidget* parent = nullptr);

    // The selected row when it can be chosen, else null.
    const ChipType* chosen() const;
    // Selects the row of chip, when it is shown and reachable.
    bool select(const ChipType* chip);
    // The row of the named type; null if there is none.
    QTreeWidgetItem* rowOf(const QString& caption) const;
    void detect();

    QLineEdit* search = nullptr;
    QTreeWidget* list = nullptr;
    QPushButton* detectButton = nullptr;
    QLabel* status = nullptr;
    QDialogButtonBox* buttons = nullptr;

private:
    void filter(const QString& text);
    void selectionChanged();
    std::function<DetectOutcome()> m_detect;
};

// "256 bytes", "32 KiB", "16 MiB".
QString sizeText(std::int64_t bytes);

} // namespace kavoda
