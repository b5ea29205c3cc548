// SPDX-License-Identifier: MIT
#include "FormStyle.h"

#include <QWidget>

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

void setFontColor(QWidget* control, TColor color)
{
    QPalette p = control->palette();
    p.setColor(QPalette::WindowText, toQColor(color));
    control->setPalette(p);
}

void setTextColors(QWidget* control, TColor background, TColor text)
{
    QPalette p = control->palette();
    p.setColor(QPalette::Base, toQColor(background));
    p.setColor(QPalette::Text, toQColor(text));
    control->setPalette(p);
}

} // namespace kavoda
