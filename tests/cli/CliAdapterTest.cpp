// SPDX-License-Identifier: MIT
// kavoda-cli on the CH341A and kernel I2C adapters: whole-chip verbs through
// each simulated adapter, the adapter of Kavoda.INI, and the usage errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "TempFolder.h"
#include "ToolSettings.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

using test::CliRun;

class CliAdapterTest : public test::CliFolderTest {
protected:
    void writeSettings(const std::string& text)
    {
        std::ofstream(m_dir / "config" / "Kavoda.INI", std::ios::binary) << text;
    }
    std::string file(const char* name) const { return (m_dir / name).string(); }

};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(CliAdapterTest, WriteVerifyAndReadThroughEverySimulatedAdapter)
{
    std::string image(2048, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13 + (i >> 8));
    std::ofstream(file("image.bin"), std::ios::binary) << image;

    for (const char* adapter : {"ch341a", "i2c:/dev/i2c-1"}) {
        SCOPED_TRACE(adapter);
        fs::remove(file("chip.bin"));
        const std::vector<std::string> common = {
            "-q", "--simulate", "--sim-image", file("chip.bin"), "-d", "24C16", "--adapter", adapter};
        auto with = [&](std::vector<std::string> verb) {
            std::vector<std::string> args = common;
            args.insert(args.end(), verb.begin(), verb.end());
            return cli(args);
        };
        CliRun run = with({"write", file("image.bin")});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(readAll(file("chip.bin")), image) << "the chip holds every byte in its cell";
        EXPECT_EQ(with({"verify", file("image.bin")}).code, 0);
        EXPECT_EQ(with({"read", file("back.bin")}).code, 0);
        EXPECT_EQ(readAll(file("back.bin")), image);
    }
}

