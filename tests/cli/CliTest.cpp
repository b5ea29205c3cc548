// SPDX-License-Identifier: MIT
// kavoda-cli run in-process on the simulated chip: every verb, both file
// formats, the refusals and their exit codes, Ctrl+C, the progress bar and
// the settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "I2cController.h"
#include "ImageFiles.h"
#include "IntelHex.h"
#include "Interrupt.h"
#include "PortBackend.h"
#include "SharedOptions.h"
#include "SimulatedChip.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::randomImage;

std::string joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const auto& a : args)
        text += a + ' ';
    return text;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearInterrupt();
        m_dir = test::testFolder();
        m_settings = m_dir / "config";
        fs::create_directory(m_settings);
    }
    void TearDown() override
    {
        EXPECT_EQ(installedPortBackend(), nullptr) << "the tool leaves no port installed";
        resetDeviceState();
        clearInterrupt();
    }

    CliRun cli(std::vector<std::string> args, const std::string& input = std::string())
    {
        CliEnvironment environment;
        environment.errIsTerminal = m_terminal;
        environment.settingsFolder = m_settings.string();
        environment.pump = m_pump;
        return test::runTool(std::move(args), environment, input);
    }

    // A simulated chip of type whose content lives in chip.bin.
    CliRun chip(const std::string& type, std::vector<std::string> args,
                const std::string& input = std::string())
    {
        std::vector<std::string> all = {"-d", type, "--simulate", "--sim-image", path("chip.bin"),
                                        "--delay", "0", "--sim-write-cycle", "1"};
        all.insert(all.end(), args.begin(), args.end());
        return cli(all, input);
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void save(const std::string& name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    void save(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        save(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string load(const std::string& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<std::uint8_t> chipContent() const
    {
        const std::string text = load("chip.bin");
        return {text.begin(), text.end()};
    }

    fs::path m_dir;
    fs::path m_settings;
    bool m_terminal = false;
    std::function<void()> m_pump;
};

TEST_F(CliTest, SetThenGetOnTheSameImage)
{
    const std::string image = path("chip.bin");
    CliRun set = cli({"--simulate", "-d", "24c16", "--sim-image", image, "set", "0x7FF", "0x5a"});
    EXPECT_EQ(set.code, kExitOk) << set.err;
    EXPECT_EQ(set.out, "");
    CliRun get = cli({"-d", "24C16", "--simulate", "--sim-image", image, "get", "2047"});
    EXPECT_EQ(get.code, kExitOk) << get.err;
    EXPECT_EQ(get.out, "5A\n");
    CliRun other = cli({"--simulate", "-d", "24C16", "--sim-image", image, "get", "0x7FE"});
    EXPECT_EQ(other.out, "FF\n");
}

TEST_F(CliTest, SDADeviceWithItsOwnSimulatedType)
{
    const std::string image = path("sda.bin");
    EXPECT_EQ(cli({"--simulate=SDA3586", "-d", "sda3586", "--sim-image", image, "--delay", "0",
                   "--port", "0x3BC", "set", "1023", "7"})
                  .code,
              kExitOk);
    CliRun get = cli({"-d", "SDA3586", "--simulate=sda3586", "--sim-image", image, "get", "1023"});
    EXPECT_EQ(get.out, "07\n");
    // Options may also follow the verb.
    const std::string trace = path("bus.vcd");
    CliRun after = cli({"get", "0x3FF", "-d", "SDA3586", "--simulate", "--sim-image", image,
                        "--trace", trace});
    EXPECT_EQ(after.code, kExitOk) << after.err;
    EXPECT_EQ(after.out, "07\n");
    std::ifstream in(trace);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("$version", 0), 0u) << "the trace is written";
}

TEST_F(CliTest, RoundTripsOnEveryTypeInBothFormats)
{
    unsigned seed = 1;
    for (const CatalogueEntry& type : kCatalogue) {
        const std::string name(type.caption);
        const auto image = randomImage(static_cast<std::size_t>(type.sizeBytes()), seed++);
        save("in.bin", image);
        save("in.hex", writeIntelHex(image.data(), image.size()));
        for (const std::string ext : {".bin", ".hex"}) {
            fs::remove(path("chip.bin"));
            const CliRun write = chip(name, {"write", path("in" + ext)});
            ASSERT_EQ(write.code, kExitOk) << name << ext << ": " << write.err;
            EXPECT_EQ(chipContent(), image) << name << ext;
            const CliRun verify = chip(name, {"verify", path("in" + ext)});
            EXPECT_EQ(verify.code, kExitOk) << name << ext << ": " << verify.err;
            const CliRun read = chip(name, {"read", path("out" + ext)});
            ASSERT_EQ(read.code, kExitOk) << name << ext << ": " << read.err;
            EXPECT_EQ(load("out" + ext), load("in" + ext)) << name << ext;
        }
    }
}

TEST_F(CliTest, StandardInputAndOutputInBothFormats)
{
    const auto image = randomImage(512, 9);
    const std::string raw(image.begin(), image.end());
    EXPECT_EQ(chip("24C04", {"write", "-"}, raw).code, kExitOk);
    const CliRun rawOut = chip("24C04", {"read", "-"});
    EXPECT_EQ(rawOut.code, kExitOk) << rawOut.err;
    EXPECT_EQ(rawOut.out, raw);

    const CliRun hexOut = chip("24C04", {"read", "-", "--format", "ihex"});
    EXPECT_EQ(hexOut.out, writeIntelHex(image.data(), image.size()));
    auto changed = image;
    changed[0x100] ^= 0xFF;
    const CliRun hexIn = chip("24C04", {"write", "--format=ihex", "-"},
                              writeIntelHex(changed.data(), changed.size()));
    EXPECT_EQ(hexIn.code, kExitOk) << hexIn.err;
    EXPECT_EQ(chipContent(), changed);
    EXPECT_EQ(chip("24C04", {"verify", "-"}, raw).code, kExitHardware);
}

TEST_F(CliTest, DifferentialWriteTouchesOnlyTheDifferingBytes)
{
    const auto image = randomImage(2048, 3);
    save("a.bin", image);
    ASSERT_EQ(chip("24C16", {"write", path("a.bin")}).code, kExitOk);
    auto changed = image;
    for (const int at : {0, 1, 700, 2047})
        changed[static_cast<std::size_t>(at)] ^= 0x5A;
    save("b.bin", changed);
    const CliRun write = chip("24C16", {"write", path("b.bin")});
    EXPECT_EQ(write.code, kExitOk) << write.err;
    EXPECT_EQ(write.out, "Wrote 4 bytes to the 24C16 (2044 held their value already); verified.\n");
    EXPECT_EQ(chipContent(), changed);
    const CliRun again = chip("24C16", {"write", path("b.bin"), "--no-verify"});
    EXPECT_EQ(again.out,
              "Wrote 0 bytes to the 24C16 (2048 held their value already); not verified.\n");
    const CliRun all = chip("24C16", {"write", "--all", path("b.bin")});
    EXPECT_EQ(all.out, "Wrote 2048 bytes to the 24C16; verified.\n");
    // A page's run from its first to its last difference rewrites the bytes
    // between: written, not held, and the figures add up to the file's.
    changed[0x100] ^= 0x01;
    changed[0x10F] ^= 0x01;
    save("c.bin", changed);
    EXPECT_EQ(chip("24C16", {"write", path("c.bin")}).out,
              "Wrote 16 bytes to the 24C16, 2 of them differing (2032 held their value "
              "already); verified.\n");
}

TEST_F(CliTest, SizeMismatchRefusedUnlessAllowed)
{
    const auto old = randomImage(256, 4);
    save("old.bin", old);
    ASSERT_EQ(chip("24C02", {"write", path("old.bin")}).code, kExitOk);

    save("short.bin", std::string(100, '\x11'));
    const CliRun refused = chip("24C02", {"write", path("short.bin")});
    EXPECT_EQ(refused.code, kExitUsage);
    EXPECT_NE(refused.err.find("holds 100 bytes, the 24C02 256"), std::string::npos)
        << refused.err;
    EXPECT_EQ(chipContent(), old);

    const CliRun shorter = chip("24C02", {"write", "--size-mismatch-ok", path("short.bin")});
    EXPECT_EQ(shorter.code, kExitOk) << shorter.err;
    auto expected = old;
    std::fill(expected.begin(), expected.begin() + 100, 0x11);
    EXPECT_EQ(chipContent(), expected) << "the rest stays as it was";

    save("long.bin", std::string(300, '\x22'));
    const CliRun longer = chip("24C02", {"write", path("long.bin"), "--size-mismatch-ok"});
    EXPECT_EQ(longer.code, kExitOk) << longer.err;
    EXPECT_NE(longer.err.find("the 44 beyond the 256 of the 24C02 are ignored"), std::string::npos)
        << longer.err;
    EXPECT_EQ(chipContent(), std::vector<std::uint8_t>(256, 0x22));
    EXPECT_EQ(chip("24C02", {"verify", path("long.bin")}).code, kExitUsage);
    EXPECT_EQ(chip("24C02", {"verify", path("long.bin"), "--size-mismatch-ok"}).code, kExitOk);
}

TEST_F(CliTest, HexFileGapsAreLeftAndReported)
{
    const auto old = randomImage(256, 5);
    save("old.bin", old);
    ASSERT_EQ(chip("24C02", {"write", path("old.bin")}).code, kExitOk);
    save("part.hex", ":0200100055AAEF\n:00000001FF\n");
    const CliRun write = chip("24C02", {"write", path("part.hex")});
    EXPECT_EQ(write.code, kExitOk) << write.err;
    EXPECT_NE(write.err.find("gives 2 of the 256 bytes of the 24C02; the other 254 (the first at "
                             "0000) are left"),
              std::string::npos)
        << write.err;
    auto expected = old;
    expected[0x10] = 0x55;
    expected[0x11] = 0xAA;
    EXPECT_EQ(chipContent(), expected);

    save("beyond.hex", ":01010000FFFF\n:00000001FF\n");
    const CliRun beyond = chip("24C02", {"write", path("beyond.hex")});
    EXPECT_EQ(beyond.code, kExitUsage);
    EXPECT_NE(beyond.err.find("line 1: address 0100 is beyond the end (256 bytes) of the 24C02"),
              std::string::npos)
        << beyond.err;

    save("bad.hex", ":0200100055AAEE\n:00000001FF\n");
    const CliRun bad = chip("24C02", {"write", path("bad.hex")});
    EXPECT_EQ(bad.code, kExitHardware);
    EXPECT_NE(bad.err.find("bad.hex is no valid Intel HEX file: line 1: checksum EE should be EF"),
              std::string::npos)
        << bad.err;
    EXPECT_EQ(chipContent(), expected) << "a refused file changes nothing";
}

TEST_F(CliTest, EraseFillDumpAndVerifyReport)
{
    EXPECT_EQ(chip("24C08", {"fill", "0x5A"}).out, "Filled the 24C08 with 5A; verified.\n");
    EXPECT_EQ(chipContent(), std::vector<std::uint8_t>(1024, 0x5A));
    EXPECT_EQ(chip("24C08", {"set", "0x3F1", "0x41"}).code, kExitOk);
    const CliRun dump = chip("24C08", {"dump", "0x3F0", "0x10"});
    EXPECT_EQ(dump.code, kExitOk) << dump.err;
    EXPECT_EQ(dump.out,
              "000003f0  5a 41 5a 5a 5a 5a 5a 5a  5a 5a 5a 5a 5a 5a 5a 5a  |ZAZZZZZZZZZZZZZZ|\n"
              "00000400\n");
    EXPECT_EQ(chip("24C08", {"dump"}).out.size(), 64u * 79 + 9);

    save("fives.bin", std::string(1024, '\x5A'));
    const CliRun verify = chip("24C08", {"verify", path("fives.bin")});
    EXPECT_EQ(verify.code, kExitHardware);
    EXPECT_EQ(verify.out, "First difference at 03F1: file 5A, chip 41 (1 byte differs).\n");
    EXPECT_NE(verify.err.find("differs from"), std::string::npos);

    EXPECT_EQ(chip("24C08", {"erase"}).out, "Erased the 24C08 with FF; verified.\n");
    EXPECT_EQ(chipContent(), std::vector<std::uint8_t>(1024, 0xFF));
}

TEST_F(CliTest, MissingOrFaultyChipExitsWithOne)
{
    const auto expectFailure = [this](const std::vector<std::string>& args, const char* says) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.code, kExitHardware) << joined(args);
        EXPECT_NE(run.err.find(says), std::string::npos) << joined(args) << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    };
    const std::vector<std::string> empty = {"-d", "24C16", "--simulate", "--delay", "0",
                                            "--sim-fault=empty"};
    const auto with = [](std::vector<std::string> base, std::vector<std::string> more) {
        base.insert(base.end(), more.begin(), more.end());
        return base;
    };
    const char* noAck = "No acknowledge from the 24C16 at 00";
    expectFailure(with(empty, {"read", path("r.bin")}), noAck);
    EXPECT_FALSE(fs::exists(path("r.bin")));
    expectFailure(with(empty, {"get", "5"}), noAck);
    expectFailure(with(empty, {"set", "5", "1"}), noAck);
    expectFailure(with(empty, {"erase"}), noAck);
    expectFailure(with(empty, {"dump", "0", "4"}), noAck);
    save("ff.bin", std::string(2048, '\xFF'));
    expectFailure(with(empty, {"write", "--all", path("ff.bin")}), noAck);
    expectFailure(with(empty, {"probe"}), noAck);
    EXPECT_EQ(cli(with(empty, {"probe"})).out, "No chip answers at address A0.\n");

    const std::vector<std::string> readonly = {"-d", "24C02", "--simulate", "--delay", "0",
                                               "--sim-fault=readonly"};
    expectFailure(with(readonly, {"set", "5", "0x12"}), "Verify failed at 0005: wrote 12, read FF");
    expectFailure(with(readonly, {"fill", "0"}), "Verify failed at 0000: wrote 00, read FF (256 bytes differ).");
    EXPECT_EQ(cli(with(readonly, {"set", "5", "0x12", "--no-verify"})).code, kExitOk);

    const CliRun probe = cli({"-d", "SDA3546", "--simulate", "probe"});
    EXPECT_EQ(probe.code, kExitOk) << probe.err;
    EXPECT_EQ(probe.out, "A chip answers at address A0.\nThe SDA3546 is addressed with one word "
                         "address byte, the block number in bit 2 of the device address.\n");
    EXPECT_EQ(cli({"-d", "24C04", "--simulate", "probe"}).out,
              "A chip answers at address A0; it is not busy.\nThe 24C04 is addressed with one "
              "word address byte, the block number in bit 1 of the device address.\n");
    EXPECT_EQ(cli({"-d", "24C64", "--simulate", "--chip-address", "3", "probe"}).out,
              "A chip answers at address A6; it is not busy.\nThe 24C64 is addressed with two "
              "word address bytes.\n");

    // A chip file that cannot be used, a file that cannot be read or written.
    save("small.bin", "short");
    expectFailure({"--simulate", "--sim-image", path("small.bin"), "get", "0"}, "small.bin");
    expectFailure({"-d", "24C02", "--simulate", "write", path("missing.bin")}, "missing.bin");
    expectFailure({"-d", "24C02", "--simulate", "read", path("no/such/folder/x.bin")},
                  "Cannot write a file in");
    save("ro.bin", "keep");
    fs::permissions(path("ro.bin"), fs::perms::owner_read | fs::perms::group_read);
    expectFailure({"-d", "24C02", "--simulate", "read", path("ro.bin")}, "ro.bin: it is read-only");
    EXPECT_EQ(load("ro.bin"), "keep");
    // A port that cannot be had; nothing of the settings or the bus is touched.
    expectFailure({"-d", "24C02", "--port", "/dev/parport-none", "--delay", "0", "read",
                   path("p.bin")},
                  "/dev/parport-none");
    EXPECT_FALSE(fs::exists(path("p.bin")));
}

TEST_F(CliTest, BadCommandLinesExitWithTwo)
{
    save("f.bin", std::string(256, '\0'));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"get"},
        {"set", "1"},
        {"frobnicate"},
        {"--simulate", "get", "256"},                  // beyond a 24C02
        {"--simulate", "-d", "24C08", "get", "1024"},  // beyond a 24C08
        {"--simulate", "-d", "24C1025", "get", "0"},
        {"--simulate=27C256", "get", "0"},
        {"--simulate", "get", "12x"},
        {"--simulate", "get", "-1"},
        {"--simulate", "get", "0x"},
        {"--simulate", "get", "1f"},                    // hex wants its 0x
        {"--simulate", "get", "18446744073709551872"},  // 2^64 + 256: no wrap to 256
        {"--simulate", "get", "+1"},
        {"--simulate", "set", "0", "256"},
        {"--simulate", "--port", "0x379", "get", "0"},
        {"--simulate", "--port", "/tmp/parport0", "get", "0"},
        {"--simulate", "--delay", "ten", "get", "0"},
        {"--sim-image", "x.bin", "get", "0"},
        {"--simulate", "--sim-fault=melted", "get", "0"},
        {"--frobnicate", "get", "0"},
        {"erase"},
        {"--simulate", "read", path("x.bin")},  // no -d
        {"--simulate", "-d", "24C02", "read"},
        {"--simulate", "-d", "24C02", "read", path("x.bin"), "--format", "srec"},
        {"--simulate", "-d", "24C02", "fill", "0x100"},
        {"--simulate", "-d", "24C02", "dump", "256"},
        {"--simulate", "-d", "24C02", "dump", "250", "7"},
        {"--simulate", "-d", "24C04", "write", path("f.bin")},  // 256 bytes for 512
        {"--simulate", "-d", "24C02", "read", path("x.bin"), "--all"},
        {"--simulate", "-d", "24C02", "--trace", path("x.bin"), "read", path("x.bin")},
        {"--simulate", "-d", "24C64", "--chip-address", "8", "get", "0"},  // three pins
        {"--simulate", "-d", "24C04", "--chip-address", "1", "get", "0"},  // A0 is its block
    };
    for (const auto& args : bad) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.code, kExitUsage) << joined(args) << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << joined(args) << run.err;
        EXPECT_EQ(run.out, "") << joined(args);
    }
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliTest, AWrongVerbOrAnEmptyValueIsNamed)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"raed", path("x.bin")}, "no verb 'raed'; did you mean 'read'?"},
        {{"--simulate", "-d", "24C02", "DUMP"}, "no verb 'DUMP'; did you mean 'dump'?"},
        {{"-d", "24C02", "fil", "0"}, "no verb 'fil'; did you mean 'fill'?"},
        {{"frobnicate"}, "no verb 'frobnicate'; run kavoda-cli --help for the verbs"},
        {{"--simulate"}, "no verb; run kavoda-cli --help for the verbs"},
        {{"--frobnicate"},
         "unknown option '--frobnicate'; run kavoda-cli --help for the verbs and options"},
        // An empty value is no way to ask for the default.
        {{"--simulate", "-d", "", "get", "0"},
         "--device: the value is empty; leave the option out for its default"},
        {{"--simulate", "--port", "", "get", "0"},
         "--port: the value is empty; leave the option out for its default"},
        {{"--simulate", "--delay", "", "get", "0"},
         "--delay: the value is empty; leave the option out for its default"},
        // Not the next word taken for the value ("--delay=$DELAY", empty).
        {{"--simulate", "--delay=", "get", "0"},
         "--delay: the value is empty; leave the option out for its default"},
        {{"--simulate", "-d", "24C02", "read", path("x.bin"), "--format="},
         "--format: the value is empty; leave the option out for its default"},
        {{"--simulate", "-d", "24C02", "read", path("x.bin"), "--format", ""},
         "--format: the value is empty; leave the option out for its default"},
    };
    for (const auto& [args, message] : cases) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.code, kExitUsage) << joined(args);
        EXPECT_EQ(run.err.rfind("kavoda-cli: " + message, 0), 0u) << joined(args) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliTest, EveryValueOfAListedSetIsTaken)
{
    // The completion offers the sets that the listing shows; each member
    // must be one the program takes.
    const CliRun listing = cli({"--list", "options"});
    ASSERT_EQ(listing.code, kExitOk);
    std::map<std::string, std::vector<std::string>> sets;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        const std::size_t open = fields.at(3).find(":{");
        if (open == std::string::npos)
            continue;
        std::istringstream members(
            fields[3].substr(open + 2, fields[3].find('}', open) - open - 2));
        for (std::string member; std::getline(members, member, ',');)
            sets[fields[2]].push_back(member);
    }
    ASSERT_EQ(sets.size(), 6u) << listing.out;  // checksum --only, --org, --byte-order too
    for (const std::string& name : sets.at("--format"))
        EXPECT_TRUE(parseFileFormat(name)) << name;
    for (const std::string& khz : sets.at("--i2c-speed"))
        EXPECT_TRUE(i2cSpeedFromKhz(std::stoi(khz))) << khz;
    for (const std::string& fault : sets.at("--sim-fault"))
        EXPECT_TRUE(chipFaultNamed(fault)) << fault;
    for (const std::string& org : sets.at("--org")) {
        for (const std::string& order : sets.at("--byte-order")) {
            ChipType chosen{};
            EXPECT_EQ(chooseChipType(*findChip("93C66"), "93C66", org, order, chosen), "")
                << org << ' ' << order;
        }
    }
}

