// SPDX-License-Identifier: MIT
// The progress meter: value model, geometry and the off-screen paint.
#include "Feedback.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace kavoda {

namespace meter {

namespace {

int clampToInt(std::int64_t v)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// Bar length along an extent. The product is taken in 64 bits: with a large
// Total a 32-bit extent * completed overflows and the bar jumps about.
int barLength(int extent, int completed, int total)
{
    const std::int64_t len = static_cast<std::int64_t>(extent) * completed / total;
    return static_cast<int>(std::clamp<std::int64_t>(len, 0, std::max(extent, 0)));
}

} // namespace

BevelRing bevelRing(const SpanRect& r)
{
    const int l = r.left, t = r.top, rt = r.right, b = r.bottom;
    return {
        {l, b - 1, rt, b},         // bottom edge, both corners
        {rt - 1, t + 1, rt, b},    // right edge below the top-right corner
        {l + 1, t, rt, t + 1},     // top edge from the top-right corner leftwards
        {l, t, l + 1, b - 1},      // left edge, top-left corner down to the bottom-left one
    };
}

BevelColors bevelColors(TBevelType type)
{
    if (type == btRaised)
        return {clBtnShadow, clBtnHighlight};
    return {clBtnHighlight, clBtnShadow};
}

SpanRect innerRect(int width, int height, TBorderStyle border, int bevelDepth,
                   TBevelType bevelType)
{
    SpanRect r{0, 0, width, height};
    if (border == bsSingle)
        r = r.shrunk(1);
    if (bevelDepth > 0 && bevelType != btNone)
        r = r.shrunk(bevelDepth);
    return r;
}

BarParts splitBar(const SpanRect& r, int completed, int total, TMeterDirection direction)
{
    const int l = r.left, t = r.top, rt = r.right, b = r.bottom;
    switch (direction) {
    case mdRightToLeft: {
        const int w = barLength(r.width(), completed, total);
        return {{rt - w, t, rt, b}, {l, t, rt - w, b}};
    }
    case mdTopToBottom: {
        const int h = barLength(r.height(), completed, total);
        return {{l, t, rt, t + h}, {l, t + h, rt, b}};
    }
    case mdBottomToTop: {
        const int h = barLength(r.height(), completed, total);
        return {{l, b - h, rt, b}, {l, t, rt, b - h}};
    }
    case mdLeftToRight:
    default: {
        const int w = barLength(r.width(), completed, total);
        return {{l, t, l + w, b}, {l + w, t, rt, b}};
    }
    }
}

QPoint textAnchor(int width, int height, int textHeight)
{
    return QPoint(width / 2, (height - textHeight) / 2);
}

QString meterText(const QString& caption, bool showPercent, int percent)
{
    if (!caption.isEmpty())
        return caption;
    if (showPercent)
        return QString::number(percent) + QLatin1Char('%');
    return QString();
}

int percentOf(int completed, int total)
{
    return clampToInt(static_cast<std::int64_t>(completed) * 100 / total);
}

int completedOf(int total, int percent)
{
    return clampToInt(static_cast<std::int64_t>(total) * percent / 100);
}

} // namespace meter

// ---------------------------------------------------------------------------

TMeterBase::TMeterBase(QWidget* parent) : QWidget(parent) {}

void TMeterBase::setBackColor(TColor c)
{
    if (c == m_backColor)
        return;
    m_backColor = c;
    repaint();
}

void TMeterBase::setBorderStyle(TBorderStyle s)
{
    if (s == m_borderStyle)
        return;
    m_borderStyle = s;
    repaint();
}

void TMeterBase::setCaption(const QString& text)
{
    if (text == m_caption)
        return;
    m_caption = text;
    captionChanged();
}

void TMeterBase::captionChanged()
{
    repaint();
}

void TMeterBase::setCompleted(int v)
{
    if (v == m_completed)
        return;
    m_completed = v;
    clampCompletedAndRecompute();
}

void TMeterBase::setTotal(int v)
{
    if (v == m_total)
        return;
    m_total = (v == 0) ? 1 : v;
    clampCompletedAndRecompute();
}

void TMeterBase::clampCompletedAndRecompute()
{
    if (m_completed > m_total)
        m_completed = m_total;
    const int p = meter::percentOf(m_completed, m_total);
    if (p == m_percent)
        return;
    m_percent = p;
    repaint();
}

void TMeterBase::setForeColor(TColor c)
{
    if (c == m_foreColor)
        return;
    m_foreColor = c;
    repaint();
}

void TMeterBase::setPercent(int v)
{
    if (v == m_percent)
        return;
    m_percent = std::min(v, 100);
    m_completed = meter::completedOf(m_total, m_percent);
    repaint();
}

void TMeterBase::setShowPercent(bool on)
{
    if (on == m_showPercent)
        return;
    m_showPercent = on;
    repaint();
}

void TMeterBase::paintEvent(QPaintEvent*)
{
    ++m_paintCount;
}

// ---------------------------------------------------------------------------

TNeatoMeter::TNeatoMeter(QWidget* parent) : TMeterBase(parent)
{
    // Every pixel is painted, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(180, 25);
}

void TNeatoMeter::setBevelDepth(int depth)
{
    depth = std::clamp(depth, 0, kMaxBevelDepth);
    if (depth == m_bevelDepth)
        return;
    m_bevelDepth = depth;
    repaint();
}

void TNeatoMeter::setBevelType(TBevelType t)
{
    if (t == m_bevelType)
        return;
    m_bevelType = t;
    repaint();
}

