// SPDX-License-Identifier: MIT
// Thexedit, the filtered edit field and the shared key-to-character rule.
#include "HexEdit.h"

#include <QKeyEvent>

namespace kavoda {

QString typedText(const QKeyEvent& event)
{
    switch (event.key()) {
    // These keys carry a text on some platforms (DEL, ESC, TAB) but were
    // never characters for an edit field: they edit, cancel or move focus.
    case Qt::Key_Delete:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return {};
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Ctrl+Alt is AltGr on many layouts and types real characters.
    const bool ctrlOnly = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    if (ctrlOnly) {
        if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
            return QString(QChar(char16_t(event.key() - Qt::Key_A + 1)));
        return {}; // other Ctrl chords type nothing in an edit field
    }
    return event.text();
}

bool hexCharAllowed(QChar key)
{
    const char16_t c = key.unicode();
    return c == kBackspace || c == kCarriageReturn || (c >= u'0' && c <= u'9')
           || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

FilteredLineEdit::FilteredLineEdit(QWidget* parent) : QLineEdit(parent)
{
    // An input method would hand text over outside the key events.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void FilteredLineEdit::keyPressEvent(QKeyEvent* event)
{
    if (keyRefused(*event, [this](QChar& k) { KeyPress(k); })) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void Thexedit::KeyPress(QChar& key)
{
    if (!hexCharAllowed(key))
        key = QChar();
}

} // namespace kavoda