TEST_F(CliTest, HelpListsTheVerbs)
{
    const CliRun run = cli({"--help"});
    EXPECT_EQ(run.code, kExitOk);
    for (const char* verb : {"get", "set", "read", "write", "verify", "erase", "fill", "dump",
                             "probe", "--simulate", "--quiet"})
        EXPECT_NE(run.out.find(verb), std::string::npos) << verb;
}

TEST_F(CliTest, CtrlCDuringAReadLeavesNoFile)
{
    save("keep.bin", "the old backup");
    int runs = 0;
    m_pump = [&runs] {
        if (++runs == 3)  // before the third block's read
            requestInterrupt();
    };
    const CliRun run = chip("24C16", {"read", path("keep.bin")});
    EXPECT_EQ(run.code, kExitInterrupted);
    EXPECT_NE(run.err.find("Interrupted at 0200 after reading 512 of 2048 bytes of the 24C16; " +
                           path("keep.bin") + " was not written."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(load("keep.bin"), "the old backup");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"chip.bin", "config", "keep.bin"}))
        << "no temporary file stays behind";
}

TEST_F(CliTest, CtrlCDuringAWriteStopsAfterTheCurrentByte)
{
    auto image = randomImage(256, 6);
    for (auto& b : image)
        b = b == 0xFF ? 0 : b;  // every byte differs from the fresh chip's
    save("new.bin", image);
    int runs = 0;
    m_pump = [&runs] {
        if (++runs == 1 + 6)  // the comparing read, then five pages written
            requestInterrupt();
    };
    const CliRun run = chip("24C02", {"write", path("new.bin")});
    EXPECT_EQ(run.code, kExitInterrupted);
    EXPECT_NE(run.err.find("Interrupted at 0028 after writing 40 of 256 bytes"), std::string::npos)
        << run.err;
    const auto content = chipContent();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 40, content.begin()));
    EXPECT_TRUE(std::all_of(content.begin() + 40, content.end(), [](auto b) { return b == 0xFF; }));
    // TearDown checks that the port was released.
}

