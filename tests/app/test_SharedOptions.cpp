// SPDX-License-Identifier: MIT
// The options both programs take: one bad value gets the same words from
// kavoda and from kavoda-cli, and both refuse it before doing anything.
#include "Cli.h"
#include "Options.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace kavoda;

namespace {

struct Refusal {
    int code = 0;
    std::string message;  // without the program's name and its hint
};

// What remains of err once the program's name in front and its pointer to
// --help behind are taken off.
std::string core(std::string err, const std::string& name, const std::string& hint)
{
    if (err.rfind(name + ": ", 0) == 0)
        err.erase(0, name.size() + 2);
    if (const std::size_t at = err.find(hint); at != std::string::npos)
        err.erase(at, hint.size());
    if (!err.empty() && err.back() == '\n')
        err.pop_back();
    return err;
}

Refusal window(std::vector<const char*> args)
{
    args.insert(args.begin(), "kavoda");
    std::ostringstream out, err;
    const ParsedOptions parsed = parseOptions(static_cast<int>(args.size()), args.data(), out, err);
    EXPECT_FALSE(parsed.run);
    return {parsed.exitCode, core(err.str(), "kavoda", "; run kavoda --help for the options")};
}

Refusal tool(std::vector<const char*> args)
{
    args.insert(args.begin(), "kavoda-cli");
    args.insert(args.end(), {"get", "0"});
    std::ostringstream out, err;
    CliEnvironment environment;
    environment.out = &out;
    environment.err = &err;
    environment.settingsFolder = test::testFolder().string();
    const int code = runCli(static_cast<int>(args.size()), args.data(), environment);
    EXPECT_EQ(out.str(), "");
    return {code,
            core(err.str(), "kavoda-cli", "; run kavoda-cli --help for the verbs and options")};
}

TEST(SharedOptions, ABadValueGetsTheSameWordsFromBothPrograms)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--simulate", "--sim-fault=broken"},
        {"--simulate", "--sim-write-cycle=-2"},
        {"--simulate", "--sim-write-cycle=60001"},
        {"--simulate", "--sim-write-cycle=fast"},
        {"--sim-fault=empty"},
        {"--sim-write-cycle=1"},
        {"--sim-image=chip.bin"},
        {"--simulate", "--sim-image", ""},
        {"--trace", ""},
        {"--adapter=lpt"},
        {"--adapter=parport", "--i2c-speed=400"},
        {"--i2c-speed=fast"},
        {"--i2c-speed=300"},
        {"--adapter=ch341a", "--trace=bus.vcd"},
        {"--adapter=spidev:/dev/spidev0.0", "--spi-speed=5"},
        {"--adapter=ch341a", "--spi-speed=1000"},
        {"--spi-speed=fast"},
    };
    for (const auto& args : bad) {
        const std::string line = args.front() + std::string(args.size() > 1 ? " " : "") +
                                 (args.size() > 1 ? args.back() : "");
        const Refusal w = window(args);
        const Refusal t = tool(args);
        EXPECT_EQ(w.code, 2) << line;
        EXPECT_EQ(t.code, kExitUsage) << line;
        EXPECT_FALSE(w.message.empty()) << line;
        EXPECT_EQ(w.message, t.message) << line;
    }
    // Both know every type; the words around them are the same.
    const std::string unknown = "--simulate: unknown device type '24C99'; known types: ";
    EXPECT_EQ(window({"--simulate=24C99"}).message.rfind(unknown, 0), 0u);
    EXPECT_EQ(tool({"--simulate=24C99"}).message.rfind(unknown, 0), 0u);
}

} // namespace
