// SPDX-License-Identifier: MIT
// Tnumedit: the decimal number filter on a one-line edit field.
#include "numedit.h"

namespace kavoda {

bool numCharAllowed(QChar key, const QString& wholeText)
{
    const char16_t c = key.unicode();
    const bool known = c == kBackspace || c == kCarriageReturn || c == u'-' || c == u'.'
                       || (c >= u'0' && c <= u'9');
    if (!known)
        return false;
    if ((c == u'.' || c == u'-') && wholeText.contains(key))
        return false;
    return true;
}

void Tnumedit::KeyPress(QChar& key)
{
    if (!numCharAllowed(key, text()))
        key = QChar();
}

} // namespace kavoda