TEST_F(CliTest, CtrlCInABlockingCallIsStillAnInterrupt)
{
    // As when the signal ends the read of standard input with EINTR.
    requestInterrupt();
    const CliRun run = chip("24C02", {"write", path("missing.bin")});
    EXPECT_EQ(run.code, kExitInterrupted);
    EXPECT_EQ(run.err.rfind("kavoda-cli: Interrupted: Cannot read ", 0), 0u) << run.err;
}

TEST_F(CliTest, ProgressBarOnlyOnATerminalAndNotWithQuiet)
{
    save("a.bin", std::string(256, 'a'));
    const CliRun plain = chip("24C02", {"write", path("a.bin")});
    EXPECT_EQ(plain.err, "");
    m_terminal = true;
    const CliRun bar = chip("24C02", {"read", path("b.bin")});
    EXPECT_EQ(bar.code, kExitOk);
    EXPECT_NE(bar.err.find("\rReading"), std::string::npos) << bar.err;
    EXPECT_NE(bar.err.find("100%"), std::string::npos) << bar.err;
    EXPECT_EQ(bar.err.back(), '\n');
    EXPECT_EQ(bar.out, "Read 256 bytes from the 24C02 into " + path("b.bin") + ".\n");
    EXPECT_EQ(chip("24C02", {"-q", "read", path("b.bin")}).err, "");
    EXPECT_EQ(chip("24C02", {"read", path("b.bin"), "--quiet"}).err, "");

    // A length of 0 lists nothing and draws no bar (whose address would be
    // the one before START).
    for (const char* start : {"0", "0x10"}) {
        const CliRun none = chip("24C02", {"dump", start, "0"});
        EXPECT_EQ(none.code, kExitOk) << start << none.err;
        EXPECT_EQ(none.out, "") << start;
        EXPECT_EQ(none.err, "") << start;
    }
}

