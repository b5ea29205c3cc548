// SPDX-License-Identifier: MIT
// kavoda-cli on the 93Cxx Microwire rows: every verb on the simulated chip
// behind the simulated CH341A in both organisations and byte orders, the
// organisation as a usage error, the faults, and probe's address width.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Cli.h"
#include "CliRun.h"
#include "Interrupt.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using Bytes = std::vector<std::uint8_t>;

class MicrowireCliTest : public test::CliFolderTest {
protected:
    void SetUp() override
    {
        CliFolderTest::SetUp();
        clearInterrupt();
    }
    void TearDown() override
    {
        clearInterrupt();
        CliFolderTest::TearDown();
    }

    // The tool on a simulated chip of type behind the simulated CH341A, its
    // content (in the chip's own word order) in chip.bin.
    CliRun chip(const std::string& type, std::vector<std::string> args,
                const std::string& fault = {})
    {
        std::vector<std::string> all = {"--adapter", "ch341a", "--simulate=" + type,
                                        "--sim-image", path("chip.bin"), "-q"};
        if (!fault.empty())
            all.insert(all.end(), {"--sim-fault", fault});
        all.insert(all.end(), args.begin(), args.end());
        CliEnvironment environment;
        environment.settingsFolder = (m_dir / "config").string();
        environment.pump = m_pump;
        const CliRun run = test::runTool(all, environment);
        resetDeviceState();
        return run;
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void save(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    Bytes load(const std::string& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    std::function<void()> m_pump;
};

std::string hexByte(std::uint8_t value, const char* format = "%02X")
{
    char text[3];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

Bytes swappedWords(Bytes bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

struct Layout {
    const char* type;
    int size;
    const char* org;
    const char* order;
    const char* named;  // how every report names the chip
};

TEST_F(MicrowireCliTest, EveryVerbInEveryOrganisationAndByteOrder)
{
    const Layout layouts[] = {
        {"93C46", 128, "8", "big", "93C46 (x8)"},
        {"93C56", 256, "16", "big", "93C56 (x16, big-endian (high byte first))"},
        {"93C66", 512, "16", "little", "93C66 (x16, little-endian (low byte first))"},
        {"93C86", 2048, "8", "little", "93C86 (x8)"},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.type + std::string(" x") + l.org + " " + l.order);
        fs::remove(path("chip.bin"));
        const std::vector<std::string> type = {"-d", l.type, "--org", l.org, "--byte-order",
                                               l.order};
        const auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), type.begin(), type.end());
            return chip(l.type, args);
        };
        const auto size = static_cast<std::size_t>(l.size);
        const Bytes image = test::randomImage(size, static_cast<unsigned>(l.size));
        save("image.bin", image);
        const std::string name = std::string("the ") + l.named;

        CliRun write = run({"write", path("image.bin")});
        ASSERT_EQ(write.code, kExitOk) << write.err;
        EXPECT_NE(write.out.find(" bytes to " + name), std::string::npos) << write.out;
        // The chip holds the words as it shifts them: high byte first.
        const bool swap = std::string(l.org) == "16" && std::string(l.order) == "little";
        EXPECT_EQ(load("chip.bin"), swap ? swappedWords(image) : image);

        CliRun read = run({"read", path("back.bin")});
        ASSERT_EQ(read.code, kExitOk) << read.err;
        EXPECT_EQ(read.out, "Read " + std::to_string(size) + " bytes from " + name + " into " +
                                path("back.bin") + ".\n");
        EXPECT_EQ(load("back.bin"), image);

        EXPECT_EQ(run({"verify", path("image.bin")}).out.rfind("The " + std::string(l.named), 0),
                  0u);

        // One byte of a x16 word: its partner keeps its value.
        EXPECT_EQ(run({"set", "0x11", "0xA5"}).code, kExitOk);
        EXPECT_EQ(run({"get", "0x11"}).out, "A5\n");
        EXPECT_EQ(run({"get", "0x10"}).out, hexByte(image[0x10]) + "\n");
        EXPECT_NE(run({"compare", "chip", path("image.bin")}).out.find("0011          1  A5"),
                  std::string::npos);

        CliRun dump = run({"dump", "0x10", "2"});
        EXPECT_EQ(dump.out.substr(0, dump.out.find('\n')), "The " + std::string(l.named) + ":");
        EXPECT_NE(dump.out.find(hexByte(image[0x10], "%02x") + " a5"), std::string::npos) << dump.out;

        CliRun erase = run({"erase"});
        EXPECT_EQ(erase.code, kExitOk) << erase.err;
        EXPECT_EQ(erase.out, "Erased " + name + " with FF (one ERAL cycle); verified.\n");
        EXPECT_EQ(load("chip.bin"), Bytes(size, 0xFF));
        EXPECT_EQ(run({"blank"}).code, kExitOk);

        CliRun fill = run({"fill", "0x5A"});
        EXPECT_EQ(fill.out, "Filled " + name + " with 5A (one WRAL cycle); verified.\n");
        EXPECT_EQ(load("chip.bin"), Bytes(size, 0x5A));
        EXPECT_EQ(run({"blank"}).code, kExitHardware);
    }
}

TEST_F(MicrowireCliTest, TheOrganisationIsNeverGuessed)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"-d", "93C66", "read", path("x.bin")},
         "the 93C66 is organised by its ORG pin, which the program cannot see: give --org 8"},
        {{"-d", "93LC66A", "--org", "16", "read", path("x.bin")},
         "--org 16: the 93LC66A is x8 only"},
        {{"-d", "93C66", "--org", "16", "--bytewise", "read", path("x.bin")}, "--bytewise"},
        {{"-d", "93C66", "--org", "16", "--i2c-speed", "400", "read", path("x.bin")},
         "--i2c-speed"},
        {{"-d", "93C66", "scan"}, "scan lists the addresses of an I2C bus"},
        {{"-d", "auto", "read", path("x.bin")}, "-d auto finds I2C EEPROMs"},
    };
    for (const auto& [args, message] : refused) {
        const CliRun run = chip("93C66", args);
        EXPECT_EQ(run.code, kExitUsage) << args.at(1);
        EXPECT_EQ(run.err.rfind("kavoda-cli: " + message, 0), 0u) << run.err;
    }
    EXPECT_FALSE(fs::exists(path("x.bin")));

    // A maker's suffix fixes it, and wires the simulated chip's ORG pin alike.
    const CliRun named = chip("93C66", {"-d", "93LC66A", "read", path("x.bin")});
    EXPECT_EQ(named.out, "Read 512 bytes from the 93C66 (x8) into " + path("x.bin") + ".\n");
    EXPECT_NE(chip("93C66", {"-d", "93LC66A", "probe"}).out.find("after 9 address bits"),
              std::string::npos);
}

