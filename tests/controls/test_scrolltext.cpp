// SPDX-License-Identifier: MIT
// Tests of the scrolling text: placement arithmetic, the step and event
// sequence driven tick by tick, the property rules, and rendered pixels.
#include "ScrollText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace kavoda;

namespace {

struct EventLog {
    int begins = 0;
    int steps = 0;
    int ends = 0;
    int positionAtEnd = -1;
    void watch(TCustomScrollText& s)
    {
        QObject::connect(&s, &TCustomScrollText::OnBegin, [this](TCustomScrollText*) { ++begins; });
        QObject::connect(&s, &TCustomScrollText::OnStep, [this](TCustomScrollText*) { ++steps; });
        QObject::connect(&s, &TCustomScrollText::OnEnd, [this](TCustomScrollText* sender) {
            ++ends;
            positionAtEnd = sender->position();
        });
    }
};

// Ticks until the roll stops, at most `limit` times; returns the tick count.
int runPass(TCustomScrollText& s, int limit = 10000)
{
    int ticks = 0;
    while (s.isScrolling() && ticks < limit) {
        s.tick();
        ++ticks;
    }
    return ticks;
}

} // namespace

TEST(ScrollTextGeometry, RoundsHalvesToEven)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(2.5000001), 3);
    EXPECT_EQ(roundHalfEven(-2.6), -3);
    // The centred line offset: (BlockWidth - w) / 2 with the half to even.
    EXPECT_EQ(lineOffset(taCenter, 10, 5), 2);
    EXPECT_EQ(lineOffset(taCenter, 11, 4), 4);
    EXPECT_EQ(lineOffset(taCenter, 12, 4), 4);
    EXPECT_EQ(lineOffset(taRightJustify, 12, 4), 8);
    EXPECT_EQ(lineOffset(taLeftJustify, 12, 4), 0);
}

TEST(ScrollTextGeometry, MeasuresAddInternalLeadingAndStyleMargin)
{
    const QSize control(200, 113);
    BlockMetrics m = measureBlock(24, 3, {50, 80}, tsNormal, 1, control);
    EXPECT_EQ(m.lineHeight, 27);
    EXPECT_EQ(m.blockWidth, 80);
    EXPECT_EQ(m.blockHeight, 54);
    EXPECT_EQ(m.centreX, 60);
    EXPECT_EQ(m.centreY, 29);

    m = measureBlock(24, 3, {50, 80}, tsRaised, 1, control);
    EXPECT_EQ(m.lineHeight, 29);
    EXPECT_EQ(m.blockWidth, 82);
    EXPECT_EQ(m.blockHeight, 58);
    EXPECT_EQ(m.centreX, 59);
    EXPECT_EQ(m.centreY, 27);

    EXPECT_EQ(measureBlock(24, 3, {80}, tsLowered, 3, control).lineHeight, 33);
    EXPECT_EQ(measureBlock(24, 3, {80}, tsShaddow, 3, control).lineHeight, 30);
    EXPECT_EQ(measureBlock(24, 3, {80}, tsShaddow, 3, control).blockWidth, 83);

    m = measureBlock(24, 3, {}, tsRaised, 1, control);
    EXPECT_EQ(m.blockWidth, 0);
    EXPECT_EQ(m.blockHeight, 0);
}

TEST(ScrollTextGeometry, CentreIsZeroWhenTheBlockDoesNotFit)
{
    const BlockMetrics tall = measureBlock(24, 3, {10, 10, 10, 10, 10, 10}, tsRaised, 1, {200, 113});
    EXPECT_EQ(tall.blockHeight, 174);
    EXPECT_EQ(tall.centreY, 0);
    const BlockMetrics wide = measureBlock(24, 3, {250}, tsNormal, 1, {200, 113});
    EXPECT_EQ(wide.centreX, 0);
    EXPECT_EQ(centreOffset(200, 200), 0);
    EXPECT_EQ(centreOffset(201, 100), 50);
    // Static and vertical placement start a too-wide line at the left edge.
    EXPECT_EQ(blockOrigin(sdStatic, 0.3, {200, 113}, wide).x(), 0);
    EXPECT_EQ(blockOrigin(sdTopToBottom, 0.3, {200, 113}, wide).x(), 0);
}