TEST_F(CliTest, PortAndDelayDefaultToTheSettingsFile)
{
    // No file: the window's defaults, Port2 and 10.
    EXPECT_EQ(cli({"--simulate", "get", "0"}).code, kExitOk);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(BusDelay, 10);

    const std::string ini = (m_settings / "Kavoda.INI").string();
    std::ofstream(ini) << "[device port]\nport = \"Port3\"\n[DELAY]\nDelay=0x1E\n";
    EXPECT_EQ(cli({"--simulate", "get", "0"}).code, kExitOk);
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(BusDelay, 30);
    EXPECT_EQ(cli({"--simulate", "--port", "0x378", "--delay", "0", "get", "0"}).code, kExitOk);
    EXPECT_EQ(PortBase, 0x378);
    EXPECT_EQ(BusDelay, 0);

    std::ofstream(ini) << "[Delay]\nDelay=5000000\n";
    const CliRun tooSlow = cli({"--simulate", "get", "0"});
    EXPECT_EQ(tooSlow.code, kExitUsage);
    EXPECT_NE(tooSlow.err.find(ini), std::string::npos) << tooSlow.err;
    std::ifstream after(ini);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), "[Delay]\nDelay=5000000\n")
        << "never written";
}

}  // namespace
}  // namespace kavoda
