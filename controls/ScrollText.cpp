// SPDX-License-Identifier: MIT
// TCustomScrollText: measuring, composing and stepping the text roll.
#include "ScrollText.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavoda {

// ---- geometry ------------------------------------------------------------

int roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    double whole = std::floor(value);
    const double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    whole = std::clamp(whole, double(std::numeric_limits<int>::min()),
                       double(std::numeric_limits<int>::max()));
    return static_cast<int>(whole);
}

int styleMargin(TTextStyle style, int depth)
{
    switch (style) {
    case tsRaised:
    case tsLowered:
        return 2 * depth;
    case tsShaddow:
        return depth;
    case tsNormal:
        break;
    }
    return 0;
}

int centreOffset(int extent, int blockExtent)
{
    return extent > blockExtent ? (extent - blockExtent) / 2 : 0;
}

double scrollFraction(int position, int steps)
{
    return double(position) / double(std::max(steps, 1));
}

BlockMetrics measureBlock(int cellHeight, int internalLeading, const std::vector<int>& lineWidths,
                          TTextStyle style, int depth, QSize control)
{
    BlockMetrics m;
    const int margin = styleMargin(style, depth);
    // The internal leading, not the external one, is added to the cell.
    m.lineHeight = cellHeight + internalLeading + margin;
    for (int w : lineWidths)
        m.blockWidth = std::max(m.blockWidth, w + margin);
    m.blockHeight = int(lineWidths.size()) * m.lineHeight;
    m.centreX = centreOffset(control.width(), m.blockWidth);
    m.centreY = centreOffset(control.height(), m.blockHeight);
    return m;
}

QPoint blockOrigin(TScrollDirection direction, double f, QSize control, const BlockMetrics& b)
{
    const int w = control.width();
    const int h = control.height();
    switch (direction) {
    case sdRightToLeft:
        return {roundHalfEven((1.0 - f) * (b.blockWidth + w)) - b.blockWidth, b.centreY};
    case sdLeftToRight:
        return {roundHalfEven(f * (b.blockWidth + w)) - b.blockWidth, b.centreY};
    case sdTopToBottom:
        return {b.centreX, roundHalfEven(f * (b.blockHeight + h)) - b.blockHeight};
    case sdBottomToTop:
        return {b.centreX, roundHalfEven((1.0 - f) * (b.blockHeight + h)) - b.blockHeight};
    case sdStatic:
        break;
    }
    return {b.centreX, b.centreY};
}

int lineOffset(TAlignment alignment, int blockWidth, int textWidth)
{
    switch (alignment) {
    case taCenter:
        return roundHalfEven(blockWidth * 0.5 - textWidth * 0.5);
    case taRightJustify:
        return blockWidth - textWidth;
    case taLeftJustify:
        break;
    }
    return 0;
}

// ---- the font object -----------------------------------------------------

ScrollTextFont::ScrollTextFont(QObject* parent) : QObject(parent)
{
    m_font.setFamily(QStringLiteral("Arial"));
    m_font.setPointSize(10);
}

void ScrollTextFont::setFont(const QFont& font)
{
    if (font == m_font)
        return;
    m_font = font;
    emit changed();
}

void ScrollTextFont::setName(const QString& name)
{
    if (name == m_font.family())
        return;
    m_font.setFamily(name);
    emit changed();
}

void ScrollTextFont::setSize(int points)
{
    if (points <= 0 || points == m_font.pointSize())
        return;
    m_font.setPointSize(points);
    emit changed();
}

void ScrollTextFont::setPixelHeight(int pixels)
{
    if (pixels <= 0 || pixels == m_font.pixelSize())
        return;
    m_font.setPixelSize(pixels);
    emit changed();
}

void ScrollTextFont::setColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    emit changed();
}

void ScrollTextFont::assign(const ScrollTextFont& other)
{
    if (&other == this)
        return;
    m_font = other.m_font;
    m_color = other.m_color;
    emit changed();
}

// ---- the control ---------------------------------------------------------

TCustomScrollText::TCustomScrollText(QWidget* parent) : QWidget(parent)
{
    m_items << QStringLiteral("ScrollText");
    resize(200, 20);
    m_font = new ScrollTextFont(this);
    connect(m_font, &ScrollTextFont::changed, this, &TCustomScrollText::remeasureAndUpdate);
    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setInterval(m_speed);
    connect(m_scrollTimer, &QTimer::timeout, this, &TCustomScrollText::tick);
    // The roll starts as soon as the control exists.
    setScrollDirection(sdRightToLeft);
}

TCustomScrollText::~TCustomScrollText() = default;

void TCustomScrollText::setTextStyle(TTextStyle style)
{
    if (style == m_textStyle)
        return;
    m_textStyle = style;
    remeasureAndUpdate();
}

void TCustomScrollText::setSteps(int steps)
{
    if (steps == m_steps)
        return;
    m_steps = steps;
}

