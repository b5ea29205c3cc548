// SPDX-License-Identifier: MIT
// The start-up sequence: nothing but the splash until its first tick, then
// the three windows, hidden, and the splash gone.
#include "ErrorReport.h"
#include "IniFile.h"
#include "Main.h"
#include "Setup.h"
#include "Startup.h"
#include "Unit1.h"
#include "splash.h"

#include <QApplication>
#include <QGuiApplication>
#include "QtTempFolder.h"
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

template <class T>
QList<T*> topLevel()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w))
            found << t;
    }
    return found;
}

TEST(Startup, TheSplashHoldsStartUpUntilItsTick)
{
    QtTempFolder dir;
    setSettingsFolder(dir.path());
    QStringList reports;
    setErrorReportSink([&](const QString& text) { reports << text; });

    // Ticks the splash once it waits; until then, looks again at the next turn
    // of the event loop.
    bool checked = false;
    std::function<void()> tickWhenWaiting = [&] {
        const QList<TSplashForm*> splashes = topLevel<TSplashForm>();
        if (splashes.size() != 1 || !splashes[0]->isWaiting()) {
            QTimer::singleShot(0, tickWhenWaiting);
            return;
        }
        EXPECT_TRUE(splashes[0]->isVisible());
        EXPECT_TRUE(topLevel<TMainForm>().isEmpty());
        EXPECT_TRUE(topLevel<TSetupForm>().isEmpty());
        EXPECT_TRUE(topLevel<TForm1>().isEmpty());
        checked = true;
        splashes[0]->Timer1Timer();
    };
    QTimer::singleShot(0, tickWhenWaiting);
    {
        ApplicationWindows windows = startUp(PortOptions{});
        EXPECT_TRUE(checked);
        EXPECT_TRUE(topLevel<TSplashForm>().isEmpty());
        ASSERT_TRUE(windows.mainForm && windows.setupForm && windows.form1);
        EXPECT_FALSE(windows.mainForm->isVisible());
        EXPECT_FALSE(windows.setupForm->isVisible());
        EXPECT_FALSE(windows.form1->isVisible());
        // The application's title names the program, not every caption: no
        // display name is set, so Qt appends none to the windows' titles
        // (the display name follows the application's name when unset).
        EXPECT_EQ(QCoreApplication::applicationName(), "Kavoda");
        QCoreApplication::setApplicationName(QStringLiteral("probe"));
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
        QCoreApplication::setApplicationName(QStringLiteral("Kavoda"));
        EXPECT_EQ(windows.mainForm->windowTitle(), TMainForm::kCaption);
        EXPECT_EQ(windows.setupForm->windowTitle(), "Kavoda Port Config");
        EXPECT_EQ(windows.form1->windowTitle(), "Kavoda schematic diagram");
    }
    EXPECT_TRUE(topLevel<TMainForm>().isEmpty());
    EXPECT_TRUE(reports.isEmpty());
    setErrorReportSink({});
    setSettingsFolder(QString());
}

} // namespace
