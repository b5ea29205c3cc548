// SPDX-License-Identifier: MIT
// Command-line options of the kavoda program.
#include "KavodaVersion.h"
#include "ChipTable.h"
#include "Options.h"
#include "TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sstream>
#include <vector>

using namespace kavoda;

namespace {

struct Outcome {
    ParsedOptions parsed;
    std::string out, err;
};

Outcome parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "kavoda");
    std::ostringstream out, err;
    Outcome run{parseOptions(static_cast<int>(args.size()), args.data(), out, err), {}, {}};
    run.out = out.str();
    run.err = err.str();
    return run;
}

TEST(Options, NoArgumentsDriveTheRealPort)
{
    const Outcome r = parse({});
    EXPECT_TRUE(r.parsed.run);
    EXPECT_FALSE(r.parsed.options.simulateType);
    EXPECT_TRUE(r.parsed.options.simImagePath.empty());
    EXPECT_TRUE(r.parsed.options.tracePath.empty());
    EXPECT_EQ(simulationMarker(r.parsed.options), "");
}

TEST(Options, SimulateDefaultsToA24C16)
{
    const Outcome r = parse({"--simulate"});
    ASSERT_TRUE(r.parsed.run);
    ASSERT_TRUE(r.parsed.options.simulateType);
    EXPECT_EQ(*r.parsed.options.simulateType, 4);
    EXPECT_EQ(simulationMarker(r.parsed.options), " [simulated 24C16]");
}

TEST(Options, SimulateTakesAnyCatalogueTypeInAnyCase)
{
    for (const auto& [arg, type, name] :
         {std::tuple{"--simulate=SDA3546", 7, "SDA3546"}, {"--simulate=24c02", 1, "24C02"},
          {"--simulate=sda3586", 8, "SDA3586"}}) {
        const Outcome r = parse({arg, "--sim-image", "chip.bin", "--trace", "bus.vcd"});
        ASSERT_TRUE(r.parsed.run) << arg << r.err;
        EXPECT_EQ(*r.parsed.options.simulateType, type);
        EXPECT_EQ(r.parsed.options.simImagePath, "chip.bin");
        EXPECT_EQ(r.parsed.options.tracePath, "bus.vcd");
        EXPECT_EQ(simulationMarker(r.parsed.options),
                  QStringLiteral(" [simulated %1]").arg(QLatin1String(name)));
    }
}

