// SPDX-License-Identifier: MIT
// The [Adapter] section: read with the settings file's rules, absent meaning
// the parallel port, and left alone when the window rewrites its sections.
#include "AdapterSettings.h"
#include "Options.h"
#include "SettingsFolder.h"

#include <sstream>

namespace kavoda {
namespace {

using AdapterSettingsTest = SettingsFolderTest;

TEST_F(AdapterSettingsTest, NoFileOrNoSectionMeansTheParallelPort)
{
    EXPECT_FALSE(loadAdapterSetting().has_value());
    writeSettings("[Device Port]\r\nPort=Port1\r\n[Version]\r\nVersion=1.2 1998\r\n"
                  "[Delay]\r\nDelay=10\r\n");
    EXPECT_FALSE(loadAdapterSetting().has_value());
    writeSettings("[Adapter]\r\nSpeed=400\r\n");
    EXPECT_FALSE(loadAdapterSetting().has_value()) << "a speed alone names no adapter";
}

TEST_F(AdapterSettingsTest, AdapterAndSpeedReadWithThePrivateProfileRules)
{
    writeSettings("[Delay]\r\nDelay=20\r\n[ADAPTER]\r\n  adapter = \"CH341A\" \r\nSPEED=0x190\r\n");
    const auto choice = loadAdapterSetting();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->kind, AdapterKind::Ch341a);
    EXPECT_EQ(choice->speed, I2cSpeed::k400kHz);

    writeSettings("[Adapter]\nAdapter=i2c:/dev/i2c-3\n");
    EXPECT_EQ(loadAdapterSetting()->path, "/dev/i2c-3");
    EXPECT_EQ(loadAdapterSetting()->speed, I2cSpeed::k100kHz);
}

TEST_F(AdapterSettingsTest, UnknownTextsFallBackAsUnknownPortsDo)
{
    writeSettings("[Adapter]\r\nAdapter=usb-thing\r\nSpeed=123\r\n");
    ASSERT_TRUE(loadAdapterSetting().has_value());
    EXPECT_TRUE(loadAdapterSetting()->isParallelPort());
    writeSettings("[Adapter]\r\nAdapter=i2c:/etc/passwd\r\n");
    EXPECT_TRUE(loadAdapterSetting()->isParallelPort()) << "only bus nodes are ever opened";
    writeSettings("[Adapter]\r\nAdapter=ch341a\r\nSpeed=123\r\n");
    EXPECT_EQ(loadAdapterSetting()->speed, I2cSpeed::k100kHz);
}

TEST_F(AdapterSettingsTest, TheStartsRewriteKeepsTheSection)
{
    writeSettings("[Adapter]\r\nAdapter=ch341a\r\nSpeed=750\r\n");
    loadSettings();
    saveSettings();
    const QByteArray text = readSettings();
    EXPECT_TRUE(text.contains("[Adapter]\r\nAdapter=ch341a\r\nSpeed=750\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("[Device Port]"));
    EXPECT_EQ(loadAdapterSetting()->speed, I2cSpeed::k750kHz);
}

TEST(AdapterMarker, NamesEveryAdapterButTheParallelPort)
{
    EXPECT_EQ(adapterMarker(AdapterChoice{}), QString());
    EXPECT_EQ(adapterMarker(*parseAdapter("ch341a")), QStringLiteral(" [CH341A]"));
    EXPECT_EQ(adapterMarker(*parseAdapter("i2c:/dev/i2c-1")),
              QStringLiteral(" [I2C /dev/i2c-1]"));
}

TEST(AdapterOptions, TheWindowsCommandLineTakesAdapterAndSpeed)
{
    const auto parse = [](std::vector<const char*> args, std::string* error = nullptr) {
        args.insert(args.begin(), "kavoda");
        std::ostringstream out;
        std::ostringstream err;
        ParsedOptions parsed = parseOptions(static_cast<int>(args.size()), args.data(), out, err);
        if (error)
            *error = err.str();
        return parsed;
    };
    const ParsedOptions none = parse({"--simulate"});
    EXPECT_TRUE(none.run);
    EXPECT_FALSE(none.options.adapter.has_value()) << "the settings file decides";

    const ParsedOptions usb = parse({"--adapter", "ch341a", "--i2c-speed", "750"});
    ASSERT_TRUE(usb.run);
    EXPECT_EQ(usb.options.adapter->kind, AdapterKind::Ch341a);
    EXPECT_EQ(usb.options.i2cSpeed, I2cSpeed::k750kHz);
    EXPECT_EQ(parse({"--adapter=i2c:/dev/i2c-2"}).options.adapter->path, "/dev/i2c-2");

    std::string error;
    const ParsedOptions wrong = parse({"--adapter", "lpt"}, &error);
    EXPECT_FALSE(wrong.run);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(error.find("kavoda: unknown adapter 'lpt'"), std::string::npos) << error;
    EXPECT_EQ(parse({"--adapter", "parport", "--i2c-speed", "100"}).exitCode, 2);
}

} // namespace
} // namespace kavoda
