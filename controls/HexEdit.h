// SPDX-License-Identifier: MIT
// Thexedit: a one-line edit field that takes only hexadecimal digits as typed
// characters. Also holds what the three entry controls share: the
// key-to-character rule, the filtered edit field, and the hexadecimal filter
// as a plain function.
#pragma once

#include <QChar>
#include <QLineEdit>
#include <QString>

class QKeyEvent;

namespace kavoda {

constexpr char16_t kBackspace = 8;
constexpr char16_t kCarriageReturn = 13;

// The characters a key press types, as character messages delivered them:
// Ctrl with a letter gives that letter's control code (Ctrl+C is 3, Ctrl+V 22,
// Ctrl+X 24), so the filters refuse those shortcuts like any other character.
// Empty for keys that type nothing (arrows, Home, Delete, Escape, Tab): those
// pass the filters untouched.
QString typedText(const QKeyEvent& event);

// Backspace, carriage return, 0-9, A-F and a-f.
bool hexCharAllowed(QChar key);

// True when the hook refuses one of the characters the event types. The
// caller then drops the event silently instead of handing it to the base.
template <typename Hook>
bool keyRefused(const QKeyEvent& event, Hook&& hook)
{
    for (QChar c : typedText(event)) {
        QChar key = c;
        hook(key);
        if (key.isNull())
            return true;
    }
    return false;
}

// A one-line edit field whose typed characters pass KeyPress before the field
// sees them. The filter replaces the field's own handling of a refused
// character: it is dropped without a trace. Text set by the program or pasted
// through the context menu is not typed, so it is not filtered.
class FilteredLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FilteredLineEdit(QWidget* parent = nullptr);

    // The per-character hook: sets key to the null character when refused.
    virtual void KeyPress(QChar& key) = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class Thexedit : public FilteredLineEdit {
    Q_OBJECT
public:
    explicit Thexedit(QWidget* parent = nullptr) : FilteredLineEdit(parent) {}

    void KeyPress(QChar& key) override;
};

} // namespace kavoda