void TCustomScrollText::setSpeed(int ms)
{
    if (ms == m_speed)
        return;
    m_speed = std::clamp(ms, 1, 1000);
    m_scrollTimer->setInterval(m_speed);
}

void TCustomScrollText::setColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    remeasureAndUpdate();
}

void TCustomScrollText::setContinuous(bool continuous)
{
    if (continuous == m_continuous)
        return;
    m_continuous = continuous;
    if (m_scrollDirection != sdStatic)
        StartScrolling(m_position);
}

void TCustomScrollText::setTextFont(const ScrollTextFont& font)
{
    if (&font == m_font)
        return;
    m_font->assign(font); // its change notification remeasures
}

void TCustomScrollText::setAlignment(TAlignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    remeasureAndUpdate();
}

void TCustomScrollText::setDepth(int depth)
{
    if (depth == m_depth)
        return;
    m_depth = depth;
    remeasureAndUpdate();
}

void TCustomScrollText::setItems(const QStringList& items)
{
    if (&items == &m_items)
        return;
    m_items = items;
    remeasureAndUpdate();
}

void TCustomScrollText::setScrollDirection(TScrollDirection direction)
{
    // Stored without a repaint: a resting roll shows the new placement at its
    // next paint. Applied even for an unchanged value, so it restarts a
    // stopped roll.
    m_scrollDirection = direction;
    if (m_scrollDirection == sdStatic)
        StopScrolling();
    else
        StartScrolling(m_position);
}

void TCustomScrollText::StartScrolling(int from)
{
    if (m_scrollTimer->isActive())
        return;
    if (from >= 0 && from <= m_steps)
        m_position = from;
    m_scrollTimer->start();
}

void TCustomScrollText::StopScrolling()
{
    m_scrollTimer->stop();
}

bool TCustomScrollText::isScrolling() const
{
    return m_scrollTimer->isActive();
}

void TCustomScrollText::tick()
{
    if (!m_scrollTimer->isActive())
        return;
    // A handler may delete the control; stop touching it then.
    const QPointer<TCustomScrollText> alive(this);
    if (m_position == 0) {
        emit OnBegin(this);
        if (!alive)
            return;
    }
    ++m_position;
    repaint();
    emit OnStep(this);
    if (!alive || m_position <= m_steps)
        return;
    m_scrollTimer->stop();
    emit OnEnd(this);
    if (!alive)
        return;
    m_position = 0;
    if (m_continuous)
        StartScrolling(0);
}

void TCustomScrollText::measure()
{
    const QFont& font = m_font->font();
    const QFontMetrics fm(font);
    const int cellHeight = fm.ascent() + fm.descent();
    const int internalLeading = std::max(0, cellHeight - QFontInfo(font).pixelSize());
    std::vector<int> widths;
    widths.reserve(std::size_t(m_items.size()));
    for (const QString& line : m_items)
        widths.push_back(fm.horizontalAdvance(line));
    m_metrics = measureBlock(cellHeight, internalLeading, widths, m_textStyle, m_depth, size());
}

QImage TCustomScrollText::composeFrame()
{
    measure();
    if (width() <= 0 || height() <= 0)
        return {};
    QImage frame(size(), QImage::Format_RGB32);
    frame.fill(toQColor(m_color));
    QPainter painter(&frame);
    painter.setFont(m_font->font());
    const double f = scrollFraction(m_position, m_steps);
    const QPoint origin = blockOrigin(m_scrollDirection, f, size(), m_metrics);
    int y = origin.y();
    for (const QString& line : m_items) {
        drawLine(painter, line, origin.x(), y);
        y += m_metrics.lineHeight;
    }
    return frame;
}

void TCustomScrollText::drawLine(QPainter& painter, const QString& text, int x, int y) const
{
    const QFontMetrics fm(painter.font());
    const int a = lineOffset(m_alignment, m_metrics.blockWidth, fm.horizontalAdvance(text));
    const int d = m_depth;
    // Text is placed by the top of its character cell.
    const int base = fm.ascent();
    const auto out = [&](TColor color, int dx, int dy) {
        painter.setPen(toQColor(color));
        painter.drawText(QPoint(x + a + dx, y + dy + base), text);
    };
    switch (m_textStyle) {
    case tsRaised:
        out(clBtnHighlight, -d, -d);
        out(clBtnShadow, d, d);
        break;
    case tsLowered:
        out(clBtnShadow, -d, -d);
        out(clBtnHighlight, d, d);
        break;
    case tsShaddow:
        out(clBtnShadow, d, d);
        break;
    case tsNormal:
        break;
    }
    out(m_font->color(), 0, 0);
}

void TCustomScrollText::paintEvent(QPaintEvent*)
{
    const QImage frame = composeFrame();
    if (frame.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, frame);
}

void TCustomScrollText::remeasureAndUpdate()
{
    measure();
    update();
}

} // namespace kavoda
