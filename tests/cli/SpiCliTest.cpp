// SPDX-License-Identifier: MIT
// kavoda-cli on the SPI rows: every verb on simulated 25xx EEPROMs and SPI
// flash behind a simulated SPI transport, both file formats, the refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <random>

#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "IntelHex.h"
#include "Interrupt.h"
#include "PortSession.h"
#include "SimulatedSpiBus.h"
#include "SpiChipBus.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::randomImage;

class SpiCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearInterrupt();
        m_dir = test::testFolder();
        m_settings = m_dir / "config";
        fs::create_directory(m_settings);
    }
    void TearDown() override { resetDeviceState(); }

    // The tool on the simulated chip of type, its content in chip.bin.
    CliRun chip(const std::string& type, std::vector<std::string> args,
                const std::string& input = {}, const std::string& fault = {})
    {
        std::vector<std::string> all = {"-d", type, "--simulate", "--sim-image",
                                        (m_dir / ("chip-" + type + ".bin")).string(), "-q"};
        if (!fault.empty()) {
            all.push_back("--sim-fault");
            all.push_back(fault);
        }
        all.insert(all.end(), args.begin(), args.end());
        CliEnvironment environment;
        environment.settingsFolder = m_settings.string();
        environment.pump = m_pump;
        environment.makeBus = [](PortSession& session) {
            const PortOptions& o = session.options();
            const ChipOptions options{*o.simulateType, o.simImagePath, o.simWriteCycleNs,
                                      o.simFault, 0};
            auto link = std::make_shared<SimulatedSpiBus>(
                makeSimulatedSpiChip(options), SimulatedSpiBus::Timing{6000, 20'000, 0},
                SpiLimits{4096, 65536});
            const TransferLimits limits{0x10000, 0x10000, 0x100, 8, false, true, 8000000 / 6000};
            return makeSpiChipBus([link] { return link->open(); }, limits, link);
        };
        return test::runTool(all, environment, input);
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void save(const std::string& name, const std::string& text)
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string load(const std::string& name)
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
    fs::path m_settings;
    std::function<void()> m_pump;
};

TEST_F(SpiCliTest, EveryVerbOnTheEepromsIsByteExact)
{
    for (const std::string type : {"25010", "25040", "25640", "25M01"}) {
        SCOPED_TRACE(type);
        const auto size = static_cast<std::size_t>(findChip(type)->size);
        const auto image = randomImage(size, 11);
        const std::string raw(image.begin(), image.end());
        save("in.bin", raw);
        save("in.hex", writeIntelHex(image.data(), image.size()));

        CliRun run = chip(type, {"write", path("in.hex")});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.out.find("verified"), std::string::npos);
        ASSERT_EQ(chip(type, {"read", path("out.bin")}).code, 0);
        EXPECT_EQ(load("out.bin"), raw);
        EXPECT_EQ(load("chip-" + type + ".bin"), raw);
        run = chip(type, {"read", "-", "--format", "ihex"});
        EXPECT_EQ(run.out, writeIntelHex(image.data(), image.size()));
        EXPECT_EQ(chip(type, {"verify", path("in.bin")}).code, 0);

        // One byte differs: one page is written.
        auto changed = image;
        changed[size - 1] ^= 0xFF;
        save("in.bin", std::string(changed.begin(), changed.end()));
        run = chip(type, {"write", path("in.bin")});
        EXPECT_EQ(run.out.rfind("Wrote 1 byte to the " + type, 0), 0u) << run.out;

        run = chip(type, {"set", std::to_string(size / 2), "0x5A"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(chip(type, {"get", std::to_string(size / 2)}).out, "5A\n");
        EXPECT_NE(chip(type, {"dump", "0", "16"}).out.find("00000000"), std::string::npos);
        EXPECT_EQ(chip(type, {"erase"}).code, 0);
        EXPECT_EQ(chip(type, {"blank"}).code, 0);
        EXPECT_EQ(chip(type, {"fill", "0x00"}).code, 0);
        EXPECT_EQ(load("chip-" + type + ".bin"), std::string(size, '\0'));
        EXPECT_EQ(chip(type, {"checksum"}).code, 0);
        EXPECT_EQ(chip(type, {"compare", path("out.bin"), "chip"}).code, 1);
        run = chip(type, {"probe"});
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("A chip answers on the SPI bus"), std::string::npos);
        const int bytes = findChip(type)->spi.addressBytes;
        EXPECT_NE(run.out.find("with " + std::to_string(bytes) + " address byte"),
                  std::string::npos)
            << run.out;
    }
}

TEST_F(SpiCliTest, FlashWritesByEraseUnitsAndProbeNamesIt)
{
    const std::string type = "W25Q80";
    const std::size_t size = 1u << 20;
    auto image = randomImage(size, 3);
    save("in.hex", writeIntelHex(image.data(), image.size()));
    // An erased chip is only programmed; another image over it needs every
    // 64 KiB block erased.
    CliRun run = chip(type, {"write", path("in.hex")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("after erasing 0 units (0 bytes)"), std::string::npos) << run.out;
    image = randomImage(size, 4);
    save("in.hex", writeIntelHex(image.data(), image.size()));
    run = chip(type, {"write", path("in.hex")});
    EXPECT_NE(run.out.find("after erasing 16 units (1048576 bytes)"), std::string::npos) << run.out;
    ASSERT_EQ(chip(type, {"read", path("out.bin")}).code, 0);
    EXPECT_EQ(load("out.bin"), std::string(image.begin(), image.end()));

    // A byte set to 1 bits: its 4 KiB unit is erased and programmed again.
    image[0x12345] = 0xFF;
    save("in.bin", std::string(image.begin(), image.end()));
    run = chip(type, {"write", path("in.bin")});
    EXPECT_NE(run.out.find("after erasing 1 unit (4096 bytes); 1 of its 256"), std::string::npos)
        << run.out;
    EXPECT_EQ(chip(type, {"verify", path("in.bin")}).code, 0);
    EXPECT_EQ(chip(type, {"set", "0x12345", "0x00"}).code, 0);
    EXPECT_EQ(chip(type, {"get", "0x12345"}).out, "00\n");

    EXPECT_EQ(chip(type, {"erase"}).code, 0);
    EXPECT_EQ(load("chip-" + type + ".bin"), std::string(size, '\xFF'));

    run = chip(type, {"probe"});
    EXPECT_NE(run.out.find("JEDEC ID EF 40 14: the W25Q80 of the chip table"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Its SFDP table: 1 MiB, erase units 4 KiB (20h), 32 KiB (52h), 64 KiB (D8h)"),
              std::string::npos)
        << run.out;
}

TEST_F(SpiCliTest, SfdpOnlyFlashIsNamedWithWhatItsTableSays)
{
    for (const char* verb : {"probe", "identify"}) {
        const CliRun seen = chip("spi-flash", {verb});
        ASSERT_EQ(seen.code, 0) << verb << seen.err;
        EXPECT_NE(seen.out.find("JEDEC ID EF 60 16: no row of the chip table"), std::string::npos);
        EXPECT_NE(seen.out.find("4 MiB"), std::string::npos);
    }
    CliRun run;
    run = chip("spi-flash", {"set", "0x3FFFFF", "0x42"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(chip("spi-flash", {"get", "0x3FFFFF"}).out, "42\n");
    run = chip("spi-flash", {"fill", "0xFF"});
    EXPECT_NE(run.out.find("spi-flash (4 MiB, erase units 4 KiB (20h), 32 KiB (52h), 64 KiB (D8h), "
                           "from its SFDP table)"),
              std::string::npos)
        << run.out;
}

TEST_F(SpiCliTest, ProtectionEmptySocketAndWrongChipAreRefused)
{
    save("in.bin", std::string(8192, 'x'));
    CliRun run = chip("25640", {"write", path("in.bin")}, {}, "protected");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("write-protected by its status register (BP1 BP0 = 11)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Nothing was written."), std::string::npos);
    EXPECT_EQ(load("chip-25640.bin"), std::string(8192, '\xFF'));
    run = chip("25640", {"write", path("in.bin"), "--unprotect"}, {}, "protected");
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(chip("24C02", {"write", path("in.bin"), "--unprotect"}).code, 2);

    run = chip("W25Q32", {"read", path("out.bin")}, {}, "empty");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no chip answers on the SPI bus"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(path("out.bin")));

    save("in.bin", std::string(8192, 'y'));
    run = chip("25640", {"write", path("in.bin")}, {}, "busy");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("stayed busy"), std::string::npos) << run.err;
}

TEST_F(SpiCliTest, CtrlCEndsAFlashWriteBetweenUnitsWithExactCounts)
{
    const std::string type = "W25Q80";
    const auto image = randomImage(1u << 20, 8);
    save("in.bin", std::string(image.begin(), image.end()));
    // The comparing read takes pumps of its own; the stop comes during the write.
    int pumps = 0;
    int stopAt = -1;
    m_pump = [&] {
        if (++pumps == stopAt)
            requestInterrupt();
    };
    ASSERT_EQ(chip(type, {"read", path("before.bin")}).code, 0);
    const int readPumps = pumps;
    pumps = 0;
    stopAt = readPumps + 3;  // two units written, the third not begun
    const CliRun run = chip(type, {"write", path("in.bin")});
    EXPECT_EQ(run.code, 130);
    EXPECT_NE(run.err.find("Interrupted at 2000 after writing 8192 of "),
              std::string::npos)
        << run.err;
    const std::string now = load("chip-" + type + ".bin");
    EXPECT_EQ(now.substr(0, 0x2000), std::string(image.begin(), image.begin() + 0x2000));
    EXPECT_EQ(now.substr(0x2000), std::string(0x100000 - 0x2000, '\xFF'));
}

TEST_F(SpiCliTest, ListingNamesTheFamilies)
{
    const CliRun run = chip("25640", {"--list", "devices"});
    EXPECT_NE(run.out.find("24C16\t24C (I2C EEPROM)\n"), std::string::npos);
    EXPECT_NE(run.out.find("25640\t25xx (SPI EEPROM)\n"), std::string::npos);
    EXPECT_NE(run.out.find("W25Q32\tSPI NOR flash\n"), std::string::npos);
    EXPECT_NE(run.out.find("spi-flash\tSPI NOR flash\n"), std::string::npos);
}

}  // namespace
}  // namespace kavoda
