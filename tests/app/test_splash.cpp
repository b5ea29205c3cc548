// SPDX-License-Identifier: MIT
// The splash window: picture, timer, and the wait that holds the start-up.
#include "splash.h"

#include <QImage>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

TEST(SplashForm, FramelessPictureCutAtTheRightAndBottom)
{
    TSplashForm splash;
    EXPECT_EQ(splash.size(), QSize(510, 382));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.Image1->geometry(), QRect(0, 0, 510, 382));

    const QImage picture(QStringLiteral(":/app/splash.png"));
    ASSERT_EQ(picture.size(), QSize(512, 384));
    const QImage shown = splash.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(510, 382));
    // Unscaled from the top-left corner: every pixel shown is the picture's
    // own pixel at the same place.
    for (const QPoint p : {QPoint(0, 0), QPoint(256, 230), QPoint(300, 250), QPoint(509, 381),
                           QPoint(7, 7), QPoint(508, 300)})
        EXPECT_EQ(shown.pixel(p), picture.pixel(p)) << p.x() << "," << p.y();
}

TEST(SplashForm, TimerTicksEveryTwoSecondsFromCreation)
{
    TSplashForm splash;
    EXPECT_TRUE(splash.Timer1->isActive());
    EXPECT_EQ(splash.Timer1->interval(), 2000);
    EXPECT_FALSE(splash.SplashTimerFired);
    splash.Timer1Timer();
    EXPECT_TRUE(splash.SplashTimerFired);
    EXPECT_TRUE(splash.Timer1->isActive()); // never stopped
}

TEST(SplashForm, ActivationHoldsUntilTheFirstTick)
{
    TSplashForm splash;
    splash.Timer1Timer(); // a tick before the activation does not count
    bool returned = false;
    int messagesBeforeTick = 0;
    // Messages go on being handled during the wait; the tick ends it.
    QTimer::singleShot(0, [&] { ++messagesBeforeTick; });
    QTimer::singleShot(0, [&] { ++messagesBeforeTick; });
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(splash.isWaiting());
        EXPECT_FALSE(returned);
        EXPECT_FALSE(splash.SplashTimerFired);
        splash.Timer1Timer();
    });
    splash.FormActivate();
    returned = true;
    EXPECT_EQ(messagesBeforeTick, 2);
    EXPECT_FALSE(splash.isWaiting());
    EXPECT_TRUE(splash.SplashTimerFired);
}

} // namespace
