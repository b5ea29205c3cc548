// SPDX-License-Identifier: MIT
// Command-line options of the kavoda program.
#include "Options.h"

#include <gtest/gtest.h>
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
    const Outcome r = parse({"--simulate=24C32"});
    EXPECT_FALSE(r.parsed.run);
    EXPECT_EQ(r.parsed.exitCode, 2);
    EXPECT_NE(r.err.find("24C32"), std::string::npos);
    EXPECT_NE(r.err.find("SDA3586"), std::string::npos); // names the choices
    EXPECT_TRUE(r.out.empty());
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

    const Outcome version = parse({"--version"});
    EXPECT_FALSE(version.parsed.run);
    EXPECT_EQ(version.parsed.exitCode, 0);
    EXPECT_NE(version.out.find("1.2 1998"), std::string::npos);
}

} // namespace
