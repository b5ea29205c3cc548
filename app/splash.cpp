// SPDX-License-Identifier: MIT
#include "splash.h"

#include "ErrorReport.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace kavoda {

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(kClientWidth, kClientHeight);

    // The picture is two pixels larger than the window each way: it is drawn
    // unscaled from the top-left corner and its last columns and rows are cut.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kClientWidth, kClientHeight);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/app/splash.png")));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kClientWidth) / 2,
             area.y() + (area.height() - kClientHeight) / 2);
    }

    // Ticks from creation on and is never stopped; only the first tick matters.
    Timer1 = new QTimer(this);
    Timer1->setInterval(kTimerInterval);
    connect(Timer1, &QTimer::timeout, this, slot([this] { Timer1Timer(); }));
    Timer1->start();
}

void TSplashForm::Timer1Timer()
{
    SplashTimerFired = true;
    if (m_wait)
        m_wait->quit();
}

void TSplashForm::FormActivate()
{
    SplashTimerFired = false;
    // A local event loop sleeps between messages instead of polling, so the
    // two seconds cost no processor time; the tick quits it.
    QEventLoop wait;
    m_wait = &wait;
    while (!SplashTimerFired)
        wait.exec();
    m_wait = nullptr;
}

} // namespace kavoda
