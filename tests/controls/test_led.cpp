// SPDX-License-Identifier: MIT
// TALed: the templates against their pixel maps, the lens recolouring as it
// reaches the screen, and the setters' effect on the image shown and the
// blink timer. Timers are driven by calling the tick or by handing the timer
// its own timer event; nothing waits.
#include "ALed.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace kavoda;

namespace {

QRgb letterColor(char c)
{
    switch (c) {
    case 'K': return qRgb(0, 0, 0);
    case 'M': return qRgb(128, 0, 0);
    case 'S': return qRgb(192, 192, 192);
    case 'G': return qRgb(128, 128, 128);
    case 'L': return qRgb(0, 255, 0);
    case 'W': return qRgb(255, 255, 255);
    }
    ADD_FAILURE() << "unknown letter " << c;
    return 0;
}

const std::vector<const char*> kRoundSmall = {
    "SSSSSMMKKKSSSSS", "SSSMKKKKKKKKSSS", "SSMMKLLLLLKMKSS", "SMMKLLSSLLLKMKS",
    "SKKLWWLLLLLLKKS", "MKLLWLLLLLLLLKK", "MKLSLLLLLLLLLKK", "KKLSLLLLLLLLLKK",
    "KKLLLLLLLLLGLKK", "KKLLLLLLLLGLLKK", "SKKLLLLLLGLLKKS", "SKMKLLLLLLLKMKS",
    "SSKMKLLLLLKMKSS", "SSSKKKKKKKKMSSS", "SSSSSKKKKKSSSSS",
};

const std::vector<const char*> kRoundLarge = {
    "WWWWWWWWWWWWWWWWWWWWWW", "WSSSSSSSKKKKKKSSSSSSSG", "WSSSSSKKWWWWWWKKSSSSSG",
    "WSSSKKWWKKKKKKSSKKSSSG", "WSSKWWKKLLLLLLKKSSKSSG", "WSSKWKLLLLLLLLLLKSKSSG",
    "WSKWKLLLWWLLLLLLLKSKSG", "WSKWKLLWWLLLLLLLLKSKSG", "WKWKLLWWLLLLLLLLLLKGKG",
    "WKWKLLWLLLLLLLLLLLKGKG", "WKWKLLLLLLLLLLLLLLKGKG", "WKWKLWWLLLLLLLLLLLKGKG",
    "WKWKLWWLLLLLLLLLLLKGKG", "WKWKLLLLLLLLLLLLLLKGKG", "WSKSKLLLLLLLLLLLLKGKSG",
    "WSKSKLLLLLLLLLLLLKGKSG", "WSSKSKLLLLLLLLLLKGKSSG", "WSSKSSKKLLLLLLKKGGKSSG",
    "WSSSKKSSKKKKKKGGKKSSSG", "WSSSSSKKGGGGGGKKSSSSSG", "WSSSSSSSKKKKKKSSSSSSSG",
    "GGGGGGGGGGGGGGGGGGGGGG",
};

using Pixels = std::set<std::pair<int, int>>;

// A rectangular template from its description: four one-pixel rings (white /
// grey, black, silver / grey, black) around a key-colour lens with a white
// highlight.
std::vector<std::string> framedMap(int w, int h, const Pixels& highlight, bool greyCorner)
{
    std::vector<std::string> rows(h, std::string(w, 'L'));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int ring = std::min(std::min(x, y), std::min(w - 1 - x, h - 1 - y));
            const bool topOrLeft = x == ring || y == ring;
            char c = 'L';
            if (ring == 1 || ring == 3)
                c = 'K';
            else if (ring == 0)
                c = topOrLeft ? 'W' : 'G';
            else if (ring == 2)
                c = topOrLeft ? 'S' : 'G';
            else if (highlight.count({x, y}))
                c = 'W';
            rows[y][x] = c;
        }
    }
    if (greyCorner)
        rows[h - 3][2] = 'G';
    return rows;
}

struct TemplateCase {
    TLEDStyle style;
    int width, height;
    std::vector<std::string> map;
};

