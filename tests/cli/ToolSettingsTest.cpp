// SPDX-License-Identifier: MIT
// The settings file as kavoda-cli finds and reads it, never written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "ToolSettings.h"

namespace kavoda {
namespace {

TEST(ToolSettingsTest, FileDefaultsAndValuesWithoutWriting)
{
    const auto folder = test::testFolder();
    const ToolSettings none = readToolSettings(folder.string());
    EXPECT_EQ(none.portBase, 0x278);
    EXPECT_EQ(none.busDelay, 10);
    EXPECT_EQ(none.path, (folder / "Kavoda.INI").string());
    EXPECT_FALSE(std::filesystem::exists(folder / "Kavoda.INI")) << "reading creates nothing";

    const std::string file = (folder / "Kavoda.INI").string();
    std::ofstream(file) << "[Device Port]\nPort=\"Port3\"\n[Delay]\nDelay=abc\n";
    const ToolSettings quoted = readToolSettings(folder.string());
    EXPECT_EQ(quoted.portBase, 0x3BC);
    EXPECT_EQ(quoted.busDelay, 10) << "no integer: the default";

    std::ofstream(file) << "[Device Port]\nPort=Port1\n[Delay]\nDelay=\"20\"\n";
    const auto before = std::filesystem::last_write_time(file);
    const ToolSettings plain = readToolSettings(folder.string());
    EXPECT_EQ(plain.portBase, 0x378);
    EXPECT_EQ(plain.busDelay, 20);
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
}

}  // namespace
}  // namespace kavoda
