// SPDX-License-Identifier: MIT
// The splash window: the program's picture, alone on the screen, holding
// the start-up until its timer has ticked once (two seconds).
#pragma once

#include <QWidget>

class QEventLoop;
class QLabel;
class QTimer;

namespace kavoda {

class TSplashForm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    // Runs when the window is shown: returns only after the first tick of
    // Timer1, handling window messages meanwhile.
    void FormActivate();
    // Timer1's tick.
    void Timer1Timer();
    // True while FormActivate waits for the tick.
    bool isWaiting() const { return m_wait != nullptr; }

    QLabel* Image1 = nullptr;
    QTimer* Timer1 = nullptr;
    bool SplashTimerFired = false;

    static constexpr int kClientWidth = 510;
    static constexpr int kClientHeight = 382;
    static constexpr int kTimerInterval = 2000;

private:
    QEventLoop* m_wait = nullptr; // while FormActivate waits
};

} // namespace kavoda
