// SPDX-License-Identifier: MIT
// Progress meter: value model, repaint rules, geometry and rendered pixels.
#include "DTUtil.h"
#include "Feedback.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <vector>

using namespace kavoda;

namespace {

QRgb rgbOf(TColor c)
{
    return toQColor(c).rgb();
}

// A shown meter, so repaint() really runs paintEvent; pending paints from
// showing are flushed before a test counts.
std::unique_ptr<TNeatoMeter> shownMeter()
{
    auto m = std::make_unique<TNeatoMeter>();
    m->show();
    QApplication::processEvents();
    return m;
}

// The main window's meter: 209 x 25, lime on black, white text, 4 bevel rings.
void setUpLikeMainWindow(TNeatoMeter& m)
{
    m.resize(209, 25);
    m.setBackColor(clBlack);
    m.setForeColor(clLime);
    m.setBevelDepth(4);
    m.setUseFontColor(true);
    QPalette pal = m.palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    m.setPalette(pal);
}

// The pixels the text changes: the meter drawn with and without its text.
struct TextPixel {
    int x;
    QRgb rgb;
};
std::vector<TextPixel> textPixels(TNeatoMeter& m)
{
    const QImage withText = m.composeImage();
    m.setShowPercent(false);
    const QImage bare = m.composeImage();
    m.setShowPercent(true);
    std::vector<TextPixel> out;
    for (int y = 0; y < withText.height(); ++y)
        for (int x = 0; x < withText.width(); ++x)
            if (withText.pixel(x, y) != bare.pixel(x, y))
                out.push_back({x, withText.pixel(x, y)});
    return out;
}

} // namespace

// ---- value model --------------------------------------------------------

TEST(MeterValues, StartValues)
{
    TNeatoMeter m;
    EXPECT_EQ(std::make_tuple(m.completed(), m.percent(), m.total()), std::make_tuple(50, 50, 100));
    EXPECT_EQ(m.backColor(), rgbColor(255, 255, 255));
    EXPECT_EQ(m.foreColor(), TColor(16711680));
    EXPECT_TRUE(m.showPercent() && !m.useFontColor() && m.caption().isEmpty());
    EXPECT_EQ(m.bevelDepth(), 1);
    EXPECT_EQ(m.bevelType(), btInset);
    EXPECT_TRUE(m.bitmap().isNull());
    EXPECT_EQ(m.size(), QSize(180, 25));
}

// (Completed, Percent, Total) after each step.
using Values = std::tuple<int, int, int>;
Values values(const TMeterBase& m)
{
    return {m.completed(), m.percent(), m.total()};
}

TEST(MeterValues, SettersKeepTheInvariants)
{
    TNeatoMeter m;
    m.setPercent(150);
    EXPECT_EQ(values(m), Values(100, 100, 100));
    m.setPercent(33);
    EXPECT_EQ(values(m), Values(33, 33, 100));
    m.setCompleted(250);
    EXPECT_EQ(values(m), Values(100, 100, 100));
    m.setCompleted(0);
    EXPECT_EQ(values(m), Values(0, 0, 100));
    m.setCompleted(50);
    m.setTotal(200); // Completed stays, Percent follows
    EXPECT_EQ(values(m), Values(50, 25, 200));
    m.setTotal(0); // stored as 1, Completed clamped to it
    EXPECT_EQ(values(m), Values(1, 100, 1));
}

TEST(MeterValues, PercentSetDirectlyNeedNotMatchCompleted)
{
    TNeatoMeter m;
    m.setTotal(3);
    m.setPercent(50);
    EXPECT_EQ(values(m), Values(1, 50, 3));
    EXPECT_EQ(meter::meterText(m.caption(), m.showPercent(), m.percent()), "50%");
    // The bar comes from Completed: one third of a 99-pixel bar.
    const meter::BarParts parts = meter::splitBar({0, 0, 99, 10}, m.completed(), m.total(),
                                                  mdLeftToRight);
    EXPECT_EQ(parts.filled.width(), 33);
}

