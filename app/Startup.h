// SPDX-License-Identifier: MIT
// The start-up sequence: the splash alone on the screen until its first
// tick, then the three long-lived windows, owned by the application.
#pragma once

#include "PortSession.h"

#include <memory>

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

// Runs the splash, sets the application title and creates the windows,
// all still hidden; the splash is gone when it returns.
ApplicationWindows startUp(const PortOptions& options);

} // namespace kavoda