std::vector<TemplateCase> templateCases()
{
    auto rows = [](const std::vector<const char*>& m) {
        return std::vector<std::string>(m.begin(), m.end());
    };
    return {
        {LEDSmall, 15, 15, rows(kRoundSmall)},
        {LEDLarge, 22, 22, rows(kRoundLarge)},
        {LEDSqSmall, 16, 16,
         framedMap(16, 16, {{6, 5}, {7, 5}, {8, 5}, {5, 6}, {6, 6}, {5, 7}}, false)},
        {LEDSqLarge, 22, 22,
         framedMap(22, 22, {{8, 6}, {9, 6}, {7, 7}, {8, 7}, {6, 8}, {7, 8}, {6, 9}}, false)},
        {LEDVertical, 14, 22,
         framedMap(14, 22, {{6, 5}, {7, 5}, {5, 6}, {6, 6}, {5, 7}, {5, 8}}, false)},
        {LEDHorizontal, 22, 14,
         framedMap(22, 14, {{6, 5}, {7, 5}, {8, 5}, {5, 6}, {6, 6}, {5, 7}}, true)},
    };
}

QImage rendered(TALed& led)
{
    return led.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QPointer<QTimer> timerOf(const TALed& led)
{
    return const_cast<QTimer*>(led.blinkTimer());
}

// Hands the timer its own timer event, as the event loop would when it expires.
void expire(const TALed& led)
{
    QTimer* timer = const_cast<QTimer*>(led.blinkTimer());
    ASSERT_NE(timer, nullptr);
    QTimerEvent e(timer->timerId());
    QCoreApplication::sendEvent(timer, &e);
}

} // namespace

// Each template against its map, as the screen shows it lit and unlit: the
// lens in the lit or unlit colour, every other pixel as the map has it. A lens
// pixel off the key colour or cut off from the centre, or a key-colour pixel
// outside the lens, shows up as a mismatch.
TEST(LedTemplates, MatchTheirMapsAndOnlyTheLensIsRecoloured)
{
    for (const TemplateCase& t : templateCases()) {
        SCOPED_TRACE(ledTemplateResource(t.style).toStdString());
        ASSERT_EQ(int(t.map.size()), t.height);
        EXPECT_EQ(ledNaturalSize(t.style), QSize(t.width, t.height));
        const QImage image = loadLedTemplate(t.style);
        ASSERT_EQ(image.size(), QSize(t.width, t.height));
        EXPECT_EQ(image.pixel(t.width / 2, t.height / 2), kLedKeyColor);

        TALed led;
        led.setLEDStyle(t.style);
        led.setTrueColor(rgbColor(255, 0, 0));
        led.setFalseColor(rgbColor(128, 0, 64));
        const QImage unlitShot = rendered(led);
        led.setValue(true);
        const QImage litShot = rendered(led);
        ASSERT_EQ(litShot.size(), QSize(t.width, t.height));
        ASSERT_EQ(unlitShot.size(), QSize(t.width, t.height));
        for (int y = 0; y < t.height; ++y) {
            ASSERT_EQ(int(t.map[y].size()), t.width);
            for (int x = 0; x < t.width; ++x) {
                const char c = t.map[y][x];
                const QRgb frame = letterColor(c);
                EXPECT_EQ(litShot.pixel(x, y), c == 'L' ? qRgb(255, 0, 0) : frame) << x << "," << y;
                EXPECT_EQ(unlitShot.pixel(x, y), c == 'L' ? qRgb(128, 0, 64) : frame) << x << "," << y;
            }
        }
    }
}

