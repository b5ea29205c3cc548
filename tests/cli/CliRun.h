// SPDX-License-Identifier: MIT
// kavoda-cli run in-process, its output and exit code caught for a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "DeviceCatalogue.h"
#include "TempFolder.h"

namespace kavoda::test {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

// Runs the tool with args after its name and input on standard input; the
// rest of environment (terminal, settings folder, pump) as given.
inline CliRun runTool(std::vector<std::string> args, CliEnvironment environment,
                      const std::string& input = std::string())
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    environment.in = &in;
    environment.out = &out;
    environment.err = &err;
    const int code = runCli(static_cast<int>(argv.size()), argv.data(), environment);
    return {code, out.str(), err.str()};
}

// size random bytes, the same for the same seed.
inline std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// A test of the tool in a fresh folder, with a settings folder of its own.
class CliFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = testFolder();
        std::filesystem::create_directory(m_dir / "config");
    }
    void TearDown() override { resetDeviceState(); }

    CliRun cli(std::vector<std::string> args)
    {
        CliEnvironment environment;
        environment.settingsFolder = (m_dir / "config").string();
        const CliRun run = runTool(std::move(args), environment);
        resetDeviceState();
        return run;
    }

    std::filesystem::path m_dir;
};

}  // namespace kavoda::test