TEST(MeterValues, LargeTotalsDoNotOverflow)
{
    TNeatoMeter m;
    m.setTotal(100000000);
    m.setCompleted(50000000);
    EXPECT_EQ(m.percent(), 50);
    m.setTotal(2000000000);
    m.setPercent(50);
    EXPECT_EQ(m.completed(), 1000000000);
    const meter::BarParts parts = meter::splitBar({0, 0, 200, 10}, 1000000000, 2000000000,
                                                  mdLeftToRight);
    EXPECT_EQ(parts.filled.width(), 100);
}

// ---- repaint rules ------------------------------------------------------

TEST(MeterRepaint, PercentRepaintsOnEveryNewValueOnly)
{
    auto m = shownMeter();
    const int base = m->paintCount();
    m->setPercent(50); // the value it already holds
    EXPECT_EQ(m->paintCount(), base);
    m->setPercent(60);
    EXPECT_EQ(m->paintCount(), base + 1);
    m->setPercent(100);
    m->setPercent(150); // clamps to the old 100 and still repaints
    EXPECT_EQ(m->paintCount(), base + 3);
    EXPECT_EQ(m->percent(), 100);
}

TEST(MeterRepaint, CompletedAndTotalRepaintOnlyWhenPercentChanges)
{
    auto m = shownMeter();
    m->setTotal(1000);
    m->setCompleted(500);
    const int base = m->paintCount();
    m->setCompleted(501); // still 50 %
    EXPECT_EQ(m->paintCount(), base);
    m->setCompleted(510);
    EXPECT_EQ(m->paintCount(), base + 1);
    m->setCompleted(0);
    const int zero = m->paintCount();
    m->setTotal(2000); // 0 % either way
    EXPECT_EQ(m->paintCount(), zero);
}

TEST(MeterRepaint, LookSettersRepaintOnceOnAChange)
{
    auto m = shownMeter();
    int expected = m->paintCount();
    auto check = [&](auto set, auto value, auto other) {
        set(value); // equal to what it holds: nothing
        EXPECT_EQ(m->paintCount(), expected);
        set(other);
        EXPECT_EQ(m->paintCount(), ++expected);
    };
    check([&](TColor c) { m->setBackColor(c); }, clWhite, clBlack);
    check([&](TColor c) { m->setForeColor(c); }, rgbColor(0, 0, 255), clRed);
    check([&](TBorderStyle s) { m->setBorderStyle(s); }, bsNone, bsSingle);
    check([&](bool b) { m->setShowPercent(b); }, true, false);
    check([&](int d) { m->setBevelDepth(d); }, 1, 4);
    check([&](TBevelType t) { m->setBevelType(t); }, btInset, btRaised);
    check([&](TBitmapDrawStyle s) { m->setBitmapDrawStyle(s); }, dsStretch, dsTile);
    check([&](TMeterDirection d) { m->setDirection(d); }, mdLeftToRight, mdBottomToTop);
    check([&](bool b) { m->setUseFontColor(b); }, false, true);
    check([&](const QString& s) { m->setCaption(s); }, QString(), QString("Operation completed"));
}

TEST(MeterRepaint, BitmapIsCopiedAndRepaints)
{
    auto m = shownMeter();
    QImage src(4, 4, QImage::Format_RGB32);
    src.fill(Qt::red);
    const int base = m->paintCount();
    m->setBitmap(src);
    EXPECT_EQ(m->paintCount(), base + 1);
    src.fill(Qt::green);
    EXPECT_EQ(m->bitmap().pixel(0, 0), QColor(Qt::red).rgb());
    m->setBitmap(m->bitmap()); // its own picture: nothing to copy
    EXPECT_EQ(m->paintCount(), base + 1);
}

// ---- geometry -----------------------------------------------------------

TEST(MeterGeometry, BevelRingPixelRule)
{
    const meter::BevelRing ring = meter::bevelRing({0, 0, 10, 6});
    // Colour A: the bottom edge with the bottom-left corner; the right edge
    // up to but not including the top-right corner.
    EXPECT_EQ(ring.aBottom, (SpanRect{0, 5, 10, 6}));
    EXPECT_EQ(ring.aRight, (SpanRect{9, 1, 10, 6}));
    // Colour B, drawn over A: the top edge with the top-right corner; the
    // left edge down to but not including the bottom-left corner.
    EXPECT_EQ(ring.bTop, (SpanRect{1, 0, 10, 1}));
    EXPECT_EQ(ring.bLeft, (SpanRect{0, 0, 1, 5}));
}