TEST(LedFloodFill, FillsOnlyTheFourConnectedRegionOfTheKeyColour)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(kLedKeyColor);
    const QRgb wall = qRgb(0, 0, 0);
    // Key pixels: (0,0) (0,1) (0,2) (1,2) connected; (2,1) touches (1,2) only
    // diagonally; (3,0) and (3,2) stand alone.
    image.setPixel(1, 0, wall);
    image.setPixel(1, 1, wall);
    image.setPixel(2, 0, wall);
    image.setPixel(3, 1, wall);
    image.setPixel(2, 2, wall);

    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(floodFillSurface(image, {0, 0}, kLedKeyColor, red), 4);
    EXPECT_EQ(image.pixel(0, 0), red);
    EXPECT_EQ(image.pixel(0, 2), red);
    EXPECT_EQ(image.pixel(1, 2), red);
    EXPECT_EQ(image.pixel(2, 1), kLedKeyColor);
    EXPECT_EQ(image.pixel(3, 0), kLedKeyColor);
    EXPECT_EQ(image.pixel(3, 2), kLedKeyColor);

    // Off the key colour, outside the image, or the key colour itself: no change.
    EXPECT_EQ(floodFillSurface(image, {1, 0}, kLedKeyColor, red), 0);
    EXPECT_EQ(floodFillSurface(image, {4, 0}, kLedKeyColor, red), 0);
    EXPECT_EQ(floodFillSurface(image, {3, 0}, kLedKeyColor, kLedKeyColor), 0);
    EXPECT_EQ(image.pixel(3, 0), kLedKeyColor);
}

TEST(LedRendering, StretchesToAnotherSizeUntilTheNextRebuildSnapsItBack)
{
    TALed led;
    led.setFalseColor(rgbColor(0, 64, 0));
    led.resize(30, 30);
    const QImage shot = rendered(led);
    ASSERT_EQ(shot.size(), QSize(30, 30));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(shot.pixel(x, y), led.unlitImage().pixel(x / 2, y / 2)) << x << "," << y;

    led.setTrueColor(rgbColor(255, 0, 0));
    EXPECT_EQ(led.size(), QSize(15, 15));
    led.resize(40, 40);
    led.setLEDStyle(LEDVertical);
    EXPECT_EQ(led.size(), QSize(14, 22));
}

TEST(LedState, StartsUnlitSteadyAtFifteenPixelsWithTheKeyAsLitColour)
{
    TALed led;
    EXPECT_EQ(led.size(), QSize(15, 15));
    EXPECT_EQ(led.trueColor(), 65280u);
    EXPECT_EQ(led.falseColor(), 12632256u);
    EXPECT_TRUE(led.blink());
    EXPECT_FALSE(led.value());
    EXPECT_EQ(led.interval(), 1000);
    EXPECT_EQ(led.ledStyle(), LEDSmall);
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
    EXPECT_EQ(led.blinkTimer(), nullptr);
    // The default lit colour is the key colour: the lens stays as it is.
    EXPECT_EQ(led.litImage(), loadLedTemplate(LEDSmall));
    EXPECT_EQ(led.unlitImage().pixel(7, 7), qRgb(192, 192, 192));
}

TEST(LedState, LightingShowsLitAtOnceThenEachTickTogglesAndFiresOnTimer)
{
    TALed led;
    std::vector<TALed*> senders;
    QObject::connect(&led, &TALed::OnTimer, [&](TALed* s) { senders.push_back(s); });

    led.setValue(true);
    EXPECT_EQ(led.shownImage(), TALed::kLitImage);
    EXPECT_EQ(led.immediateDrawCount(), 1);
    ASSERT_NE(led.blinkTimer(), nullptr);
    EXPECT_TRUE(led.blinkTimer()->isActive());
    EXPECT_EQ(led.blinkTimer()->interval(), 1000);
    EXPECT_TRUE(senders.empty());

    expire(led);
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
    led.blinkTick();
    EXPECT_EQ(led.shownImage(), TALed::kLitImage);
    EXPECT_EQ(led.immediateDrawCount(), 3);
    EXPECT_EQ(senders, (std::vector<TALed*>{&led, &led}));
}

TEST(LedState, SettingTheStoredValueChangesNothing)
{
    TALed led;
    led.setValue(true);
    led.blinkTick(); // unlit phase
    const QTimer* timer = led.blinkTimer();
    const int draws = led.immediateDrawCount();

    led.setValue(true);
    led.setBlink(true);
    led.setLEDStyle(LEDSmall);
    led.setTrueColor(clLime);
    led.setFalseColor(clSilver);

    EXPECT_EQ(led.immediateDrawCount(), draws);
    EXPECT_EQ(led.blinkTimer(), timer);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
}