TEST(Options, AnUnknownTypeIsAUsageError)
{
    for (const char* arg : {"--simulate=24C99", "--type=24C99"}) {
        SCOPED_TRACE(arg);
        const Outcome r = parse({arg});
        EXPECT_FALSE(r.parsed.run);
        EXPECT_EQ(r.parsed.exitCode, 2);
        EXPECT_NE(r.err.find("24C99"), std::string::npos);
        EXPECT_NE(r.err.find("SDA3586"), std::string::npos); // names the choices
        EXPECT_NE(r.err.find("24M02"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(Options, TypeChoosesAnyRowAndASimulationWithoutTypeTakesIt)
{
    const Outcome r = parse({"--type", "24c256", "--simulate"});
    ASSERT_TRUE(r.parsed.run) << r.err;
    EXPECT_EQ(r.parsed.typeName, "24c256");
    ASSERT_TRUE(r.parsed.options.simulateType);
    EXPECT_EQ(findChipByCode(*r.parsed.options.simulateType)->caption, "24C256");
    EXPECT_EQ(simulationMarker(r.parsed.options), " [simulated 24C256]");
    // A type given to --simulate wins; without --type the default stays.
    EXPECT_EQ(*parse({"--type=24C256", "--simulate=24C64"}).parsed.options.simulateType,
              findChip("24C64")->deviceType);
    EXPECT_EQ(*parse({"--simulate"}).parsed.options.simulateType, 4);
}

TEST(Options, AMicrowireTypeTakesItsOrganisationOrIsAUsageError)
{
    const Outcome r = parse({"--type", "93C66", "--org", "16", "--byte-order", "little",
                             "--simulate"});
    ASSERT_TRUE(r.parsed.run) << r.err;
    ASSERT_TRUE(r.parsed.chosenType);
    EXPECT_EQ(r.parsed.chosenType->microwire.organisation, 16);
    EXPECT_EQ(r.parsed.chosenType->microwire.byteOrder, ByteOrder::Little);
    EXPECT_EQ(r.parsed.options.simOrganisation, 16);
    // The maker's suffix says x8; the simulated chip is wired to match.
    const Outcome named = parse({"--type", "93LC66A", "--simulate"});
    ASSERT_TRUE(named.parsed.run) << named.err;
    EXPECT_EQ(named.parsed.chosenType->microwire.organisation, 8);
    EXPECT_EQ(named.parsed.options.simOrganisation, 8);
    EXPECT_EQ(parse({"--type", "24C02"}).parsed.chosenType->caption, "24C02");

    for (const auto& args :
         {std::vector<const char*>{"--type", "93C66"}, {"--type", "93LC66A", "--org", "16"},
          {"--type", "24C02", "--org", "8"}, {"--byte-order", "little"}}) {
        const Outcome bad = parse(args);
        EXPECT_FALSE(bad.parsed.run) << args.size();
        EXPECT_EQ(bad.parsed.exitCode, 2);
        EXPECT_EQ(bad.err.rfind("kavoda: ", 0), 0u) << bad.err;
    }
    EXPECT_NE(parse({"--type", "93C66"}).err.find("give --org 8 (ORG to ground) or --org 16"),
              std::string::npos);
}

TEST(Options, OtherMistakesAreUsageErrorsToo)
{
    for (const auto& args : {std::vector<const char*>{"--bogus"}, {"--sim-image", "chip.bin"},
                             {"extra"}, {"--trace"}}) {
        const Outcome r = parse(args);
        EXPECT_FALSE(r.parsed.run) << args[0];
        EXPECT_EQ(r.parsed.exitCode, 2) << args[0];
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(Options, HelpAndVersionPrintAndStop)
{
    const Outcome help = parse({"--help"});
    EXPECT_FALSE(help.parsed.run);
    EXPECT_EQ(help.parsed.exitCode, 0);
    EXPECT_NE(help.out.find("--simulate"), std::string::npos);
    EXPECT_NE(help.out.find("--sim-image"), std::string::npos);
    EXPECT_NE(help.out.find("--trace"), std::string::npos);
    // What the window drives, not only the parallel port.
    for (const char* what : {"24C02..24C16", "SDA3526..SDA3586", "CH341A", "i2c-dev"})
        EXPECT_NE(help.out.find(what), std::string::npos) << what;

    const Outcome version = parse({"--version"});
    EXPECT_FALSE(version.parsed.run);
    EXPECT_EQ(version.parsed.exitCode, 0);
    EXPECT_EQ(version.out, std::string("kavoda ") + kKavodaVersion + "\n");
}

TEST(Options, QtsOwnOptionsAreLeftToTheApplicationObject)
{
    const Outcome r = parse({"-platform", "offscreen", "--simulate=SDA3546", "-style=windows",
                             "-reverse", "--display", ":1", "-qwindowgeometry", "640x490+0+0",
                             "-stylesheet", "look.qss"});
    ASSERT_TRUE(r.parsed.run) << r.err;
    EXPECT_EQ(*r.parsed.options.simulateType, 7);
    EXPECT_TRUE(r.parsed.styleRequested);
    EXPECT_TRUE(r.err.empty());

    const Outcome plain = parse({"-platform", "xcb", "-style"});
    EXPECT_TRUE(plain.parsed.run) << plain.err;
    EXPECT_TRUE(plain.parsed.styleRequested);
    EXPECT_FALSE(parse({"-display", ":0"}).parsed.styleRequested);

    // Only the forms Qt reads itself: a value after "-platform", never
    // "-platform=NAME"; and no other single-dash word.
    for (const auto& args : {std::vector<const char*>{"-platform=offscreen"}, {"-bogus"},
                             {"-qmljsdebugger"}, {"-platform", "offscreen", "extra"}}) {
        const Outcome bad = parse(args);
        EXPECT_FALSE(bad.parsed.run) << args[0];
        EXPECT_EQ(bad.parsed.exitCode, 2) << args[0];
    }
}

class StartFiles : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return m_dir.file(name).string(); }
    void makeFile(const std::string& name, std::size_t bytes) const
    {
        std::ofstream out(path(name), std::ios::binary);
        out << std::string(bytes, '\xFF');
    }
    // The exit code and the message of the check.
    std::pair<int, std::string> check(const PortOptions& options) const
    {
        std::ostringstream err;
        const int code = checkStartFiles(options, err);
        return {code, err.str()};
    }
    static PortOptions simulated(std::uint8_t type, const std::string& image,
                                 const std::string& trace = {})
    {
        PortOptions options;
        options.simulateType = type;
        options.simImagePath = image;
        options.tracePath = trace;
        return options;
    }

    test::TempFolder m_dir;
};

TEST_F(StartFiles, UsableFilesPass)
{
    makeFile("chip.bin", 2048);
    EXPECT_EQ(check(simulated(4, path("chip.bin"), path("bus.vcd"))).first, 0);
    // A new chip's file and a trace that exists already.
    makeFile("old.vcd", 10);
    EXPECT_EQ(check(simulated(1, path("new.bin"), path("old.vcd"))).first, 0);
    EXPECT_EQ(check(PortOptions{}).first, 0);
    // Nothing was made or changed by looking.
    EXPECT_FALSE(std::filesystem::exists(path("new.bin")));
    EXPECT_FALSE(std::filesystem::exists(path("bus.vcd")));
    EXPECT_EQ(std::filesystem::file_size(path("old.vcd")), 10u);
}

TEST_F(StartFiles, AContentFileThatCannotBeUsedIsRefused)
{
    makeFile("small.bin", 256);
    std::filesystem::create_directory(path("folder"));
    const struct {
        std::string file;
        const char* says;
    } cases[] = {
        {path("folder"), "folder, not a file"},
        {path("missing/chip.bin"), "does not exist"},
        {path("small.bin"), "holds 256 bytes, but a 24C16 holds 2048"},
        {path("small.bin/chip.bin"), "is not a folder"},
    };
    for (const auto& c : cases) {
        const auto [code, message] = check(simulated(4, c.file));
        EXPECT_EQ(code, 2) << c.file;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_NE(message.find(c.file), std::string::npos) << message;
        EXPECT_NE(message.find("--sim-image"), std::string::npos) << message;
    }
    // Without a simulated chip the file is not used, so not looked at.
    PortOptions real;
    real.simImagePath = path("folder");
    EXPECT_EQ(check(real).first, 0);
}

TEST_F(StartFiles, ATraceThatCannotBeWrittenIsRefused)
{
    std::filesystem::create_directory(path("folder"));
    makeFile("chip.bin", 256);
    for (const auto& [trace, says] :
         {std::pair{path("folder"), "folder, not a file"}, {path("gone/bus.vcd"), "does not exist"}}) {
        PortOptions options;
        options.tracePath = trace;
        const auto [code, message] = check(options);
        EXPECT_EQ(code, 2) << trace;
        EXPECT_NE(message.find(says), std::string::npos) << message;
        EXPECT_NE(message.find("--trace"), std::string::npos) << message;
    }
    const auto [code, message] = check(simulated(1, path("chip.bin"), path("./chip.bin")));
    EXPECT_EQ(code, 2);
    EXPECT_NE(message.find("content file"), std::string::npos) << message;
    EXPECT_EQ(std::filesystem::file_size(path("chip.bin")), 256u);
}

TEST_F(StartFiles, FilesWithoutTheRightsAreRefused)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads and writes every file";
    makeFile("chip.bin", 256);
    ::chmod(path("chip.bin").c_str(), 0);
    EXPECT_EQ(check(simulated(1, path("chip.bin"))).first, 2);
    makeFile("bus.vcd", 0);
    ::chmod(path("bus.vcd").c_str(), S_IRUSR);
    PortOptions trace;
    trace.tracePath = path("bus.vcd");
    EXPECT_EQ(check(trace).first, 2);
    std::filesystem::create_directory(path("locked"));
    ::chmod(path("locked").c_str(), S_IRUSR | S_IXUSR);
    EXPECT_EQ(check(simulated(1, path("locked/chip.bin"))).first, 2);
    trace.tracePath = path("locked/bus.vcd");
    EXPECT_EQ(check(trace).first, 2);
}

} // namespace
