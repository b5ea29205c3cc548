// SPDX-License-Identifier: MIT
// Tnumedit: a one-line edit field that takes a decimal number as typed
// characters: digits, and one minus sign and one point anywhere.
#pragma once

#include <QChar>
#include <QLineEdit>
#include <QString>

namespace kavoda {

// The decimal filter on one typed character against the field's whole text:
// backspace, carriage return, digits, "-" and "."; a point or a minus sign
// only while the whole text holds none, whatever is selected.
bool numCharAllowed(QChar key, const QString& wholeText);

class Tnumedit : public QLineEdit {
    Q_OBJECT
public:
    explicit Tnumedit(QWidget* parent = nullptr);

    // The per-character hook: sets key to the null character when refused.
    virtual void KeyPress(QChar& key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace kavoda
