// SPDX-License-Identifier: MIT
#include "FormStyle.h"

namespace kavoda {

QFont sansFont(int pixelHeight)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

QIcon programIcon()
{
    QIcon icon(QStringLiteral(":/app/kavoda.svg"));
    icon.addFile(QStringLiteral(":/app/kavoda.png"), QSize(32, 32));
    return icon;
}

} // namespace kavoda