TEST(LedState, ValueFalseFreesTheTimerAndShowsUnlitInEitherPhase)
{
    for (int ticks : {0, 1}) {
        TALed led;
        led.setValue(true);
        for (int i = 0; i < ticks; ++i)
            led.blinkTick();
        QPointer<QTimer> timer = timerOf(led);
        const int draws = led.immediateDrawCount();
        led.setValue(false);
        EXPECT_TRUE(timer.isNull());
        EXPECT_EQ(led.blinkTimer(), nullptr);
        EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
        EXPECT_EQ(led.immediateDrawCount(), draws + 1);
    }
}

TEST(LedState, BlinkSwitchesBetweenBlinkingAndSteady)
{
    TALed led;
    led.setValue(true);
    led.blinkTick(); // unlit phase
    QPointer<QTimer> timer = timerOf(led);

    led.setBlink(false);
    EXPECT_TRUE(timer.isNull());
    EXPECT_EQ(led.shownImage(), TALed::kLitImage);

    led.setBlink(true);
    ASSERT_NE(led.blinkTimer(), nullptr);
    EXPECT_EQ(led.shownImage(), TALed::kLitImage);

    // Switching blinking on while unlit only redraws.
    TALed off;
    off.setBlink(false);
    const int draws = off.immediateDrawCount();
    off.setBlink(true);
    EXPECT_EQ(off.immediateDrawCount(), draws + 1);
    EXPECT_EQ(off.shownImage(), TALed::kUnlitImage);
    EXPECT_EQ(off.blinkTimer(), nullptr);
}

TEST(LedState, ColourChangeWhileBlinkingRestartsFromLitWithNewColours)
{
    TALed led;
    led.setValue(true);
    led.blinkTick();
    QPointer<QTimer> oldTimer = timerOf(led);

    led.setTrueColor(rgbColor(255, 0, 0));
    EXPECT_TRUE(oldTimer.isNull());
    ASSERT_NE(led.blinkTimer(), nullptr);
    EXPECT_TRUE(led.blinkTimer()->isActive());
    EXPECT_TRUE(led.blink());
    EXPECT_EQ(led.shownImage(), TALed::kLitImage);
    EXPECT_EQ(rendered(led).pixel(7, 7), qRgb(255, 0, 0));
    led.blinkTick();
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);

    // Steady: rebuilt and repainted, no timer appears.
    TALed steady;
    steady.setBlink(false);
    steady.setValue(true);
    const int draws = steady.immediateDrawCount();
    steady.setFalseColor(rgbColor(0, 64, 64));
    EXPECT_EQ(steady.blinkTimer(), nullptr);
    EXPECT_EQ(steady.shownImage(), TALed::kLitImage);
    EXPECT_GT(steady.immediateDrawCount(), draws);
    EXPECT_EQ(steady.unlitImage().pixel(7, 7), qRgb(0, 64, 64));
}

TEST(LedState, StyleChangeKeepsTheRunningTimerAndPhase)
{
    TALed led;
    led.setValue(true);
    led.blinkTick();
    const QTimer* timer = led.blinkTimer();
    led.setLEDStyle(LEDLarge);
    EXPECT_EQ(led.blinkTimer(), timer);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
    EXPECT_EQ(rendered(led).size(), QSize(22, 22));

    const int draws = led.immediateDrawCount();
    led.setLEDStyle(static_cast<TLEDStyle>(6)); // no such template
    EXPECT_EQ(led.ledStyle(), LEDLarge);
    EXPECT_EQ(led.immediateDrawCount(), draws);
}

