// SPDX-License-Identifier: MIT
#include "Startup.h"

#include "ErrorReport.h"
#include "Main.h"
#include "Setup.h"
#include "Unit1.h"
#include "splash.h"

#include <QCoreApplication>

namespace kavoda {

ApplicationWindows::ApplicationWindows() = default;
ApplicationWindows::ApplicationWindows(ApplicationWindows&&) noexcept = default;

ApplicationWindows::~ApplicationWindows()
{
    // The dialogs refer to the main window; they go first.
    form1.reset();
    setupForm.reset();
    mainForm.reset();
}

std::unique_ptr<WorkingFolderLock> claimWorkingFolder(const std::string& folder)
{
    try {
        auto lock = std::make_unique<WorkingFolderLock>(folder);
        checkWorkingFile(folder);
        return lock;
    } catch (const std::exception& e) {
        showErrorReport(QString::fromLocal8Bit(e.what()));
        return nullptr;
    }
}

ApplicationWindows startUp(const PortOptions& options)
{
    ApplicationWindows windows;

    auto splash = std::make_unique<TSplashForm>();
    splash->show();
    // Showing activates the window; its handler holds until the first tick.
    splash->FormActivate();
    splash->repaint();

    // The application's title names its task-bar entry. It is not the display
    // name, which Qt would append to every window's caption.
    QCoreApplication::setApplicationName(kApplicationTitle);

    windows.mainForm = std::make_unique<TMainForm>(options);
    windows.setupForm = std::make_unique<TSetupForm>(windows.mainForm.get());
    windows.form1 = std::make_unique<TForm1>();
    windows.mainForm->setSetupForm(windows.setupForm.get());
    windows.mainForm->setSchematicForm(windows.form1.get());

    splash->hide();
    splash.reset();
    return windows;
}

} // namespace kavoda
