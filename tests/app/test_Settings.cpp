// SPDX-License-Identifier: MIT
// The settings file as the window reads and writes it, always in a
// temporary folder, and the same file as kavoda-cli reads it.
#include "AdapterSettings.h"
#include "SettingsFolder.h"
#include "ToolSettings.h"

using namespace kavoda;

namespace {

using SettingsTest = SettingsFolderTest;

TEST_F(SettingsTest, AFirstRunCreatesTheFileWithTheDefaults)
{
    loadSettings();
    EXPECT_EQ(PortSetting, "Port2");
    EXPECT_EQ(BusDelay, 10);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(ProgramVersion, "1.2 1998");
    saveSettings();
    EXPECT_EQ(readSettings(), QByteArray("[Device Port]\nPort=Port2\n\n[Version]\nVersion=1.2 1998\n\n"
                                     "[Delay]\nDelay=10\n"));
}

TEST_F(SettingsTest, PortTextsAreComparedExactly)
{
    const struct {
        const char* stored;
        int item;
        std::uint16_t base;
    } cases[] = {{"Port2", 0, 0x278}, {"Port1", 1, 0x378}, {"Port3", 2, 0x3BC},
                 {"port2", 1, 0x378}, {"", 1, 0x378},      {"LPT1", 1, 0x378}};
    for (const auto& c : cases) {
        writeSettings(QByteArray("[Device Port]\nPort=") + c.stored + "\n");
        loadSettings();
        EXPECT_EQ(PortSetting, c.stored);
        EXPECT_EQ(PortBase, c.base) << c.stored;
        EXPECT_EQ(portItemFor(PortSetting), c.item) << c.stored;
    }
}

TEST_F(SettingsTest, QuotedValuesAreReadWithoutTheirQuotesAndSavedBack)
{
    writeSettings("[Device Port]\r\nPort=\"Port3\"\r\n[Delay]\r\nDelay=\"20\"\r\n");
    loadSettings();
    EXPECT_EQ(PortSetting, "Port3");
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(BusDelay, 20);
    saveSettings();
    EXPECT_EQ(readSettings(), QByteArray("[Device Port]\r\nPort=Port3\r\n[Delay]\r\nDelay=20\r\n"
                                         "\r\n[Version]\r\nVersion=1.2 1998\r\n"));
}

TEST_F(SettingsTest, DelayIsReadAsAnInteger)
{
    for (const auto& [text, delay] : {std::pair{"0x1E", 30}, {"fast", 10}, {"15", 15}, {"$64", 100}}) {
        writeSettings(QByteArray("[Delay]\nDelay=") + text + "\n");
        loadSettings();
        EXPECT_EQ(BusDelay, delay) << text;
    }
}

// Both programs read one file the same way, whatever a hand or an editor
// left in it.
TEST_F(SettingsTest, BothProgramsReadThePortDelayAndAdapterAlike)
{
    AdapterChoice ch341a400;
    ch341a400.kind = AdapterKind::Ch341a;
    ch341a400.speed = I2cSpeed::k400kHz;
    const std::optional<AdapterChoice> none;
    const struct {
        const char* name;
        QByteArray text;
        std::uint16_t port;
        std::int32_t delay;
        std::optional<AdapterChoice> adapter;
    } corpus[] = {
        {"empty", "", 0x278, 10, none},
        {"quotes", "[Device Port]\nPort=\"Port3\"\n[Delay]\nDelay='20'\n", 0x3BC, 20, none},
        {"blanks", "  [ device port ]  \n  port =  Port3 \t\n[DELAY]\n delay = 30 \n", 0x3BC, 30,
         none},
        {"no-break space after the values",
         "[Device Port]\nPort=Port3\xA0\n[Delay]\nDelay=20\xA0\n[Adapter]\nAdapter=ch341a\xA0\n"
         "Speed=400\xA0\n",
         0x3BC, 20, ch341a400},
        {"CRLF", "[Device Port]\r\nPort=Port1\r\n[Delay]\r\nDelay=0x1E\r\n[Adapter]\r\n"
                 "Adapter=CH341A\r\nSpeed=400\r\n",
         0x378, 30, ch341a400},
        {"duplicate keys and sections",
         "[Device Port]\nPort=Port3\nPort=Port2\n[Delay]\nDelay=40\n[Delay]\nDelay=50\n", 0x3BC,
         40, none},
        {"missing sections", "[Other]\nPort=Port3\nDelay=40\nAdapter=ch341a\n", 0x278, 10, none},
        {"values that are none", "[Device Port]\nPort=port3\n[Delay]\nDelay=fast\n[Adapter]\n"
                                 "Adapter=usb-thing\nSpeed=123\n",
         0x378, 10, AdapterChoice{}},
        {"no line end", "[Delay]\nDelay=$46", 0x278, 70, none},
    };
    for (const auto& c : corpus) {
        writeSettings(c.text);
        loadSettings();
        const ToolSettings tool = readToolSettings(m_dir.path().toStdString());
        EXPECT_EQ(PortBase, c.port) << c.name;
        EXPECT_EQ(BusDelay, c.delay) << c.name;
        EXPECT_EQ(loadAdapterSetting(), c.adapter) << c.name;
        EXPECT_EQ(tool.portBase, c.port) << c.name;
        EXPECT_EQ(tool.busDelay, c.delay) << c.name;
        EXPECT_EQ(tool.adapter, c.adapter) << c.name;
    }
}

} // namespace
