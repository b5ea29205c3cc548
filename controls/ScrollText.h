// SPDX-License-Identifier: MIT
// TCustomScrollText and TScrollText: a block of text lines moved across the
// control in a fixed number of timer steps (a credits roll), optionally drawn
// raised, lowered or with a shadow. The placement arithmetic is in plain
// functions below so that it can be checked without painting.
//
// The control has a font object of its own, with a colour (the face colour of
// the text); Qt's widget font is not used. A window sets it like this:
//   scroll->textFont()->setName("Arial");
//   scroll->textFont()->setPixelHeight(21);   // character height in pixels
//   scroll->textFont()->setColor(rgbColor(0, 0, 255));
// or copies another ScrollTextFont in with setTextFont(). Every change of the
// font remeasures the block and repaints.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <vector>

class QPainter;
class QTimer;

namespace kavoda {

enum TTextStyle { tsNormal, tsRaised, tsLowered, tsShaddow };
enum TScrollDirection { sdStatic, sdRightToLeft, sdLeftToRight, sdTopToBottom, sdBottomToTop };
// The centred value comes first, unlike the toolkit's own alignment.
enum TAlignment { taCenter, taLeftJustify, taRightJustify };

// ---- geometry ------------------------------------------------------------

// Round to nearest, halves to even (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
int roundHalfEven(double value);

// Extra room the style copies need: 2 x depth raised or lowered, depth for
// the shadow, none for plain text.
int styleMargin(TTextStyle style, int depth);

// Offset that centres a block in an extent; 0 when the block does not fit.
int centreOffset(int extent, int blockExtent);

// How far a pass has gone: position / steps. A step count below 1 counts as
// 1, so such a pass is a single tick that carries the block straight out.
double scrollFraction(int position, int steps);

struct BlockMetrics {
    int lineHeight = 0;
    int blockWidth = 0;
    int blockHeight = 0;
    int centreX = 0;
    int centreY = 0;
};

// The block's measures from the font's cell height and internal leading and
// the plain text width of each line.
BlockMetrics measureBlock(int cellHeight, int internalLeading, const std::vector<int>& lineWidths,
                          TTextStyle style, int depth, QSize control);

// Top-left corner of the block at fraction f of the pass.
QPoint blockOrigin(TScrollDirection direction, double f, QSize control, const BlockMetrics& block);

// Where a line of the given plain width starts within the block.
int lineOffset(TAlignment alignment, int blockWidth, int textWidth);

// ---- the font object -----------------------------------------------------

class ScrollTextFont : public QObject {
    Q_OBJECT
public:
    explicit ScrollTextFont(QObject* parent = nullptr);

    const QFont& font() const { return m_font; }
    void setFont(const QFont& font); // the colour stays

    QString name() const { return m_font.family(); }
    void setName(const QString& name);
    int size() const { return m_font.pointSize(); } // -1 when set in pixels
    void setSize(int points);
    int pixelHeight() const { return m_font.pixelSize(); } // -1 when set in points
    void setPixelHeight(int pixels);
    TColor color() const { return m_color; }
    void setColor(TColor color);

    // Copies all attributes of another font object; one change notification.
    void assign(const ScrollTextFont& other);

signals:
    void changed();

private:
    QFont m_font;
    TColor m_color = clBlack;
};

// ---- the controls --------------------------------------------------------

class TCustomScrollText : public QWidget {
    Q_OBJECT
    Q_PROPERTY(kavoda::TTextStyle TextStyle READ textStyle WRITE setTextStyle)
    Q_PROPERTY(int Steps READ steps WRITE setSteps)
    Q_PROPERTY(int Speed READ speed WRITE setSpeed)
    Q_PROPERTY(kavoda::TColor Color READ color WRITE setColor)
    Q_PROPERTY(bool Continuous READ continuous WRITE setContinuous)
    Q_PROPERTY(kavoda::ScrollTextFont* Font READ textFont)
public:
    // Starts scrolling at once, right to left, with the single line
    // "ScrollText", 200 x 20 pixels.
    explicit TCustomScrollText(QWidget* parent = nullptr);
    ~TCustomScrollText() override;

    TTextStyle textStyle() const { return m_textStyle; }
    void setTextStyle(TTextStyle style);
    // Made with Steps 80 and Speed 100. A saved form counts 66 and 200 as the
    // defaults it leaves out, so a window that wants 80 and 100 says so.
    int steps() const { return m_steps; }
    void setSteps(int steps); // a running pass uses it from the next tick
    int speed() const { return m_speed; }
    void setSpeed(int ms); // clamped to 1..1000, the timer period
    TColor color() const { return m_color; }
    void setColor(TColor color);
    bool continuous() const { return m_continuous; }
    void setContinuous(bool continuous);
    ScrollTextFont* textFont() const { return m_font; }
    void setTextFont(const ScrollTextFont& font);
    TAlignment alignment() const { return m_alignment; }
    void setAlignment(TAlignment alignment);
    int depth() const { return m_depth; }
    void setDepth(int depth);
    const QStringList& items() const { return m_items; }
    void setItems(const QStringList& items);
    TScrollDirection scrollDirection() const { return m_scrollDirection; }
    void setScrollDirection(TScrollDirection direction);

    // Enables the timer unless it runs; takes `from` as the position when it
    // lies in 0..Steps.
    void StartScrolling(int from);
    // Disables the timer; the position stays.
    void StopScrolling();
    bool isScrolling() const;

    // The current step: 0 at rest, Steps + 1 on the last tick of a pass.
    int position() const { return m_position; }

    // One timer step; does nothing while the timer is disabled.
    void tick();

    // The measures of the last measurement; measure() takes them afresh.
    const BlockMetrics& metrics() const { return m_metrics; }
    void measure();

    // The picture a paint shows, composed off screen (measures first).
    QImage composeFrame();

    QSize sizeHint() const override { return {200, 20}; }

signals:
    void OnBegin(kavoda::TCustomScrollText* sender);
    void OnStep(kavoda::TCustomScrollText* sender);
    void OnEnd(kavoda::TCustomScrollText* sender);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void remeasureAndUpdate();
    void drawLine(QPainter& painter, const QString& text, int x, int y) const;

    TAlignment m_alignment = taCenter;
    TTextStyle m_textStyle = tsNormal;
    TScrollDirection m_scrollDirection = sdRightToLeft;
    QTimer* m_scrollTimer = nullptr;
    QStringList m_items;
    TColor m_color = clBtnFace;
    bool m_continuous = true;
    ScrollTextFont* m_font = nullptr;
    int m_steps = 80;
    int m_speed = 100;
    int m_depth = 1;
    int m_position = 0;
    BlockMetrics m_metrics;
};

class TScrollText : public TCustomScrollText {
    Q_OBJECT
    Q_PROPERTY(kavoda::TAlignment Alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(int Depth READ depth WRITE setDepth)
    Q_PROPERTY(QStringList Items READ items WRITE setItems)
    Q_PROPERTY(kavoda::TScrollDirection ScrollDirection READ scrollDirection WRITE setScrollDirection)
public:
    explicit TScrollText(QWidget* parent = nullptr) : TCustomScrollText(parent) {}
};

} // namespace kavoda
