// SPDX-License-Identifier: MIT
// The start-up sequence: nothing but the splash until its first tick, then
// the three windows, hidden, and the splash gone.
#include "EndSignals.h"
#include "ErrorReport.h"
#include "Settings.h"
#include "Main.h"
#include "Setup.h"
#include "Startup.h"
#include "Unit1.h"
#include "splash.h"

#include <QApplication>
#include <QGuiApplication>
#include "QtTempFolder.h"
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Another process that holds the folder until released.
class OtherWindow {
public:
    explicit OtherWindow(const std::string& folder)
    {
        if (::pipe(m_ready) != 0 || ::pipe(m_release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            char held = '0';
            try {
                WorkingFolderLock lock(folder);
                held = lock.held() ? '1' : '0';
                (void)!::write(m_ready[1], &held, 1);
                (void)!::read(m_release[0], &held, 1);
            } catch (...) {
                (void)!::write(m_ready[1], &held, 1);
            }
            ::_exit(0);
        }
        char held = '0';
        m_held = ::read(m_ready[0], &held, 1) == 1 && held == '1';
    }
    ~OtherWindow() { end(); }
    bool held() const { return m_held; }
    void end()
    {
        if (m_pid <= 0)
            return;
        (void)!::write(m_release[1], "x", 1);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        for (int fd : {m_ready[0], m_ready[1], m_release[0], m_release[1]})
            ::close(fd);
    }

private:
    int m_ready[2] = {-1, -1};
    int m_release[2] = {-1, -1};
    pid_t m_pid = -1;
    bool m_held = false;
};

TEST(Startup, OneWindowPerFolderWithAWorkingFileOfItsOwn)
{
    QtTempFolder dir;
    const std::string folder = dir.path().toStdString();
    const std::string working = folder + "/Tempor.tmp";
    QStringList reports;
    setErrorReportSink([&](const QString& text) { reports << text; });
    std::ofstream(working) << "chip A";

    {
        OtherWindow first(folder);
        ASSERT_TRUE(first.held());
        EXPECT_EQ(claimWorkingFolder(folder), nullptr);
        EXPECT_EQ(reports, QStringList{"Kavoda is already running in this folder (its working "
                                       "file Tempor.tmp is in use). Start it from another folder "
                                       "to work on two chips at once."});
        // Another folder is free meanwhile.
        QtTempFolder other;
        EXPECT_NE(claimWorkingFolder(other.path().toStdString()), nullptr);
        // The first ends, killed or not: the system has dropped its lock.
        first.end();
        reports.clear();
        const auto second = claimWorkingFolder(folder);
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(second->held());
        EXPECT_TRUE(reports.isEmpty());
    }

    // A folder that may be written but not read is held all the same.
    if (::geteuid() != 0) {
        QtTempFolder writeOnly;
        const std::string wo = writeOnly.path().toStdString();
        ASSERT_EQ(::chmod(wo.c_str(), 0300), 0);
        {
            OtherWindow first(wo);
            EXPECT_TRUE(first.held());
            reports.clear();
            EXPECT_EQ(claimWorkingFolder(wo), nullptr);
            EXPECT_EQ(reports.size(), 1);
        }
        ::chmod(wo.c_str(), 0700);
    }

    // A working file that is no file of its own is not written through.
    const std::string elsewhere = folder + "/elsewhere.bin";
    std::ofstream(elsewhere) << std::string(5000, 'x');
    const auto refusedWith = [&](const char* what) {
        reports.clear();
        EXPECT_EQ(claimWorkingFolder(folder), nullptr) << what;
        EXPECT_EQ(reports, QStringList{QString::fromStdString("Tempor.tmp in " + folder +
                                                              " is not a regular file; move it "
                                                              "away and start again.")})
            << what;
        std::filesystem::remove(working);
    };
    std::filesystem::remove(working);
    std::filesystem::create_symlink(elsewhere, working);
    refusedWith("a symbolic link");
    EXPECT_EQ(std::filesystem::file_size(elsewhere), 5000u);
    std::filesystem::create_directory(working);
    refusedWith("a folder");
    ASSERT_EQ(::mkfifo(working.c_str(), 0600), 0);
    refusedWith("a pipe");
    setErrorReportSink({});
}

} // namespace

namespace {

TEST(EndSignals, TermAndHangUpArriveAsCallsOnTheEventLoop)
{
    int calls = 0;
    {
        const EndSignals ends([&calls] { ++calls; });
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        for (int i = 0; i < 50 && calls == 0; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_GE(calls, 1) << "and the process is still here";
    }
    // Gone with the object: the default comes back.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