TEST(ScrollTextGeometry, BlockEntersAndLeavesThroughOppositeEdges)
{
    BlockMetrics b;
    b.blockWidth = 75;
    b.blockHeight = 174;
    b.centreX = 62;
    b.centreY = 0;
    const QSize c(200, 113);
    EXPECT_EQ(blockOrigin(sdBottomToTop, 0.0, c, b), QPoint(62, 113));
    EXPECT_EQ(blockOrigin(sdBottomToTop, 1.0, c, b), QPoint(62, -174));
    EXPECT_EQ(blockOrigin(sdTopToBottom, 0.0, c, b), QPoint(62, -174));
    EXPECT_EQ(blockOrigin(sdTopToBottom, 1.0, c, b), QPoint(62, 113));
    EXPECT_EQ(blockOrigin(sdRightToLeft, 0.0, c, b), QPoint(200, 0));
    EXPECT_EQ(blockOrigin(sdRightToLeft, 1.0, c, b), QPoint(-75, 0));
    EXPECT_EQ(blockOrigin(sdLeftToRight, 0.0, c, b), QPoint(-75, 0));
    EXPECT_EQ(blockOrigin(sdStatic, 0.7, c, b), QPoint(62, 0));
    // First step of 80: (1 - 1/80) * 287 = 283.4125 -> 283.
    EXPECT_EQ(blockOrigin(sdBottomToTop, scrollFraction(1, 80), c, b).y(), 283 - 174);
    // Halves go to even: 0.5 * (1 + 4) = 2.5 -> 2; 0.5 * (3 + 4) = 3.5 -> 4.
    BlockMetrics n;
    n.blockWidth = 1;
    EXPECT_EQ(blockOrigin(sdLeftToRight, 0.5, {4, 10}, n).x(), 1);
    n.blockWidth = 3;
    EXPECT_EQ(blockOrigin(sdLeftToRight, 0.5, {4, 10}, n).x(), 1);
    EXPECT_EQ(blockOrigin(sdRightToLeft, 0.5, {4, 10}, n).x(), 1);
}

TEST(ScrollText, ConstructionStartsAtOnceWithTheDefaults)
{
    TScrollText s;
    EXPECT_TRUE(s.isScrolling());
    EXPECT_EQ(s.position(), 0);
    EXPECT_EQ(s.size(), QSize(200, 20));
    EXPECT_EQ(s.items(), QStringList{QStringLiteral("ScrollText")});
    EXPECT_EQ(s.findChild<QTimer*>()->interval(), 100);
    EXPECT_EQ(s.property("Steps").toInt(), 80);
    EXPECT_EQ(s.textFont()->name(), QStringLiteral("Arial"));
}

TEST(ScrollText, APassFromRestFiresEachEventAsCounted)
{
    // Steps of 0 or less would divide by zero; such a pass is a single tick.
    for (const auto& [steps, ticks] : {std::pair{80, 81}, std::pair{0, 1}, std::pair{-5, 1}}) {
        SCOPED_TRACE(steps);
        TScrollText s;
        s.setContinuous(false);
        s.setSteps(steps);
        EventLog log;
        log.watch(s);
        EXPECT_EQ(runPass(s), ticks);
        EXPECT_EQ(log.begins, 1);
        EXPECT_EQ(log.steps, ticks);
        EXPECT_EQ(log.ends, 1);
        EXPECT_EQ(log.positionAtEnd, ticks);
        EXPECT_EQ(s.position(), 0);
        EXPECT_FALSE(s.isScrolling());
        // At rest a tick does nothing.
        s.tick();
        EXPECT_EQ(log.steps, ticks);
        EXPECT_EQ(s.position(), 0);
    }
    // The last tick of such a pass paints the block just gone (f = 1).
    EXPECT_DOUBLE_EQ(scrollFraction(1, 0), 1.0);
    EXPECT_DOUBLE_EQ(scrollFraction(1, -5), 1.0);
}

