// SPDX-License-Identifier: MIT
// The progress meter. TMeterBase holds the value model (Completed out of Total,
// and Percent), the two bar colours and the caption, and draws nothing;
// TNeatoMeter adds the look (border, bevel rings, direction, fill picture) and
// paints. The geometry lives in pure functions (namespace meter) so it can be
// checked without painting.
//
// Font colour: Qt fonts carry no colour, so the meter's font colour is its
// palette's QPalette::WindowText. Set it with
//     QPalette p = m->palette(); p.setColor(QPalette::WindowText, Qt::white); m->setPalette(p);
#pragma once

#include "Colors.h"
#include "DTUtil.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

namespace kavoda {

enum TBorderStyle { bsNone, bsSingle };
enum TBevelType { btNone, btInset, btRaised };
enum TBitmapDrawStyle { dsStretch, dsTile, dsTileInvert };
enum TMeterDirection { mdLeftToRight, mdRightToLeft, mdTopToBottom, mdBottomToTop };
enum TMeterStyle { msStandard };

// BevelDepth is a 0..10 range; values outside it are clamped into it.
constexpr int kMaxBevelDepth = 10;

namespace meter {

// One bevel ring drawn on r: the pixel spans in colour A (drawn first) and in
// colour B (drawn over them). A holds the bottom edge with both bottom corners
// and the right edge below the top-right corner; B holds the top edge from
// the top-right corner leftwards and the left edge from the top-left corner
// down to, not including, the bottom-left corner.
struct BevelRing {
    SpanRect aBottom;
    SpanRect aRight;
    SpanRect bTop;
    SpanRect bLeft;
};
BevelRing bevelRing(const SpanRect& r);

// Colour A and colour B of the rings: inset is light (button highlight) at the
// bottom and right, dark (button shadow) at the top and left; raised swaps.
struct BevelColors {
    TColor a;
    TColor b;
};
BevelColors bevelColors(TBevelType type);

// The rectangle left for the bar inside a width x height meter once the
// border and the bevel rings have taken their pixels.
SpanRect innerRect(int width, int height, TBorderStyle border, int bevelDepth,
                   TBevelType bevelType);

// The filled and the empty part of the bar rectangle r. The bar length is
// extent * completed div total; a length outside 0..extent (negative values,
// or a negative total) is held to that range, so the bar never paints
// outside r.
struct BarParts {
    SpanRect filled;
    SpanRect empty;
};
BarParts splitBar(const SpanRect& r, int completed, int total, TMeterDirection direction);

// Where the text goes: x is its horizontal centre, y its top. Taken from the
// whole control, not from the bar rectangle; textHeight is the height of "X".
QPoint textAnchor(int width, int height, int textHeight);

// The caption if there is one; else the percentage ("50%") if showPercent;
// else nothing.
QString meterText(const QString& caption, bool showPercent, int percent);

// completed * 100 div total and total * percent div 100, computed wide so
// large totals do not overflow; results beyond the int range are held to it.
int percentOf(int completed, int total);
int completedOf(int total, int percent);

} // namespace meter

// The value model. Every setter compares first; "repaint" is an immediate
// repaint() (paintEvent runs before the setter returns, when the meter is
// visible). paintCount() counts paintEvent calls, for checking that.
class TMeterBase : public QWidget {
    Q_OBJECT
    Q_PROPERTY(kavoda::TColor BackColor READ backColor WRITE setBackColor)
    Q_PROPERTY(kavoda::TBorderStyle BorderStyle READ borderStyle WRITE setBorderStyle)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(int Completed READ completed WRITE setCompleted)
    Q_PROPERTY(kavoda::TColor ForeColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(int Percent READ percent WRITE setPercent)
    Q_PROPERTY(bool ShowPercent READ showPercent WRITE setShowPercent)
    Q_PROPERTY(int Total READ total WRITE setTotal)

public:
    explicit TMeterBase(QWidget* parent = nullptr);

    TColor backColor() const { return m_backColor; }
    void setBackColor(TColor c);

    TBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TBorderStyle s);

