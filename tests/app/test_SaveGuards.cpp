// SPDX-License-Identifier: MIT
// Save As never replaces a file the port session keeps: the simulated chip's
// content file or the bus trace.
#include "image/Files.h"
#include "Main.h"
#include "TempFolder.h"
#include "app/SettingsFolder.h"

#include <QAction>

using namespace kavoda;
using namespace kavoda::test;
namespace fs = std::filesystem;

namespace {

using SaveGuardTest = SettingsFolderTest;

TEST_F(SaveGuardTest, SaveAsRefusesTheChipsContentFileAndTheTrace)
{
    TempFolder folder;
    const fs::path chip = folder.file("chip.bin");
    const fs::path trace = folder.file("bus.vcd");
    const Bytes content = countingBytes(256);
    writeBytes(chip, content);
    PortOptions options;
    options.simulateType = 1;
    options.simImagePath = chip.string();
    options.tracePath = trace.string();

    TMainForm form(options);
    form.setWorkingFolder(folder.path().string());
    QString answer;
    form.setImageDialogHook([&answer](TMainForm::ImageDialog) { return answer; });
    writeBytes(folder.file("in.bin"), Bytes(256, 0x11));
    answer = QString::fromStdString(folder.file("in.bin").string());
    form.menuAction("&Load")->trigger();
    ASSERT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();

    for (const fs::path& target : {chip, folder.path() / "." / "chip.bin", trace}) {
        m_reports.clear();
        answer = QString::fromStdString(target.string());
        form.menuAction("Save &As...")->trigger();
        ASSERT_EQ(m_reports.size(), 1) << target;
        EXPECT_TRUE(m_reports[0].contains("content file")) << m_reports[0].toStdString();
    }
    EXPECT_EQ(readBytes(chip), content);
    EXPECT_FALSE(fs::exists(trace));

    // Any other name takes the image.
    m_reports.clear();
    answer = QString::fromStdString(folder.file("copy.bin").string());
    form.menuAction("Save &As...")->trigger();
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(readBytes(folder.file("copy.bin")), Bytes(256, 0x11));
}

} // namespace