TEST(ScrollText, ContinuousRollStartsAnotherPassWithOnBegin)
{
    TScrollText s;
    s.setSteps(3);
    EventLog log;
    log.watch(s);
    for (int i = 0; i < 4; ++i)
        s.tick();
    EXPECT_EQ(log.ends, 1);
    EXPECT_TRUE(s.isScrolling());
    EXPECT_EQ(s.position(), 0);
    s.tick();
    EXPECT_EQ(log.begins, 2);
    EXPECT_EQ(s.position(), 1);
}

TEST(ScrollText, StaticStopsKeepingPositionAndResumesWithoutOnBegin)
{
    TScrollText s;
    s.setContinuous(false);
    s.setScrollDirection(sdBottomToTop);
    EventLog log;
    log.watch(s);
    for (int i = 0; i < 10; ++i)
        s.tick();
    s.setScrollDirection(sdStatic);
    EXPECT_FALSE(s.isScrolling());
    EXPECT_EQ(s.position(), 10);
    s.tick();
    EXPECT_EQ(s.position(), 10);
    // Continuous does not start a static roll.
    s.setContinuous(true);
    EXPECT_FALSE(s.isScrolling());

    s.setScrollDirection(sdBottomToTop);
    EXPECT_TRUE(s.isScrolling());
    s.tick();
    EXPECT_EQ(s.position(), 11);
    EXPECT_EQ(log.begins, 1);
}

TEST(ScrollText, SameDirectionOrContinuousRestartsAStoppedRoll)
{
    TScrollText s;
    s.setContinuous(false);
    runPass(s);
    ASSERT_FALSE(s.isScrolling());
    s.setScrollDirection(sdRightToLeft);
    EXPECT_TRUE(s.isScrolling());

    runPass(s);
    ASSERT_FALSE(s.isScrolling());
    s.setContinuous(true);
    EXPECT_TRUE(s.isScrolling());
    // Starting while scrolling keeps the pass where it is.
    s.tick();
    s.tick();
    s.StartScrolling(0);
    EXPECT_EQ(s.position(), 2);
}

TEST(ScrollText, StartScrollingTakesOnlyPositionsWithinTheSteps)
{
    TScrollText s;
    s.StopScrolling();
    s.StartScrolling(90);
    EXPECT_EQ(s.position(), 0);
    s.StopScrolling();
    s.StartScrolling(80);
    EXPECT_EQ(s.position(), 80);
    s.setContinuous(false); // running already: stays where it is
    EventLog log;
    log.watch(s);
    s.tick(); // 80 -> 81 ends the pass without a beginning
    EXPECT_EQ(log.begins, 0);
    EXPECT_EQ(log.steps, 1);
    EXPECT_EQ(log.ends, 1);
    EXPECT_FALSE(s.isScrolling());
}

TEST(ScrollText, SpeedIsClampedAndSetsThePeriod)
{
    TScrollText s;
    const QTimer* timer = s.findChild<QTimer*>();
    s.setSpeed(5000);
    EXPECT_EQ(s.speed(), 1000);
    EXPECT_EQ(timer->interval(), 1000);
    s.setSpeed(0);
    EXPECT_EQ(s.speed(), 1);
    s.setSpeed(-20);
    EXPECT_EQ(s.speed(), 1);
    EXPECT_EQ(timer->interval(), 1);
    s.setSpeed(250);
    EXPECT_EQ(timer->interval(), 250);
    EXPECT_TRUE(s.isScrolling());
}

TEST(ScrollText, EmptyItemsPaintOnlyBackgroundAndStillStep)
{
    TScrollText s;
    s.setContinuous(false);
    s.setColor(rgbColor(10, 20, 30));
    s.setItems({});
    s.setScrollDirection(sdStatic);
    const QImage img = s.composeFrame();
    ASSERT_FALSE(img.isNull());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_EQ(img.pixelColor(x, y), QColor(10, 20, 30)) << x << "," << y;
    s.setScrollDirection(sdTopToBottom);
    EventLog log;
    log.watch(s);
    EXPECT_EQ(runPass(s), 81);
    EXPECT_EQ(log.steps, 81);
}

