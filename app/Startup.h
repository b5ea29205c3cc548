// SPDX-License-Identifier: MIT
// The start-up sequence: the splash alone on the screen until its first
// tick, then the three long-lived windows, owned by the application.
#pragma once

#include "PortSession.h"
#include "WorkingImage.h"

#include <memory>
#include <string>

namespace kavoda {

class TForm1;
class TMainForm;
class TSetupForm;

// The application's long-lived windows; the main window is the first.
struct ApplicationWindows {
    std::unique_ptr<TMainForm> mainForm;
    std::unique_ptr<TSetupForm> setupForm;
    std::unique_ptr<TForm1> form1;

    ApplicationWindows();
    ApplicationWindows(ApplicationWindows&&) noexcept;
    ~ApplicationWindows();
};

// Takes the working folder for this process and checks its working file.
// A folder that another window holds, or a working file that is no regular
// file, is reported in the error report and gives nothing: the program then
// ends without touching the file.
std::unique_ptr<WorkingFolderLock> claimWorkingFolder(const std::string& folder);

// Runs the splash, sets the application title and creates the windows,
// all still hidden; the splash is gone when it returns.
ApplicationWindows startUp(const PortOptions& options);

} // namespace kavoda
