// SPDX-License-Identifier: MIT
// The kavoda program: options, the application object, the start-up
// sequence, and the message loop with the main window maximized.
#include "Application.h"
#include "EndSignals.h"
#include "ErrorReport.h"
#include "FormStyle.h"
#include "Main.h"
#include "Options.h"
#include "Startup.h"
#include "TypeReach.h"
#include "ChipTable.h"

#include <QTimer>

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // Before the application object, so that --help and --version work
    // without a display; Qt's own options are left to it.
    const kavoda::ParsedOptions parsed = kavoda::parseOptions(argc, argv, std::cout, std::cerr);
    if (!parsed.run)
        return parsed.exitCode;
    // Files that cannot be used are refused now, not at the first operation.
    if (const int refused = kavoda::checkStartFiles(parsed.options, std::cerr))
        return refused;
    if (const int refused = kavoda::checkStartType(parsed, std::cerr))
        return refused;

#ifdef SIGXFSZ
    // A file-size limit makes the write that crosses it fail with "Disk
    // full", reported and survived, instead of killing the program in the
    // middle of an operation.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    kavoda::Application app(argc, argv);
    // The task bar's entry and the window class carry the application's
    // title; the captions stay as the windows set them.
    QCoreApplication::setApplicationName(kavoda::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kavoda.Kavoda"));
    kavoda::applyClassicLook(parsed.styleRequested);

    // One window per working folder, and its working file its own: held
    // until the process ends.
    const auto workingFolder = kavoda::claimWorkingFolder(kavoda::currentFolder());
    if (!workingFolder)
        return 1;

    kavoda::ApplicationWindows windows = kavoda::startUp(parsed.options);
    kavoda::TMainForm* mainForm = windows.mainForm.get();
    if (parsed.chosenType)
        mainForm->chooseType(*parsed.chosenType, false);
    // A kill or a logout stops a running operation at a byte boundary.
    const kavoda::EndSignals endSignals([mainForm] { mainForm->endRequested(); });
    windows.mainForm->showMaximized();
    // An operation that a dead process left unfinished is told first.
    QTimer::singleShot(0, mainForm, [mainForm] {
        kavoda::guarded([mainForm] { mainForm->reportInterruptedOperation(); });
    });
    return QApplication::exec();
}