    // The meter's own caption (not the window title): when not empty it is
    // shown instead of the percentage. Changing it repaints.
    QString caption() const { return m_caption; }
    void setCaption(const QString& text);

    // Kept at most Total; Percent follows it, repainting only when Percent
    // changes.
    int completed() const { return m_completed; }
    void setCompleted(int v);

    TColor foreColor() const { return m_foreColor; }
    void setForeColor(TColor c);

    // Kept at most 100; sets Completed to Total * Percent div 100 and always
    // repaints on a new value. The text shows Percent, the bar Completed.
    int percent() const { return m_percent; }
    void setPercent(int v);

    bool showPercent() const { return m_showPercent; }
    void setShowPercent(bool on);

    // Never 0 (0 is stored as 1); Completed is clamped to it and Percent
    // recomputed, repainting only when Percent changes.
    int total() const { return m_total; }
    void setTotal(int v);

    int paintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The caption-changed notification: repaints.
    virtual void captionChanged();

private:
    void clampCompletedAndRecompute();

    TColor m_backColor = clWhite;
    TBorderStyle m_borderStyle = bsNone;
    int m_completed = 50;
    TColor m_foreColor = rgbColor(0, 0, 255);
    int m_percent = 50;
    bool m_showPercent = true;
    int m_total = 100;
    QString m_caption;
    int m_paintCount = 0;
};

// The painted meter: opaque, 180 x 25 when made. Each paint composes the whole
// picture in one QImage (composeImage) and draws it in one go.
class TNeatoMeter : public TMeterBase {
    Q_OBJECT
    Q_PROPERTY(int BevelDepth READ bevelDepth WRITE setBevelDepth)
    Q_PROPERTY(kavoda::TBevelType BevelType READ bevelType WRITE setBevelType)
    Q_PROPERTY(QImage Bitmap READ bitmap WRITE setBitmap)
    Q_PROPERTY(kavoda::TBitmapDrawStyle BitmapDrawStyle READ bitmapDrawStyle WRITE setBitmapDrawStyle)
    Q_PROPERTY(kavoda::TMeterDirection Direction READ direction WRITE setDirection)
    Q_PROPERTY(kavoda::TMeterStyle Style READ style WRITE setStyle)
    Q_PROPERTY(bool UseFontColor READ useFontColor WRITE setUseFontColor)

public:
    explicit TNeatoMeter(QWidget* parent = nullptr);

    int bevelDepth() const { return m_bevelDepth; }
    void setBevelDepth(int depth);

    TBevelType bevelType() const { return m_bevelType; }
    void setBevelType(TBevelType t);

    // The fill picture; a null image means colour mode. The meter keeps its
    // own copy: changing the given image afterwards does not touch it.
    const QImage& bitmap() const { return m_bitmap; }
    void setBitmap(const QImage& b);

    TBitmapDrawStyle bitmapDrawStyle() const { return m_bitmapDrawStyle; }
    void setBitmapDrawStyle(TBitmapDrawStyle s);

    TMeterDirection direction() const { return m_direction; }
    void setDirection(TMeterDirection d);

    TMeterStyle style() const { return m_style; }
    void setStyle(TMeterStyle s);

    // True: the text is in the font colour everywhere; false: it takes the
    // colour of the other part of the bar where it lies.
    bool useFontColor() const { return m_useFontColor; }
    void setUseFontColor(bool on);

    // The picture one paint puts on screen.
    QImage composeImage() const;

    QSize sizeHint() const override { return QSize(180, 25); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBar(QPainter& p, const SpanRect& r) const;

    int m_bevelDepth = 1;
    TBevelType m_bevelType = btInset;
    QImage m_bitmap;
    TBitmapDrawStyle m_bitmapDrawStyle = dsStretch;
    TMeterDirection m_direction = mdLeftToRight;
    TMeterStyle m_style = msStandard;
    bool m_useFontColor = false;
};

} // namespace kavoda
