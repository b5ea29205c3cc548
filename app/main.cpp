// SPDX-License-Identifier: MIT
// The kavoda program: options, the application object, the start-up
// sequence, and the message loop with the main window maximized.
#include "Application.h"
#include "Main.h"
#include "Options.h"
#include "Startup.h"

#include <iostream>

int main(int argc, char** argv)
{
    // Before the application object, so that --help and --version work
    // without a display.
    const kavoda::ParsedOptions parsed = kavoda::parseOptions(argc, argv, std::cout, std::cerr);
    if (!parsed.run)
        return parsed.exitCode;

    kavoda::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavoda"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kavoda"));

    kavoda::ApplicationWindows windows = kavoda::startUp(parsed.options);
    windows.mainForm->showMaximized();
    return QApplication::exec();
}