// The larger types through the verbs: two-byte word addresses, a second
// chip at other address pins, Intel HEX beyond 64 KiB, single bytes above it.
TEST_F(CliAdapterTest, TheLargerTypesThroughEveryVerb)
{
    std::string image(0x20000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7 + (i >> 9));
    std::ofstream(file("image.bin"), std::ios::binary) << image;
    const std::vector<std::string> common = {"-q", "--simulate", "--sim-image", file("chip.bin"),
                                             "-d", "24M01", "--adapter", "ch341a",
                                             "--chip-address", "4"};
    auto with = [&](std::vector<std::string> verb) {
        std::vector<std::string> args = common;
        args.insert(args.end(), verb.begin(), verb.end());
        return cli(args);
    };
    ASSERT_EQ(with({"write", file("image.bin")}).code, 0);
    EXPECT_EQ(readAll(file("chip.bin")), image);
    ASSERT_EQ(with({"read", file("back.hex")}).code, 0);
    EXPECT_NE(readAll(file("back.hex")).find(":020000040001F9"), std::string::npos);
    EXPECT_EQ(with({"verify", file("back.hex")}).code, 0);
    EXPECT_EQ(with({"set", "0x1FFFF", "0x42"}).code, 0);
    EXPECT_EQ(with({"get", "0x1FFFF"}).out, "42\n");
    EXPECT_EQ(with({"dump", "0x1FFF0", "16"}).out.substr(0, 10), "0001fff0  ");
    EXPECT_NE(with({"probe"}).out.find("A chip answers at address A8"), std::string::npos);

    // The pins of a type whose address carries its block are refused.
    const CliRun refused = cli({"--simulate", "-d", "24C16", "--chip-address", "1", "get", "0"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("carry its block number"), std::string::npos) << refused.err;
    EXPECT_EQ(cli({"--simulate", "-d", "24M01", "--chip-address", "1", "get", "0"}).code, 2);
    // The 24C04's A2 A1 and the 24C08's A2 are chip-enable pins.
    for (const auto& [type, pins] : {std::pair{"24C04", "6"}, std::pair{"24C08", "4"}}) {
        SCOPED_TRACE(type);
        const std::vector<std::string> chip = {"--simulate",     "--sim-image", file("pins.bin"),
                                               "-d",             type,          "--adapter",
                                               "i2c:/dev/i2c-1", "--chip-address", pins};
        auto run = [&](std::vector<std::string> verb) {
            std::vector<std::string> args = chip;
            args.insert(args.end(), verb.begin(), verb.end());
            return cli(args);
        };
        ASSERT_EQ(run({"set", "0x1FF", "0x42"}).code, 0);
        EXPECT_EQ(run({"get", "0x1FF"}).out, "42\n");
        EXPECT_EQ(cli({"--simulate", "-d", type, "--chip-address", "1", "get", "0"}).code, 2);
        fs::remove(file("pins.bin"));
    }
}

TEST_F(CliAdapterTest, FaultsThroughTheAdaptersAreTheChipsFailures)
{
    for (const char* adapter : {"ch341a", "i2c:/dev/i2c-1"}) {
        SCOPED_TRACE(adapter);
        CliRun empty = cli({"-q", "--simulate", "--sim-fault", "empty", "-d", "SDA3526",
                            "--adapter", adapter, "read", file("out.bin")});
        EXPECT_EQ(empty.code, 1);
        EXPECT_NE(empty.err.find("No acknowledge"), std::string::npos) << empty.err;

        CliRun busy = cli({"-q", "--simulate", "--sim-fault", "busy", "-d", "24C02", "--adapter",
                           adapter, "set", "0x10", "0x55"});
        EXPECT_EQ(busy.code, 1) << busy.err;
    }
}

TEST_F(CliAdapterTest, TheSettingsFilesAdapterUnlessTheCommandLineNamesOne)
{
    // No simulation: the error names the adapter that was tried.
    writeSettings("[Device Port]\r\nPort=Port1\r\n[Adapter]\r\nAdapter=i2c:/dev/i2c-250\r\n");
    CliRun stored = cli({"-d", "24C02", "get", "0"});
    EXPECT_EQ(stored.code, 1);
    EXPECT_NE(stored.err.find("/dev/i2c-250"), std::string::npos) << stored.err;

    CliRun overridden = cli({"-d", "24C02", "--adapter", "ch341a", "get", "0"});
    EXPECT_EQ(overridden.code, 1);
    EXPECT_NE(overridden.err.find("CH341A"), std::string::npos) << overridden.err;

    writeSettings("[Adapter]\r\nAdapter=parport\r\n");
    CliRun parport = cli({"-d", "24C02", "--adapter", "parport", "get", "0"});
    EXPECT_EQ(parport.err.find("I2C"), std::string::npos) << parport.err;
}

TEST_F(CliAdapterTest, WrongAdapterOptionsAreUsageErrors)
{
    const std::vector<std::vector<std::string>> wrong = {
        {"--adapter", "usb"},
        {"--adapter", "i2c:/etc/passwd"},
        {"--adapter", "ch341a", "--i2c-speed", "50"},
        {"--adapter", "parport", "--i2c-speed", "100"},
        {"--adapter", "ch341a", "--trace", "bus.vcd"},
        {"--adapter", "spidev:/dev/sda"},
        {"--adapter", "ch341a", "--spi-speed", "1000"},
        {"--adapter", "spidev:/dev/spidev0.0", "--spi-speed", "0"},
        {"--adapter", "spidev:/dev/spidev0.0", "--i2c-speed", "400"},
    };
    for (std::vector<std::string> args : wrong) {
        args.insert(args.begin(), {"--simulate", "-d", "24C02"});
        args.insert(args.end(), {"get", "0"});
        const CliRun run = cli(args);
        EXPECT_EQ(run.code, 2) << run.err;
    }
}

TEST_F(CliAdapterTest, AnI2cChipOnSpidevIsRefusedBeforeTheDeviceIsOpened)
{
    // The device does not exist: a refusal that came after opening would
    // say so instead.
    const CliRun run = cli({"--simulate", "-d", "24C02", "--adapter", "spidev:/dev/spidev250.0",
                            "--spi-speed", "8000", "get", "0"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("spidev reaches SPI chips only"), std::string::npos) << run.err;
}

TEST(ToolSettingsAdapter, ReadFromItsOwnSection)
{
    const std::string folder = test::testFolder().string();
    const auto write = [&](const std::string& text) {
        std::ofstream(folder + "/Kavoda.INI", std::ios::binary) << text;
    };
    write("[Delay]\r\nDelay=20\r\n");
    EXPECT_FALSE(readToolSettings(folder).adapter.has_value());
    write("[adapter]\r\nADAPTER = \"ch341a\"\r\nSpeed=750\r\n");
    ASSERT_TRUE(readToolSettings(folder).adapter.has_value());
    EXPECT_EQ(readToolSettings(folder).adapter->kind, AdapterKind::Ch341a);
    EXPECT_EQ(readToolSettings(folder).adapter->speed, I2cSpeed::k750kHz);
    write("[Adapter]\r\nAdapter=nonsense\r\nSpeed=9\r\n");
    EXPECT_TRUE(readToolSettings(folder).adapter->isParallelPort());
    EXPECT_EQ(readToolSettings(folder).adapter->speed, I2cSpeed::k100kHz);
}

}  // namespace
}  // namespace kavoda
