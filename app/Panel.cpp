// SPDX-License-Identifier: MIT
#include "Panel.h"

#include "FormStyle.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

namespace kavoda {

Panel::Panel(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Panel::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void Panel::setColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void Panel::setBevelOuter(Bevel bevel)
{
    if (bevel == m_bevel)
        return;
    m_bevel = bevel;
    update();
}

void Panel::setBevelWidth(int width)
{
    if (width == m_bevelWidth)
        return;
    m_bevelWidth = width;
    update();
}

QRect Panel::innerRect() const
{
    const int w = m_bevel == BevelNone ? 0 : m_bevelWidth;
    return rect().adjusted(w, w, -w, -w);
}

QFont fittedFont(QFont font, const QString& text, int width)
{
    // Long type names ("93C66 x16 LE", "MX25L12835F") were never meant for
    // the status field: a smaller font beats a caption cut at both ends.
    if (font.pixelSize() <= 0)
        font.setPixelSize(QFontInfo(font).pixelSize());
    while (QFontMetrics(font).horizontalAdvance(text) > width && font.pixelSize() > kSmallestPixels)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

void Panel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(m_color));
    if (m_bevel != BevelNone) {
        // Shadow on the side the light does not reach: top and left for a
        // lowered bevel, bottom and right for a raised one.
        const QColor shadow = toQColor(clBtnShadow);
        const QColor light = toQColor(clBtnHighlight);
        const QColor topLeft = m_bevel == BevelLowered ? shadow : light;
        const QColor bottomRight = m_bevel == BevelLowered ? light : shadow;
        QRect r = rect();
        for (int i = 0; i < m_bevelWidth && r.width() > 1 && r.height() > 1; ++i) {
            painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
            painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
            painter.fillRect(QRect(r.left() + 1, r.bottom(), r.width() - 1, 1), bottomRight);
            painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
            r.adjust(1, 1, -1, -1);
        }
    }
    if (!m_caption.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        QFont f = font();
        const bool overstrike = needsOverstrikeBold(f);
        if (overstrike)
            f.setLetterSpacing(QFont::AbsoluteSpacing, 1);
        f = fittedFont(f, m_caption, innerRect().width() - (overstrike ? 1 : 0));
        painter.setFont(f);
        painter.drawText(innerRect(), Qt::AlignCenter | Qt::TextSingleLine, m_caption);
        if (overstrike)
            painter.drawText(innerRect().translated(1, 0), Qt::AlignCenter | Qt::TextSingleLine,
                             m_caption);
    }
}

} // namespace kavoda