TEST_F(MicrowireCliTest, AChipThatRefusesWritesOrIsMissingFailsTheVerb)
{
    const Bytes image = test::randomImage(128, 8);
    save("image.bin", image);
    const std::vector<std::string> type = {"-d", "93C46", "--org", "8"};
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"write", path("image.bin")}, {"fill", "0"}}) {
        SCOPED_TRACE(verb.front());
        auto args = type;
        args.insert(args.end(), verb.begin(), verb.end());
        fs::remove(path("chip.bin"));
        ASSERT_EQ(chip("93C46", {"-d", "93C46", "--org", "8", "fill", "0x33"}).code, kExitOk);

        const CliRun refused = chip("93C46", args, "protected");
        EXPECT_EQ(refused.code, kExitHardware);
        EXPECT_NE(refused.err.find("(EWEN)"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(load("chip.bin"), Bytes(128, 0x33));

    }
    const CliRun empty = chip("93C46", {"-d", "93C46", "--org", "8", "read", path("x.bin")},
                              "empty");
    EXPECT_EQ(empty.code, kExitHardware);
    EXPECT_NE(empty.err.find("no chip drives DO"), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(MicrowireCliTest, CtrlCDuringAFillSaysWhatTheChipHolds)
{
    const std::vector<std::string> erase = {"-d", "93C56", "--org", "8", "erase"};
    ASSERT_EQ(chip("93C56", {"-d", "93C56", "--org", "8", "fill", "0"}).code, kExitOk);
    int pumps = 0;
    int stopAt = 1;  // before the cycle
    m_pump = [&] {
        if (++pumps == stopAt)
            requestInterrupt();
    };
    CliRun run = chip("93C56", erase);
    EXPECT_EQ(run.code, kExitInterrupted);
    EXPECT_EQ(run.err, "kavoda-cli: Interrupted before the ERAL; nothing was changed.\n");
    EXPECT_EQ(load("chip.bin"), Bytes(256, 0x00));

    clearInterrupt();
    pumps = 0;
    stopAt = 2;  // while the chip is read back
    run = chip("93C56", erase);
    EXPECT_EQ(run.code, kExitInterrupted);
    EXPECT_NE(run.err.find("while reading back after the ERAL cycle: the chip holds FF wherever"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(load("chip.bin"), Bytes(256, 0xFF));
}

TEST_F(MicrowireCliTest, ProbeTellsTheAddressWidthAndWritesNothing)
{
    CliRun x8 = chip("93C46", {"-d", "93C46", "--org", "8", "probe"});
    EXPECT_EQ(x8.code, kExitOk);
    EXPECT_EQ(x8.out, "DO drove the dummy 0 after 7 address bits: a 93C46 organised x8 (ORG to "
                      "ground).\n");

    // No --org: the simulated chip's ORG pin is open, x16.
    fs::remove(path("chip.bin"));
    CliRun open = chip("93C66", {"-d", "93C66", "probe"});
    EXPECT_EQ(open.code, kExitOk);
    EXPECT_EQ(open.out,
              "DO drove the dummy 0 after 8 address bits: a 93C56 or 93C66 organised x16 (ORG "
              "to VCC or open).\n"
              "Its content is uniform (every byte FF): it cannot tell the 93C56 from the "
              "93C66; write a byte to one half and probe again to tell.\n"
              "Give --org 16 with -d 93C66.\n");
    EXPECT_EQ(load("chip.bin"), Bytes(512, 0xFF));

    fs::remove(path("chip.bin"));
    ASSERT_EQ(chip("93C66", {"-d", "93C66", "--org", "8", "set", "3", "9"}).code, kExitOk);
    // Read as a 93C66, a 93C56's halves would agree: its top address bit is ignored.
    CliRun differ = chip("93C66", {"-d", "93C56", "--org", "8", "probe"});
    EXPECT_EQ(differ.code, kExitHardware);
    EXPECT_NE(differ.out.find("its two halves differ, which a 93C56 (its top address bit "
                              "ignored) cannot show: a 93C66.\n"
                              "That is not the 93C56 of -d"),
              std::string::npos)
        << differ.out;

    fs::remove(path("chip.bin"));
    CliRun nothing = chip("93C66", {"-d", "93C66", "probe"}, "empty");
    EXPECT_EQ(nothing.code, kExitHardware);
    EXPECT_EQ(nothing.out, "No chip drives DO: no dummy 0 came within 16 address bits.\n");
}

}  // namespace
}  // namespace kavoda