TEST(ScrollText, HandlerMayDeleteTheControlAtTheEnd)
{
    auto* s = new TScrollText;
    s->setSteps(1);
    QObject::connect(s, &TCustomScrollText::OnEnd, [](TCustomScrollText* sender) { delete sender; });
    QPointer<TScrollText> watch(s);
    s->tick();
    s->tick();
    EXPECT_TRUE(watch.isNull());
}

TEST(ScrollText, FontChangesRemeasureAtOnce)
{
    TScrollText s;
    s.textFont()->setName(QStringLiteral("DejaVu Sans"));
    s.textFont()->setPixelHeight(10);
    const int small = s.metrics().lineHeight;
    s.textFont()->setPixelHeight(30);
    EXPECT_GT(s.metrics().lineHeight, small + 15);
    ScrollTextFont other;
    other.setPixelHeight(10);
    other.setName(QStringLiteral("DejaVu Sans"));
    other.setColor(clRed);
    s.setTextFont(other);
    EXPECT_EQ(s.metrics().lineHeight, small);
    EXPECT_EQ(s.textFont()->color(), clRed);
    EXPECT_NE(s.textFont(), &other);
}

TEST(ScrollText, LineHeightAddsTheInternalLeadingToTheCell)
{
    // A 21 px character height leaves the rest of the cell as internal
    // leading, and that leading is added once more below the cell.
    TScrollText s;
    s.textFont()->setPixelHeight(21);
    const QFontMetrics fm(s.textFont()->font());
    const int cell = fm.ascent() + fm.descent();
    ASSERT_GT(cell, 21);
    EXPECT_EQ(s.metrics().lineHeight, cell + (cell - 21));
    s.setTextStyle(tsRaised);
    EXPECT_EQ(s.metrics().lineHeight, 2 * cell - 21 + 2);
}

// Pixel tests: no antialiasing, so a glyph drawn at another whole-pixel
// position is the same set of pixels moved.
class ScrollTextPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        QPalette pal = saved;
        pal.setColor(QPalette::Light, QColor(255, 255, 255));
        pal.setColor(QPalette::Dark, QColor(128, 128, 128));
        QApplication::setPalette(pal);
    }
    void TearDown() override { QApplication::setPalette(saved); }

    static void setUpControl(TScrollText& s, TTextStyle style, const QStringList& lines)
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(20);
        f.setStyleStrategy(QFont::NoAntialias);
        s.textFont()->setFont(f);
        s.textFont()->setColor(clBlue);
        s.setColor(clBlack);
        s.setAlignment(taLeftJustify);
        s.resize(120, 90);
        s.setItems(lines);
        s.setTextStyle(style);
        s.setScrollDirection(sdStatic);
    }

    static std::set<std::pair<int, int>> pixelsOf(const QImage& img, const QColor& c)
    {
        std::set<std::pair<int, int>> out;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == c)
                    out.insert({x, y});
        return out;
    }

    static int topRowOf(const QImage& img, const QColor& c, int fromY)
    {
        for (int y = fromY; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == c)
                    return y;
        return -1;
    }

    QPalette saved;
};