TEST(MeterGeometry, InnerRectLeavesRoomForBorderAndBevel)
{
    const SpanRect r = meter::innerRect(209, 25, bsSingle, 4, btInset);
    EXPECT_EQ(r, (SpanRect{5, 5, 204, 20})); // 10 narrower and 10 lower
    EXPECT_EQ(meter::innerRect(209, 25, bsNone, 4, btNone), (SpanRect{0, 0, 209, 25}));
    EXPECT_EQ(meter::innerRect(209, 25, bsNone, 0, btInset), (SpanRect{0, 0, 209, 25}));
}

TEST(MeterGeometry, BarSplitPerDirection)
{
    const SpanRect r{5, 5, 105, 45}; // 100 x 40, a quarter done
    const struct {
        TMeterDirection dir;
        SpanRect filled, empty;
    } cases[] = {
        {mdLeftToRight, {5, 5, 30, 45}, {30, 5, 105, 45}},
        {mdRightToLeft, {80, 5, 105, 45}, {5, 5, 80, 45}},
        {mdTopToBottom, {5, 5, 105, 15}, {5, 15, 105, 45}},
        {mdBottomToTop, {5, 35, 105, 45}, {5, 5, 105, 35}},
    };
    for (const auto& c : cases) {
        const meter::BarParts parts = meter::splitBar(r, 1, 4, c.dir);
        EXPECT_EQ(parts.filled, c.filled) << c.dir;
        EXPECT_EQ(parts.empty, c.empty) << c.dir;
    }
    // Negative progress draws an empty bar, never outside r.
    const meter::BarParts parts = meter::splitBar(r, -30, 100, mdLeftToRight);
    EXPECT_TRUE(parts.filled.isEmpty());
    EXPECT_EQ(parts.empty, r);
}

TEST(MeterGeometry, TextAnchorIsCentreAndTop)
{
    EXPECT_EQ(meter::textAnchor(209, 25, 13), QPoint(104, 6));
    EXPECT_EQ(meter::textAnchor(209, 25, 14), QPoint(104, 5));
    EXPECT_EQ(meter::textAnchor(40, 10, 13), QPoint(20, -1)); // truncated toward zero
}

TEST(TileBitmap, CellsCoverTheRectangleRowByRow)
{
    const std::vector<SpanRect> cells = tileCells({10, 20, 50, 40}, 16, 16);
    const std::vector<SpanRect> expected = {
        {10, 20, 26, 36}, {26, 20, 42, 36}, {42, 20, 50, 36}, // 16, 16, 8 wide; 16 high
        {10, 36, 26, 40}, {26, 36, 42, 40}, {42, 36, 50, 40}, // 4 high
    };
    EXPECT_EQ(cells, expected);
}

TEST(TileBitmap, NothingToCopy)
{
    EXPECT_TRUE(tileCells({0, 0, 0, 20}, 16, 16).empty());   // zero width
    EXPECT_TRUE(tileCells({0, 0, 40, 20}, 0, 16).empty());   // empty picture
    EXPECT_TRUE(tileCells({30, 0, 10, 20}, 16, 16).empty()); // negative width
    EXPECT_EQ(tileCells({0, 0, 16, 16}, 16, 16).size(), 1u); // exact fit: one cell
}

