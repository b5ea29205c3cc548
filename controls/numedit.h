// SPDX-License-Identifier: MIT
// Tnumedit: a one-line edit field that takes a decimal number as typed
// characters: digits, and one minus sign and one point anywhere.
#pragma once

#include "HexEdit.h"

#include <QChar>
#include <QString>

namespace kavoda {

// The decimal filter on one typed character against the field's whole text:
// backspace, carriage return, digits, "-" and "."; a point or a minus sign
// only while the whole text holds none, whatever is selected.
bool numCharAllowed(QChar key, const QString& wholeText);

class Tnumedit : public FilteredLineEdit {
    Q_OBJECT
public:
    explicit Tnumedit(QWidget* parent = nullptr) : FilteredLineEdit(parent) {}

    void KeyPress(QChar& key) override;
};

} // namespace kavoda