TEST(LedState, IntervalRetunesTheRunningTimerAndZeroNeverTicks)
{
    TALed led;
    led.setInterval(200);
    led.setValue(true);
    led.blinkTick();
    const QTimer* timer = led.blinkTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 200);

    led.setInterval(300);
    EXPECT_EQ(led.blinkTimer(), timer);
    EXPECT_EQ(timer->interval(), 300);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);

    led.setInterval(0);
    EXPECT_EQ(led.interval(), 0);
    EXPECT_FALSE(timer->isActive());
    led.setInterval(100);
    EXPECT_TRUE(timer->isActive());

    // Lit with a period of 0: a timer exists but never runs, so it stays lit.
    TALed still;
    still.setInterval(0);
    still.setValue(true);
    ASSERT_NE(still.blinkTimer(), nullptr);
    EXPECT_FALSE(still.blinkTimer()->isActive());
    EXPECT_EQ(still.shownImage(), TALed::kLitImage);
    still.setInterval(-5);
    EXPECT_FALSE(still.blinkTimer()->isActive());
}

TEST(LedState, OnTimerHandlerMayStopTheBlinkingFromItsOwnTick)
{
    TALed led;
    led.setValue(true);
    QObject::connect(&led, &TALed::OnTimer, [](TALed* s) { s->setValue(false); });
    QPointer<QTimer> timer = timerOf(led);
    expire(led);
    EXPECT_EQ(led.blinkTimer(), nullptr);
    EXPECT_EQ(led.shownImage(), TALed::kUnlitImage);
    ASSERT_FALSE(timer.isNull());
    EXPECT_FALSE(timer->isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(timer.isNull());
}

TEST(LedState, OnTimerHandlerMayDeleteTheLed)
{
    auto* led = new TALed;
    led->setValue(true);
    QObject::connect(led, &TALed::OnTimer, [](TALed* s) { delete s; });
    QPointer<TALed> watch(led);
    QPointer<QTimer> timer = timerOf(*led);
    expire(*led);
    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(timer.isNull());
}

TEST(LedEvents, MouseEnterLeaveAndClickCarryTheSenderAndDrawNothing)
{
    TALed led;
    std::vector<std::pair<char, TALed*>> seen;
    QObject::connect(&led, &TALed::OnMouseEnter, [&](TALed* s) { seen.push_back({'E', s}); });
    QObject::connect(&led, &TALed::OnMouseLeave, [&](TALed* s) { seen.push_back({'L', s}); });
    QObject::connect(&led, &TALed::OnClick, [&](TALed* s) { seen.push_back({'C', s}); });
    const int draws = led.immediateDrawCount();

    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QCoreApplication::sendEvent(&led, &enter);
    auto mouse = [&](QEvent::Type type, QPointF pos) {
        QMouseEvent e(type, pos, pos, Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(&led, &e);
    };
    mouse(QEvent::MouseButtonPress, {5, 5});
    mouse(QEvent::MouseButtonRelease, {6, 6});
    mouse(QEvent::MouseButtonPress, {5, 5});
    mouse(QEvent::MouseButtonRelease, {40, 6}); // released outside: no click
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&led, &leave);

    EXPECT_EQ(seen, (std::vector<std::pair<char, TALed*>>{{'E', &led}, {'C', &led}, {'L', &led}}));
    EXPECT_EQ(led.immediateDrawCount(), draws);
}

TEST(LedEvents, HintGoesToTheParentWhileShowHintIsOff)
{
    struct HintCounter : QObject {
        int hints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            hints += e->type() == QEvent::ToolTip;
            return false;
        }
    } counter;
    QWidget parent;
    parent.installEventFilter(&counter);
    auto* led = new TALed(&parent);
    led->setToolTip(QStringLiteral("lamp"));

    QHelpEvent ask(QEvent::ToolTip, QPoint(2, 2), QPoint(2, 2));
    QCoreApplication::sendEvent(led, &ask);
    EXPECT_EQ(counter.hints, 1);

    led->setShowHint(true);
    QHelpEvent again(QEvent::ToolTip, QPoint(2, 2), QPoint(2, 2));
    QCoreApplication::sendEvent(led, &again);
    EXPECT_EQ(counter.hints, 1);
}
