// SPDX-License-Identifier: MIT
// "Device Other...": every row of the chip table grouped by family, with its
// size and page, a search field and Detect. Rows the adapter cannot drive
// are shown greyed with the reason. A Microwire row asks for its
// organisation (the chip's ORG pin, which no program can see) and, for x16,
// the order of each word's bytes in the image.
#pragma once

#include "Adapter.h"
#include "TypeDetect.h"

#include "ChipTable.h"

#include <QDialog>
#include <functional>
#include <optional>

class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kavoda {

class TypeChooser : public QDialog {
    Q_OBJECT
public:
    TypeChooser(AdapterKind adapter, const ChipType* current,
                std::function<DetectOutcome(const ChipType*)> detect, QWidget* parent = nullptr);

    // The selected row when it can be chosen, else null.
    const ChipType* chosen() const;
    // The type the selected row is used as: a Microwire row with the
    // organisation and byte order chosen; none while the row or its
    // organisation is not chosen.
    std::optional<ChipType> chosenType() const;
    // The organisation (8, 16; 0: none chosen) and byte order shown for a
    // Microwire row.
    void setOrganisation(int organisation, ByteOrder order);
    // OK: accepts a complete choice; a Microwire row without its
    // organisation is refused with a beep and a word that says why.
    void tryAccept();
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
    QGroupBox* organisation = nullptr;  // shown for Microwire rows
    QRadioButton* x8 = nullptr;
    QRadioButton* x16 = nullptr;
    QGroupBox* byteOrder = nullptr;     // enabled for x16
    QRadioButton* bigEndian = nullptr;
    QRadioButton* littleEndian = nullptr;

private:
    void filter(const QString& text);
    void selectionChanged();
    void createOrganisation();
    std::function<DetectOutcome(const ChipType*)> m_detect;
    QString m_refusal;  // what a refused OK said
};

// "256 bytes", "32 KiB", "16 MiB".
QString sizeText(std::int64_t bytes);

} // namespace kavoda
