// SPDX-License-Identifier: MIT
#include "Colors.h"

#include <QApplication>
#include <QPalette>

namespace kavoda {

namespace {

QColor paletteColor(int index)
{
    const QPalette pal = QApplication::palette();
    switch (index) {
    case 6: // window frame
        return pal.color(QPalette::Active, QPalette::Shadow);
    case 15: // button face
        return pal.color(QPalette::Active, QPalette::Button);
    case 16: // button shadow
        return pal.color(QPalette::Active, QPalette::Dark);
    case 20: // button highlight
        return pal.color(QPalette::Active, QPalette::Light);
    case 24: // tooltip background
        return pal.color(QPalette::Active, QPalette::ToolTipBase);
    default:
        return pal.color(QPalette::Active, QPalette::Window);
    }
}

} // namespace

QColor toQColor(TColor c)
{
    if (isSystemColor(c))
        return paletteColor(static_cast<int>(c & 0xFF));
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

TColor fromQColor(const QColor& c)
{
    return rgbColor(c.red(), c.green(), c.blue());
}

} // namespace kavoda