TEST_F(ScrollTextPixels, RaisedShowsLightUpLeftAndDarkDownRight)
{
    const QColor face(0, 0, 255), light(255, 255, 255), dark(128, 128, 128), bg(0, 0, 0);
    ASSERT_EQ(toQColor(clBtnHighlight), light);
    ASSERT_EQ(toQColor(clBtnShadow), dark);

    TScrollText plain;
    setUpControl(plain, tsNormal, {QStringLiteral("HkQ")});
    const QImage ref = plain.composeFrame();
    const auto glyph = pixelsOf(ref, face);
    ASSERT_GT(glyph.size(), 40u);
    const BlockMetrics m0 = plain.metrics();

    TScrollText raised;
    setUpControl(raised, tsRaised, {QStringLiteral("HkQ")});
    const QImage img = raised.composeFrame();
    const BlockMetrics m1 = raised.metrics();
    EXPECT_EQ(m1.lineHeight, m0.lineHeight + 2);
    EXPECT_EQ(m1.blockWidth, m0.blockWidth + 2);

    // The face sits where the centring of the wider, taller block puts it.
    const int dx = m1.centreX - m0.centreX;
    const int dy = m1.centreY - m0.centreY;
    const auto has = [&](int x, int y) { return glyph.count({x - dx, y - dy}) > 0; };
    int checked = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QColor want = bg;
            if (has(x, y))
                want = face;
            else if (has(x - 1, y - 1))
                want = dark;
            else if (has(x + 1, y + 1))
                want = light;
            ASSERT_EQ(img.pixelColor(x, y), want) << x << "," << y;
            ++checked;
        }
    EXPECT_EQ(checked, 120 * 90);
    // The painted widget shows the same picture.
    EXPECT_EQ(raised.grab().toImage().convertToFormat(QImage::Format_RGB32), img);
}

TEST_F(ScrollTextPixels, LoweredAndShadowCopiesSitWhereTheStyleSays)
{
    const QColor face(0, 0, 255), light(255, 255, 255), dark(128, 128, 128);
    TScrollText plain;
    setUpControl(plain, tsNormal, {QStringLiteral("H")});
    const auto glyph = pixelsOf(plain.composeFrame(), face);
    const BlockMetrics m0 = plain.metrics();

    for (TTextStyle style : {tsLowered, tsShaddow}) {
        TScrollText s;
        setUpControl(s, style, {QStringLiteral("H")});
        const QImage img = s.composeFrame();
        const int dx = s.metrics().centreX - m0.centreX;
        const int dy = s.metrics().centreY - m0.centreY;
        // Pixels ordered by (x, y): the first and last are on the glyph's
        // left and right edges, where the copies peek out.
        const auto [lx, ly] = *glyph.begin();
        const auto [rx, ry] = *glyph.rbegin();
        EXPECT_EQ(img.pixelColor(lx + dx, ly + dy), face);
        EXPECT_EQ(img.pixelColor(rx + dx, ry + dy), face);
        if (style == tsLowered) {
            EXPECT_EQ(img.pixelColor(lx + dx - 1, ly + dy - 1), dark);
            EXPECT_EQ(img.pixelColor(rx + dx + 1, ry + dy + 1), light);
            EXPECT_EQ(s.metrics().lineHeight, m0.lineHeight + 2);
        } else {
            EXPECT_EQ(img.pixelColor(lx + dx - 1, ly + dy - 1), QColor(0, 0, 0));
            EXPECT_EQ(img.pixelColor(rx + dx + 1, ry + dy + 1), dark);
            EXPECT_TRUE(pixelsOf(img, light).empty());
            EXPECT_EQ(s.metrics().lineHeight, m0.lineHeight + 1);
        }
    }
}

TEST_F(ScrollTextPixels, RaisedLinesAreTwoPixelsFurtherApart)
{
    const QColor face(0, 0, 255);
    const QStringList lines{QStringLiteral("H"), QStringLiteral("H")};
    TScrollText plain;
    setUpControl(plain, tsNormal, lines);
    const QImage a = plain.composeFrame();
    const int a1 = topRowOf(a, face, 0);
    const int a2 = topRowOf(a, face, a1 + plain.metrics().lineHeight - 2);

    TScrollText raised;
    setUpControl(raised, tsRaised, lines);
    const QImage b = raised.composeFrame();
    const int b1 = topRowOf(b, face, 0);
    const int b2 = topRowOf(b, face, b1 + raised.metrics().lineHeight - 2);

    ASSERT_GT(a1, 0);
    ASSERT_GT(b1, 0);
    EXPECT_EQ(b2 - b1, (a2 - a1) + 2);
}
