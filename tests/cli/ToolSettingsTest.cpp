// SPDX-License-Identifier: MIT
// The settings file as kavoda-cli reads it: the window's rules, never written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "ToolSettings.h"

namespace kavoda {
namespace {

TEST(ToolSettingsTest, IniValueFollowsThePrivateProfileRules)
{
    const std::string text = "; comment=Port3\r\n"
                             "[other]\n"
                             "Port=Port3\n"
                             "  [ device port ]  \r\n"
                             "  PORT  =  \"Port3\"  \r\n"
                             "[Delay]\n"
                             "delay\t=\t0x1E\n"
                             "[Device Port]\n"
                             "Port=Port2\n";
    EXPECT_EQ(iniValue(text, "Device Port", "Port"), "Port3") << "first match, quotes stripped";
    EXPECT_EQ(iniValue(text, "DELAY", "Delay"), "0x1E");
    EXPECT_EQ(iniValue(text, "Version", "Version"), std::nullopt);
    EXPECT_EQ(iniValue(text, "Delay", "Port"), std::nullopt);
    // One pair only, and only when both ends have one.
    EXPECT_EQ(iniValue("[a]\nk=\"\"x\"\"\n", "a", "k"), "\"x\"");
    EXPECT_EQ(iniValue("[a]\nk=\"x\n", "a", "k"), "\"x");
    EXPECT_EQ(iniValue("[a]\nk='Port3'\n", "a", "k"), "Port3");
    EXPECT_EQ(iniValue("[a]\nk='x\"\n", "a", "k"), "'x\"");
    EXPECT_EQ(iniValue("[a]\nk=\n", "a", "k"), "");
    EXPECT_EQ(iniValue("[a]\nk=" + std::string(2000, 'v') + "\n", "a", "k")->size(), 1023u);
}

TEST(ToolSettingsTest, NumbersAndPortsAsTheWindowReadsThem)
{
    EXPECT_EQ(parseIniNumber("15"), 15);
    EXPECT_EQ(parseIniNumber(" 0x1E "), 30);
    EXPECT_EQ(parseIniNumber("$1e"), 30);
    EXPECT_EQ(parseIniNumber("-20"), -20);
    EXPECT_EQ(parseIniNumber("$FFFFFFFF"), -1);
    EXPECT_EQ(parseIniNumber("2147483648"), std::nullopt);
    EXPECT_EQ(parseIniNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseIniNumber("ten"), std::nullopt);
    EXPECT_EQ(parseIniNumber("0x"), std::nullopt);
    EXPECT_EQ(parseIniNumber("1 0"), std::nullopt);

    EXPECT_EQ(portBaseForSetting("Port2"), 0x278);
    EXPECT_EQ(portBaseForSetting("Port3"), 0x3BC);
    EXPECT_EQ(portBaseForSetting("Port1"), 0x378);
    EXPECT_EQ(portBaseForSetting("port2"), 0x378) << "compared exactly";
    EXPECT_EQ(portBaseForSetting(""), 0x378);
}

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