TEST(TileBitmap, CopiesPixelsUnscaledIntoTheCells)
{
    QImage bmp(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            bmp.setPixel(x, y, qRgb(x * 16, y * 16, 7));
    QImage dst(60, 30, QImage::Format_RGB32);
    dst.fill(Qt::black);
    {
        QPainter p(&dst);
        TileBitmap(p, bmp, {10, 5, 50, 25});
        TileBitmap(p, QImage(), {0, 0, 60, 30}); // an empty picture draws nothing
    }
    EXPECT_EQ(dst.pixel(10, 5), bmp.pixel(0, 0));
    EXPECT_EQ(dst.pixel(49, 24), bmp.pixel(7, 3));   // last column and row, cut short
    EXPECT_EQ(dst.pixel(27, 21), bmp.pixel(1, 0));   // second row starts at the top again
    EXPECT_EQ(dst.pixel(50, 24), qRgb(0, 0, 0));     // right of the rectangle
    EXPECT_EQ(dst.pixel(49, 25), qRgb(0, 0, 0));     // below it
    EXPECT_EQ(dst.pixel(9, 5), qRgb(0, 0, 0));
}

// ---- rendered pixels ----------------------------------------------------

TEST(MeterPixels, BorderAndInsetBevelRings)
{
    ASSERT_NE(rgbOf(clBtnHighlight), rgbOf(clBtnShadow));
    TNeatoMeter m;
    setUpLikeMainWindow(m);
    m.setBorderStyle(bsSingle);
    m.setShowPercent(false);
    m.setPercent(0);
    const QImage img = m.composeImage();
    const QRgb frame = rgbOf(clWindowFrame), light = rgbOf(clBtnHighlight),
               dark = rgbOf(clBtnShadow);
    EXPECT_EQ(img.pixel(0, 0), frame);
    EXPECT_EQ(img.pixel(208, 24), frame);
    for (int k = 1; k <= 4; ++k) {
        const int l = k, t = k, r = 208 - k, b = 24 - k; // inclusive ring edges
        EXPECT_EQ(img.pixel(100, b), light) << "ring " << k;
        EXPECT_EQ(img.pixel(l, b), light) << "bottom-left, ring " << k;
        EXPECT_EQ(img.pixel(r, b), light) << "bottom-right, ring " << k;
        EXPECT_EQ(img.pixel(r, 12), light) << "ring " << k;
        EXPECT_EQ(img.pixel(r, t), dark) << "top-right, ring " << k;
        EXPECT_EQ(img.pixel(100, t), dark) << "ring " << k;
        EXPECT_EQ(img.pixel(l, t), dark) << "top-left, ring " << k;
        EXPECT_EQ(img.pixel(l, 12), dark) << "ring " << k;
    }
    // The bar takes exactly the inner rectangle (5, 5)-(204, 20).
    EXPECT_EQ(img.pixel(5, 5), rgbOf(clBlack));
    EXPECT_EQ(img.pixel(203, 19), rgbOf(clBlack));
}

TEST(MeterPixels, RaisedBevelSwapsTheColours)
{
    TNeatoMeter m;
    m.setBevelType(btRaised);
    const QImage img = m.composeImage();
    EXPECT_EQ(img.pixel(50, 0), rgbOf(clBtnHighlight));
    EXPECT_EQ(img.pixel(0, 10), rgbOf(clBtnHighlight));
    EXPECT_EQ(img.pixel(50, 24), rgbOf(clBtnShadow));
    EXPECT_EQ(img.pixel(179, 10), rgbOf(clBtnShadow));
}

TEST(MeterPixels, BarLengthAtThirtyThreePercent)
{
    TNeatoMeter m;
    m.resize(209, 25);
    m.setShowPercent(false);
    m.setPercent(33);
    const QImage img = m.composeImage();
    const int filled = (208 - 1) * 33 / 100; // inner rectangle 1..208
    for (int x = 1; x < 1 + filled; ++x)
        ASSERT_EQ(img.pixel(x, 12), rgbOf(m.foreColor())) << x;
    for (int x = 1 + filled; x < 208; ++x)
        ASSERT_EQ(img.pixel(x, 12), rgbOf(m.backColor())) << x;
}

TEST(MeterPixels, BottomToTopQuarterFillsTheBottomSixRows)
{
    TNeatoMeter m;
    m.resize(30, 27); // inner rectangle 25 rows high
    m.setShowPercent(false);
    m.setDirection(mdBottomToTop);
    m.setTotal(4);
    m.setCompleted(1);
    const QImage img = m.composeImage();
    for (int y = 1; y < 26; ++y)
        EXPECT_EQ(img.pixel(15, y), rgbOf(y >= 20 ? m.foreColor() : m.backColor())) << y;
}

TEST(MeterPixels, TextChangesColourWhereTheBarEdgeCrossesIt)
{
    TNeatoMeter m; // blue on white, 50 %
    m.resize(200, 25);
    const int edge = 1 + (198 * 50 / 100);
    int left = 0, right = 0;
    for (const TextPixel& p : textPixels(m)) {
        EXPECT_EQ(p.rgb, p.x < edge ? rgbOf(clWhite) : rgbOf(rgbColor(0, 0, 255))) << p.x;
        ++(p.x < edge ? left : right);
    }
    EXPECT_GT(left, 10);
    EXPECT_GT(right, 10);

    m.setUseFontColor(true); // now the font colour throughout
    QPalette pal = m.palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    m.setPalette(pal);
    const std::vector<TextPixel> red = textPixels(m);
    EXPECT_GT(red.size(), 20u);
    for (const TextPixel& p : red)
        EXPECT_EQ(p.rgb, qRgb(255, 0, 0)) << p.x;
}

TEST(MeterPixels, CaptionReplacesThePercentageUntilCleared)
{
    TNeatoMeter m;
    const QImage percentShown = m.composeImage();
    m.setShowPercent(false);
    const QImage noText = m.composeImage();
    m.setShowPercent(true);
    m.setCaption("Operation completed");
    const QImage captionShown = m.composeImage();
    EXPECT_NE(captionShown, percentShown);
    EXPECT_NE(captionShown, noText);
    m.setShowPercent(false); // the caption shows without ShowPercent too
    EXPECT_EQ(m.composeImage(), captionShown);
    m.setShowPercent(true);
    m.setCaption(QString());
    EXPECT_EQ(m.composeImage(), percentShown);
}

TEST(MeterPixels, ScreenShowsTheComposedPicture)
{
    TNeatoMeter m;
    setUpLikeMainWindow(m);
    m.setPercent(42);
    EXPECT_EQ(m.grab().toImage().convertToFormat(QImage::Format_RGB32), m.composeImage());
}

namespace {

QImage pattern4x4()
{
    QImage bmp(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            bmp.setPixel(x, y, ((x + y) % 2) ? qRgb(200, 40, 10) : qRgb(20, 90, 250));
    return bmp;
}

} // namespace

TEST(MeterPixels, TileInvertInvertsOnlyTheEmptyPart)
{
    TNeatoMeter m;
    m.resize(42, 12); // inner rectangle 1..41 x 1..11, bar edge at 1 + 20
    m.setShowPercent(false);
    m.setBitmap(pattern4x4());
    m.setBitmapDrawStyle(dsTileInvert);
    const QImage img = m.composeImage();
    const QImage bmp = pattern4x4();
    for (int y = 1; y < 11; ++y)
        for (int x = 1; x < 41; ++x) {
            const QRgb tile = bmp.pixel((x - 1) % 4, (y - 1) % 4);
            const QRgb want = x < 21 ? tile : qRgb(255 - qRed(tile), 255 - qGreen(tile),
                                                   255 - qBlue(tile));
            ASSERT_EQ(img.pixel(x, y), want) << x << "," << y;
        }
}

TEST(MeterPixels, TileAndStretchLeaveTheEmptyPartInBackColor)
{
    TNeatoMeter m;
    m.resize(42, 12);
    m.setShowPercent(false);
    m.setBackColor(clSilver);
    m.setBitmap(pattern4x4());
    m.setBitmapDrawStyle(dsTile);
    QImage img = m.composeImage();
    EXPECT_EQ(img.pixel(5, 1), pattern4x4().pixel(0, 0));
    EXPECT_EQ(img.pixel(30, 5), rgbOf(clSilver));

    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(255, 0, 0));
    two.setPixel(1, 0, qRgb(0, 255, 0));
    m.setBitmap(two);
    m.setBitmapDrawStyle(dsStretch);
    img = m.composeImage();
    EXPECT_EQ(img.pixel(1, 5), qRgb(255, 0, 0));  // filled part 1..21: red half
    EXPECT_EQ(img.pixel(20, 5), qRgb(0, 255, 0)); // then green
    EXPECT_EQ(img.pixel(21, 5), rgbOf(clSilver));
}