void TNeatoMeter::setBitmap(const QImage& b)
{
    if (&b == &m_bitmap)
        return;
    m_bitmap = b.copy();
    repaint();
}

void TNeatoMeter::setBitmapDrawStyle(TBitmapDrawStyle s)
{
    if (s == m_bitmapDrawStyle)
        return;
    m_bitmapDrawStyle = s;
    repaint();
}

void TNeatoMeter::setDirection(TMeterDirection d)
{
    if (d == m_direction)
        return;
    m_direction = d;
    repaint();
}

void TNeatoMeter::setStyle(TMeterStyle s)
{
    if (s == m_style)
        return;
    m_style = s;
    repaint();
}

void TNeatoMeter::setUseFontColor(bool on)
{
    if (on == m_useFontColor)
        return;
    m_useFontColor = on;
    repaint();
}

namespace {

void fillSpan(QPainter& p, const SpanRect& s, const QColor& c)
{
    if (!s.isEmpty())
        p.fillRect(s.toQRect(), c);
}

// A one-pixel rectangle outline along the edges of r.
void drawOutline(QPainter& p, const SpanRect& r, const QColor& c)
{
    fillSpan(p, {r.left, r.top, r.right, r.top + 1}, c);
    fillSpan(p, {r.left, r.bottom - 1, r.right, r.bottom}, c);
    fillSpan(p, {r.left, r.top, r.left + 1, r.bottom}, c);
    fillSpan(p, {r.right - 1, r.top, r.right, r.bottom}, c);
}

// depth rings from the edge of r inwards, each by the bevel pixel rule.
void drawBevel(QPainter& p, SpanRect r, int depth, TBevelType type)
{
    const meter::BevelColors colors = meter::bevelColors(type);
    const QColor a = toQColor(colors.a);
    const QColor b = toQColor(colors.b);
    for (int i = 0; i < depth && !r.isEmpty(); ++i, r = r.shrunk(1)) {
        const meter::BevelRing ring = meter::bevelRing(r);
        fillSpan(p, ring.aBottom, a);
        fillSpan(p, ring.aRight, a);
        fillSpan(p, ring.bTop, b);
        fillSpan(p, ring.bLeft, b);
    }
}

// Text clipped to clip, with its left end at left and its baseline at
// baseline; the clip rectangle is filled first when fill is valid.
void clippedText(QPainter& p, const SpanRect& clip, const QColor& fill, const QColor& ink,
                 int left, int baseline, const QString& text)
{
    if (clip.isEmpty())
        return;
    if (fill.isValid())
        p.fillRect(clip.toQRect(), fill);
    if (text.isEmpty())
        return;
    p.save();
    p.setClipRect(clip.toQRect());
    p.setPen(ink);
    p.drawText(QPoint(left, baseline), text);
    p.restore();
}

} // namespace

QImage TNeatoMeter::composeImage() const
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return QImage();
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);

    if (borderStyle() == bsSingle)
        drawOutline(p, {0, 0, w, h}, toQColor(clWindowFrame));
    if (m_bevelDepth > 0 && m_bevelType != btNone)
        drawBevel(p, meter::innerRect(w, h, borderStyle(), 0, btNone), m_bevelDepth, m_bevelType);
    drawBar(p, meter::innerRect(w, h, borderStyle(), m_bevelDepth, m_bevelType));
    return img;
}

void TNeatoMeter::drawBar(QPainter& p, const SpanRect& r) const
{
    const QString text = meter::meterText(caption(), showPercent(), percent());
    const meter::BarParts parts = meter::splitBar(r, completed(), total(), m_direction);

    // A copy of the control's font; bitmap glyphs keep the two-colour split
    // crisp, so the copy is drawn without antialiasing.
    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    const QFontMetrics fm = p.fontMetrics();
    const QPoint anchor = meter::textAnchor(width(), height(), fm.height());
    const int left = anchor.x() - fm.horizontalAdvance(text) / 2;
    const int baseline = anchor.y() + fm.ascent();
    const QColor fontColor = palette().color(QPalette::WindowText);
    const QColor back = toQColor(backColor());
    const QColor fore = toQColor(foreColor());

    if (m_bitmap.isNull()) {
        clippedText(p, parts.filled, fore, m_useFontColor ? fontColor : back, left, baseline, text);
        if (percent() < 100)
            clippedText(p, parts.empty, back, m_useFontColor ? fontColor : fore, left, baseline,
                        text);
        return;
    }

    switch (m_bitmapDrawStyle) {
    case dsTile:
        TileBitmap(p, m_bitmap, parts.filled);
        fillSpan(p, parts.empty, back);
        break;
    case dsTileInvert:
        TileBitmap(p, m_bitmap, r);
        if (!parts.empty.isEmpty()) {
            p.save();
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(parts.empty.toQRect(), Qt::white);
            p.restore();
        }
        break;
    case dsStretch:
    default:
        if (!parts.filled.isEmpty())
            p.drawImage(parts.filled.toQRect(), m_bitmap);
        fillSpan(p, parts.empty, back);
        break;
    }
    clippedText(p, r, QColor(), fontColor, left, baseline, text);
}

void TNeatoMeter::paintEvent(QPaintEvent* event)
{
    TMeterBase::paintEvent(event);
    const QImage img = composeImage();
    QPainter p(this);
    p.drawImage(0, 0, img);
}

} // namespace kavoda
